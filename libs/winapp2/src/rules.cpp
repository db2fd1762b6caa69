#include "winapp2/rules.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "common/file.h"
#include "common/path_vars.h"
#include "common/text.h"
#include "winapp2/rule_text.h"

namespace vx::winapp2 {
namespace {

std::string_view without_leading_bom(std::string_view s) {
  while (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
  return s;
}

// The words the finalisation looks for, each with what it tells. One pass over
// a text finds them all, ignoring ASCII case: a table of the words' first two
// bytes rules out almost every position at once.
enum Found : unsigned {
  name_word = 1,     // personal browser data, in an entry's name
  path_word = 2,     // ... in a FileKey's path
  pattern_word = 4,  // ... in a FileKey's pattern
  chat = 8,
  history = 16,
  bookmarks_part = 32,  // "\bookmarks", which counts only as a whole folder name
  usage = 64,           // usage history
  spared = 128,         // phrases that look like usage history but are not
  non_ascii = 256,      // the text needs full lower-casing first
};

class Scanner {
 public:
  Scanner() {
    const std::pair<std::string_view, unsigned> words[] = {
        {"favicon", name_word},
        {"bookmark", name_word},
        {"favorite", name_word},
        {"favourite", name_word},
        {"favorites", path_word | pattern_word},
        {"favourites", path_word | pattern_word},
        {"speed dial", name_word | path_word | pattern_word},
        {"reading list", name_word},
        {"password", name_word},
        {"autofill", name_word},
        {"browsing history", name_word},
        {"chat", chat},
        {"history", history | usage},
        {"\\bookmarkbackups", path_word},
        {"places.sqlite", path_word | pattern_word},
        {"\\bookmarks", bookmarks_part},
        {"recent", usage},
        {"mru", usage},
        {"session", usage},
        {"jumplist", usage},
        {"jump list", usage},
        {"automaticdestinations", usage},
        {"customdestinations", usage},
        {"typed", usage},
        {"lastvisited", usage},
        {"opensave", usage},
        {"session storage", spared},
        {"jumplisticon", spared},
    };
    for (const auto& [word, tells] : words) {
      const std::size_t pair = pair_at(word, 0);
      if (!first_[pair]) {
        first_[pair] = static_cast<std::uint16_t>(entries_.size() + 1);
        entries_.push_back({});
      }
      entries_[first_[pair] - 1].push_back({word, tells});
    }
  }

  // What the text holds, as Found bits; non_ascii alone when it holds a
  // non-ASCII byte (a few non-ASCII letters lower-case to ASCII ones).
  unsigned scan(std::string_view text) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    if (size == 0) return 0;
    if (bytes[0] >= 0x80) return non_ascii;
    unsigned found = 0;
    std::size_t previous = lower_[bytes[0]];
    for (std::size_t i = 1; i < size; ++i) {
      if (bytes[i] >= 0x80) return non_ascii;
      const std::size_t current = lower_[bytes[i]];
      const std::size_t pair = previous << 8 | current;
      previous = current;
      const std::uint16_t slot = first_[pair];
      if (!slot) continue;  // most pairs start no word
      const std::size_t at = i - 1;
      for (const auto& [word, tells] : entries_[slot - 1])
        if (size - at >= word.size() && matches_at(bytes + at, word)) found |= tells;
    }
    return found;
  }

  // The same for any text, lower-cased in full when it is not ASCII.
  unsigned scan_any(std::string_view text) const {
    const unsigned found = scan(text);
    return found == non_ascii ? scan_lowered(text) : found;
  }

 private:
  unsigned scan_lowered(std::string_view text) const {
    const std::string lowered = to_lower(text);
    const unsigned found = scan(lowered);
    return found == non_ascii ? scan_ascii_only(lowered) : found;
  }
  // Lower-cased text that is still not ASCII: look at its ASCII runs.
  unsigned scan_ascii_only(std::string_view text) const {
    unsigned found = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || static_cast<unsigned char>(text[i]) >= 0x80) {
        if (i > start) found |= scan(text.substr(start, i - start));
        start = i + 1;
      }
    }
    return found;
  }
  // `word` is lower-case ASCII; the text is compared through the table.
  static bool matches_at(const unsigned char* text, std::string_view word) {
    for (std::size_t k = 0; k < word.size(); ++k)
      if (lower_[text[k]] != static_cast<unsigned char>(word[k])) return false;
    return true;
  }
  static std::size_t pair_at(std::string_view s, std::size_t i) {
    return static_cast<std::size_t>(static_cast<unsigned char>(ascii_lower(s[i]))) << 8 |
           static_cast<unsigned char>(ascii_lower(s[i + 1]));
  }
  static constexpr std::array<unsigned char, 256> lower_ = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(ascii_lower(static_cast<char>(c)));
    return table;
  }();
  std::vector<std::vector<std::pair<std::string_view, unsigned>>> entries_;
  std::array<std::uint16_t, 65536> first_{};
};

