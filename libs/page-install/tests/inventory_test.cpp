// The installed-programs list against a fake machine: which Uninstall entries
// are listed, where their icons come from, and in what order.
#include "page-install/inventory.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "winutil/icon.h"

namespace {

using namespace vx::install;
using vx::Hive;
using vx::winutil::RawValue;
namespace reg_type = vx::winutil::reg_type;

RawValue sz(std::string_view text, std::uint32_t type = reg_type::sz) {
  RawValue value{type, {}};
  for (const char16_t unit : vx::utf8_to_utf16(text)) {
    value.bytes.push_back(static_cast<char>(unit & 0xFF));
    value.bytes.push_back(static_cast<char>(unit >> 8));
  }
  value.bytes.append(2, '\0');
  return value;
}
RawValue dword(std::uint32_t n) {
  return {reg_type::dword,
          {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16), static_cast<char>(n >> 24)}};
}

constexpr std::string_view hklm = uninstall_keys[0].path;
constexpr std::string_view wow = uninstall_keys[1].path;
using Values = std::map<std::string, RawValue>;

class FakeMachine final : public InventorySource {
 public:
  struct Subkey {
    Hive hive;
    std::string key, name;
    Values values;
  };
  std::deque<Subkey> subkeys;                      // in listing order; references stay valid
  std::map<std::string, std::string> first_files;  // folder -> its first file
  std::map<std::string, std::string> dates;        // file -> modified date
  std::vector<std::string> looked_up;              // folders and files asked about

  Values& add(std::string_view name, std::string_view uninstall, std::string_view key = hklm, Hive hive = Hive::hklm) {
    Values values{{"DisplayName", sz(name)}, {"UninstallString", sz(uninstall)}};
    subkeys.push_back({hive, std::string(key), std::to_string(subkeys.size()), std::move(values)});
    return subkeys.back().values;
  }

  std::vector<std::string> subkey_names(Hive hive, std::string_view path) override {
    std::vector<std::string> names;
    for (const Subkey& subkey : subkeys)
      if (subkey.hive == hive && subkey.key == path) names.push_back(subkey.name);
    return names;
  }
  std::optional<RawValue> value(Hive hive, std::string_view path, std::string_view name) override {
    for (const Subkey& subkey : subkeys)
      if (subkey.hive == hive && subkey.key + "\\" + subkey.name == path) {
        const auto found = subkey.values.find(std::string(name));
        if (found != subkey.values.end()) return found->second;
      }
    return std::nullopt;
  }
  std::optional<std::string> first_file(std::string_view folder) override { return lookup(first_files, folder); }
  std::optional<std::string> modified_date(std::string_view path) override { return lookup(dates, path); }

 private:
  std::optional<std::string> lookup(const std::map<std::string, std::string>& table, std::string_view key) {
    looked_up.emplace_back(key);
    const auto found = table.find(std::string(key));
    return found == table.end() ? std::nullopt : std::optional(found->second);
  }
};

const Folders folders{"C:\\Program Files", "C:\\Windows"};

std::vector<std::string> names_of(const std::vector<InstalledProgram>& programs) {
  std::vector<std::string> names;
  for (const InstalledProgram& program : programs) names.push_back(program.display_name);
  return names;
}

TEST(Inventory, EntriesWindowsHidesAreLeftOut) {
  FakeMachine machine;
  machine.add("Component", "x.exe")["SystemComponent"] = dword(1);
  machine.add("Update", "x.exe")["ParentKeyName"] = sz("");
  machine.add("Fixed", "x.exe")["NoRemove"] = dword(2);
  machine.add("No uninstaller", " \t");
  machine.add(" ", "x.exe");
  machine.add("Visible 0", "x.exe")["SystemComponent"] = dword(0);
  machine.add("Visible text", "x.exe")["NoRemove"] = sz("1");  // not a DWORD: absent
  Values& app = machine.add("  Full App ", " \"C:\\App\\uninst.exe\" /S ");
  app["Publisher"] = sz(" Maker ");
  app["DisplayVersion"] = dword(3);  // not a string: empty
  app["HelpLink"] = sz("https://help", reg_type::expand_sz);
  app["InstallLocation"] = sz("C:\\App\\");
  app["URLInfoAbout"] = sz("https://about");
  app["EstimatedSize"] = dword(123456);
  app["InstallDate"] = sz("20240131");

  const auto programs = collect_programs(machine, folders);
  EXPECT_EQ(names_of(programs), (std::vector<std::string>{"Full App", "Visible 0", "Visible text"}));
  EXPECT_EQ(programs[0],
            (InstalledProgram{"Full App", "\"C:\\App\\uninst.exe\" /S", "Maker", "", "https://help", "C:\\App\\",
                              "https://about", "20240131", 123456, "C:\\App\\uninst.exe", 0}));
}

