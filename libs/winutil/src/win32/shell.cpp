#include "winutil/win32/shell.h"

#include <windows.h>

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

}  // namespace vx::winutil::win32