const Scanner& scanner() {
  static const Scanner instance;
  return instance;
}

bool all_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "key" followed by at least one digit (numbered) or by digits or nothing (counted).
bool numbered(std::string_view key, std::string_view name) {
  return key.size() > name.size() && key.starts_with(name) && all_digits(key.substr(name.size()));
}
bool numbered_or_bare(std::string_view key, std::string_view name) {
  return key.starts_with(name) && all_digits(key.substr(name.size()));
}

// The first three "|"-separated fields of a value and how many there are in all.
struct Fields {
  std::array<std::string_view, 3> piece;
  std::size_t count = 0;
};
Fields fields(std::string_view s) {
  Fields f;
  for (;;) {
    const std::size_t at = s.find('|');
    if (f.count < 3) f.piece[f.count] = s.substr(0, at);
    ++f.count;
    if (at == std::string_view::npos) return f;
    s.remove_prefix(at + 1);
  }
}

std::vector<std::string> pattern_list(std::string_view s) {
  std::vector<std::string> patterns;
  for (;;) {
    const std::size_t at = s.find(';');
    const std::string_view p = trim(s.substr(0, at));
    if (!p.empty()) patterns.emplace_back(p);
    if (at == std::string_view::npos) break;
    s.remove_prefix(at + 1);
  }
  if (patterns.empty()) patterns.emplace_back("*.*");
  return patterns;
}

std::optional<FileKeyFlag> flag_word(std::string_view s) {
  const std::string_view word = trim(s);
  if (iequals_ascii(word, "RECURSE")) return FileKeyFlag::recurse;
  if (iequals_ascii(word, "REMOVESELF")) return FileKeyFlag::remove_self;
  return std::nullopt;
}

FileKey file_key(std::string_view value) {
  const Fields f = fields(value);
  const auto& pieces = f.piece;
  FileKey key;
  key.path = std::string(trim(pieces[0]));
  if (f.count == 2) {
    if (const std::optional<FileKeyFlag> flag = flag_word(pieces[1])) {
      key.flag = *flag;
      key.patterns = {"*.*"};
    } else {
      key.patterns = pattern_list(pieces[1]);
    }
  } else if (f.count >= 3) {
    key.patterns = pattern_list(pieces[1]);
    key.flag = flag_word(pieces[2]).value_or(FileKeyFlag::none);
  } else {
    key.patterns = {"*.*"};
  }
  return key;
}

RegKey reg_key(std::string_view value) {
  const std::size_t bar = value.find('|');
  if (bar == std::string_view::npos) return {std::string(trim(value)), std::nullopt};
  return {std::string(trim(value.substr(0, bar))), std::string(trim(value.substr(bar + 1)))};
}

ExcludeKey exclude_key(std::string_view value) {
  const Fields f = fields(value);
  const auto& pieces = f.piece;
  ExcludeKey key;
  const std::string_view kind = trim(pieces[0]);
  key.kind = iequals_ascii(kind, "PATH")  ? ExcludeKind::path
             : iequals_ascii(kind, "REG") ? ExcludeKind::reg
                                          : ExcludeKind::file;
  if (f.count > 1) key.path = std::string(trim(pieces[1]));
  if (f.count > 2) {
    const std::string_view pattern = trim(pieces[2]);
    if (!pattern.empty()) key.pattern = std::string(pattern);
  }
  return key;
}

