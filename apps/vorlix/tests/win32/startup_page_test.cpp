// The startup tab of the real program, driven as a user would: a shortcut in
// the user's Startup folder and a Run value are listed, switched off with the
// button (the row stays, muted), hidden by a fresh reload and shown again with
// "All Programs"; a double click opens the item's page on the product's site.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app_window.h"
#include "common/path_vars.h"
#include "common/win32/text.h"
#include "network.h"
#include "page-autorun/page.h"
#include "win32/devserver.h"
#include "win32/wine_prefix.h"

namespace {

namespace fs = std::filesystem;

constexpr wchar_t run_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class StartupTab : public vx::app::testing::AppWindow {
 protected:
  static void SetUpTestSuite() {
    const fs::path startup = vx::win32::widen(vx::known_folder(vx::KnownFolder::Startup).value_or(""));
    fs::create_directories(startup);
    std::ofstream(startup / "Page Tool.lnk") << "x";
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, run_key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    const std::wstring data = L"C:\\Tools\\pagetest.exe /tray";
    RegSetValueExW(key, L"PageTest", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * 2));
    // Programs of the prefix as further Run values: about fifty items in all,
    // with product names and icons to find.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    int added = 0;
    for (const auto& entry : fs::directory_iterator(system)) {
      if (added == 36 || entry.path().extension() != L".exe") continue;
      const std::wstring name = L"PageLoad" + std::to_wstring(added++),
                         command = L"\"" + entry.path().wstring() + L"\"";
      RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * 2));
    }
    RegCloseKey(key);
  }
  // Switched on, whatever an earlier test or run in this prefix left.
  void SetUp() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run", L"PageTest");
  }
  // The page's count of reloads asked for.
  static std::uint64_t generation(vx::app::App& app) {
    std::uint64_t generation = 0;
    app.pages().deliver(vx::ui::PageId::startup, [&](vx::ui::Page& page) {
      generation = dynamic_cast<vx::autorun::AutorunPage&>(page).generation();
    });
    return generation;
  }
  void press(UINT key) {
    PostMessageW(view_, WM_KEYDOWN, key, 0);
    PostMessageW(view_, WM_KEYUP, key, 0);
  }
  // Scrolls the list to a row, as the user would before clicking it.
  void show_row(vx::app::App& app, std::size_t index) {
    vx::ui::scroll_row_into_view(app.document().handle(), "list-autorun", "list-autorun-head", index);
    settle();
  }
  // The row showing this name, if any.
  std::optional<std::size_t> row_named(vx::app::App& app, std::string_view name) {
    for (std::size_t i = 0; ostrel::Node* r = row(app, i, "autorun"); ++i)
      if (ostrel::ui::Element(ostrel::query_selector(r, ".ar-name", 8)).text() == name) return i;
    return std::nullopt;
  }
};

