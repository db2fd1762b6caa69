// The real Vorlix.exe under Wine: its window, its tabs, a second start, the
// language switch and the system's dark mode, driven as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "vorlix_process.h"
#include "win32/screen.h"
#include "win32/wine_prefix.h"

namespace {

using namespace vx::testing;

// What Windows reads from the file before it runs: the manifest and the icon.
TEST(VorlixExe, CarriesItsManifestAndIcon) {
  HMODULE file =
      LoadLibraryExW(program_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(file, nullptr);
  HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(file, found))),
                             SizeofResource(file, found));
  for (const char* part :
       {"level=\"requireAdministrator\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">true/pm<",
        ">PerMonitorV2<", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  EXPECT_NE(FindResourceW(file, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr) << "icon resource 1";
  FreeLibrary(file);
}

TEST(VorlixExe, OpensItsFixedSizeWindowAndClosesCleanly) {
  RunningVorlix app;
  ASSERT_NE(app.window, nullptr) << "no TFrmVorlix window appeared";
  RECT client{}, shown{};
  GetClientRect(app.window, &client);
  EXPECT_EQ(client.right, 464);
  EXPECT_EQ(client.bottom, 417);
  const LONG style = GetWindowLongW(app.window, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0) << "the window must not be resizable";
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  ASSERT_NE(app.view, nullptr) << "no document view in the window";
  GetClientRect(app.view, &shown);
  EXPECT_EQ(shown.right, client.right);
  EXPECT_EQ(shown.bottom, client.bottom) << "the view fills the client area";
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(app.window, nullptr), &gui));
  EXPECT_EQ(gui.hwndFocus, app.view) << "keys reach the document from the start, before any click";
  EXPECT_EQ(app.close(), 0u);
}

TEST(VorlixExe, ATabClickShowsThatTab) {
  RunningVorlix app;
  ASSERT_TRUE(app.drawn) << "the home tab starts selected";
  // The middles of the English tabs at 96 DPI: startup, cleanup, bundle and home again.
  for (const int x : {115, 187, 257, 45}) {
    PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 17));
    PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(x, 17));
    const ULONGLONG deadline = GetTickCount64() + 3000;
    while (pixel(app.view, x, 14) != selected_tab && GetTickCount64() < deadline) Sleep(50);
    for (const int other : {45, 115, 187, 257})
      EXPECT_EQ(pixel(app.view, other, 14) == selected_tab, other == x) << "after a click at " << x;
  }
  const Capture shot = capture(app.view);
  save_artifact(shot, L"vorlix-tabs.png");
  EXPECT_EQ(app.close(), 0u);
}

TEST(VorlixExe, TheLogoOpensTheProductPage) {
  if (!has_url_logger()) GTEST_SKIP() << "not in a prefix prepared by tools/wine-run";
  RunningVorlix app;
  ASSERT_TRUE(app.drawn);
  PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(403, 26));
  PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(403, 26));
  EXPECT_TRUE(url_was_opened(VORLIX_SERVER_ORIGIN "/vorlix"));
  EXPECT_EQ(app.process.wait_exit(0), static_cast<DWORD>(STILL_ACTIVE)) << "the program stays open";
  EXPECT_EQ(app.close(), 0u);
}

