// From rule paths to what exists on this machine: variables substituted,
// folder wildcards expanded, applications detected, and each entry's files and
// registry items found, sparing exclusions and the user's own folders. This
// part only reads; deleting is the cleaning job's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "winapp2/rules.h"
#include "winapp2/system.h"

namespace vx::winapp2 {

// What one job (a list load, an analysis, a cleaning) knows of the machine.
struct PathContext {
  FileSystem* fs = nullptr;
  Registry* registry = nullptr;
  Environment* environment = nullptr;
  std::vector<std::pair<std::string, std::string>> variables;       // "%name%" lower-cased, folder
  std::vector<std::pair<std::string, bool>> protected_folders;      // lower-cased path, protects its contents
  std::unordered_map<std::string, std::vector<DirEntry>> listings;  // by lower-cased folder, for wildcards
  // For each listed folder: its entries' lower-cased names, and whether each is a link.
  std::unordered_map<std::string, std::unordered_map<std::string, bool>> names;
  // The user's own profile where it really is (lower-cased): the one place a
  // link at a rule's path may lead.
  std::string profile;
  // Where the fixed parts of rule paths really lead, by lower-cased text.
  std::unordered_map<std::string, std::optional<std::string>> finals;
  // The first rule path refused since the engine last reported one.
  std::optional<std::string> refused;
};

// Whether something is at the path (links followed), answered from the job's
// listings of its folders where it can be: detection asks thousands of times
// about a few dozen folders.
bool exists_in_listings(PathContext& context, std::string_view path);

PathContext build_path_context(FileSystem& fs, Registry& registry, Environment& environment);

// Variables replaced wherever they stand: the table, then the environment,
// else left as written.
std::string substitute_variables(PathContext& context, std::string_view path);

// One concrete path a rule path stands for, and how much of it the rule named
// literally: `literal` is where the first component a wildcard matched
// begins, or the whole length when there was none.
struct RulePath {
  std::string path;
  std::size_t literal = 0;
  bool matched() const { return literal < path.size(); }
};

// Every concrete path a rule path stands for (files or folders), the
// %ProgramFiles% twin in the 32-bit folder included, without duplicates. A
// path that does not become an absolute drive path is refused (noted in
// context.refused): network, root-relative and relative paths name places
// other users or the current folder decide.
std::vector<RulePath> expand_rule_paths(PathContext& context, std::string_view path);
std::vector<std::string> expand_rule_path(PathContext& context, std::string_view path);

// Opens the folder at a concrete rule path for a walk or a folder removal,
// judged where the handle really is. A link at the path is followed only with
// Follow::link and only when the path was named literally; the components a
// wildcard matched must still be where the listing saw them; a link on the
// way may lead only within the user's own profile; and never into the user's
// own documents and pictures.
std::optional<OpenedFolder> open_rule_folder(PathContext& context, const RulePath& path, Follow follow);

// "*" and "?" without classes or escapes, case ignored; "*" and "*.*" match every name.
bool wildcard_match(std::string_view pattern, std::string_view name);

bool is_detected(PathContext& context, const RuleEntry& entry);

struct RegistryItem {
  Hive hive = Hive::hkcu;
  std::string subkey;
  std::optional<std::string> value;
  friend bool operator==(const RegistryItem&, const RegistryItem&) = default;
};

// A registry path of a rule ("HKCU\Software\x") as hive and subkey; none for
// an unknown hive.
std::optional<std::pair<Hive, std::string>> parse_registry_path(std::string_view path);

// The text registry keys are compared by: short hive, "\" and subkey, lower-cased.
std::string canonical_key(Hive hive, std::string_view subkey);
// The canonical keys an entry's REG exclusions spare (with everything below them).
std::vector<std::string> registry_exclusions(const RuleEntry& entry);
// Whether a key or path is `parent` or lies under it ("\" next).
bool at_or_under(std::string_view key, std::string_view parent);

struct FoundFile {
  std::string path;  // where the file really is
  std::uint64_t size = 0;
  FileId id;  // which file it was: cleaning deletes it only while it still is
  friend bool operator==(const FoundFile&, const FoundFile&) = default;
};

struct ResolvedEntry {
  std::vector<FoundFile> files;
  std::uint64_t total_size = 0;
  std::vector<RegistryItem> registry;
};

ResolvedEntry resolve_entry(PathContext& context, const RuleEntry& entry);

// In or under Documents, Desktop, Pictures, Videos, Music, Downloads or Public Documents.
bool is_in_user_data(const PathContext& context, std::string_view path);
// Such a folder, or a drive root, the profile root or the public profile root.
bool is_protected_folder(const PathContext& context, std::string_view path);

}  // namespace vx::winapp2
