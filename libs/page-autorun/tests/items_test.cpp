#include "page-autorun/items.h"

#include <gtest/gtest.h>

#include <vector>

#include "winutil/icon.h"

namespace {

using namespace vx::autorun;
using vx::Hive;

TEST(AutorunItems, StartupFolderFilesAreNamedWithoutTheirLastExtension) {
  EXPECT_TRUE(is_startup_file("Tool.backup.lnk"));
  EXPECT_TRUE(is_startup_file("run.CMD"));
  EXPECT_FALSE(is_startup_file("readme.txt"));
  EXPECT_FALSE(is_startup_file("lnk"));
  const AutorunItem item = folder_item("C:\\Users\\x\\Startup", "Tool.backup.lnk", Hive::hkcu, true);
  EXPECT_EQ(item.name, "Tool.backup");
  EXPECT_EQ(item.location, "C:\\Users\\x\\Startup\\Tool.backup.lnk");
  EXPECT_EQ(item.target, item.location);
  EXPECT_EQ(source_tag(item), "FILE");
  EXPECT_EQ(item_key(item), "FILE|C:\\USERS\\X\\STARTUP\\TOOL.BACKUP.LNK");
  EXPECT_EQ(icon_key(item), "exe1:C:\\Users\\x\\Startup\\Tool.backup.lnk");
  const std::optional<ApprovedValue> approved = approved_value(item);
  ASSERT_TRUE(approved);
  EXPECT_EQ(approved->hive, Hive::hkcu);
  EXPECT_EQ(approved->key, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder");
  EXPECT_EQ(approved->name, "Tool.backup.lnk") << "the full file name";
}

TEST(AutorunItems, RunValuesKeepTheirCommandAndStartItsTarget) {
  const AutorunItem item =
      run_item(Hive::hklm, run_keys[1].path, "Updater", "\"C:\\Program Files\\Up\\up.exe\" /quiet", false);
  EXPECT_EQ(item.location, "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\Updater");
  EXPECT_EQ(item.target, "C:\\Program Files\\Up\\up.exe");
  EXPECT_EQ(item.command, "\"C:\\Program Files\\Up\\up.exe\" /quiet");
  EXPECT_EQ(item.key_path, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(source_tag(item), "HKLM");
  EXPECT_EQ(approved_value(item)->key,
            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32")
      << "a Wow6432Node Run key keeps its state under Run32";
  EXPECT_EQ(approved_value(run_item(Hive::hkcu, run_keys[2].path, "A", "a.exe", true))->key,
            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run");
  EXPECT_EQ(run_item(Hive::hkcu, run_keys[2].path, "A", "\\??\\C:\\Tools\\a.exe", true).target, "C:\\Tools\\a.exe");
  EXPECT_EQ(run_item(Hive::hkcu, run_keys[2].path, "A", "rundll32.exe C:\\Tools\\helper.dll,Start", true).target,
            "C:\\Tools\\helper.dll");
  EXPECT_EQ(icon_key(run_item(Hive::hkcu, run_keys[2].path, "Empty", "", true)), "vx-1.png");
  // A comma inside the path must not be read back as an icon index.
  const std::optional<vx::winutil::IconKey> comma =
      vx::winutil::parse_icon_key(icon_key(run_item(Hive::hkcu, run_keys[2].path, "A", "\"C:\\A,B\\a.exe\" /x", true)));
  ASSERT_TRUE(comma);
  EXPECT_EQ(comma->path, "C:\\A,B\\a.exe");
}

TEST(AutorunItems, TasksAndServices) {
  const AutorunItem task = task_item("Updater Task", false);
  EXPECT_EQ(task.location, "\\Updater Task");
  EXPECT_EQ(item_key(task), "SCHE|\\UPDATER TASK");
  EXPECT_EQ(icon_key(task), "vx-2.png");
  EXPECT_FALSE(approved_value(task));

  const AutorunItem on_demand = service_item("vxsvc", "Vorlix Test Service", "\"C:\\s\\svc.exe\" -k", 3);
  EXPECT_FALSE(on_demand.enabled) << "on demand is off";
  EXPECT_EQ(on_demand.name, "Vorlix Test Service");
  EXPECT_EQ(on_demand.location, "vxsvc");
  EXPECT_EQ(on_demand.target, "\"C:\\s\\svc.exe\" -k");
  EXPECT_EQ(icon_key(on_demand), "vx-3.png");
  EXPECT_TRUE(service_item("a", "A", "a.exe", 2).enabled);
  EXPECT_EQ(service_start_type(true), 2u);
  EXPECT_EQ(service_start_type(false), 4u) << "never back to on demand";
  EXPECT_EQ(item_key(service_item("ßvc", "x", "", 4)), "SERV|SSVC") << "full Unicode upper-casing";
}

TEST(AutorunItems, StartupApprovedValues) {
  const std::vector<std::uint8_t> off{3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<std::uint8_t> six = off;
  six[0] = 6;
  const std::vector<std::uint8_t> short_off{3, 0, 0, 0, 1, 2, 3, 4};
  std::vector<std::uint8_t> on = off;
  on[0] = 2;
  EXPECT_FALSE(approved_on(std::span<const std::uint8_t>(off)));
  EXPECT_FALSE(approved_on(std::span<const std::uint8_t>(six)));
  EXPECT_TRUE(approved_on(std::span<const std::uint8_t>(short_off))) << "only 12 bytes count";
  EXPECT_TRUE(approved_on(std::span<const std::uint8_t>(on)));
  EXPECT_TRUE(approved_on(std::nullopt)) << "no value: on";

  const std::array<std::uint8_t, 12> written = approved_bytes(false, 0x01D9'1234'5678'9ABCull);
  EXPECT_EQ(written, (std::array<std::uint8_t, 12>{3, 0, 0, 0, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0xD9, 0x01}));
  EXPECT_EQ(approved_bytes(true, 0)[0], 2);
  EXPECT_EQ(product_name_query(0x0409, 0x04B0), "\\StringFileInfo\\040904B0\\ProductName");
}

}  // namespace
