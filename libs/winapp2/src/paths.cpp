#include "winapp2/paths.h"

#include <algorithm>
#include <array>
#include <functional>
#include <unordered_set>

#include "common/text.h"

namespace vx::winapp2 {
namespace {

constexpr std::array<std::pair<std::string_view, KnownFolder>, 20> folder_variables = {{
    {"%appdata%", KnownFolder::RoamingAppData},
    {"%localappdata%", KnownFolder::LocalAppData},
    {"%locallowappdata%", KnownFolder::LocalAppDataLow},
    {"%programfiles%", KnownFolder::ProgramFiles},
    {"%programfiles(x86)%", KnownFolder::ProgramFilesX86},
    {"%programfilesx86%", KnownFolder::ProgramFilesX86},
    {"%commonprogramfiles%", KnownFolder::ProgramFilesCommon},
    {"%programdata%", KnownFolder::ProgramData},
    {"%commonappdata%", KnownFolder::ProgramData},
    {"%userprofile%", KnownFolder::Profile},
    {"%documents%", KnownFolder::Documents},
    {"%desktop%", KnownFolder::Desktop},
    {"%music%", KnownFolder::Music},
    {"%pictures%", KnownFolder::Pictures},
    {"%videos%", KnownFolder::Videos},
    {"%public%", KnownFolder::Public},
    {"%systemroot%", KnownFolder::Windows},
    {"%windir%", KnownFolder::Windows},
    {"%system%", KnownFolder::System},
    {"%systemx86%", KnownFolder::SystemX86},
}};

std::string without_trailing_separators(std::string text) {
  while (!text.empty() && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  return text;
}

std::string without_trailing_backslashes(std::string_view text) {
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  return std::string(text);
}


std::u32string code_points(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const DecodedChar c = decode_utf8(text, i);
    out.push_back(c.code_point);
    i += c.length;
  }
  return out;
}

// Greedy matching with one backtrack point: linear for any number of "*".
template <class String, class Same>
bool match(const String& pattern, const String& name, Same same) {
  std::size_t p = 0, n = 0, star = String::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] != '*' && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != String::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

const std::vector<DirEntry>& cached_listing(PathContext& context, const std::string& folder) {
  const std::string key = to_lower(folder);
  auto it = context.listings.find(key);
  if (it == context.listings.end())
    it = context.listings.emplace(key, context.fs->list(folder).value_or(std::vector<DirEntry>{})).first;
  return it->second;
}

// Step through the components of a path, expanding the first wildcard one.
void expand_wildcards(PathContext& context, std::string path, std::vector<std::string>& out) {
  std::replace(path.begin(), path.end(), '/', '\\');
  path = without_trailing_backslashes(path);
  std::vector<std::string_view> parts;
  for (std::string_view rest = path;;) {
    const std::size_t slash = rest.find('\\');
    parts.push_back(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  const auto wild = std::ranges::find_if(parts, [](std::string_view p) { return p.find_first_of("*?") != std::string_view::npos; });
  if (wild == parts.end()) {
    out.push_back(std::move(path));
    return;
  }
  if (wild == parts.begin()) return;  // a wildcard drive names nothing
  std::string base;
  for (auto it = parts.begin(); it != wild; ++it) {
    if (it != parts.begin()) base += '\\';
    base += *it;
  }
  if (wild - parts.begin() == 1 && base.size() == 2 && base[1] == ':') base += '\\';
  std::string rest;
  for (auto it = wild + 1; it != parts.end(); ++it) rest.append("\\").append(*it);
  const std::string component(*wild);
  const std::string joined = base.ends_with('\\') ? base : base + "\\";
  // Copied: expanding further may add to the cache and move its entries.
  const std::vector<DirEntry> entries = cached_listing(context, base);
  for (const DirEntry& entry : entries) {
    if (!wildcard_match(component, entry.name)) continue;
    if (rest.empty()) out.push_back(joined + entry.name);
    else if (entry.is_folder()) expand_wildcards(context, joined + entry.name + rest, out);
  }
}

struct Exclusion {
  std::string folder;  // lower-cased, ending in "\"
  std::optional<std::string> pattern;
};

bool has_wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool excluded(const std::vector<Exclusion>& exclusions, const std::string& key) {
  for (const Exclusion& e : exclusions) {
    if (!key.starts_with(e.folder)) continue;
    if (!e.pattern) return true;
    const std::string_view rest = std::string_view(key).substr(e.folder.size());
    if (has_wildcard(*e.pattern)) {
      const std::size_t slash = rest.rfind('\\');
      if (wildcard_match(*e.pattern, slash == std::string_view::npos ? rest : rest.substr(slash + 1))) return true;
    } else if (to_lower(*e.pattern) == rest) {
      return true;
    }
  }
  return false;
}

struct Walk {
  PathContext& context;
  const std::vector<std::string>& patterns;
  bool recurse;
  const std::vector<Exclusion>& exclusions;
  std::unordered_set<std::string>* seen;  // files already collected; none for the entry's first walk
  ResolvedEntry& result;
  std::string key;  // reused for each file's lower-cased path

  void folder(const std::string& dir) {
    if (is_in_user_data(context, dir)) return;
    const bool take_files = !is_protected_folder(context, dir);
    const std::string dir_key = to_lower(dir) + "\\";
    for (const Exclusion& e : exclusions)
      if (!e.pattern && dir_key.starts_with(e.folder)) return;
    // What browser extensions keep in IndexedDB is never collected.
    constexpr std::string_view extension_data = "\\indexeddb\\chrome-extension_";
    const bool in_extension_data = dir_key.find(extension_data) != std::string::npos;
    const bool in_indexeddb = dir_key.ends_with("\\indexeddb\\");
    const std::optional<std::vector<DirEntry>> entries = context.fs->list(dir);
    if (!entries) return;
    for (const DirEntry& entry : *entries) {
      if (entry.is_link()) continue;  // never followed inside a walk, never collected
      if (entry.attributes & attribute::directory) continue;
      if (!take_files) continue;
      // The listing carries each file's own attributes, a link not followed.
      if (entry.attributes & (attribute::hidden | attribute::system | attribute::reparse_point)) continue;
      if (std::ranges::none_of(patterns, [&](const std::string& p) { return wildcard_match(p, entry.name); })) continue;
      if (in_extension_data) continue;
      key.assign(dir_key);
      if (is_ascii(entry.name)) {
        key += entry.name;
        std::transform(key.begin() + static_cast<std::ptrdiff_t>(dir_key.size()), key.end(),
                       key.begin() + static_cast<std::ptrdiff_t>(dir_key.size()), [](char c) { return ascii_lower(c); });
      } else {
        key += to_lower(entry.name);
      }
      if (in_indexeddb && std::string_view(key).substr(dir_key.size()).starts_with("chrome-extension_")) continue;
      if (excluded(exclusions, key)) continue;
      // Only a second walk of the entry can meet a file again.
      if (seen && !seen->insert(key).second) continue;
      std::string full;
      full.reserve(dir.size() + 1 + entry.name.size());
      full.append(dir).append("\\").append(entry.name);
      result.total_size += entry.size;
      result.files.push_back({std::move(full), entry.size});
    }
    if (!recurse) return;
    for (const DirEntry& entry : *entries)
      if (entry.is_folder()) folder(dir + "\\" + entry.name);
  }
};


}  // namespace

bool at_or_under(std::string_view key, std::string_view parent) {
  return key.starts_with(parent) && (key.size() == parent.size() || key[parent.size()] == '\\');
}

std::string canonical_key(Hive hive, std::string_view subkey) {
  std::string text(hive_short_name(hive));
  if (!subkey.empty()) text.append("\\").append(subkey);
  return to_lower(text);
}

std::vector<std::string> registry_exclusions(const RuleEntry& entry) {
  std::vector<std::string> out;
  for (const ExcludeKey& key : entry.exclude_keys)
    if (key.kind == ExcludeKind::reg)
      if (const auto parsed = parse_registry_path(key.path)) out.push_back(canonical_key(parsed->first, parsed->second));
  return out;
}

PathContext build_path_context(FileSystem& fs, Registry& registry, Environment& environment) {
  PathContext context{&fs, &registry, &environment, {}, {}, {}, {}};
  auto add = [&](std::string_view variable, std::optional<std::string> folder) {
    if (!folder) return;
    std::string value = without_trailing_separators(std::move(*folder));
    if (!value.empty()) context.variables.emplace_back(variable, std::move(value));
  };
  for (const auto& [variable, kind] : folder_variables) {
    add(variable, environment.known_folder(kind));
    if (variable == "%systemx86%") {
      const std::optional<std::string> temp = environment.temp_folder();
      add("%temp%", temp);
      add("%tmp%", temp);
      const std::optional<std::string> windows = environment.known_folder(KnownFolder::Windows);
      add("%systemdrive%", windows && windows->size() >= 2 ? windows->substr(0, 2) : std::string("C:"));
    }
  }
  for (const KnownFolder kind : {KnownFolder::Documents, KnownFolder::Desktop, KnownFolder::Pictures,
                                 KnownFolder::Videos, KnownFolder::Music, KnownFolder::Downloads,
                                 KnownFolder::PublicDocuments, KnownFolder::Profile, KnownFolder::Public}) {
    const std::optional<std::string> folder = environment.known_folder(kind);
    if (!folder) continue;
    std::string key = without_trailing_backslashes(to_lower(*folder));
    if (key.empty()) continue;
    const bool contents = kind != KnownFolder::Profile && kind != KnownFolder::Public;
    context.protected_folders.emplace_back(std::move(key), contents);
  }
  for (char drive = 'a'; drive <= 'z'; ++drive) context.protected_folders.emplace_back(std::string{drive, ':'}, false);
  return context;
}

std::string substitute_variables(PathContext& context, std::string_view path) {
  std::string out;
  while (!path.empty()) {
    const std::size_t open = path.find('%');
    out += path.substr(0, open);
    if (open == std::string_view::npos) break;
    const std::size_t close = path.find('%', open + 1);
    if (close == std::string_view::npos) {
      out += path.substr(open);
      break;
    }
    const std::string_view name = path.substr(open + 1, close - open - 1);
    std::string key = "%";
    key.append(to_lower(name)).append("%");
    const auto row = std::ranges::find(context.variables, key, &std::pair<std::string, std::string>::first);
    std::optional<std::string> value;
    if (row != context.variables.end()) value = row->second;
    else if (!name.empty()) value = context.environment->variable(name);
    if (value && row == context.variables.end()) {
      if (!is_valid_utf8(*value)) value.reset();
      else *value = without_trailing_backslashes(*value);
    }
    out += value ? *value : std::string(path.substr(open, close - open + 1));
    path.remove_prefix(close + 1);
  }
  if (out.size() == 2 && out[1] == ':') out += '\\';
  return out;
}

std::vector<std::string> expand_rule_path(PathContext& context, std::string_view path) {
  std::vector<std::string> found;
  expand_wildcards(context, substitute_variables(context, path), found);
  // Programs installed in either Program Files folder: the rule names the 64-bit one.
  constexpr std::string_view programs = "%programfiles%";
  for (std::size_t at = 0; at + programs.size() <= path.size(); ++at) {
    if (!iequals_ascii(path.substr(at, programs.size()), programs)) continue;
    const std::string twin =
        std::string(path.substr(0, at)) + "%ProgramFiles(x86)%" + std::string(path.substr(at + programs.size()));
    expand_wildcards(context, substitute_variables(context, twin), found);
    break;
  }
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  for (std::string& p : found)
    if (seen.insert(to_lower(p)).second) out.push_back(std::move(p));
  return out;
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  // ASCII text (nearly every name) is compared without copying it.
  if (is_ascii(pattern) && is_ascii(name))
    return match(pattern, name, [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
  return match(code_points(to_lower(pattern)), code_points(to_lower(name)), std::equal_to<>());
}

std::optional<std::pair<Hive, std::string>> parse_registry_path(std::string_view path) {
  std::string_view text = trim(path);
  while (text.ends_with('\\')) text.remove_suffix(1);
  const std::size_t slash = text.find('\\');
  const std::optional<Hive> hive = parse_hive(text.substr(0, slash));
  if (!hive) return std::nullopt;
  return std::pair{*hive, slash == std::string_view::npos ? std::string() : std::string(text.substr(slash + 1))};
}

bool exists_in_listings(PathContext& context, std::string_view path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '/', '\\');
  p = without_trailing_backslashes(p);
  const std::size_t slash = p.rfind('\\');
  // A drive, a relative or a network path: ask the file system itself.
  if (slash == std::string::npos || slash < 2 || p[1] != ':' || p.starts_with("\\\\")) return context.fs->exists(path);
  const std::string parent = slash == 2 ? p.substr(0, 3) : p.substr(0, slash);
  // A folder whose parent lacks it is not listed at all.
  if (slash > 2 && !exists_in_listings(context, parent)) return false;
  const std::string parent_key = to_lower(parent);
  auto names = context.names.find(parent_key);
  if (names == context.names.end()) {
    std::unordered_map<std::string, bool> index;
    for (const DirEntry& e : cached_listing(context, parent)) index.emplace(to_lower(e.name), e.is_link());
    names = context.names.emplace(parent_key, std::move(index)).first;
  }
  const auto found = names->second.find(to_lower(std::string_view(p).substr(slash + 1)));
  if (found == names->second.end()) return false;
  return !found->second || context.fs->exists(p);  // a link must lead somewhere
}

bool is_detected(PathContext& context, const RuleEntry& entry) {
  if (entry.special_detect) {
    static constexpr std::pair<std::string_view, std::string_view> special[] = {
        {"DET_EDGE", "%LocalAppData%\\Microsoft\\Edge\\User Data"},
        {"DET_OPERA", "%AppData%\\Opera Software\\Opera Stable"},
        {"DET_CHROME", "%LocalAppData%\\Google\\Chrome\\User Data"},
        {"DET_FIREFOX", "%AppData%\\Mozilla\\Firefox"},
        {"DET_WINSTORE", "%LocalAppData%\\Packages"},
        {"DET_THUNDERBIRD", "%AppData%\\Thunderbird"},
    };
    const std::string which = ascii_upper(*entry.special_detect);
    if (which == "DET_IE")
      return context.registry->key_exists(Hive::hklm,
                                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");
    for (const auto& [name, path] : special)
      if (which == name) return exists_in_listings(context, substitute_variables(context, path));
  }
  for (const std::string& item : entry.detect) {
    const std::size_t bar = item.rfind('|');
    const auto key = parse_registry_path(std::string_view(item).substr(0, bar));
    if (!key) continue;
    const bool present = bar == std::string::npos
                             ? context.registry->key_exists(key->first, key->second)
                             : context.registry->value_exists(key->first, key->second, std::string_view(item).substr(bar + 1));
    if (present) return true;
  }
  for (const std::string& item : entry.detect_file)
    for (const std::string& path : expand_rule_path(context, item))
      if (exists_in_listings(context, path)) return true;
  return false;
}

ResolvedEntry resolve_entry(PathContext& context, const RuleEntry& entry) {
  ResolvedEntry result;
  std::vector<Exclusion> exclusions;
  const std::vector<std::string> spared_keys = registry_exclusions(entry);
  for (const ExcludeKey& key : entry.exclude_keys) {
    if (key.kind == ExcludeKind::reg) continue;
    for (const std::string& path : expand_rule_path(context, without_trailing_backslashes(key.path)))
      exclusions.push_back({to_lower(path) + "\\", key.pattern});
  }
  std::unordered_set<std::string> seen;
  bool first_walk = true;
  for (const FileKey& key : entry.file_keys) {
    const bool recurse = key.flag != FileKeyFlag::none;
    for (const std::string& path : expand_rule_path(context, key.path)) {
      if (!context.fs->is_folder(path)) continue;  // a path that is a file collects nothing
      // A link at the rule's own path is followed, but never into the user's folders.
      const std::optional<std::string> real = context.fs->final_path(path);
      if (!real || is_in_user_data(context, *real)) continue;
      if (!first_walk && seen.empty())
        for (const FoundFile& f : result.files) seen.insert(to_lower(f.path));
      Walk{context, key.patterns, recurse, exclusions, first_walk ? nullptr : &seen, result, {}}.folder(
          without_trailing_backslashes(path));
      first_walk = false;
    }
  }
  for (const RegKey& key : entry.reg_keys) {
    const auto parsed = parse_registry_path(key.key);
    if (!parsed) continue;
    const std::string canonical = canonical_key(parsed->first, parsed->second);
    if (std::ranges::any_of(spared_keys, [&](const std::string& e) { return at_or_under(canonical, e); }))
      continue;
    if (!key.value) {
      // A whole hive is never a target.
      if (!parsed->second.empty() && context.registry->key_exists(parsed->first, parsed->second))
        result.registry.push_back({parsed->first, parsed->second, std::nullopt});
    } else if (context.registry->value_exists(parsed->first, parsed->second, *key.value)) {
      result.registry.push_back({parsed->first, parsed->second, key.value});
    }
  }
  return result;
}

bool is_in_user_data(const PathContext& context, std::string_view path) {
  const std::string key = without_trailing_backslashes(to_lower(path));
  return std::ranges::any_of(context.protected_folders,
                             [&](const auto& f) { return f.second && at_or_under(key, f.first); });
}

bool is_protected_folder(const PathContext& context, std::string_view path) {
  const std::string key = without_trailing_backslashes(to_lower(path));
  return std::ranges::any_of(context.protected_folders, [&](const auto& f) {
    return key == f.first || (f.second && at_or_under(key, f.first));
  });
}

}  // namespace vx::winapp2