TEST_F(StartupTab, ListSwitchHideAndShowAgain) {
  const std::unique_ptr<vx::app::App> app = start("en");
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-startup"));
  ASSERT_TRUE(wait_for([&] { return row_named(*app, "PageTest").has_value(); })) << "the Run value is listed";
  ASSERT_TRUE(row_named(*app, "Page Tool").has_value()) << "the Startup-folder shortcut is listed";
  EXPECT_TRUE(ostrel::ui::Element(by_id(*app, "autorun-empty")).has_class("hidden"));
  screenshot(L"vorlix-startup-light.png");

  std::size_t at = *row_named(*app, "PageTest");
  show_row(*app, at);
  click(ostrel::query_selector(row(*app, at, "autorun"), ".ar-from", 8));
  EXPECT_EQ(text(*app, "btn-autorun-toggle"), "Disable");
  click(by_id(*app, "btn-autorun-toggle"));
  ASSERT_TRUE(wait_for([&] { return ostrel::ui::Element(row(*app, at, "autorun")).has_class("off"); }))
      << "switched off, the row stays where it was";
  EXPECT_EQ(text(*app, "btn-autorun-toggle"), "Enable");
  HKEY approved = nullptr;
  BYTE bytes[16] = {};
  DWORD size = sizeof bytes;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run",
                    0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &approved),
      ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(approved, L"PageTest", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
  RegCloseKey(approved);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(bytes[0], 3);

  // F5 in the list reloads afresh: an item that is off is no longer listed...
  show_row(*app, at);
  click(ostrel::query_selector(row(*app, at, "autorun"), ".ar-from", 8));
  PostMessageW(view_, WM_KEYDOWN, VK_F5, 0);
  PostMessageW(view_, WM_KEYUP, VK_F5, 0);
  ASSERT_TRUE(wait_for([&] { return !row_named(*app, "PageTest").has_value(); }));
  // ...until "All Programs" is ticked.
  click(by_id(*app, "f-autorun-all"));
  ASSERT_TRUE(wait_for([&] { return row_named(*app, "PageTest").has_value(); }));
  at = *row_named(*app, "PageTest");
  show_row(*app, at);
  EXPECT_TRUE(ostrel::ui::Element(row(*app, at, "autorun")).has_class("off"));
  (void)app->document().set_color_scheme(true);
  screenshot(L"vorlix-startup-dark.png");

  if (vx::testing::has_url_logger()) {
    const ostrel::Rect r = ostrel::element_rect(ostrel::query_selector(row(*app, at, "autorun"), ".ar-name", 8));
    const LPARAM point = MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
    PostMessageW(view_, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(view_, WM_LBUTTONUP, 0, point);
    settle();
    EXPECT_TRUE(vx::testing::url_was_opened("https://vorlix.test/entry/hkcu/pagetest"));
  }
  DestroyWindow(app->window());
}

// A visible window of this process of the given class.
HWND visible_window(const wchar_t* class_name) {
  struct Search {
    const wchar_t* class_name;
    HWND found = nullptr;
  } search{class_name};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(data);
        DWORD process = 0;
        wchar_t name[64];
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !GetClassNameW(window, name, 64) ||
            std::wcscmp(name, wanted.class_name) != 0)
          return TRUE;
        wanted.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <class Found>
bool poll(Found found) {
  for (int i = 0; i < 400; ++i) {
    if (found()) return true;
    Sleep(25);
  }
  return false;
}

TEST_F(StartupTab, TwoQuickReloadsShowTheSecondAndTheListIsSavedThroughTheSaveDialog) {
  const std::unique_ptr<vx::app::App> app = start("en");
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-startup"));
  ASSERT_TRUE(wait_for([&] { return row_named(*app, "PageTest").has_value(); }));
  show_row(*app, 0);
  click(ostrel::query_selector(row(*app, 0, "autorun"), ".ar-from", 8));

  // The second F5 comes while the first load runs, after a new Run value
  // appeared: what stays on screen is the second load's list.
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, run_key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  RegDeleteValueW(key, L"QuickSecond");
  const std::uint64_t before = generation(*app);
  press(VK_F5);
  ASSERT_TRUE(wait_for([&] { return generation(*app) == before + 1; }));
  const std::wstring data = L"C:\\Tools\\quick.exe";
  RegSetValueExW(key, L"QuickSecond", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * 2));
  press(VK_F5);
  ASSERT_TRUE(wait_for([&] { return generation(*app) == before + 2 && row_named(*app, "QuickSecond").has_value(); }));
  const ULONGLONG until = GetTickCount64() + 1500;  // long enough for a late first batch to arrive
  wait_for([&] { return GetTickCount64() > until; });
  EXPECT_TRUE(row_named(*app, "QuickSecond").has_value()) << "a late first batch did not replace the second";
  RegDeleteValueW(key, L"QuickSecond");
  RegCloseKey(key);

  // "Save list..." from the context menu, and a file name typed into the
  // save dialog, as the user would; the page waits in both meanwhile.
  const fs::path saved = fs::temp_directory_path() / L"vorlix-startup-list.txt";
  fs::remove(saved);
  std::atomic<bool> menu_seen = false, dialog_seen = false;
  std::thread user([&] {
    HWND menu = nullptr;
    if (!poll([&] { return (menu = visible_window(L"#32768")) != nullptr; })) return;
    menu_seen = true;
    PostMessageW(view_, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(view_, WM_KEYDOWN, VK_RETURN, 0);
    HWND dialog = nullptr;
    if (!poll([&] { return (dialog = visible_window(L"#32770")) != nullptr; })) return;
    dialog_seen = true;
    HWND edit = nullptr;
    poll([&] {
      for (HWND child = FindWindowExW(dialog, nullptr, nullptr, nullptr); child && !edit;
           child = FindWindowExW(dialog, child, nullptr, nullptr)) {
        wchar_t name[32];
        GetClassNameW(child, name, 32);
        if (std::wcscmp(name, L"Edit") == 0 && IsWindowVisible(child)) edit = child;
        if (std::wcscmp(name, L"ComboBox") == 0 && IsWindowVisible(child))
          edit = FindWindowExW(child, nullptr, L"Edit", nullptr);
      }
      return edit != nullptr;
    });
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(saved.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  });
  const ostrel::Rect r = ostrel::element_rect(ostrel::query_selector(row(*app, 0, "autorun"), ".ar-name", 8));
  const LPARAM point = MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
  PostMessageW(view_, WM_RBUTTONDOWN, MK_RBUTTON, point);
  PostMessageW(view_, WM_RBUTTONUP, 0, point);
  wait_for([&] { return fs::exists(saved); });
  user.join();
  EXPECT_TRUE(menu_seen);
  ASSERT_TRUE(dialog_seen);
  std::ifstream file(saved, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF")) << "a UTF-8 byte order mark first";
  EXPECT_NE(bytes.find("\r\nHKCU|PageTest|HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\PageTest\r\n"),
            std::string::npos);
  EXPECT_NE(bytes.find("|Page Tool|"), std::string::npos);
  EXPECT_TRUE(bytes.ends_with("\r\n"));
  EXPECT_EQ(bytes.find("\n", 0), bytes.find("\r\n") + 1) << "every line ends in CR LF";
  file.close();
  fs::remove(saved);
  DestroyWindow(app->window());
}

TEST_F(StartupTab, TheServersNameListHidesWhatItProtectsOnTheOpenPage) {
  const std::optional<vx::testing::DevServer> server = vx::testing::DevServer::find();
  if (!server) GTEST_SKIP() << "no dev server (run through ctest)";
  ASSERT_TRUE(server->trust());
  ASSERT_TRUE(server->set_scenario(R"({"init":{"status":"ok","name_white":["pagetest"]}})"));
  const std::unique_ptr<vx::app::App> app = start("en", false, VORLIX_SERVER_ORIGIN);
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-startup"));
  ASSERT_TRUE(wait_for([&] { return row_named(*app, "PageTest").has_value(); }));
  vx::app::start_update_check(app->window(), app->context().update);
  EXPECT_TRUE(wait_for([&] { return !row_named(*app, "PageTest").has_value(); }))
      << "protected by the server's name list, the Run value leaves the open page";
  EXPECT_TRUE(row_named(*app, "Page Tool").has_value());
  server->set_scenario("{}");
  DestroyWindow(app->window());
}

}  // namespace
