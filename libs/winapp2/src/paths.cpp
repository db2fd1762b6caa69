#include "winapp2/paths.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <unordered_set>

#include "common/path_vars.h"
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
// `literal` is where the first wildcard match begins, once there was one.
void expand_wildcards(PathContext& context, std::string path, std::size_t literal, std::vector<RulePath>& out) {
  std::replace(path.begin(), path.end(), '/', '\\');
  path = without_trailing_backslashes(path);
  std::vector<std::string_view> parts;
  for (std::string_view rest = path;;) {
    const std::size_t slash = rest.find('\\');
    parts.push_back(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  const auto wild =
      std::ranges::find_if(parts, [](std::string_view p) { return p.find_first_of("*?") != std::string_view::npos; });
  if (wild == parts.end()) {
    const std::size_t size = path.size();
    out.push_back({std::move(path), std::min(literal, size)});
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
  if (literal == std::string::npos) literal = joined.size();
  // Copied: expanding further may add to the cache and move its entries.
  const std::vector<DirEntry> entries = cached_listing(context, base);
  for (const DirEntry& entry : entries) {
    if (!wildcard_match(component, entry.name)) continue;
    if (rest.empty())
      out.push_back({joined + entry.name, literal});
    else if (entry.is_folder())
      expand_wildcards(context, joined + entry.name + rest, literal, out);
  }
}

// A folder's path compared as text: lower-cased, without trailing "\".
std::string folder_key(std::string_view path) { return without_trailing_backslashes(to_lower(path)); }

// "C:" alone is the current folder of drive C, not its root.
std::string folder_text(std::string_view path) {
  std::string text = without_trailing_backslashes(path);
  if (text.size() == 2 && text[1] == ':') text += '\\';
  return text;
}

const std::optional<std::string>& final_of(PathContext& context, std::string_view path) {
  std::string key = folder_key(path);
  auto it = context.finals.find(key);
  if (it == context.finals.end())
    it = context.finals.emplace(std::move(key), context.fs->final_path(folder_text(path))).first;
  return it->second;
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

// A walk below one folder that never follows a link: every folder is opened
// again by the identity its parent's listing showed, so one swapped for a link
// meanwhile is not entered. Iterative, so no depth of tree can exhaust the stack.
struct Walk {
  PathContext& context;
  const std::vector<std::string>& patterns;
  bool recurse;
  const std::vector<Exclusion>& exclusions;
  std::unordered_set<std::string>* seen;  // files already collected; none for the entry's first walk
  ResolvedEntry& result;
  bool aliased = false;       // the rule's text and the real path differ below the root
  std::string key, real_key;  // reused for each file's lower-cased path

  // A folder still to walk: the rule's text for it (exclusions are written
  // in those terms), where it really is, and which folder the listing saw.
  struct Pending {
    std::string text, real;
    FileId id;
  };

  void run(std::string text, OpenedFolder root) {
    std::string real = without_trailing_backslashes(root.path);
    text = without_trailing_backslashes(text);
    aliased = to_lower(text) != to_lower(real);
    std::vector<Pending> pending;
    std::optional<OpenedFolder> folder = std::move(root);
    for (;;) {
      visit(text, real, *folder, pending);
      folder.reset();
      while (!folder && !pending.empty()) {
        Pending next = std::move(pending.back());
        pending.pop_back();
        folder = context.fs->open_folder(next.real, Follow::never, next.id);
        text = std::move(next.text);
        real = std::move(next.real);
      }
      if (!folder) return;
    }
  }

  void visit(const std::string& dir, const std::string& real, const OpenedFolder& folder,
             std::vector<Pending>& pending) {
    if (is_in_user_data(context, real)) return;
    const bool take_files = !is_protected_folder(context, real);
    const std::string dir_key = to_lower(dir) + "\\";
    for (const Exclusion& e : exclusions)
      if (!e.pattern && dir_key.starts_with(e.folder)) return;
    // What browser extensions keep in IndexedDB is never collected.
    constexpr std::string_view extension_data = "\\indexeddb\\chrome-extension_";
    const bool in_extension_data = dir_key.find(extension_data) != std::string::npos;
    const bool in_indexeddb = dir_key.ends_with("\\indexeddb\\");
    const std::string real_dir_key = aliased ? to_lower(real) + "\\" : std::string();
    for (const DirEntry& entry : folder.entries) {
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
                       key.begin() + static_cast<std::ptrdiff_t>(dir_key.size()),
                       [](char c) { return ascii_lower(c); });
      } else {
        key += to_lower(entry.name);
      }
      if (in_indexeddb && std::string_view(key).substr(dir_key.size()).starts_with("chrome-extension_")) continue;
      if (excluded(exclusions, key)) continue;
      // Only a second walk of the entry can meet a file again; files are
      // known by where they really are.
      if (seen) {
        if (aliased) real_key.assign(real_dir_key).append(std::string_view(key).substr(dir_key.size()));
        if (!seen->insert(aliased ? real_key : key).second) continue;
      }
      std::string full;
      full.reserve(real.size() + 1 + entry.name.size());
      full.append(real).append("\\").append(entry.name);
      result.total_size += entry.size;
      result.files.push_back({std::move(full), entry.size, FileId{folder.id.volume, entry.id}});
    }
    if (!recurse) return;
    // Pushed in reverse, so folders are walked in listing order.
    for (auto it = folder.entries.rbegin(); it != folder.entries.rend(); ++it)
      if (it->is_folder())
        pending.push_back({dir + "\\" + it->name, real + "\\" + it->name, FileId{folder.id.volume, it->id}});
  }
};

// Writes the first rule path the engine refused for an entry, once.
void report_refused(PathContext& context, const RuleEntry& entry) {
  if (!context.refused) return;
  std::fprintf(stderr, "[cleanup] %s 경로 거부 %s\n", entry.name.c_str(), context.refused->c_str());
  context.refused.reset();
}

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
      if (const auto parsed = parse_registry_path(key.path))
        out.push_back(canonical_key(parsed->first, parsed->second));
  return out;
}

PathContext build_path_context(FileSystem& fs, Registry& registry, Environment& environment) {
  PathContext context;
  context.fs = &fs;
  context.registry = &registry;
  context.environment = &environment;
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
  for (const KnownFolder kind :
       {KnownFolder::Documents, KnownFolder::Desktop, KnownFolder::Pictures, KnownFolder::Videos, KnownFolder::Music,
        KnownFolder::Downloads, KnownFolder::PublicDocuments, KnownFolder::Profile, KnownFolder::Public}) {
    const std::optional<std::string> folder = environment.known_folder(kind);
    if (!folder) continue;
    std::string key = folder_key(*folder);
    if (key.empty()) continue;
    const bool contents = kind != KnownFolder::Profile && kind != KnownFolder::Public;
    // Protections are judged on where handles really are: the folder's own
    // final path counts too when a link or a short name lies on its way.
    std::optional<std::string> real;
    if (is_absolute_drive_path(*folder)) real = fs.final_path(folder_text(*folder));
    std::string real_key = real ? folder_key(*real) : key;
    if (kind == KnownFolder::Profile) context.profile = real_key;
    if (real_key != key) context.protected_folders.emplace_back(std::move(real_key), contents);
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
    if (row != context.variables.end())
      value = row->second;
    else if (!name.empty())
      value = context.environment->variable(name);
    if (value && row == context.variables.end()) {
      if (!is_valid_utf8(*value))
        value.reset();
      else
        *value = without_trailing_backslashes(*value);
    }
    out += value ? *value : std::string(path.substr(open, close - open + 1));
    path.remove_prefix(close + 1);
  }
  if (out.size() == 2 && out[1] == ':') out += '\\';
  return out;
}

std::vector<RulePath> expand_rule_paths(PathContext& context, std::string_view path) {
  std::vector<RulePath> found;
  auto expand = [&](std::string_view rule_path) {
    std::string concrete = substitute_variables(context, rule_path);
    if (!is_absolute_drive_path(concrete)) {
      if (!context.refused) context.refused = std::move(concrete);
      return;
    }
    expand_wildcards(context, std::move(concrete), std::string::npos, found);
  };
  expand(path);
  // Programs installed in either Program Files folder: the rule names the 64-bit one.
  constexpr std::string_view programs = "%programfiles%";
  for (std::size_t at = 0; at + programs.size() <= path.size(); ++at) {
    if (!iequals_ascii(path.substr(at, programs.size()), programs)) continue;
    expand(std::string(path.substr(0, at)) + "%ProgramFiles(x86)%" + std::string(path.substr(at + programs.size())));
    break;
  }
  std::vector<RulePath> out;
  std::unordered_set<std::string> seen;
  for (RulePath& p : found)
    if (seen.insert(to_lower(p.path)).second) out.push_back(std::move(p));
  return out;
}

std::vector<std::string> expand_rule_path(PathContext& context, std::string_view path) {
  std::vector<std::string> out;
  for (RulePath& p : expand_rule_paths(context, path)) out.push_back(std::move(p.path));
  return out;
}

std::optional<OpenedFolder> open_rule_folder(PathContext& context, const RulePath& path, Follow follow) {
  const std::string text = folder_text(path.path);
  std::optional<OpenedFolder> folder = context.fs->open_folder(text, path.matched() ? Follow::never : follow);
  if (!folder) return std::nullopt;
  const std::string real = folder_key(folder->path);
  if (path.matched()) {
    // What a wildcard matched was listed as a folder, not a link: it must
    // still be that folder, below where the fixed part of the path leads.
    const std::optional<std::string>& base = final_of(context, std::string_view(path.path).substr(0, path.literal));
    if (!base || real != folder_key(*base) + "\\" + to_lower(std::string_view(path.path).substr(path.literal)))
      return std::nullopt;
  }
  // Anyone may plant a link where they can write (a drive root, their temp
  // folder): the elevated program follows one only where that user could
  // delete anyway, their own profile.
  if (real != folder_key(text) && (context.profile.empty() || !at_or_under(real, context.profile))) return std::nullopt;
  if (is_in_user_data(context, real)) return std::nullopt;
  return folder;
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
  context.refused.reset();
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
    const bool present =
        bar == std::string::npos
            ? context.registry->key_exists(key->first, key->second)
            : context.registry->value_exists(key->first, key->second, std::string_view(item).substr(bar + 1));
    if (present) return true;
  }
  for (const std::string& item : entry.detect_file)
    for (const RulePath& path : expand_rule_paths(context, item))
      if (exists_in_listings(context, path.path)) {
        context.refused.reset();
        return true;
      }
  report_refused(context, entry);
  return false;
}

