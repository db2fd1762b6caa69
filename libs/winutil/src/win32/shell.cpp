#include "winutil/win32/shell.h"

#include <windows.h>

#include <exdisp.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "common/win32/error_text.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "winutil/url.h"

namespace vx::winutil::win32 {
using vx::win32::error_text;
Result<> open_url(std::string_view url) {
  const auto argument = quoted_url_argument(url);
  if (!argument) return std::unexpected(argument.error());

  // The full path, never a search: an elevated program must not start an
  // "explorer.exe" that someone placed beside it or in the current folder.
  wchar_t windows[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return fail("system", "explorer.exe: " + error_text(GetLastError()));
  const std::wstring program = std::wstring(windows, n) + L"\\explorer.exe";
  std::wstring command_line = L"explorer " + vx::win32::widen(*argument);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &process))
    return fail("system", "explorer.exe: " + error_text(GetLastError()));
  // Not waited for: the shell hands the address on and may live on.
  const vx::win32::UniqueHandle process_handle(process.hProcess), thread_handle(process.hThread);
  return {};
}

namespace {

using Microsoft::WRL::ComPtr;

// A VARIANT holding a BSTR made from UTF-8.
class TextVariant {
 public:
  explicit TextVariant(std::string_view text) {
    VariantInit(&value_);
    value_.vt = VT_BSTR;
    value_.bstrVal = SysAllocString(vx::win32::widen(text).c_str());
  }
  ~TextVariant() { VariantClear(&value_); }
  TextVariant(const TextVariant&) = delete;
  TextVariant& operator=(const TextVariant&) = delete;
  const VARIANT& get() const { return value_; }

 private:
  VARIANT value_;
};

Result<> step(HRESULT hr, const char* name) {
  if (FAILED(hr)) return fail("system", std::string(name) + " " + error_text(static_cast<std::uint32_t>(hr)));
  return {};
}

// The desktop folder view's IShellDispatch2, found through the shell's windows.
Result<ComPtr<IShellDispatch2>> desktop_dispatch() {
  ComPtr<IShellWindows> windows;
  if (Result<> r = step(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&windows)),
                        "ShellWindows");
      !r)
    return std::unexpected(r.error());
  VARIANT desktop;
  VariantInit(&desktop);
  desktop.vt = VT_I4;
  desktop.lVal = CSIDL_DESKTOP;
  VARIANT no_root;
  VariantInit(&no_root);
  long window = 0;
  ComPtr<IDispatch> found;
  HRESULT hr = windows->FindWindowSW(&desktop, &no_root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &found);
  if (hr == S_FALSE || (SUCCEEDED(hr) && !found)) hr = E_FAIL;  // no desktop window
  if (Result<> r = step(hr, "FindWindowSW"); !r) return std::unexpected(r.error());
  ComPtr<IServiceProvider> provider;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folder_view;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  Result<> r = step(found.As(&provider), "IServiceProvider");
  if (r) r = step(provider->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser)), "QueryService");
  if (r) r = step(browser->QueryActiveShellView(&view), "QueryActiveShellView");
  if (r) r = step(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background)), "GetItemObject");
  if (r) r = step(background.As(&folder_view), "IShellFolderViewDual");
  if (r) r = step(folder_view->get_Application(&application), "get_Application");
  if (r) r = step(application.As(&shell), "IShellDispatch2");
  if (!r) return std::unexpected(r.error());
  return shell;
}

}  // namespace

Result<> start_as_desktop_user(std::string_view program, std::string_view arguments) {
  const vx::win32::ComApartment com;
  const Result<ComPtr<IShellDispatch2>> shell = desktop_dispatch();
  if (!shell) return std::unexpected(shell.error());
  const std::wstring file = vx::win32::widen(program);
  BSTR file_text = SysAllocString(file.c_str());
  const TextVariant args(arguments);
  VARIANT nothing;  // no folder, the default verb, the default way of showing
  VariantInit(&nothing);
  const HRESULT hr = (*shell)->ShellExecute(file_text, args.get(), nothing, nothing, nothing);
  SysFreeString(file_text);
  return step(hr, "ShellExecute");
}

Result<> start_directly(std::string_view program, std::string_view arguments) {
  const std::wstring file = vx::win32::widen(program), parameters = vx::win32::widen(arguments);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOW;
  if (!ShellExecuteExW(&info)) return fail("system", error_text(GetLastError()));
  return {};
}

}  // namespace vx::winutil::win32
