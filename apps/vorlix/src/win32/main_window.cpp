#include "main_window.h"

#include <dwmapi.h>
#include <shellapi.h>

#include <limits>
#include <string>

#include "common/win32/text.h"

namespace vx::app {
namespace {

constexpr DWORD dwmwa_use_immersive_dark_mode = 20;

int scale(int value, UINT dpi) {
  const float scaled = static_cast<float>(value) * static_cast<float>(dpi) / 96.0f;
  if (scaled >= static_cast<float>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(scaled);
}

void place_for_dpi(HWND window) {
  const UINT dpi = GetDpiForWindow(window) ? GetDpiForWindow(window) : 96;
  const SIZE client = client_size_for_dpi(dpi);
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectExForDpi(&outer, main_window_style, FALSE, 0, dpi);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  int x = 0, y = 0;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
  }
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool system_uses_dark_theme() {
  DWORD light = 1, size = sizeof light;
  return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size) == ERROR_SUCCESS &&
         light == 0;
}

SIZE client_size_for_dpi(UINT dpi) { return {scale(client_width_96, dpi), scale(client_height_96, dpi)}; }

bool register_main_window_class(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = main_window_class;
  // Registered once per process: a second window of the class (as in tests) reuses it.
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND create_main_window(HINSTANCE instance, const wchar_t* title) {
  HWND window = CreateWindowExW(0, main_window_class, title, main_window_style, CW_USEDEFAULT, CW_USEDEFAULT,
                                client_width_96, client_height_96, nullptr, nullptr, instance, nullptr);
  if (!window) return nullptr;
  place_for_dpi(window);
  // Dark title bar in every theme; the frame is redrawn to take it.
  const BOOL dark = TRUE;
  DwmSetWindowAttribute(window, dwmwa_use_immersive_dark_mode, &dark, sizeof dark);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return window;
}

}  // namespace vx::app
