#include "winapp2/memory_system.h"

#include <algorithm>

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

std::string registry_key(Hive hive, std::string_view subkey) {
  std::string key = std::string(hive_short_name(hive)) + "\\" + to_lower(subkey);
  while (key.ends_with('\\')) key.pop_back();
  return key;
}

}  // namespace

struct MemoryFileSystem::Node {
  std::string name;  // as created
  std::uint32_t attributes = attribute::directory;
  std::uint32_t reparse_tag = 0;
  std::uint64_t size = 0;
  std::uint64_t id = 0, volume = 0;
  std::uint64_t hash = 0;  // of the lower-cased names from the volume down
  std::size_t depth = 0;   // the volume is 1
  std::string target;      // for links: the path they point at
  Node* parent = nullptr;
  std::map<std::string, std::unique_ptr<Node>> children;  // by lower-cased name

  Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // Iterative, so a tree thousands of levels deep goes without deep recursion.
  ~Node() {
    std::vector<std::unique_ptr<Node>> pending;
    for (auto& [key, child] : children) pending.push_back(std::move(child));
    children.clear();
    while (!pending.empty()) {
      std::unique_ptr<Node> node = std::move(pending.back());
      pending.pop_back();
      for (auto& [key, child] : node->children) pending.push_back(std::move(child));
      node->children.clear();
    }
  }
  bool is_link() const { return attributes & attribute::reparse_point; }
  bool is_folder() const { return (attributes & attribute::directory) && !is_link(); }
};

namespace {

// A path made absolute against the current folder, with "\" separators.
std::string absolute(std::string_view path, std::string_view current) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '/', '\\');
  if ((p.size() >= 2 && p[1] == ':') || p.starts_with("\\\\")) return p;
  if (p.starts_with('\\')) return std::string(current.substr(0, 2)) + p;
  return std::string(current) + (current.ends_with('\\') ? "" : "\\") + p;
}

// Where the components start after the volume ("c:" or "\\server\share").
std::size_t volume_end(std::string_view p) {
  if (!p.starts_with("\\\\")) return p.size() >= 2 && p[1] == ':' ? 2 : std::string_view::npos;
  const std::size_t server = p.find('\\', 2);
  if (server == std::string_view::npos) return std::string_view::npos;
  const std::size_t share = p.find('\\', server + 1);
  return share == std::string_view::npos ? p.size() : share;
}

}  // namespace

MemoryFileSystem::MemoryFileSystem() : top_(std::make_unique<Node>()) {
  for (char drive = 'A'; drive <= 'Z'; ++drive) make(std::string{drive, ':'});
}

MemoryFileSystem::~MemoryFileSystem() = default;

namespace {

// Names compared as Windows compares them, case ignored; ASCII ones (nearly
// all) without copying, which matters for the deep trees tests build.
bool same_name(std::string_view a, std::string_view b) {
  if (is_ascii(a) && is_ascii(b)) return iequals_ascii(a, b);
  return to_lower(a) == to_lower(b);
}

std::uint64_t combine(std::uint64_t parent, std::string_view name) {
  std::uint64_t h = parent ^ 0x9e3779b97f4a7c15ull;
  if (!is_ascii(name)) return (h ^ std::hash<std::string>{}(to_lower(name))) * 1099511628211ull;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(ascii_lower(c))) * 1099511628211ull;
  return h;
}

// A path's volume and components, empty components dropped.
std::optional<std::vector<std::string_view>> components(std::string_view p) {
  const std::size_t end = volume_end(p);
  if (end == std::string_view::npos) return std::nullopt;
  std::vector<std::string_view> out{p.substr(0, end)};
  out.reserve(static_cast<std::size_t>(std::count(p.begin(), p.end(), '\\')) + 1);
  for (std::size_t at = end; at < p.size();) {
    const std::size_t next = std::min(p.find('\\', at + 1), p.size());
    if (next > at + 1) out.push_back(p.substr(at + 1, next - at - 1));
    at = next;
  }
  return out;
}

}  // namespace