// What a DisplayIcon value (or the uninstall string without one) makes of the
// icon's file and index.
TEST(Inventory, IconSources) {
  struct Icon {
    std::string_view display_icon;
    std::string path;
    std::uint16_t index = 0;
  };
  const Icon cases[] = {
      {"\"C:\\App\\a.exe\",1", "C:\\App\\a.exe", 1},
      {"C:\\App\\a.exe,-101", "C:\\App\\a.exe"},
      {"C:\\App\\a.exe,150", "C:\\App\\a.exe"},
      {"C:\\App\\a.exe,100", "C:\\App\\a.exe", 100},
      {"C:\\App\\a.exe, +7 ", "C:\\App\\a.exe", 7},
      {"C:\\App\\a.exe,99999999999999999999999", "C:\\App\\a.exe"},
      {"C:\\App\\a.exe,2x", "C:\\App\\a.exe"},
      {"  C:\\App\\a.exe  ", "C:\\App\\a.exe"},
      {"\"C:\\A,B\\a.exe\" , 3", "C:\\A,B\\a.exe", 3},
      {"\"C:\\A,B\\a.exe\" /uninstall,3", "C:\\A,B\\a.exe"},
      {"\"C:\\App\\a.exe,4", "C:\\App\\a.exe,4"},
      {"%ProgramFiles%\\App\\a.exe;%PROGRAMFILES%\\b,5", "C:\\Program Files\\App\\a.exe;C:\\Program Files\\b", 5},
  };
  for (const Icon& expected : cases) {
    SCOPED_TRACE(expected.display_icon);
    FakeMachine machine;
    machine.add("App", "C:\\App\\uninst.exe")["DisplayIcon"] = sz(expected.display_icon);
    const auto programs = collect_programs(machine, folders);
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].icon_path, expected.path);
    EXPECT_EQ(programs[0].icon_index, expected.index);
  }

  FakeMachine machine;
  machine.add("No icon", "C:\\App\\uninst.exe,2");
  machine.add("Empty icon", "C:\\App\\u.exe")["DisplayIcon"] = sz("");
  const auto programs = collect_programs(machine, folders);
  ASSERT_EQ(programs.size(), 2u);
  EXPECT_EQ(icon_key(programs[0]), "exe0:C:\\App\\uninst.exe,2") << "the uninstall string stands in";
  EXPECT_EQ(icon_key(programs[1]), "exe0:C:\\App\\u.exe");
  EXPECT_EQ(icon_key(InstalledProgram{}), "vx-0.png");
  // A comma inside the path must not be read back as an index.
  InstalledProgram comma;
  comma.icon_path = "C:\\A,B\\a.exe";
  const std::optional<vx::winutil::IconKey> parsed = vx::winutil::parse_icon_key(icon_key(comma));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->path, comma.icon_path);
  EXPECT_EQ(parsed->index, 0);
}

TEST(Inventory, InstallerEntriesTakeTheirIconFromTheInstallerFolder) {
  const std::string code = "{9A3B2C1D-0E4F-4a5b-8C7D-6E5F4A3B2C1D}";
  FakeMachine machine;
  machine.first_files["C:\\Windows\\Installer\\" + code] = "app_icon.exe";
  machine.add("Cached", "MsiExec.exe /X" + code);
  machine.add("Not cached", "msiexec /I{00000000-0000-0000-0000-000000000000}");
  machine.add("Escape", "MsiExec.exe /X{..\\..\\System32\\config}");
  machine.add("Escape, GUID-long", "MsiExec.exe /X{..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\}");
  machine.add("Own icon", "MsiExec.exe /X" + code)["DisplayIcon"] = sz("C:\\App\\own.ico");
  machine.add("Icon names msiexec", "C:\\u.exe")["DisplayIcon"] = sz("C:\\Windows\\System32\\MsiExec.exe,3");

  const auto programs = collect_programs(machine, folders);
  const std::string msiexec = "C:\\Windows\\System32\\msiexec.exe";
  std::map<std::string, std::string> icons;
  for (const InstalledProgram& program : programs) icons[program.display_name] = icon_key(program);
  EXPECT_EQ(icons, (std::map<std::string, std::string>{
                       {"Cached", "exe0:C:\\Windows\\Installer\\" + code + "\\app_icon.exe"},
                       {"Not cached", "exe0:" + msiexec},
                       {"Escape", "exe0:" + msiexec},
                       {"Escape, GUID-long", "exe0:" + msiexec},
                       {"Own icon", "exe0:C:\\App\\own.ico"},
                       {"Icon names msiexec", "exe0:" + msiexec},
                   }));
  for (const std::string& path : machine.looked_up) EXPECT_EQ(path.find(".."), std::string::npos) << path;
}

