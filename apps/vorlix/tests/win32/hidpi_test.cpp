// Vorlix.exe at 144 DPI. Runs in a prefix of its own: the setting applies to
// every program started after it, and other tests expect 96 DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include "vorlix_process.h"
#include "win32/screen.h"

namespace {

using namespace vx::testing;

class At144Dpi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD dpi = 144;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
  }
};

TEST_F(At144Dpi, TheWindowIsScaledAndCentredInTheWorkArea) {
  RunningVorlix app;
  ASSERT_NE(app.window, nullptr);
  ASSERT_EQ(GetDpiForWindow(app.window), 144u);
  RECT client{}, outer{};
  GetClientRect(app.window, &client);
  EXPECT_EQ(client.right, 696);
  EXPECT_EQ(client.bottom, 625);

  GetWindowRect(app.window, &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(app.window, MONITOR_DEFAULTTONEAREST), &monitor));
  const RECT& work = monitor.rcWork;
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  EXPECT_EQ(outer.left, work.left + (work.right - work.left - width) / 2);
  EXPECT_EQ(outer.top, work.top + (work.bottom - work.top - height) / 2);

  ASSERT_TRUE(app.drawn) << "the home tab is drawn at its scaled place";
  const Capture shot = capture(app.view);
  EXPECT_EQ(shot.width, 696);
  save_artifact(shot, L"vorlix-home-144.png");
  EXPECT_EQ(app.close(), 0u);
}

}  // namespace
