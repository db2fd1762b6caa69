// winapp2-check: reads a rule file as the program does and says what it found.
//
//   winapp2-check FILE            a summary: version, sections, entries kept, protected, split
//   winapp2-check --json FILE     one JSON object per finalised entry, in order (summary on stderr)
//
// It is the reference for what the parser makes of a rule file, for rule
// maintainers and for our own tests.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "common/text.h"
#include "winapp2/rules.h"

namespace {

using json = nlohmann::ordered_json;
using namespace vx::winapp2;

template <class T>
json or_null(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

json entry_json(const RuleEntry& e) {
  const Category category = entry_category(e);
  json files = json::array(), regs = json::array(), excludes = json::array();
  for (const FileKey& k : e.file_keys)
    files.push_back({{"path", k.path}, {"patterns", k.patterns}, {"flag", static_cast<int>(k.flag)}});
  for (const RegKey& k : e.reg_keys) regs.push_back({{"key", k.key}, {"value", or_null(k.value)}});
  for (const ExcludeKey& k : e.exclude_keys)
    excludes.push_back({{"kind", static_cast<int>(k.kind)}, {"path", k.path}, {"pattern", or_null(k.pattern)}});
  return json{{"name", e.name},
              {"identity_key", identity_key(e)},
              {"usage_history", e.usage_history},
              {"default_on", e.default_on},
              {"category", {{"order", category.order}, {"label", std::string(category.label)}}},
              {"section", or_null(e.section)},
              {"warning", or_null(e.warning)},
              {"lang_sec_ref", or_null(e.lang_sec_ref)},
              {"special_detect", or_null(e.special_detect)},
              {"detect", e.detect},
              {"detect_file", e.detect_file},
              {"file_keys", std::move(files)},
              {"reg_keys", std::move(regs)},
              {"exclude_keys", std::move(excludes)}};
}

int usage() {
  std::fputs("usage: winapp2-check [--json] FILE\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool as_json = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json")
      as_json = true;
    else if (!path && !arg.starts_with("--"))
      path = argv[i];
    else
      return usage();
  }
  if (!path) return usage();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "winapp2-check: cannot read %s\n", path);
    return 1;
  }
  // Read as the program reads a downloaded copy: invalid UTF-8 replaced.
  const std::string text = vx::sanitize_utf8(std::string(std::istreambuf_iterator<char>(in), {}));
  ParseStats stats;
  const std::vector<RuleEntry> entries = parse_rules(text, &stats);
  if (as_json) {
    for (const RuleEntry& e : entries) std::printf("%s\n", entry_json(e).dump().c_str());
  }
  std::fprintf(as_json ? stderr : stdout,
               "version %u, sections %zu, entries kept %zu, protected %zu, split %zu, entries out %zu\n",
               read_rule_version(text), stats.sections, stats.kept, stats.protected_entries, stats.split,
               entries.size());
  return 0;
}