// "\bookmarks" as a whole path part: followed by a backslash or the end.
bool has_bookmarks_folder(std::string_view path) {
  constexpr std::string_view part = "\\bookmarks";
  for (std::size_t at = 0; at + part.size() <= path.size(); ++at) {
    if (path[at] != '\\' || !iequals_ascii(path.substr(at, part.size()), part)) continue;
    const std::size_t end = at + part.size();
    if (end == path.size() || path[end] == '\\') return true;
  }
  return false;
}

// The text with every occurrence of `from` replaced by one space.
std::string spaced_out(std::string_view text, std::string_view from) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, from.size(), from) == 0) {
      out += ' ';
      i += from.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool usage_history_from(unsigned found, std::string_view text);

// What the scanner found in each FileKey's path and patterns, in order.
struct KeyFindings {
  std::vector<unsigned> paths;
  std::vector<unsigned> patterns;  // every key's patterns, one after another
};

// Entries that touch personal browser data: bookmarks, passwords, history and the like.
bool is_personal_browser_data(const RuleEntry& entry, const KeyFindings& found) {
  const unsigned name = scanner().scan_any(entry.name);
  if ((name & name_word) || ((name & chat) && (name & history))) return true;
  std::size_t next_pattern = 0;
  for (std::size_t k = 0; k < entry.file_keys.size(); ++k) {
    const FileKey& key = entry.file_keys[k];
    const unsigned path = found.paths[k];
    if ((path & path_word) || ((path & bookmarks_part) && has_bookmarks_folder(to_lower(key.path)))) return true;
    for (const std::string& pattern : key.patterns) {
      if ((found.patterns[next_pattern++] & pattern_word) || iequals_ascii(pattern, "bookmarks") ||
          (!is_ascii(pattern) && to_lower(pattern) == "bookmarks"))
        return true;
    }
  }
  return false;
}

// Appends the finalised form of one entry (none, one or two entries).
void finish(RuleEntry&& entry, std::vector<RuleEntry>& out, ParseStats& stats) {
  ++stats.sections;
  const bool detected = !entry.detect.empty() || !entry.detect_file.empty() || entry.special_detect;
  if (!detected || (entry.file_keys.empty() && entry.reg_keys.empty())) return;
  ++stats.kept;
  // Each path and pattern is scanned once, for both questions below.
  thread_local KeyFindings found;
  found.paths.clear();
  found.patterns.clear();
  unsigned any = 0;
  for (const FileKey& key : entry.file_keys) {
    any |= found.paths.emplace_back(scanner().scan_any(key.path));
    for (const std::string& pattern : key.patterns) any |= found.patterns.emplace_back(scanner().scan_any(pattern));
  }
  if (is_personal_browser_data(entry, found)) {
    ++stats.protected_entries;
    entry.default_on = false;
    out.push_back(std::move(entry));
    return;
  }
  const auto is_history = [](const RegKey& key) {
    return is_usage_history(key.key) || (key.value && is_usage_history(*key.value));
  };
  const auto first_history = std::ranges::find_if(entry.reg_keys, is_history);
  if (!(any & usage) && first_history == entry.reg_keys.end()) {  // the usual case: nothing to divide
    out.push_back(std::move(entry));
    return;
  }
  std::vector<RegKey> ordinary_regs, history_regs;
  for (RegKey& key : entry.reg_keys) (is_history(key) ? history_regs : ordinary_regs).push_back(std::move(key));
  std::vector<FileKey> ordinary_files, history_files;
  std::size_t next_pattern = 0;
  for (std::size_t k = 0; k < entry.file_keys.size(); ++k) {
    FileKey& key = entry.file_keys[k];
    const std::size_t first_pattern = next_pattern;
    next_pattern += key.patterns.size();
    if (usage_history_from(found.paths[k], key.path)) {
      history_files.push_back(std::move(key));
      continue;
    }
    FileKey ordinary{{}, {}, key.flag}, history{{}, {}, key.flag};
    for (std::size_t p = 0; p < key.patterns.size(); ++p) {
      FileKey& side = usage_history_from(found.patterns[first_pattern + p], key.patterns[p]) ? history : ordinary;
      side.patterns.push_back(std::move(key.patterns[p]));
    }
    if (!history.patterns.empty()) {
      history.path = key.path;
      history_files.push_back(std::move(history));
    }
    if (!ordinary.patterns.empty()) {
      ordinary.path = std::move(key.path);
      ordinary_files.push_back(std::move(ordinary));
    }
  }
  const bool has_history = !history_files.empty() || !history_regs.empty();
  const bool has_ordinary = !ordinary_files.empty() || !ordinary_regs.empty();
  if (!has_history) {
    entry.file_keys = std::move(ordinary_files);
    entry.reg_keys = std::move(ordinary_regs);
    out.push_back(std::move(entry));
  } else if (!has_ordinary) {
    entry.file_keys = std::move(history_files);
    entry.reg_keys = std::move(history_regs);
    entry.default_on = false;
    out.push_back(std::move(entry));
  } else {
    entry.file_keys.clear();
    entry.reg_keys.clear();
    RuleEntry history_part = entry;  // same name, detection, exclusions, section, warning, LangSecRef
    entry.file_keys = std::move(ordinary_files);
    entry.reg_keys = std::move(ordinary_regs);
    history_part.file_keys = std::move(history_files);
    history_part.reg_keys = std::move(history_regs);
    history_part.default_on = false;
    history_part.usage_history = true;
    ++stats.split;
    out.push_back(std::move(entry));
    out.push_back(std::move(history_part));
  }
}

bool usage_history_from(unsigned found, std::string_view text) {
  if (!(found & usage)) return false;
  if (!(found & spared)) return true;
  // Rare: take the spared phrases out before looking again.
  const std::string rest = spaced_out(spaced_out(to_lower(text), "session storage"), "jumplisticon");
  return scanner().scan_any(rest) & usage;
}

constexpr std::array<std::pair<std::uint32_t, Category>, 24> lang_sec_refs = {{
    {3025, {0, "cleanup.cat.windows"}},
    {3006, {10, "Microsoft Edge"}},
    {3029, {11, "Google Chrome"}},
    {3026, {12, "Firefox"}},
    {3027, {13, "Opera"}},
    {3035, {14, "Opera GX"}},
    {3033, {15, "Vivaldi"}},
    {3034, {16, "Brave"}},
    {3028, {17, "Safari"}},
    {3039, {18, "Arc Browser"}},
    {3032, {19, "CCleaner Browser"}},
    {3037, {19, "Avast Secure Browser"}},
    {3038, {19, "AVG Secure Browser"}},
    {3043, {19, "Norton Private Browser"}},
    {3044, {19, "Avira Secure Browser"}},
    {3030, {20, "Thunderbird"}},
    {3031, {21, "Microsoft Store"}},
    {3036, {22, "Spotify"}},
    {3040, {22, "iTunes"}},
    {3042, {22, "WhatsApp"}},
    {3022, {30, "cleanup.cat.internet"}},
    {3023, {31, "cleanup.cat.multimedia"}},
    {3024, {32, "cleanup.cat.utilities"}},
    {3021, {33, "cleanup.cat.applications"}},
}};

}  // namespace

