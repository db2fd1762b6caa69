#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <mutex>

#include "common/win32/error_text.h"
#include "common/win32/text.h"
#include "notice/texts.h"
#include "notice/win32/notice.h"
#include "winutil/win32/shell.h"

namespace vx::notice::win32 {
namespace {

using vx::win32::widen;
using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

void debug_step(const char* step, bool ok) {
  static const bool enabled = GetEnvironmentVariableW(L"ORVAN_DIALOG_DEBUG", nullptr, 0) > 0;
  if (enabled) std::fprintf(stderr, "[orvan-dialog] %s%s\n", step, ok ? "성공" : "실패");
}

// The version 6 common controls hold TaskDialogIndirect; a program without
// their manifest gets version 5 unless it asks through an activation context
// (shell32's manifest names them).
TaskDialogIndirectFn find_task_dialog() {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring shell32 = std::wstring(system, n) + L"\\shell32.dll";
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = shell32.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(124);
  const HANDLE activation = CreateActCtxW(&context);
  debug_step("CreateActCtxW: ", activation != INVALID_HANDLE_VALUE);
  ULONG_PTR cookie = 0;
  const bool active = activation != INVALID_HANDLE_VALUE && ActivateActCtx(activation, &cookie);
  debug_step("활성화 컨텍스트: ", active);
  const HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
  debug_step("comctl32.dll: ", comctl32 != nullptr);
  const auto function = comctl32 ? reinterpret_cast<TaskDialogIndirectFn>(
                                       reinterpret_cast<void*>(GetProcAddress(comctl32, "TaskDialogIndirect")))
                                 : nullptr;
  debug_step("TaskDialogIndirect: ", function != nullptr);
  if (active) DeactivateActCtx(0, cookie);
  if (activation != INVALID_HANDLE_VALUE) ReleaseActCtx(activation);
  return function;
}

TaskDialogIndirectFn task_dialog() {
  static const TaskDialogIndirectFn function = find_task_dialog();
  return function;
}

HRESULT CALLBACK on_event(HWND dialog, UINT notification, WPARAM, LPARAM lparam, LONG_PTR data) {
  if (notification == TDN_CREATED && data) SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  // Only the link we made is there; it is a web page by construction.
  if (notification == TDN_HYPERLINK_CLICKED && lparam)
    (void)winutil::win32::open_url(vx::win32::narrow(reinterpret_cast<const wchar_t*>(lparam)));
  return S_OK;
}

}  // namespace

Result<DialogResult> show_update_dialog(const DialogRequest& request) {
  const TaskDialogIndirectFn function = task_dialog();
  if (!function) return fail("unsupported", "이 시스템에서 comctl32 v6(TaskDialogIndirect)을 찾지 못했습니다.");
  const NoticeTexts& texts = notice_texts(request.language);
  const std::wstring title = widen(request.title), instruction = widen(texts.instruction),
                     content = widen(texts.content);
  const std::string hold = plain_text(request.hold_text);
  const std::wstring verification = widen(hold);
  const std::wstring footer = request.style == net::NoticeStyle::note
                                  ? widen(footer_link(plain_text(request.note_text), request.note_url))
                                  : std::wstring();

  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = request.parent && IsWindow(request.parent) ? request.parent : nullptr;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszMainInstruction = instruction.c_str();
  config.pszContent = content.c_str();
  config.dwCommonButtons = TDCBF_YES_BUTTON | TDCBF_NO_BUTTON;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  // Arabic reads from the right: the dialog is mirrored for it.
  if (request.language == "ar") config.dwFlags |= TDF_RTL_LAYOUT;
  if (request.style == net::NoticeStyle::hold && !verification.empty())
    config.pszVerificationText = verification.c_str();
  if (!footer.empty()) {
    config.dwFlags |= TDF_ENABLE_HYPERLINKS;
    config.pszFooter = footer.c_str();
  }
  config.pfCallback = on_event;
  config.lpCallbackData = request.keep_on_top ? 1 : 0;

  int button = 0;
  BOOL ticked = FALSE;
  const HRESULT hr = function(&config, &button, nullptr, &ticked);
  if (FAILED(hr))
    return fail("show_failed",
                "다이얼로그를 띄우지 못했습니다: " + vx::win32::error_text(static_cast<std::uint32_t>(hr)));
  return DialogResult{button == IDYES || button == IDOK, ticked != FALSE};
}

}  // namespace vx::notice::win32