MemoryFileSystem::Node* MemoryFileSystem::make(std::string_view path) {
  const std::string p = absolute(path, current_folder);
  const auto parts = components(p);
  if (!parts) return nullptr;
  Node* node = top_.get();
  for (const std::string_view name : *parts) {
    auto& slot = node->children[to_lower(name)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = std::string(name);
      slot->id = next_id_++;
      slot->volume = node == top_.get() ? slot->id : node->volume;
      slot->parent = node;
      slot->hash = combine(node->hash, name);
      slot->depth = node->depth + 1;
      by_hash_.emplace(slot->hash, slot.get());
    }
    node = slot.get();
  }
  return node;
}

void MemoryFileSystem::forget(Node* node) {
  std::vector<Node*> pending{node};
  while (!pending.empty()) {
    Node* n = pending.back();
    pending.pop_back();
    for (auto [it, end] = by_hash_.equal_range(n->hash); it != end; ++it)
      if (it->second == n) {
        by_hash_.erase(it);
        break;
      }
    for (auto& [key, child] : n->children) pending.push_back(child.get());
  }
  node->parent->children.erase(to_lower(node->name));
}

MemoryFileSystem::Node* MemoryFileSystem::find(std::string_view path, bool follow_last) const {
  int hops = 0;
  std::function<Node*(std::string_view, bool)> resolve = [&](std::string_view text, bool follow) -> Node* {
    const std::string p = absolute(text, current_folder);
    const auto parts = components(p);
    if (!parts) return nullptr;
    // Most paths lead through no link: then the node with that very path
    // answers, found by the hash of its components without walking down (a
    // 64-bit hash and the depth: a false match is as good as impossible).
    std::uint64_t hash = 0;
    for (const std::string_view name : *parts) hash = combine(hash, name);
    Node* node = nullptr;
    for (auto [it, end] = by_hash_.equal_range(hash); it != end && !node; ++it)
      if (it->second->depth == parts->size() && same_name(it->second->name, parts->back())) node = it->second;
    if (!node) {
      node = top_.get();
      for (std::size_t i = 0; i < parts->size(); ++i) {
        const auto child = node->children.find(to_lower((*parts)[i]));
        if (child == node->children.end()) return nullptr;
        Node* c = child->second.get();
        const bool final = i + 1 == parts->size();
        if (c->is_link() && !final) {
          if (++hops > 32) return nullptr;  // a loop of links
          c = resolve(c->target, true);
          if (!c) return nullptr;
        }
        if (!final && !c->is_folder()) return nullptr;
        node = c;
      }
    }
    if (node->is_link() && follow) {
      if (++hops > 32) return nullptr;
      return resolve(node->target, true);
    }
    return node;
  };
  return resolve(path, follow_last);
}

std::string MemoryFileSystem::path_of(const Node* node) const {
  std::vector<const Node*> chain;
  for (; node && node != top_.get(); node = node->parent) chain.push_back(node);
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) out += '\\';
    out += (*it)->name;
  }
  if (chain.size() == 1 && out.size() == 2 && out[1] == ':') out += '\\';
  return out;
}

FileId MemoryFileSystem::id(const Node* node) const { return {node->volume, node->id}; }

void MemoryFileSystem::add_folder(std::string_view path, std::uint32_t attributes) {
  if (Node* node = make(path)) node->attributes = attributes | attribute::directory;
}

void MemoryFileSystem::add_file(std::string_view path, std::uint64_t size, std::uint32_t attributes) {
  if (Node* node = make(path)) {
    node->attributes = attributes & ~attribute::directory;
    node->size = size;
  }
}

void MemoryFileSystem::add_link(std::string_view path, std::string_view target, bool folder, std::uint32_t tag) {
  if (Node* node = make(path)) {
    node->attributes = attribute::reparse_point | (folder ? attribute::directory : 0);
    node->reparse_tag = tag;
    node->target = std::string(target);
  }
}

