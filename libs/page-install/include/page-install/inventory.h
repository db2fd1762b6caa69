// The programs Windows lists as installed (its Uninstall keys), without the
// entries Windows itself hides and without duplicates, each with the file its
// icon comes from. The machine is read through a narrow view, so the rules
// are the same against the real registry and a fake.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/hive.h"
#include "winutil/registry_value.h"

namespace vx::install {

// One accepted Uninstall subkey; every text is trimmed of white space.
struct InstalledProgram {
  std::string display_name;
  std::string uninstall_string;
  std::string publisher;
  std::string display_version;
  std::string help_link;
  std::string install_location;
  std::string url_info_about;
  std::string install_date;          // "YYYYMMDD", or empty when unknown
  std::uint32_t estimated_size = 0;  // as the entry writes it; 0 when absent
  std::string icon_path;             // the file carrying the icon; may be empty
  std::uint16_t icon_index = 0;      // 0 to 100
  friend bool operator==(const InstalledProgram&, const InstalledProgram&) = default;
};

// "vx-0.png" (the built-in picture) without an icon file, otherwise
// "exe0:<path>", with ",<index>" appended when the index is not 0.
std::string icon_key(const InstalledProgram& program);

// The Uninstall keys, in the order they are read.
struct UninstallKey {
  Hive hive;
  std::string_view path;
};
inline constexpr std::array<UninstallKey, 4> uninstall_keys{{
    {Hive::hklm, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {Hive::hklm, "\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {Hive::hkcu, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {Hive::hkcu, "\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
}};

// What the list needs from the machine. Nothing here fails: what cannot be
// read is simply absent.
class InventorySource {
 public:
  virtual ~InventorySource() = default;
  // The key's subkey names; empty when the key cannot be opened.
  virtual std::vector<std::string> subkey_names(Hive hive, std::string_view path) = 0;
  // Absent when the value does not exist or cannot be read.
  virtual std::optional<winutil::RawValue> value(Hive hive, std::string_view path, std::string_view name) = 0;
  // The name of the first entry of the folder that is a file, in listing order.
  virtual std::optional<std::string> first_file(std::string_view folder) = 0;
  // A file's last-modified date in local time as "YYYYMMDD"; absent if unknown.
  virtual std::optional<std::string> modified_date(std::string_view path) = 0;
};

struct Folders {
  std::string program_files;  // replaces %ProgramFiles% in icon paths; may be empty
  std::string windows = "C:\\Windows";
};

// Every accepted program once (the first of the same name and publisher wins),
// newest install date first and undated programs last; programs of the same
// date keep the order they were read in.
std::vector<InstalledProgram> collect_programs(InventorySource& source, const Folders& folders);

}  // namespace vx::install
