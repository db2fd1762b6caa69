// A message-only window that runs posted jobs as the main window does, for
// tests of the workers that report back to the window thread.
#pragma once

#include <windows.h>

#include <functional>

#include "post.h"

namespace vx::app::testing {

class JobWindow {
 public:
  // Every message the window gets, besides the jobs it runs.
  std::function<void(UINT message)> on_message;

  JobWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VorlixJobTest";
    RegisterClassExW(&wc);  // already there from an earlier test: fine
    window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, this);
  }
  ~JobWindow() {
    if (window_) DestroyWindow(window_);
  }
  JobWindow(const JobWindow&) = delete;
  JobWindow& operator=(const JobWindow&) = delete;

  HWND get() const { return window_; }

  // Runs the window thread's messages until `done` holds; false after a minute.
  template <class Done>
  static bool pump_until(Done done) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!done()) {
      if (GetTickCount64() > deadline) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
  }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE)
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* self = reinterpret_cast<JobWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == job_message) {
      run_posted_job(lparam);
      return 0;
    }
    if (self && self->on_message) self->on_message(message);
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
};

}  // namespace vx::app::testing
