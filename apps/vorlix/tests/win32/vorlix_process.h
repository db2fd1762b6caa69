// Starting the real Vorlix.exe next to the test programs, finding its window
// and reading what it shows.
#pragma once

#include <windows.h>

#include <string>

namespace vx::testing {

// A program in the folder of the test programs.
inline std::wstring beside_tests(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

inline std::wstring program_path() { return beside_tests(L"Vorlix.exe"); }

struct Process {
  PROCESS_INFORMATION info{};
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (info.hProcess) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
  // `error_log`, when given, receives the program's standard error.
  bool start(const std::wstring& exe, const std::wstring& arguments = {}, const std::wstring& error_log = {}) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    HANDLE log = INVALID_HANDLE_VALUE;
    if (!error_log.empty()) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      log = CreateFileW(error_log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
      si.hStdError = log;
    }
    std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const bool started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE, 0,
                                        nullptr, nullptr, &si, &info);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    return started;
  }
  DWORD wait_exit(DWORD ms) {
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
  }
};

inline HWND wait_for_window(DWORD pid, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (GetTickCount64() < deadline) {
    for (HWND w = FindWindowW(L"TFrmVorlix", nullptr); w; w = FindWindowExW(nullptr, w, L"TFrmVorlix", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    Sleep(20);
  }
  return nullptr;
}

// The colour of one pixel of a window as the screen shows it, 0xRRGGBB.
inline COLORREF pixel(HWND window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return RGB(GetBValue(c), GetGValue(c), GetRValue(c));
}

inline constexpr COLORREF selected_tab = 0x3D84DD;  // the selected tab's background in both themes

// Vorlix.exe started with arguments, up to its first drawn frame. Closed like
// a user would close it when the test is done.
class RunningVorlix {
 public:
  explicit RunningVorlix(const std::wstring& arguments = {}, const std::wstring& error_log = {}) {
    if (!process.start(program_path(), arguments, error_log)) return;
    window = wait_for_window(process.info.dwProcessId, 20000);
    if (window) view = FindWindowExW(window, nullptr, L"OstrelUIView", nullptr);
    if (!view) return;
    // The home tab is selected from the start: its colour shows that a frame was drawn.
    const UINT dpi = GetDpiForWindow(window);
    const int corner = MulDiv(14, static_cast<int>(dpi ? dpi : 96), 96);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (pixel(view, corner, corner) != selected_tab && GetTickCount64() < deadline) Sleep(50);
    drawn = pixel(view, corner, corner) == selected_tab;
  }
  RunningVorlix(const RunningVorlix&) = delete;
  RunningVorlix& operator=(const RunningVorlix&) = delete;
  ~RunningVorlix() { close(); }

  // Closes the window; the program's exit code, STILL_ACTIVE when it did not end.
  DWORD close() {
    if (window && IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return process.wait_exit(10000);
  }

  Process process;
  HWND window = nullptr;
  HWND view = nullptr;
  bool drawn = false;
};

}  // namespace vx::testing
