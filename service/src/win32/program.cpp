#include "program.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/win32/text.h"
#include "desktop.h"
#include "resources.h"
#include "start_task.h"

namespace vx::service::win32 {
namespace {

using vx::win32::narrow;
using vx::win32::widen;

std::string user_locale_language() {
  wchar_t name[16] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 16);
  return n > 1 ? narrow(std::wstring_view(name, static_cast<std::size_t>(n - 1))) : std::string();
}

bool is_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD n = GetEnvironmentVariableW(name, value, 32768);
  return n > 0 && n < 32768 ? narrow(std::wstring_view(value, n)) : std::string();
}

// Creates the file when it is missing and never truncates it. The companion
// may run elevated in a folder the user controls, so a link planted for the
// folder or the file is not followed.
void ensure_empty_file(const std::string& folder, const std::string& file) {
  const std::wstring wide_folder = widen(folder);
  CreateDirectoryW(wide_folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(wide_folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
  const vx::win32::UniqueHandle created(CreateFileW(widen(file).c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

Program::Program(Setup setup) : setup_(std::move(setup)) {}

Program::~Program() {
  if (window_) DestroyWindow(window_);
}

std::string Program::text(std::string_view korean) const { return table_.lookup(korean, language_); }

int Program::run(std::span<const std::string> args) {
  const vx::win32::ComApartment com;  // the desktop's shell is reached through COM
  const CommandLine command_line = parse_command_line(args);
  language_ = choose_language(command_line, user_locale_language);
  table_ = load_translation_table();
  const std::string self = own_path();
  main_path_ = main_program_path(self);

  if (command_line.uninstall) return remove_start_task(start_task_name) ? exit_ok : exit_task_failed;

  if (!is_file(main_path_)) {
    const std::wstring message = widen(missing_program_text(table_, language_));
    MessageBoxW(nullptr, message.c_str(), widen(text(message::product)).c_str(),
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
    (void)open_as_desktop_user(setup_.web_site);
    return exit_ok;
  }

  int code = exit_ok;
  if (command_line.install && !register_start_task(companion_start_task(self))) code = exit_task_failed;

  mutex_.reset(CreateMutexW(nullptr, TRUE, instance_mutex));
  if (!mutex_ || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (command_line.install) start_or_raise_main();
    return code;
  }

  main_version_ = file_version(main_path_);
  if (main_version_.empty()) main_version_ = "0.0.0.0";
  if (!create_window()) return code;
  if (command_line.install) {
    start_or_raise_main();
  } else {
    start_check();
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  check_.stop();
  return code;
}

bool Program::create_window() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = wc.hIcon;
  wc.lpszClassName = tray_window_class;
  if (!RegisterClassExW(&wc)) return false;
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, tray_window_class, widen(text(message::product)).c_str(), WS_POPUP, 0, 0,
                            0, 0, nullptr, nullptr, instance, this);
  if (!window_) return false;
  // An elevated companion still hears the shell, which runs with the user's
  // normal rights: when it restarts, and when the icon is clicked.
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  ChangeWindowMessageFilterEx(window_, taskbar_created_, MSGFLT_ALLOW, nullptr);
  ChangeWindowMessageFilterEx(window_, tray_message, MSGFLT_ALLOW, nullptr);
  add_tray_icon();
  return true;
}

LRESULT CALLBACK Program::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Program*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<Program*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->handle(window, message, wparam, lparam) : DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Program::handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    add_tray_icon();  // the shell restarted and forgot it
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case command_show:
          start_or_raise_main();
          return 0;
        case command_exception_list:
          open_exception_list();
          return 0;
        case command_about:
          (void)open_as_desktop_user(setup_.web_site);
          return 0;
        case command_quit:
          DestroyWindow(window);
          return 0;
      }
      break;
    case check_done_message:
      check_.finish(language_);
      return 0;
    case tray_message:
      if (LOWORD(lparam) == WM_LBUTTONDOWN) start_or_raise_main();
      if (LOWORD(lparam) == WM_RBUTTONUP) show_menu();
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW icon{};
      icon.cbSize = sizeof icon;
      icon.hWnd = window;
      icon.uID = tray_icon_id;
      Shell_NotifyIconW(NIM_DELETE, &icon);
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Program::add_tray_icon() {
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = window_;
  icon.uID = tray_icon_id;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = tray_message;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (FAILED(LoadIconMetric(instance, MAKEINTRESOURCEW(1), LIM_SMALL, &icon.hIcon)))
    icon.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  const std::wstring tip = widen(tray_tip(text(message::product), main_version_));
  wcsncpy_s(icon.szTip, tip.c_str(), _TRUNCATE);
  // A failure is left alone: the shell asks again with "TaskbarCreated".
  Shell_NotifyIconW(NIM_ADD, &icon);
  if (icon.hIcon) DestroyIcon(icon.hIcon);
}

void Program::show_menu() {
  const vx::win32::UniqueMenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuW(menu.get(), MF_STRING, command_show, widen(text(message::product)).c_str());
  AppendMenuW(menu.get(), MF_STRING, command_exception_list, widen(text(message::exception_list)).c_str());
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, command_about, widen(text(message::about)).c_str());
  AppendMenuW(menu.get(), MF_STRING, command_quit, widen(text(message::quit)).c_str());
  SetMenuDefaultItem(menu.get(), command_show, FALSE);
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close on a click elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenuEx(menu.get(), TPM_RIGHTBUTTON, at.x, at.y, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void Program::start_check() {
  CheckConfig config = companion_check_config(setup_.report_origin + "/vorlix.php", main_version_, language_);
  config.pause = setup_.retry_pause;
  check_.start(config, window_, check_done_message, [this](bool accepted) {
    if (accepted && window_) DestroyWindow(window_);  // out of the way of the installer
  });
}

void Program::start_or_raise_main() {
  if (const HWND main = FindWindowW(main_window_class, nullptr)) {
    ShowWindow(main, IsIconic(main) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(main);
    return;
  }
  ShellExecuteW(nullptr, L"open", widen(main_path_).c_str(), nullptr, widen(folder_of(main_path_)).c_str(),
                SW_SHOWNORMAL);
}

void Program::open_exception_list() {
  const std::string appdata = environment(L"APPDATA");
  if (appdata.empty()) return;
  const std::string folder = appdata + "\\Vorlix", file = folder + "\\NoClean.txt";
  ensure_empty_file(folder, file);
  (void)open_as_desktop_user("notepad.exe", "\"" + file + "\"");
}

}  // namespace vx::service::win32
