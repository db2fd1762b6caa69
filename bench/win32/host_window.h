// A plain top-level window for a bench to draw in, its class registered on
// first use with DefWindowProc as its procedure.
#pragma once

#include <windows.h>

namespace vorlix_bench {

// `width` x `height` is the window's outer size.
inline HWND host_window(const wchar_t* class_name, const wchar_t* title, DWORD style, int width, int height) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);  // already there from an earlier call: fine
  return CreateWindowExW(0, class_name, title, style, 0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
}

// The same with a client area of `width` x `height`, as the program's window has.
inline HWND host_window_for_client(const wchar_t* class_name, const wchar_t* title, DWORD style, int width,
                                   int height) {
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  return host_window(class_name, title, style, outer.right - outer.left, outer.bottom - outer.top);
}

}  // namespace vorlix_bench
