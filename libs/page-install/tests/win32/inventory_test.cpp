// The installed programs of a scratch prefix: three hundred Uninstall entries
// whose icons are the prefix's own programs and libraries, and entries with
// values no installer should write.
#include "page-install/win32/inventory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "common/win32/text.h"
#include "page-install/page.h"
#include "winutil/win32/icon.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::install;

constexpr wchar_t uninstall_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

HKEY create(const std::wstring& subkey) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(uninstall_key) + L"\\" + subkey).c_str(), 0, nullptr, 0,
                  KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  return key;
}
void set(HKEY key, const wchar_t* name, const std::wstring& text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
void set_raw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

const InstalledProgram* find(const std::vector<InstalledProgram>& programs, std::string_view name) {
  const auto at = std::ranges::find(programs, name, &InstalledProgram::display_name);
  return at == programs.end() ? nullptr : &*at;
}

class Inventory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t system[MAX_PATH];
    const fs::path folder(std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)));
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().extension() == L".exe" || entry.path().extension() == L".dll") files.push_back(entry.path());
    std::ranges::sort(files);
    ASSERT_GE(files.size(), 300u);
    for (int i = 0; i < 300; ++i) {
      wchar_t name[32];
      std::swprintf(name, 32, L"VorlixLoad%03d", i);
      const HKEY key = create(name);
      // Every thirtieth is a bundle program, as on a machine with a few of them.
      set(key, L"DisplayName", std::wstring(i % 30 ? L"Vorlix Load " : L"AnySign4PC Load ") + name);
      set(key, L"Publisher", L"Load Co");
      set(key, L"InstallDate", L"2025" + std::to_wstring(1001 + i % 28));
      set(key, L"UninstallString", L"\"" + files[i].wstring() + L"\" /uninstall");
      if (i % 2) set(key, L"DisplayIcon", files[i].wstring() + L",0");
      RegCloseKey(key);
    }
  }
  static void TearDownTestSuite() {
    for (int i = 0; i < 300; ++i) {
      wchar_t name[64];
      std::swprintf(name, 64, L"%ls\\VorlixLoad%03d", uninstall_key, i);
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, name);
    }
  }
};

TEST_F(Inventory, ThreeHundredEntriesWithTheirIcons) {
  // The program's window has loaded the shell's icon code before any page
  // loads; a bare test process pays for that with its first icon (~0.2 s
  // under Wine), so it does so here, before the clock starts.
  wchar_t system[MAX_PATH];
  const std::wstring notepad = std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) + L"\\notepad.exe";
  (void)vx::winutil::win32::render_icon_image("exe1:" + vx::win32::narrow(notepad));

  // As the page's load does it: every entry read, icons made for what it shows.
  const auto started = std::chrono::steady_clock::now();
  const std::vector<InstalledProgram> programs = win32::load_programs();
  const auto listed = std::chrono::steady_clock::now();
  std::vector<InstalledProgram> shown;
  for (const std::size_t row : bundle_rows(programs, {"anysign4pc"})) shown.push_back(programs[row]);
  const auto images = vx::winutil::win32::render_icon_images(win32::new_icon_keys(shown));
  const auto done = std::chrono::steady_clock::now();
  const auto all_images = vx::winutil::win32::render_icon_images(win32::new_icon_keys(programs));
  const auto ms = [](auto from, auto to) { return std::chrono::duration<double, std::milli>(to - from).count(); };
  std::printf("inventory of %zu programs: %.1f ms, icons of the %zu shown: %.1f ms (all %zu others: %.1f ms)\n",
              programs.size(), ms(started, listed), images.size(), ms(listed, done), all_images.size(),
              ms(done, std::chrono::steady_clock::now()));

  const std::size_t ours = std::ranges::count_if(
      programs, [](const InstalledProgram& p) { return p.display_name.find(" Load VorlixLoad") != std::string::npos; });
  EXPECT_EQ(ours, 300u);
  EXPECT_EQ(shown.size(), 10u);
  EXPECT_EQ(images.size(), 10u);
  EXPECT_GE(all_images.size(), 250u) << "each program's own file";
  EXPECT_TRUE(std::ranges::is_sorted(programs, std::greater<>(), &InstalledProgram::install_date));
  EXPECT_TRUE(win32::new_icon_keys(programs).empty()) << "rendered once per process";
}

TEST_F(Inventory, OddValuesListWithoutHarm) {
  const std::wstring big(32 * 1024, L'x');  // 64 KB of text
  const DWORD number = 7;
  const BYTE bytes[] = {0x41, 0, 0x42};
  const wchar_t multi[] = L"One\0Two\0";
  {
    const HKEY key = create(L"VorlixOddTypes");
    set_raw(key, L"DisplayName", REG_DWORD, &number, sizeof number);
    set(key, L"UninstallString", L"C:\\x.exe");
    RegCloseKey(key);
  }
  {
    const HKEY key = create(L"VorlixOddValues");
    set(key, L"DisplayName", L"Vorlix Odd " + big);
    set_raw(key, L"UninstallString", REG_EXPAND_SZ, L"\"C:\\Odd Dir\\u.exe\" /x", 44);
    set_raw(key, L"Publisher", REG_BINARY, bytes, sizeof bytes);
    set_raw(key, L"DisplayVersion", REG_MULTI_SZ, multi, sizeof multi);
    set(key, L"DisplayIcon", L"\"C:\\Odd\\\"a.exe\",-32768");
    set(key, L"InstallDate", big);
    set_raw(key, L"EstimatedSize", REG_SZ, L"12", 6);
    RegCloseKey(key);
  }
  {
    const HKEY key = create(L"VorlixOddIndex");
    set(key, L"DisplayName", L"Vorlix Odd Index");
    set(key, L"UninstallString", L"\"\"");
    set(key, L"DisplayIcon", L"C:\\App\\a.exe,999999");
    RegCloseKey(key);
  }
  {
    const HKEY key = create(L"VorlixOnlySpaces");
    set(key, L"DisplayName", L"Vorlix Only Spaces");
    set(key, L"UninstallString", L"    ");
    RegCloseKey(key);
  }
  const std::vector<InstalledProgram> programs = win32::load_programs();
  for (const wchar_t* name : {L"VorlixOddTypes", L"VorlixOddValues", L"VorlixOddIndex", L"VorlixOnlySpaces"})
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(uninstall_key) + L"\\" + name).c_str());

  EXPECT_EQ(find(programs, "Vorlix Only Spaces"), nullptr) << "no uninstaller";
  const InstalledProgram* odd = find(programs, "Vorlix Odd " + std::string(big.size(), 'x'));
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->uninstall_string, "\"C:\\Odd Dir\\u.exe\" /x");
  EXPECT_EQ(odd->publisher, "") << "not text";
  EXPECT_EQ(odd->display_version, "");
  EXPECT_EQ(odd->install_date, "");
  EXPECT_EQ(odd->estimated_size, 0u);
  EXPECT_EQ(odd->icon_path, "C:\\Odd\\");
  EXPECT_EQ(odd->icon_index, 0u);
  const InstalledProgram* index = find(programs, "Vorlix Odd Index");
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->icon_path, "C:\\App\\a.exe");
  EXPECT_EQ(index->icon_index, 0u);
}

}  // namespace
