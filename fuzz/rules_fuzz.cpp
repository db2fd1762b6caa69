// Any rule text: the parser never crashes, and what it returns keeps its
// promises (patterns never empty, detection and something to clean on every
// entry, usage-history parts right after their entries).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "winapp2/rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = vx::sanitize_utf8(std::string(reinterpret_cast<const char*>(data), size));
  (void)vx::winapp2::read_rule_version(text);
  vx::winapp2::ParseStats stats;
  const auto entries = vx::winapp2::parse_rules(text, &stats);
  if (stats.kept > stats.sections || entries.size() != stats.kept + stats.split) std::abort();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    if (e.detect.empty() && e.detect_file.empty() && !e.special_detect) std::abort();
    if (e.file_keys.empty() && e.reg_keys.empty()) std::abort();
    for (const auto& key : e.file_keys)
      if (key.patterns.empty()) std::abort();
    if (e.usage_history && (i == 0 || entries[i - 1].name != e.name || e.default_on)) std::abort();
    (void)vx::winapp2::entry_category(e);
  }
  return 0;
}