std::uint32_t read_rule_version(std::string_view text) {
  for (int line = 0; line < 20 && !text.empty(); ++line) {
    const std::size_t end = text.find('\n');
    std::string_view s = trim(without_leading_bom(text.substr(0, end)));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!s.starts_with(';')) continue;
    s = trim(s.substr(1));
    if (s.size() > 8 && starts_with_ascii_ci(s, "version:")) return parse_u32(trim(s.substr(8))).value_or(0);
  }
  return 0;
}

bool is_usage_history(std::string_view text) { return usage_history_from(scanner().scan_any(text), text); }

namespace {

enum class Key : std::uint8_t {
  section,
  warning,
  special_detect,
  default_on,
  lang_sec_ref,
  detect_file,
  detect,
  file_key,
  reg_key,
  exclude_key,
  count
};

std::optional<Key> key_of(std::string_view raw_key) {
  char buffer[32];
  if (raw_key.size() > sizeof buffer) return std::nullopt;
  std::transform(raw_key.begin(), raw_key.end(), buffer, [](char c) { return ascii_lower(c); });
  const std::string_view key(buffer, raw_key.size());
  if (key == "section") return Key::section;
  if (key == "warning") return Key::warning;
  if (key == "specialdetect") return Key::special_detect;
  if (key == "default") return Key::default_on;
  if (key == "langsecref") return Key::lang_sec_ref;
  if (numbered_or_bare(key, "detectfile")) return Key::detect_file;
  if (numbered_or_bare(key, "detect")) return Key::detect;
  if (numbered(key, "filekey")) return Key::file_key;
  if (numbered(key, "regkey")) return Key::reg_key;
  if (numbered(key, "excludekey")) return Key::exclude_key;
  return std::nullopt;
}

struct KeyLine {
  Key key;
  std::string_view value;
};

// One section's entry, built once its lines are all known so that every list
// is allocated once at its final size.
RuleEntry entry_of(std::string_view name, const std::vector<KeyLine>& lines) {
  std::array<std::size_t, static_cast<std::size_t>(Key::count)> counts{};
  for (const KeyLine& line : lines) ++counts[static_cast<std::size_t>(line.key)];
  const auto count = [&](Key k) { return counts[static_cast<std::size_t>(k)]; };
  RuleEntry e;
  e.name = std::string(name);
  e.detect.reserve(count(Key::detect));
  e.detect_file.reserve(count(Key::detect_file));
  e.file_keys.reserve(count(Key::file_key));
  e.reg_keys.reserve(count(Key::reg_key));
  e.exclude_keys.reserve(count(Key::exclude_key));
  for (const auto& [key, value] : lines) {
    switch (key) {
      case Key::section:
        e.section = std::string(value);
        break;
      case Key::warning:
        e.warning = std::string(value);
        break;
      case Key::special_detect:
        e.special_detect = std::string(value);
        break;
      case Key::default_on:
        e.default_on = iequals_ascii(value, "true");
        break;
      case Key::lang_sec_ref:
        e.lang_sec_ref = parse_u32(value);
        break;
      case Key::detect_file:
        e.detect_file.emplace_back(value);
        break;
      case Key::detect:
        e.detect.emplace_back(value);
        break;
      case Key::file_key:
        e.file_keys.push_back(file_key(value));
        break;
      case Key::reg_key:
        e.reg_keys.push_back(reg_key(value));
        break;
      case Key::exclude_key:
        e.exclude_keys.push_back(exclude_key(value));
        break;
      case Key::count:
        break;
    }
  }
  return e;
}

}  // namespace

