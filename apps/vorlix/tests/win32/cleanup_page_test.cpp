// The cleanup tab of the real program in its own prefix, driven as a user
// would: mouse messages to the view, the warning box answered like a person,
// and the effects looked for on disk, in the registry and on the screen. A
// small rule file of ours, newer than the built-in one, names three scratch
// applications in the profile.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app_window.h"
#include "common/win32/text.h"

namespace {

namespace fs = std::filesystem;
using vx::app::testing::JobWindow;

constexpr char rule_file[] = R"(; Version: 999999999
[Alpha Notes *]
LangSecRef=3021
Detect=HKCU\Software\VorlixPageTest\Alpha
Default=True
FileKey1=%LocalAppData%\VorlixPageTest\Alpha|*.tmp

[Beta Viewer *]
LangSecRef=3021
DetectFile=%LocalAppData%\VorlixPageTest\Beta
Warning=Beta Viewer starts with an empty cache.
Default=True
FileKey1=%LocalAppData%\VorlixPageTest\Beta\Cache|*.*|RECURSE
RegKey1=HKCU\Software\VorlixPageTest\Beta|CachePath

[Gamma Player *]
LangSecRef=3023
DetectFile=%LocalAppData%\VorlixPageTest\Gamma
Default=False
FileKey1=%LocalAppData%\VorlixPageTest\Gamma|*.log
)";

fs::path folder(const wchar_t* variable) {
  wchar_t buffer[MAX_PATH];
  GetEnvironmentVariableW(variable, buffer, MAX_PATH);
  return fs::path(buffer);
}

void write(const fs::path& path, std::size_t bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

HKEY test_key(const wchar_t* subkey) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(L"Software\\VorlixPageTest\\") + subkey).c_str(), 0, nullptr, 0,
                  KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  return key;
}

bool has_value(const wchar_t* subkey, const wchar_t* name) {
  HKEY key = test_key(subkey);
  const bool found = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// Answers the next message box of the window with Yes, keeping its text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(HWND owner)
      : thread_([this, owner] {
          for (int i = 0; i < 600 && !stop_; ++i, Sleep(50)) {
            HWND box = nullptr;
            while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr))) {
              if (GetWindow(box, GW_OWNER) != owner || !IsWindowVisible(box)) continue;
              wchar_t text[1024] = {};
              GetDlgItemTextW(box, 0xFFFF, text, 1024);
              text_ = vx::win32::narrow(text);
              const LONG no_style = GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE);
              has_default_no_ = (no_style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
              PostMessageW(box, WM_COMMAND, IDYES, 0);
              return;
            }
          }
        }) {}
  ~BoxAnswerer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::string text() {
    if (thread_.joinable()) thread_.join();
    return text_;
  }
  bool default_no() const { return has_default_no_; }

 private:
  std::atomic<bool> stop_ = false;
  std::string text_;
  bool has_default_no_ = false;
  std::thread thread_;
};

