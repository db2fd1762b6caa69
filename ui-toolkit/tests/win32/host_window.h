// What the Windows view tests share: a top-level window to attach views to,
// and the message loop that lets their frames come.
#pragma once

#include <windows.h>

namespace ostrel::testing {

// A top-level window to attach views to, destroyed with the test.
class Host {
 public:
  Host() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OstrelTestHost";
    RegisterClassExW(&wc);
    hwnd_ = CreateWindowExW(0, L"OstrelTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 480, 360, nullptr,
                            nullptr, wc.hInstance, nullptr);
  }
  ~Host() { DestroyWindow(hwnd_); }
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

// Runs the message loop for a while, so the frame worker's messages arrive.
inline void pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace ostrel::testing