std::vector<RuleEntry> parse_rules(std::string_view text, ParseStats* stats_out) {
  ParseStats stats;
  std::vector<RuleEntry> out;
  out.reserve(std::min<std::size_t>(text.size() / 256, 65536));  // about one entry per 400 bytes: no regrowth
  std::optional<std::string_view> open;                          // the name of the entry being read
  std::vector<KeyLine> lines;                                    // its key lines so far
  bool ignoring = false;                                         // inside a header section: its keys are not an entry's
  const auto close = [&] {
    if (open) finish(entry_of(*open, lines), out, stats);
    open.reset();
    lines.clear();
  };
  while (!text.empty()) {
    const char* newline = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
    const std::size_t end = newline ? static_cast<std::size_t>(newline - text.data()) : text.size();
    const std::string_view line = trim(without_leading_bom(text.substr(0, end)));
    text.remove_prefix(newline ? end + 1 : end);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      close();
      std::string_view name = trim(line.substr(1, line.size() - 2));
      while (!name.empty() && name.back() == '*') name.remove_suffix(1);
      name = trim(name);
      const std::string lowered = ascii_lower(name.substr(0, 7));
      ignoring = name.size() >= 7 && (lowered == "winapp2" || lowered == "version");
      if (!ignoring) open = name;
      continue;
    }
    if (!open) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view value = trim(line.substr(equals + 1));
    if (value.empty()) continue;
    if (const std::optional<Key> key = key_of(trim(line.substr(0, equals)))) lines.push_back({*key, value});
  }
  close();
  if (stats_out) *stats_out = stats;
  return out;
}