TEST(VorlixExe, SecondStartEndsAndRaisesTheFirst) {
  RunningVorlix first;
  ASSERT_NE(first.window, nullptr);
  ShowWindow(first.window, SW_MINIMIZE);

  Process second;
  ASSERT_TRUE(second.start(program_path()));
  EXPECT_EQ(second.wait_exit(10000), 0u);
  EXPECT_EQ(wait_for_window(second.info.dwProcessId, 200), nullptr) << "the second start made a window";
  EXPECT_FALSE(IsIconic(first.window)) << "the first window was not restored";
  EXPECT_EQ(first.process.wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(first.close(), 0u);
}

// The tab strip, where the labels are: what the language changes.
Capture tab_labels(const std::wstring& arguments) {
  RunningVorlix app(arguments);
  EXPECT_TRUE(app.drawn) << "with " << std::string(arguments.begin(), arguments.end());
  Capture shot = app.drawn ? capture(app.view) : Capture{};
  shot.pixels.resize(static_cast<std::size_t>(shot.width) * std::min(shot.height, 34));
  return shot;
}

TEST(VorlixExe, TheLanguageSwitchChoosesTheLabels) {
  const Capture system = tab_labels(L"");
  const Capture japanese = tab_labels(L"--lang ja");
  ASSERT_FALSE(system.pixels.empty());
  EXPECT_NE(japanese.pixels, system.pixels) << "the tabs are labelled in Japanese";
  EXPECT_NE(japanese.pixels, tab_labels(L"--lang ko").pixels) << "and not just in another Asian script";
  // A switch without a value leaves the choice to the system.
  EXPECT_EQ(tab_labels(L"--lang").pixels, system.pixels);
  EXPECT_EQ(tab_labels(L"--lang \"  \"").pixels, system.pixels);
}

// Sets the apps' theme for this user and puts the old setting back afterwards.
class AppsTheme {
 public:
  AppsTheme() {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0, nullptr,
                    0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    had_value_ = RegQueryValueExW(key_, L"AppsUseLightTheme", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                                  &size) == ERROR_SUCCESS;
  }
  ~AppsTheme() {
    if (had_value_)
      set_light(old_ != 0);
    else
      RegDeleteValueW(key_, L"AppsUseLightTheme");
    RegCloseKey(key_);
  }
  void set_light(bool light) {
    const DWORD value = light ? 1 : 0;
    RegSetValueExW(key_, L"AppsUseLightTheme", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 1;
  bool had_value_ = false;
};

void announce_theme_change(HWND window) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"), SMTO_BLOCK, 5000,
                      &ignored);
}

COLORREF wait_for_colour(HWND view, int x, int y, COLORREF wanted) {
  const ULONGLONG deadline = GetTickCount64() + 3000;
  while (pixel(view, x, y) != wanted && GetTickCount64() < deadline) Sleep(50);
  return pixel(view, x, y);
}

TEST(VorlixExe, FollowsTheSystemsDarkModeWhileRunning) {
  constexpr int x = 230, y = 400;  // the page's background below the home page's content
  AppsTheme theme;
  theme.set_light(true);
  RunningVorlix app;
  ASSERT_TRUE(app.drawn);
  EXPECT_EQ(wait_for_colour(app.view, x, y, 0xFFFFFF), 0xFFFFFFu);
  save_artifact(capture(app.view), L"vorlix-home-light.png");

  theme.set_light(false);
  announce_theme_change(app.window);
  EXPECT_EQ(wait_for_colour(app.view, x, y, 0x1E1E1E), 0x1E1E1Eu) << "the document turned dark";
  save_artifact(capture(app.view), L"vorlix-home-dark.png");

  // Another setting changing leaves the colours alone; the theme coming back restores them.
  theme.set_light(true);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(app.window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"), SMTO_BLOCK, 5000, &ignored);
  Sleep(300);
  EXPECT_EQ(pixel(app.view, x, y), 0x1E1E1Eu);
  announce_theme_change(app.window);
  EXPECT_EQ(wait_for_colour(app.view, x, y, 0xFFFFFF), 0xFFFFFFu);
  EXPECT_EQ(app.close(), 0u);
}

// A program started dark shows the dark colours from its first frame.
TEST(VorlixExe, StartsDarkWhenTheSystemIsDark) {
  AppsTheme theme;
  theme.set_light(false);
  RunningVorlix app;
  ASSERT_TRUE(app.drawn);
  EXPECT_EQ(pixel(app.view, 230, 400), 0x1E1E1Eu);
  EXPECT_EQ(app.close(), 0u);
}

}  // namespace