ResolvedEntry resolve_entry(PathContext& context, const RuleEntry& entry) {
  ResolvedEntry result;
  context.refused.reset();
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
    for (const RulePath& path : expand_rule_paths(context, key.path)) {
      // A path naming a file, or a folder the checks refuse, collects nothing.
      std::optional<OpenedFolder> root = open_rule_folder(context, path, Follow::link);
      if (!root) continue;
      if (!first_walk && seen.empty())
        for (const FoundFile& f : result.files) seen.insert(to_lower(f.path));
      Walk walk{context, key.patterns, recurse, exclusions, first_walk ? nullptr : &seen, result, false, {}, {}};
      walk.run(path.path, std::move(*root));
      first_walk = false;
    }
  }
  for (const RegKey& key : entry.reg_keys) {
    const auto parsed = parse_registry_path(key.key);
    if (!parsed) continue;
    const std::string canonical = canonical_key(parsed->first, parsed->second);
    if (std::ranges::any_of(spared_keys, [&](const std::string& e) { return at_or_under(canonical, e); })) continue;
    if (!key.value) {
      // A whole hive is never a target.
      if (!parsed->second.empty() && context.registry->key_exists(parsed->first, parsed->second))
        result.registry.push_back({parsed->first, parsed->second, std::nullopt});
    } else if (context.registry->value_exists(parsed->first, parsed->second, *key.value)) {
      result.registry.push_back({parsed->first, parsed->second, key.value});
    }
  }
  report_refused(context, entry);
  return result;
}

