// What Windows starts by itself, as the startup page lists it: shortcuts and
// programs in the Startup folders, Run values, scheduled tasks of the root
// folder and Win32 services, each switched on or off.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/hive.h"

namespace vx::autorun {

enum class SourceKind : std::uint8_t { folder = 0, registry = 1, task = 2, service = 3 };

struct AutorunItem {
  std::string name;      // file name without its last extension, value name, task name, display name
  std::string location;  // file path, hive + Run key + "\" + value name, "\" + task name, service name
  std::string target;    // the file it starts (empty for a task; a service's configured binary path)
  std::string command;   // a Run value's data; a service's binary path
  std::string key_path;  // the Run key's path, leading backslash kept
  std::uint32_t start_type = 0;
  SourceKind kind = SourceKind::folder;
  Hive hive = Hive::hklm;  // the common Startup folder and HKLM: 0; the user's: 1
  bool enabled = true;
  friend bool operator==(const AutorunItem&, const AutorunItem&) = default;
};

// An item of a load's batch, with the product name its file's version resource gives.
struct ListedItem {
  AutorunItem item;
  std::string product_name;
  friend bool operator==(const ListedItem&, const ListedItem&) = default;
};

// "FILE", the hive's short name, "SCHE" or "SERV".
std::string_view source_tag(const AutorunItem& item);
// "TAG|location", upper-cased: the item across reloads.
std::string item_key(const AutorunItem& item);
// "exe1:<target>" for files (built-in "vx-1.png" without one), "vx-2.png" for
// tasks, "vx-3.png" for services.
std::string icon_key(const AutorunItem& item);

// The file names the Startup folders start: .url .lnk .exe .bat .cmd .com.
bool is_startup_file(std::string_view file_name);
AutorunItem folder_item(std::string_view folder, std::string_view file_name, Hive hive, bool enabled);
AutorunItem run_item(Hive hive, std::string_view key_path, std::string_view value_name, std::string_view data,
                     bool enabled);
AutorunItem task_item(std::string_view name, bool enabled);
AutorunItem service_item(std::string_view service_name, std::string_view display_name, std::string_view binary_path,
                         std::uint32_t start_type);

// The three Run keys, in the order they are read.
struct RunKey {
  Hive hive;
  std::string_view path;
};
inline constexpr std::array<RunKey, 3> run_keys{{
    {Hive::hklm, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::hklm, "\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {Hive::hkcu, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
}};

// Where Windows keeps a folder or Run item's on/off state (under the item's
// hive) and the value's name there. Only folder and registry items have one.
struct ApprovedValue {
  Hive hive;
  std::string key;
  std::string name;
};
std::optional<ApprovedValue> approved_value(const AutorunItem& item);

// On unless the value is exactly 12 bytes and its first byte is not 2.
bool approved_on(std::optional<std::span<const std::uint8_t>> value);
// 2 (on) or 3 (off), three zero bytes, then the FILETIME of the change.
std::array<std::uint8_t, 12> approved_bytes(bool on, std::uint64_t filetime);

// A service's new start type when switched: on means automatic (2), off
// disabled (4); it never goes back to on demand (3).
inline constexpr std::uint32_t service_start_type(bool on) { return on ? 2 : 4; }

// "\StringFileInfo\040904B0\ProductName" for language 0x0409 and code page 1200.
std::string product_name_query(std::uint16_t language, std::uint16_t code_page);

}  // namespace vx::autorun