TEST(Inventory, SourcesOrderAndDuplicates) {
  FakeMachine machine;
  machine.add("Old", "old.exe")["InstallDate"] = sz("20190101");
  machine.add("Undated A", "a.exe");
  machine.add("Shared", "hklm.exe")["Publisher"] = sz("Maker");
  machine.add("Shared", "wow.exe", wow)["Publisher"] = sz("Maker");
  machine.add("Shared", "other.exe", wow)["Publisher"] = sz("Other maker");
  machine.add("Shared", "case.exe", wow)["Publisher"] = sz("maker");
  machine.add("New", "new.exe", uninstall_keys[2].path, Hive::hkcu)["InstallDate"] = sz("20240615");
  machine.add("Undated B", "b.exe", uninstall_keys[3].path, Hive::hkcu);
  machine.add("Same day", "s.exe", uninstall_keys[3].path, Hive::hkcu)["InstallDate"] = sz("20190101");

  const auto programs = collect_programs(machine, folders);
  EXPECT_EQ(names_of(programs), (std::vector<std::string>{"New", "Old", "Same day", "Undated A", "Shared", "Shared",
                                                          "Shared", "Undated B"}));
  EXPECT_EQ(programs[4].uninstall_string, "hklm.exe") << "the first one read wins";
  EXPECT_EQ(programs[5].publisher, "Other maker");
  EXPECT_EQ(programs[6].publisher, "maker") << "publishers compare exactly";
}

TEST(Inventory, InstallDateFallsBackToTheIconFilesDate) {
  FakeMachine machine;
  machine.first_files["C:\\Windows\\Installer\\{11111111-2222-3333-4444-555555555555}"] = "i.ico";
  machine.dates = {{"C:\\App\\a.exe", "20230405"},
                   {"C:\\Windows\\Installer\\{11111111-2222-3333-4444-555555555555}\\i.ico", "20220101"},
                   {"C:\\Windows\\System32\\msiexec.exe", "20210101"},
                   {"C:\\Bad\\b.exe", "2023-4-5"}};
  Values& dashes = machine.add("Written with dashes", "u.exe");
  dashes["DisplayIcon"] = sz("C:\\App\\a.exe,1");
  dashes["InstallDate"] = sz("2023-01-05");
  machine.add("Kept", "C:\\App\\a.exe")["InstallDate"] = sz(" 20200202 ");
  machine.add("Nine digits", "C:\\App\\a.exe")["InstallDate"] = sz("202002020");
  machine.add("Wide digits", "C:\\App\\a.exe")["InstallDate"] = sz("２０２００２０２");
  machine.add("Installer", "MsiExec.exe /X{11111111-2222-3333-4444-555555555555}");
  machine.add("Stand-in", "MsiExec.exe /X");
  machine.add("Relative", "a.exe");
  machine.add("Network", "\\\\server\\share\\a.exe");
  machine.add("Bad date", "C:\\Bad\\b.exe");
  machine.add("No file date", "C:\\Gone\\g.exe");

  std::map<std::string, std::string> dates;
  for (const InstalledProgram& program : collect_programs(machine, folders))
    dates[program.display_name] = program.install_date;
  EXPECT_EQ(dates, (std::map<std::string, std::string>{{"Written with dashes", "20230405"},
                                                       {"Kept", "20200202"},
                                                       {"Nine digits", "20230405"},
                                                       {"Wide digits", "20230405"},
                                                       {"Installer", "20220101"},
                                                       {"Stand-in", ""},
                                                       {"Relative", ""},
                                                       {"Network", ""},
                                                       {"Bad date", ""},
                                                       {"No file date", ""}}));
  for (const std::string& path : machine.looked_up) EXPECT_NE(path, "a.exe");
  for (const std::string& path : machine.looked_up) EXPECT_FALSE(path.starts_with("\\\\")) << path;
}

}  // namespace
