// Rule files in the public Winapp2.ini format, as the program reads them: one
// entry per application, with how to tell it is installed, what of it is junk
// and what must be spared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::winapp2 {

enum class FileKeyFlag : std::uint8_t { none = 0, recurse = 1, remove_self = 2 };

struct FileKey {
  std::string path;                   // may hold variables and wildcards
  std::vector<std::string> patterns;  // never empty: "*.*" when the file names none
  FileKeyFlag flag = FileKeyFlag::none;
  friend bool operator==(const FileKey&, const FileKey&) = default;
};

struct RegKey {
  std::string key;                   // HKCU\Software\Vendor\App
  std::optional<std::string> value;  // a value name; present but empty for a trailing "|"
  friend bool operator==(const RegKey&, const RegKey&) = default;
};

enum class ExcludeKind : std::uint8_t { file = 0, path = 1, reg = 2 };

struct ExcludeKey {
  ExcludeKind kind = ExcludeKind::file;
  std::string path;
  std::optional<std::string> pattern;
  friend bool operator==(const ExcludeKey&, const ExcludeKey&) = default;
};

struct RuleEntry {
  std::string name;
  std::vector<std::string> detect;
  std::vector<std::string> detect_file;
  std::vector<FileKey> file_keys;
  std::vector<RegKey> reg_keys;
  std::vector<ExcludeKey> exclude_keys;
  std::optional<std::string> section;
  std::optional<std::string> special_detect;
  std::optional<std::string> warning;
  std::optional<std::uint32_t> lang_sec_ref;
  bool default_on = true;
  bool usage_history = false;  // the usage-history part split off an entry
  friend bool operator==(const RuleEntry&, const RuleEntry&) = default;
};

// The version in a "; Version: N" comment among the first 20 lines; 0 without one.
std::uint32_t read_rule_version(std::string_view text);

// What a parse met, for people who maintain rule files.
struct ParseStats {
  std::size_t sections = 0;           // entry sections read (header sections not counted)
  std::size_t kept = 0;               // entries that had detection and something to clean
  std::size_t protected_entries = 0;  // of those, personal browser data
  std::size_t split = 0;              // of those, split into an ordinary and a usage-history part
};

// The entries of a rule text in file order, finalised: entries without
// detection or without anything to clean dropped, personal browser data
// unchecked, usage history split off into unchecked entries of their own.
std::vector<RuleEntry> parse_rules(std::string_view text, ParseStats* stats = nullptr);

// Whether a path, pattern or registry name speaks of usage history.
bool is_usage_history(std::string_view text);

// The name an entry is known by across runs; compare it lower-cased.
std::string identity_key(const RuleEntry& entry);

// Heap bytes the entry holds beyond its own record, estimated from capacities.
std::size_t memory_usage(const RuleEntry& entry);

struct Category {
  int order = 60;
  std::string_view label;  // an i18n key when it starts with "cleanup.cat.", else shown as it is
  friend bool operator==(const Category&, const Category&) = default;
};
Category entry_category(const RuleEntry& entry);

struct RuleText {
  std::uint32_t version = 0;
  std::string text;
};

// The text to use: the user's downloaded copy only when its version is
// strictly above the built-in one. `user_bytes` is that copy, when readable.
RuleText choose_rule_text(std::string_view builtin, std::optional<std::string_view> user_bytes);

// Where the downloaded copy lives; none without a roaming application-data folder.
std::optional<std::string> user_rule_path();

// The built-in text, or the user's copy when it is newer.
RuleText load_rule_text();

}  // namespace vx::winapp2