namespace {

// How a path stands to a protected folder (lower-cased, no trailing "\"),
// case ignored. ASCII paths (nearly all) are compared in place: a walk asks
// this for every folder, and deep down the paths are long.
enum class Relation { other, same, under };

template <class Test>
bool any_protected(const PathContext& context, std::string_view path, Test test) {
  while (path.ends_with('\\')) path.remove_suffix(1);
  if (!is_ascii(path)) {
    const std::string key = folder_key(path);
    return std::ranges::any_of(context.protected_folders, [&](const auto& f) {
      return test(key == f.first              ? Relation::same
                  : at_or_under(key, f.first) ? Relation::under
                                              : Relation::other,
                  f.second);
    });
  }
  return std::ranges::any_of(context.protected_folders, [&](const auto& f) {
    const std::string_view folder = f.first;
    if (path.size() < folder.size() || !iequals_ascii(path.substr(0, folder.size()), folder))
      return test(Relation::other, f.second);
    if (path.size() == folder.size()) return test(Relation::same, f.second);
    return test(path[folder.size()] == '\\' ? Relation::under : Relation::other, f.second);
  });
}

}  // namespace

bool is_in_user_data(const PathContext& context, std::string_view path) {
  return any_protected(context, path, [](Relation r, bool contents) { return contents && r != Relation::other; });
}

bool is_protected_folder(const PathContext& context, std::string_view path) {
  return any_protected(context, path, [](Relation r, bool contents) {
    return r == Relation::same || (contents && r == Relation::under);
  });
}

}  // namespace vx::winapp2