class CleanupTab : public vx::app::testing::AppWindow {
 protected:
  static void SetUpTestSuite() {
    const fs::path local = folder(L"LOCALAPPDATA") / "VorlixPageTest";
    fs::remove_all(local);
    write(local / "Alpha" / "a.tmp", 1000);
    write(local / "Alpha" / "b.tmp", 536);
    write(local / "Alpha" / "keep.txt", 10);
    write(local / "Beta" / "Cache" / "x.dat", 2048);
    write(local / "Beta" / "Cache" / "sub" / "y.dat", 1024);
    write(local / "Gamma" / "g.log", 100);
    RegCloseKey(test_key(L"Alpha"));
    HKEY beta = test_key(L"Beta");
    RegSetValueExW(beta, L"CachePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(beta);
    const fs::path vorlix = folder(L"APPDATA") / "Vorlix";
    fs::create_directories(vorlix);
    std::ofstream(vorlix / "Winapp2.ini", std::ios::binary) << rule_file;
    fs::remove(vorlix / "Cleanup.txt");
  }
};

TEST_F(CleanupTab, LoadAnalyseCleanAndRememberTheChoice) {
  const std::unique_ptr<vx::app::App> app = start("en");
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-cleanup"));
  ASSERT_TRUE(JobWindow::pump_until([&] { return text(*app, "cu-status") == "3 installed apps"; }))
      << "status: " << text(*app, "cu-status");
  EXPECT_TRUE(ostrel::ui::Element(by_id(*app, "cleanup-empty")).has_class("hidden"));
  EXPECT_EQ(ostrel::ui::Element(row(*app, 0)).text(), "Multimedia(1)");
  EXPECT_EQ(ostrel::ui::Element(row(*app, 1)).text(), "Applications(2)");
  EXPECT_EQ(row(*app, 2), nullptr) << "categories start closed";

  click(ostrel::query_selector(row(*app, 1), ".cu-count", 9));
  ASSERT_NE(row(*app, 3), nullptr) << "the category opened";
  EXPECT_EQ(ostrel::ui::Element(row(*app, 3)).text(), "Beta Viewer");
  screenshot(L"vorlix-cleanup-light.png");

  click(by_id(*app, "btn-cu-scan"));
  ASSERT_TRUE(JobWindow::pump_until([&] { return !text(*app, "cu-status").starts_with("Analyzing"); }));
  EXPECT_EQ(text(*app, "cu-status"), "4 files · 1 registry items · 4.5 KB");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(*app, 2), ".cu-size", 8)).text(), "1.5 KB");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(*app, 1), ".cu-size", 8)).text(), "4.5 KB");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(*app, 0), ".cu-size", 8)).text(), "")
      << "Gamma Player is off by default and was not analysed";
  EXPECT_TRUE(fs::exists(folder(L"LOCALAPPDATA") / "VorlixPageTest" / "Alpha" / "a.tmp"))
      << "analysing deletes nothing";
  ASSERT_TRUE(enabled(*app, "btn-cu-clean"));

  {
    BoxAnswerer answer(app->window());
    click(by_id(*app, "btn-cu-clean"));
    EXPECT_EQ(answer.text(),
              "Some selected items need attention. Clean anyway?\n\n• Beta Viewer\n   Beta Viewer starts with an "
              "empty cache.");
    EXPECT_TRUE(answer.default_no());
  }
  ASSERT_TRUE(JobWindow::pump_until([&] { return text(*app, "cu-status").find("cleaned") != std::string::npos; }));
  EXPECT_EQ(text(*app, "cu-status"), "4.5 KB cleaned (4 files, 1 registry items)");
  const fs::path local = folder(L"LOCALAPPDATA") / "VorlixPageTest";
  EXPECT_FALSE(fs::exists(local / "Alpha" / "a.tmp"));
  EXPECT_FALSE(fs::exists(local / "Beta" / "Cache" / "sub" / "y.dat"));
  EXPECT_TRUE(fs::exists(local / "Alpha" / "keep.txt"));
  EXPECT_TRUE(fs::exists(local / "Gamma" / "g.log")) << "off by default, so untouched";
  EXPECT_FALSE(has_value(L"Beta", L"CachePath"));
  EXPECT_FALSE(enabled(*app, "btn-cu-clean")) << "until the next analysis";
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(*app, 2), ".cu-size", 8)).text(), "");

  // Unchecking Alpha Notes (on by default) is remembered, in the profile.
  click(ostrel::query_selector(row(*app, 2), "input", 5));
  std::ifstream saved(folder(L"APPDATA") / "Vorlix" / "Cleanup.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "-Alpha Notes\r\n");

  (void)app->document().set_color_scheme(true);
  screenshot(L"vorlix-cleanup-dark.png");
  DestroyWindow(app->window());
}

TEST_F(CleanupTab, KoreanLabelsAndTheRememberedChoiceAtTheNextStart) {
  const std::unique_ptr<vx::app::App> app = start("ko");
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-cleanup"));
  ASSERT_TRUE(JobWindow::pump_until([&] { return text(*app, "cu-status") == "설치된 앱 3개"; }));
  click(ostrel::query_selector(row(*app, 0), ".cu-count", 9));
  click(ostrel::query_selector(row(*app, 2), ".cu-count", 9));
  EXPECT_EQ(ostrel::ui::Element(row(*app, 0)).text(), "멀티미디어(1)");
  EXPECT_EQ(ostrel::ui::Element(row(*app, 2)).text(), "응용 프로그램(2)");
  EXPECT_FALSE(ostrel::is_checked(ostrel::query_selector(row(*app, 3), "input", 5)))
      << "Alpha Notes stays unchecked from the first run";
  screenshot(L"vorlix-cleanup-ko.png");
  DestroyWindow(app->window());
}

}  // namespace
