// Starting the real Vorlix.exe next to the test programs, finding its window
// and reading what it shows.
#pragma once

#include <windows.h>

#include <string>

#include "win32/process.h"

namespace vx::testing {

inline std::wstring program_path() { return beside_tests(L"Vorlix.exe"); }

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
    // The home tab is selected from the start: its colour shows that a frame
    // was drawn. Generous: on a loaded two-core machine a first frame under
    // Wine has been seen to take over 10 s; a drawn one ends the wait at once.
    const UINT dpi = GetDpiForWindow(window);
    const int corner = MulDiv(14, static_cast<int>(dpi ? dpi : 96), 96);
    const ULONGLONG deadline = GetTickCount64() + 30000;
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
