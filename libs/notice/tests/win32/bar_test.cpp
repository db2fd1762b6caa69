// The notification bar beside a window of the test: where it goes, that one
// replaces another, and what it refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include "notice/win32/notice.h"

namespace {

using namespace vx::notice::win32;

// A plain top-level window, pumped while the test waits.
class Host {
 public:
  Host() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NoticeTestHost";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                             nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~Host() { DestroyWindow(window); }
  template <class Done>
  static bool pump_until(Done done, unsigned ms = 5000) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (!done()) {
      if (GetTickCount64() > until) return false;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(20);
    }
    return true;
  }
  HWND window = nullptr;
};

RECT rect_of(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

TEST(UpdateBar, GoesBelowTheWindowOrAboveItAtTheBottomOfTheScreenAndOneReplacesAnother) {
  Host host;
  ASSERT_NE(host.window, nullptr);
  ASSERT_TRUE(show_update_bar({host.window, "Update available", "https://vorlix.test/notice"}));
  HWND first = nullptr;
  ASSERT_TRUE(Host::pump_until([&] { return (first = current_bar()) != nullptr && IsWindowVisible(first); }));
  EXPECT_TRUE(Host::pump_until([&] { return rect_of(first).top > rect_of(host.window).bottom; })) << "below";

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(host.window, MONITOR_DEFAULTTONEAREST), &monitor);
  SetWindowPos(host.window, nullptr, 100, monitor.rcWork.bottom - 300, 400, 300, SWP_NOZORDER);
  EXPECT_TRUE(Host::pump_until([&] { return rect_of(first).bottom < rect_of(host.window).top; }))
      << "above, where below would leave the screen";

  ASSERT_TRUE(show_update_bar({host.window, "Another", "https://vorlix.test/other"}));
  EXPECT_TRUE(Host::pump_until([&] { return !IsWindow(first); })) << "the old bar closed";
  EXPECT_TRUE(Host::pump_until([&] { return current_bar() != nullptr && current_bar() != first; }));
  PostMessageW(current_bar(), WM_APP + 1, 0, 0);
  EXPECT_TRUE(Host::pump_until([&] { return current_bar() == nullptr; }));
}

TEST(UpdateBar, RefusesWhatItCannotShowOrOpen) {
  Host host;
  EXPECT_EQ(show_update_bar({host.window, "x", ""}).error().kind, "empty_url");
  EXPECT_EQ(show_update_bar({nullptr, "x", "https://vorlix.test"}).error().kind, "no_host");
  EXPECT_EQ(show_update_bar({reinterpret_cast<HWND>(0x1234), "x", "https://vorlix.test"}).error().message,
            "알림 바는 호스트 창 핸들을 요구합니다.");
  EXPECT_FALSE(show_update_bar({host.window, "x", "file:///C:/Windows/notepad.exe"}));
  EXPECT_EQ(current_bar(), nullptr);
}

}  // namespace
