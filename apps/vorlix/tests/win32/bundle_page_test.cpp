// The bundle tab of the real program, driven as a user would: three programs
// of the bundle list and a decoy registered in the prefix's Uninstall keys;
// the three are listed newest first with their icons, and a double click
// starts the chosen one's uninstaller through the desktop's shell.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app_window.h"
#include "common/text.h"
#include "common/win32/text.h"
#include "page-install/page.h"

namespace {

namespace fs = std::filesystem;

constexpr wchar_t uninstall_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t wow_uninstall_key[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t product_code[] = L"{4D2A8C1E-0B7F-4E53-9C61-2F0A7B3D5E19}";

fs::path bin_folder() {
  wchar_t self[MAX_PATH];
  return fs::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH))).parent_path();
}

void set_values(HKEY root, const std::wstring& key_path,
                std::initializer_list<std::pair<const wchar_t*, std::wstring>> values) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  for (const auto& [name, data] : values)
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

class BundleTab : public vx::app::testing::AppWindow {
 protected:
  static void SetUpTestSuite() {
    const std::wstring uninstaller = L"\"" + (bin_folder() / L"vorlix-test-uninstaller.exe").wstring() + L"\"";
    const std::wstring fixture = (bin_folder() / L"winutil_fixture.exe").wstring();
    wchar_t windows[MAX_PATH];
    const fs::path installer =
        fs::path(std::wstring(windows, GetWindowsDirectoryW(windows, MAX_PATH))) / L"Installer" / product_code;
    fs::create_directories(installer);
    fs::copy_file(fixture, installer / L"product.exe", fs::copy_options::overwrite_existing);

    const std::wstring hklm = std::wstring(uninstall_key) + L"\\";
    set_values(HKEY_LOCAL_MACHINE, hklm + L"VorlixTestSign",
               {{L"DisplayName", L"AnySign4PC 1.1"},
                {L"Publisher", L"Sign Co"},
                {L"InstallDate", L"20260301"},
                {L"UninstallString", uninstaller + L" /S --from sign"},
                {L"DisplayIcon", L"\"" + fixture + L"\",0"}});
    set_values(HKEY_LOCAL_MACHINE, std::wstring(wow_uninstall_key) + L"\\" + product_code,
               {{L"DisplayName", L"IPinside LWS Agent"},
                {L"Publisher", L"Interezen"},
                {L"InstallDate", L"20251010"},
                {L"UninstallString", std::wstring(L"MsiExec.exe /X") + product_code}});
    set_values(HKEY_CURRENT_USER, hklm + L"VorlixTestLog",
               {{L"DisplayName", L"우리은행 보안 로그 수집기"},
                {L"InstallDate", L"20240505"},
                {L"UninstallString", uninstaller + L" --from log"}});
    set_values(HKEY_LOCAL_MACHINE, hklm + L"VorlixTestDecoy",
               {{L"DisplayName", L"Office Suite"},
                {L"Publisher", L"Big Co"},
                {L"InstallDate", L"20261231"},
                {L"UninstallString", uninstaller + L" --from decoy"}});
  }
  static void TearDownTestSuite() {
    const std::wstring hklm = std::wstring(uninstall_key) + L"\\";
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (hklm + L"VorlixTestSign").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(wow_uninstall_key) + L"\\" + product_code).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, (hklm + L"VorlixTestLog").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (hklm + L"VorlixTestDecoy").c_str());
  }
  std::vector<std::string> names(vx::app::App& app) {
    std::vector<std::string> out;
    for (std::size_t i = 0; ostrel::Node* r = row(app, i, "install"); ++i)
      out.push_back(ostrel::ui::Element(ostrel::query_selector(r, "td", 2)).text());
    return out;
  }
  static std::uint64_t generation(vx::app::App& app) {
    std::uint64_t generation = 0;
    app.pages().deliver(vx::ui::PageId::bundle, [&](vx::ui::Page& page) {
      generation = dynamic_cast<vx::install::InstallPage&>(page).generation();
    });
    return generation;
  }
  std::string icon(vx::app::App& app, std::size_t index) {
    const char* source =
        ostrel::get_attribute(ostrel::query_selector(row(app, index, "install"), "img.ic", 6), "src", 3, nullptr);
    return source ? source : "";
  }
};

TEST_F(BundleTab, ListsTheBundleProgramsNewestFirstAndUninstallsThroughTheDesktop) {
  const fs::path log = bin_folder() / L"vorlix-test-uninstaller.log";
  fs::remove(log);
  const std::unique_ptr<vx::app::App> app = start("en");
  ASSERT_TRUE(app);
  click(by_id(*app, "tab-bundle"));
  ASSERT_TRUE(wait_for([&] { return names(*app).size() == 3; }));
  EXPECT_EQ(names(*app),
            (std::vector<std::string>{"AnySign4PC 1.1", "IPinside LWS Agent", "우리은행 보안 로그 수집기"}));
  EXPECT_EQ(icon(*app, 0), "exe0:" + vx::win32::narrow((bin_folder() / L"winutil_fixture.exe").wstring()));
  EXPECT_NE(icon(*app, 1).find("\\Installer\\{4D2A8C1E-0B7F-4E53-9C61-2F0A7B3D5E19}\\product.exe"), std::string::npos);
  EXPECT_EQ(icon(*app, 2), "exe0:" + vx::win32::narrow((bin_folder() / L"vorlix-test-uninstaller.exe").wstring()))
      << "without DisplayIcon the uninstaller's own";
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(*app, 2, "install"), "td + td", 7)).text(), "Unknown");
  screenshot(L"vorlix-bundle-light.png");

  const std::uint64_t before = generation(*app);
  const ostrel::Rect r = ostrel::element_rect(ostrel::query_selector(row(*app, 0, "install"), "td", 2));
  const LPARAM point = MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
  PostMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(view_, WM_LBUTTONUP, 0, point);
  PostMessageW(view_, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  PostMessageW(view_, WM_LBUTTONUP, 0, point);
  ASSERT_TRUE(wait_for([&] { return fs::exists(log) && fs::file_size(log) > 0; })) << "the uninstaller ran";
  std::ifstream file(log, std::ios::binary);
  const std::string line{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_EQ(line.substr(0, line.find('|')), "/S --from sign");
  const std::string parent = line.substr(line.find('|') + 1);
  EXPECT_EQ(vx::to_lower(parent), "explorer.exe\n") << "started by the desktop's shell, not by us";

  EXPECT_EQ(generation(*app), before + 1) << "loaded again as the uninstaller starts";

  // Once the uninstaller has removed the entry, F5 shows the other two.
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(uninstall_key) + L"\\VorlixTestSign").c_str());
  PostMessageW(view_, WM_KEYDOWN, VK_F5, 0);
  ASSERT_TRUE(wait_for([&] { return names(*app).size() == 2; }));
  (void)app->document().set_color_scheme(true);
  screenshot(L"vorlix-bundle-dark.png");
  DestroyWindow(app->window());
}

}  // namespace