namespace {

std::size_t heap_of(const std::string& s) { return s.capacity() > std::string().capacity() ? s.capacity() + 1 : 0; }
std::size_t heap_of(const std::optional<std::string>& s) { return s ? heap_of(*s) : 0; }

}  // namespace

std::size_t memory_usage(const RuleEntry& e) {
  std::size_t bytes = heap_of(e.name) + heap_of(e.section) + heap_of(e.special_detect) + heap_of(e.warning) +
                      (e.detect.capacity() + e.detect_file.capacity()) * sizeof(std::string) +
                      e.file_keys.capacity() * sizeof(FileKey) + e.reg_keys.capacity() * sizeof(RegKey) +
                      e.exclude_keys.capacity() * sizeof(ExcludeKey);
  for (const std::string& s : e.detect) bytes += heap_of(s);
  for (const std::string& s : e.detect_file) bytes += heap_of(s);
  for (const FileKey& k : e.file_keys) {
    bytes += heap_of(k.path) + k.patterns.capacity() * sizeof(std::string);
    for (const std::string& s : k.patterns) bytes += heap_of(s);
  }
  for (const RegKey& k : e.reg_keys) bytes += heap_of(k.key) + heap_of(k.value);
  for (const ExcludeKey& k : e.exclude_keys) bytes += heap_of(k.path) + heap_of(k.pattern);
  return bytes;
}

std::string identity_key(const RuleEntry& entry) { return entry.usage_history ? entry.name + "|record" : entry.name; }

Category entry_category(const RuleEntry& entry) {
  if (entry.lang_sec_ref) {
    for (const auto& [ref, category] : lang_sec_refs)
      if (ref == *entry.lang_sec_ref) return category;
  }
  const std::string_view section = entry.section ? trim(*entry.section) : std::string_view();
  if (section.empty()) return {60, "cleanup.cat.other"};
  if (iequals_ascii(section, "games")) return {40, "cleanup.cat.games"};
  return {ascii_lower(section).ends_with("web browser") ? 23 : 50, section};
}

RuleText choose_rule_text(std::string_view builtin, std::optional<std::string_view> user_bytes) {
  const std::uint32_t built_in_version = read_rule_version(builtin);
  if (user_bytes) {
    std::string user = sanitize_utf8(*user_bytes);
    const std::uint32_t user_version = read_rule_version(user);
    if (user_version > built_in_version) return {user_version, std::move(user)};
  }
  return {built_in_version, std::string(builtin)};
}

std::optional<std::string> user_rule_path() {
  const std::optional<std::string> roaming = known_folder(KnownFolder::RoamingAppData);
  if (!roaming) return std::nullopt;
  return *roaming + "\\Vorlix\\Winapp2.ini";
}

RuleText load_rule_text() {
  // The published file is under 2 MB; a copy far beyond that is not a rule file.
  constexpr std::uint64_t max_rule_file_size = 64u << 20;
  std::optional<std::string> user;
  if (const std::optional<std::string> path = user_rule_path()) user = read_file(*path, max_rule_file_size);
  return choose_rule_text(builtin_rule_text(), user ? std::optional<std::string_view>(*user) : std::nullopt);
}

}  // namespace vx::winapp2
