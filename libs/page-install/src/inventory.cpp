#include "page-install/inventory.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

#include "common/path_vars.h"
#include "common/text.h"

namespace vx::install {
namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_hex_digit(char c) { return is_digit(c) || (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f'); }

// The key's values, read and converted the way every field wants them.
class Entry {
 public:
  Entry(InventorySource& source, Hive hive, std::string path) : source_(source), hive_(hive), path_(std::move(path)) {}

  std::optional<winutil::RawValue> raw(std::string_view name) { return source_.value(hive_, path_, name); }
  // Empty when absent or not a string.
  std::string text(std::string_view name) {
    const auto value = raw(name);
    return value ? std::string(trim(winutil::string_of(*value))) : std::string();
  }
  std::optional<std::uint32_t> dword(std::string_view name) {
    const auto value = raw(name);
    return value ? winutil::dword_of(*value) : std::nullopt;
  }
  // Updates and parts of another product, and entries that may not be removed,
  // are not the user's to uninstall: Windows leaves them out of its list too.
  bool hidden() {
    return raw("ParentKeyName").has_value() || dword("NoRemove").value_or(0) != 0 ||
           dword("SystemComponent").value_or(0) != 0;
  }

 private:
  InventorySource& source_;
  Hive hive_;
  std::string path_;
};

// The product code of an MSI command line when it is a well-formed GUID in
// braces. Anything else is refused: the code names a folder under the
// Installer folder, and text like "{..\..}" must not lead out of it.
std::optional<std::string_view> product_code(std::string_view command) {
  const std::size_t open = command.find('{');
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = command.find('}', open);
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view code = command.substr(open, close - open + 1);
  if (code.size() != 38) return std::nullopt;
  for (std::size_t i = 1; i + 1 < code.size(); ++i) {
    const bool dash_position = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash_position ? code[i] != '-' : !is_hex_digit(code[i])) return std::nullopt;
  }
  return code;
}

// An optional sign and decimal digits, 0 to 100; anything else (negative
// resource identifiers included) is index 0.
std::uint16_t icon_index_of(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  unsigned value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return 0;
    value = std::min(value * 10 + static_cast<unsigned>(c - '0'), 101u);  // saturates past the limit
  }
  return negative || value > 100 ? 0 : static_cast<std::uint16_t>(value);
}

std::string replace_program_files(std::string_view path, std::string_view program_files) {
  static constexpr std::string_view variable = "%programfiles%";
  const std::string lowered = ascii_lower(path);  // same length, so positions carry over
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = lowered.find(variable); at != std::string::npos; at = lowered.find(variable, from)) {
    out.append(path.substr(from, at - from)).append(program_files);
    from = at + variable.size();
  }
  out.append(path.substr(from));
  return out;
}

struct IconSource {
  std::string path;
  std::uint16_t index = 0;
  bool shared = false;  // msiexec.exe standing in: says nothing about the program itself
};

IconSource icon_source(InventorySource& source, std::string_view text, const Folders& folders) {
  if (to_upper(text).find("MSIEXEC") != std::string::npos) {
    if (const auto code = product_code(text)) {
      const std::string folder = folders.windows + "\\Installer\\" + std::string(*code);
      if (const auto file = source.first_file(folder)) return {folder + "\\" + *file};
    }
    return {folders.windows + "\\System32\\msiexec.exe", 0, true};
  }
  text = trim(text);
  std::string_view path = text;
  std::string_view tail;
  if (text.starts_with('"')) {
    const std::size_t close = text.find('"', 1);
    path = text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    if (close != std::string_view::npos) tail = trim(text.substr(close + 1));
  } else if (const std::size_t comma = text.rfind(','); comma != std::string_view::npos) {
    path = text.substr(0, comma);
    tail = text.substr(comma);
  }
  const std::uint16_t index = tail.starts_with(',') ? icon_index_of(tail.substr(1)) : 0;
  return {replace_program_files(path, folders.program_files), index};
}

bool is_date(std::string_view text) { return text.size() == 8 && std::all_of(text.begin(), text.end(), is_digit); }

}  // namespace

std::string icon_key(const InstalledProgram& program) {
  if (program.icon_path.empty()) return "vx-0.png";
  std::string key = "exe0:" + program.icon_path;
  // A comma in the path would be read back as the start of an icon index.
  if (program.icon_index != 0 || program.icon_path.contains(',')) key += "," + std::to_string(program.icon_index);
  return key;
}

std::vector<InstalledProgram> collect_programs(InventorySource& source, const Folders& folders) {
  std::vector<InstalledProgram> programs;
  std::set<std::pair<std::string, std::string>> seen;  // display name, publisher
  for (const UninstallKey& key : uninstall_keys) {
    for (const std::string& subkey : source.subkey_names(key.hive, key.path)) {
      Entry entry(source, key.hive, std::string(key.path) + "\\" + subkey);
      InstalledProgram program;
      program.display_name = entry.text("DisplayName");
      program.uninstall_string = entry.text("UninstallString");
      if (program.display_name.empty() || program.uninstall_string.empty() || entry.hidden()) continue;
      // Duplicates are dropped before the icon's file lookups are paid for.
      program.publisher = entry.text("Publisher");
      if (!seen.emplace(program.display_name, program.publisher).second) continue;

      std::string display_icon;
      if (const auto value = entry.raw("DisplayIcon")) display_icon = winutil::string_of(*value);
      IconSource icon = icon_source(source, display_icon.empty() ? program.uninstall_string : display_icon, folders);
      program.icon_path = std::move(icon.path);
      program.icon_index = icon.index;

      program.install_date = entry.text("InstallDate");
      if (!is_date(program.install_date)) {
        // Without a usable InstallDate, the icon's file (usually the program
        // itself or its uninstaller, written when it was installed) dates it.
        // Only a local absolute path: a relative one would resolve against our
        // own current folder, a network one would be fetched from elsewhere.
        program.install_date.clear();
        if (!icon.shared && is_absolute_drive_path(program.icon_path))
          if (auto date = source.modified_date(program.icon_path); date && is_date(*date))
            program.install_date = std::move(*date);
      }

      program.display_version = entry.text("DisplayVersion");
      program.help_link = entry.text("HelpLink");
      program.install_location = entry.text("InstallLocation");
      program.url_info_about = entry.text("URLInfoAbout");
      program.estimated_size = entry.dword("EstimatedSize").value_or(0);
      programs.push_back(std::move(program));
    }
  }
  // Dates compare as text, and an empty one is below every other.
  std::stable_sort(programs.begin(), programs.end(), [](const InstalledProgram& a, const InstalledProgram& b) {
    return a.install_date > b.install_date;
  });
  return programs;
}

}  // namespace vx::install
