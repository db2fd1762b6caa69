#include "winapp2/memory_system.h"

#include "common/text.h"

namespace vx::winapp2 {
namespace {

std::string key_of(std::string_view path) {
  std::string key = to_lower(path);
  for (char& c : key)
    if (c == '/') c = '\\';
  while (key.size() > 2 && key.back() == '\\') key.pop_back();
  if (key.size() == 3 && key[1] == ':') key.pop_back();  // "c:\" is the drive "c:"
  return key;
}

std::string parent_of(const std::string& key) {
  const std::size_t slash = key.rfind('\\');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string registry_key(Hive hive, std::string_view subkey) {
  std::string key = std::string(hive_short_name(hive)) + "\\" + to_lower(subkey);
  while (key.ends_with('\\')) key.pop_back();
  return key;
}

}  // namespace

MemoryFileSystem::Node& MemoryFileSystem::make(const std::string& key, std::string_view name) {
  const std::string parent = parent_of(key);
  if (!parent.empty() && !nodes_.contains(parent)) {
    const std::string_view parent_name = name.substr(0, name.rfind('\\') == std::string_view::npos ? 0 : name.rfind('\\'));
    make(parent, parent_name).attributes = attribute::directory;
  }
  Node& node = nodes_[key];
  const std::size_t slash = name.rfind('\\');
  node.name = std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
  return node;
}

void MemoryFileSystem::add_folder(std::string_view path, std::uint32_t attributes) {
  make(key_of(path), path).attributes = attributes | attribute::directory;
}

void MemoryFileSystem::add_file(std::string_view path, std::uint64_t size, std::uint32_t attributes) {
  Node& node = make(key_of(path), path);
  node.attributes = attributes & ~attribute::directory;
  node.size = size;
}

void MemoryFileSystem::add_link(std::string_view path, std::string_view target, bool folder, std::uint32_t tag) {
  Node& node = make(key_of(path), path);
  node.attributes = attribute::reparse_point | (folder ? attribute::directory : 0);
  node.reparse_tag = tag;
  node.target = key_of(target);
}

void MemoryFileSystem::deny_listing(std::string_view path) { unlistable_.insert(key_of(path)); }
void MemoryFileSystem::lock(std::string_view path) { locked_.insert(key_of(path)); }

bool MemoryFileSystem::delete_file(std::string_view path) {
  // As Windows does: a link at the path itself goes, never what it points at.
  const std::optional<std::string> key = resolve(path, false);
  if (!key || locked_.contains(*key)) return false;
  const auto it = nodes_.find(*key);
  if (it == nodes_.end() || ((it->second.attributes & attribute::directory) && !(it->second.attributes & attribute::reparse_point)))
    return false;
  nodes_.erase(it);
  removed_.push_back(*key);
  return true;
}

bool MemoryFileSystem::remove_folder(std::string_view path) {
  const std::optional<std::string> key = resolve(path, false);
  if (!key) return false;
  const auto it = nodes_.find(*key);
  if (it == nodes_.end() || !(it->second.attributes & attribute::directory)) return false;
  const auto next = std::next(it);
  if (next != nodes_.end() && next->first.starts_with(*key + "\\")) return false;  // not empty
  nodes_.erase(it);
  removed_.push_back(*key);
  return true;
}

std::optional<std::string> MemoryFileSystem::resolve(std::string_view path, bool follow_last) const {
  std::string key = key_of(path);
  // Resolve component by component; a cycle of links ends after enough hops.
  for (int hops = 0; hops < 32; ++hops) {
    bool changed = false;
    for (std::size_t end = key.find('\\'); ; end = key.find('\\', end + 1)) {
      const std::string prefix = key.substr(0, end);
      const bool last = end == std::string::npos;
      const auto it = nodes_.find(prefix);
      if (it != nodes_.end() && (it->second.attributes & attribute::reparse_point) && (!last || follow_last)) {
        key = it->second.target + (last ? std::string() : key.substr(end));
        changed = true;
        break;
      }
      if (last) break;
    }
    if (!changed) return key;
  }
  return std::nullopt;
}

std::optional<std::vector<DirEntry>> MemoryFileSystem::list(std::string_view folder) {
  ++listings_[key_of(folder)];
  const std::optional<std::string> key = resolve(folder, true);
  if (!key || unlistable_.contains(*key)) return std::nullopt;
  const auto it = nodes_.find(*key);
  const bool drive = key->size() == 2 && (*key)[1] == ':';
  if ((it == nodes_.end() && !drive) || (it != nodes_.end() && !(it->second.attributes & attribute::directory)))
    return std::nullopt;
  std::vector<DirEntry> out;
  const std::string prefix = *key + "\\";
  for (auto child = nodes_.lower_bound(prefix); child != nodes_.end() && child->first.starts_with(prefix); ++child) {
    if (child->first.find('\\', prefix.size()) != std::string::npos) continue;  // deeper down
    const Node& n = child->second;
    out.push_back({n.name, n.attributes, n.reparse_tag, n.size});
  }
  return out;
}

bool MemoryFileSystem::exists(std::string_view path) {
  const std::optional<std::string> key = resolve(path, true);
  return key && (nodes_.contains(*key) || (key->size() == 2 && (*key)[1] == ':'));
}

bool MemoryFileSystem::is_folder(std::string_view path) {
  const std::optional<std::string> key = resolve(path, true);
  if (!key) return false;
  const auto it = nodes_.find(*key);
  return it != nodes_.end() ? (it->second.attributes & attribute::directory) != 0 : key->size() == 2 && (*key)[1] == ':';
}

bool MemoryFileSystem::contains(std::string_view path) const { return nodes_.contains(key_of(path)); }

void MemoryRegistry::add_key(Hive hive, std::string_view subkey) {
  std::string key = registry_key(hive, subkey);
  // Parents exist with their children.
  for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) keys_.insert(key.substr(0, at));
  keys_.insert(std::move(key));
}

void MemoryRegistry::add_value(Hive hive, std::string_view subkey, std::string_view name) {
  add_key(hive, subkey);
  values_.insert(registry_key(hive, subkey) + "|" + to_lower(name));
}

bool MemoryRegistry::key_exists(Hive hive, std::string_view subkey) { return keys_.contains(registry_key(hive, subkey)); }

bool MemoryRegistry::value_exists(Hive hive, std::string_view subkey, std::string_view name) {
  return values_.contains(registry_key(hive, subkey) + "|" + to_lower(name));
}

std::vector<std::string> MemoryRegistry::value_names(Hive hive, std::string_view subkey) {
  const std::string prefix = registry_key(hive, subkey) + "|";
  std::vector<std::string> names;
  for (const std::string& v : values_)
    if (v.starts_with(prefix)) names.push_back(v.substr(prefix.size()));
  return names;
}

std::vector<std::string> MemoryRegistry::subkey_names(Hive hive, std::string_view subkey) {
  const std::string prefix = registry_key(hive, subkey) + "\\";
  std::vector<std::string> names;
  for (const std::string& k : keys_)
    if (k.starts_with(prefix) && k.find('\\', prefix.size()) == std::string::npos) names.push_back(k.substr(prefix.size()));
  return names;
}

bool MemoryRegistry::delete_value(Hive hive, std::string_view subkey, std::string_view name) {
  values_.erase(registry_key(hive, subkey) + "|" + to_lower(name));
  return true;
}

bool MemoryRegistry::delete_tree(Hive hive, std::string_view subkey) {
  const std::string key = registry_key(hive, subkey);
  if (key.find('\\') == std::string::npos) return false;  // a whole hive never goes
  std::erase_if(keys_, [&](const std::string& k) { return k == key || k.starts_with(key + "\\"); });
  std::erase_if(values_, [&](const std::string& v) { return v.starts_with(key + "|") || v.starts_with(key + "\\"); });
  return true;
}

std::optional<std::string> MemoryEnvironment::known_folder(KnownFolder kind) {
  const auto it = folders.find(kind);
  return it == folders.end() ? std::nullopt : std::optional(it->second);
}

std::optional<std::string> MemoryEnvironment::variable(std::string_view name) {
  const auto it = variables.find(ascii_upper(name));
  return it == variables.end() ? std::nullopt : std::optional(it->second);
}

MemoryEnvironment MemoryEnvironment::typical() {
  MemoryEnvironment env;
  const std::string user = "C:\\Users\\user";
  env.folders = {
      {KnownFolder::ProgramData, "C:\\ProgramData"},
      {KnownFolder::Windows, "C:\\Windows"},
      {KnownFolder::PublicDocuments, "C:\\Users\\Public\\Documents"},
      {KnownFolder::RoamingAppData, user + "\\AppData\\Roaming"},
      {KnownFolder::ProgramFiles, "C:\\Program Files"},
      {KnownFolder::ProgramFilesX86, "C:\\Program Files (x86)"},
      {KnownFolder::ProgramFilesCommon, "C:\\Program Files\\Common Files"},
      {KnownFolder::ProgramFilesCommonX86, "C:\\Program Files (x86)\\Common Files"},
      {KnownFolder::LocalAppData, user + "\\AppData\\Local"},
      {KnownFolder::LocalAppDataLow, user + "\\AppData\\LocalLow"},
      {KnownFolder::Profile, user},
      {KnownFolder::Documents, user + "\\Documents"},
      {KnownFolder::Desktop, user + "\\Desktop"},
      {KnownFolder::Music, user + "\\Music"},
      {KnownFolder::Pictures, user + "\\Pictures"},
      {KnownFolder::Videos, user + "\\Videos"},
      {KnownFolder::System, "C:\\Windows\\System32"},
      {KnownFolder::SystemX86, "C:\\Windows\\SysWOW64"},
      {KnownFolder::Public, "C:\\Users\\Public"},
      {KnownFolder::Downloads, user + "\\Downloads"},
  };
  env.temp = user + "\\AppData\\Local\\Temp\\";
  return env;
}

}  // namespace vx::winapp2