void MemoryFileSystem::erase(std::string_view path) {
  Node* node = find(path, false);
  if (!node || !node->parent || node->parent == top_.get()) return;
  forget(node);
}

void MemoryFileSystem::deny_listing(std::string_view path) {
  if (const Node* node = find(path, true)) unlistable_.insert(node->id);
}

void MemoryFileSystem::lock(std::string_view path) {
  if (const Node* node = find(path, false)) locked_.insert(node->id);
}

std::optional<FileId> MemoryFileSystem::id_of(std::string_view path) const {
  const Node* node = find(path, false);
  return node ? std::optional(id(node)) : std::nullopt;
}

std::optional<std::vector<DirEntry>> MemoryFileSystem::list(std::string_view folder) {
  ++listings_[key_of(folder)];
  const Node* node = find(folder, true);
  if (!node || !node->is_folder() || unlistable_.contains(node->id)) return std::nullopt;
  std::vector<DirEntry> out;
  out.reserve(node->children.size());
  for (const auto& [key, child] : node->children)
    out.push_back({child->name, child->attributes, child->reparse_tag, child->size, child->id});
  return out;
}

bool MemoryFileSystem::exists(std::string_view path) { return find(path, true) != nullptr; }

bool MemoryFileSystem::is_folder(std::string_view path) {
  const Node* node = find(path, true);
  return node && node->is_folder();
}

std::optional<std::string> MemoryFileSystem::final_path(std::string_view path) {
  const Node* node = find(path, true);
  return node ? std::optional(path_of(node)) : std::nullopt;
}

std::optional<OpenedFolder> MemoryFileSystem::open_folder(std::string_view path, Follow follow,
                                                          std::optional<FileId> expected) {
  if (before_open) before_open(path);
  const Node* node = find(path, follow == Follow::link);
  if (!node || !node->is_folder() || unlistable_.contains(node->id)) return std::nullopt;
  if (expected && *expected != id(node)) return std::nullopt;
  OpenedFolder out{expected ? std::string(path) : path_of(node), id(node), {}};
  out.entries.reserve(node->children.size());
  for (const auto& [key, child] : node->children)
    out.entries.push_back({child->name, child->attributes, child->reparse_tag, child->size, child->id});
  return out;
}

bool MemoryFileSystem::delete_file(std::string_view path, FileId expected) {
  Node* node = find(path, false);
  if (!node || node->is_link() || (node->attributes & attribute::directory) || locked_.contains(node->id)) return false;
  if (id(node) != expected) return false;
  std::string real = path_of(node);
  if (!same_name(real, path)) return false;
  removed_.push_back(to_lower(real));
  forget(node);
  return true;
}

bool MemoryFileSystem::remove_folder(std::string_view path, FileId expected) {
  Node* node = find(path, false);
  if (!node || !node->is_folder() || !node->children.empty() || id(node) != expected) return false;
  if (!node->parent || node->parent == top_.get()) return false;  // a volume stays
  std::string real = path_of(node);
  if (!same_name(real, path)) return false;
  removed_.push_back(to_lower(real));
  forget(node);
  return true;
}

bool MemoryFileSystem::contains(std::string_view path) const { return find(path, false) != nullptr; }

void MemoryRegistry::add_key(Hive hive, std::string_view subkey) {
  std::string key = registry_key(hive, subkey);
  // Parents exist with their children.
  for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
    keys_.insert(key.substr(0, at));
  keys_.insert(std::move(key));
}

void MemoryRegistry::add_value(Hive hive, std::string_view subkey, std::string_view name) {
  add_key(hive, subkey);
  values_.insert(registry_key(hive, subkey) + "|" + to_lower(name));
}

bool MemoryRegistry::key_exists(Hive hive, std::string_view subkey) {
  return keys_.contains(registry_key(hive, subkey));
}

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
    if (k.starts_with(prefix) && k.find('\\', prefix.size()) == std::string::npos)
      names.push_back(k.substr(prefix.size()));
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
