// Any Cleanup.txt: it parses without a crash, what it says survives being
// written back, and the page's list takes it (keys compared ignoring case).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "page-cleanup/model.h"
#include "winapp2/selection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<vx::winapp2::SelectionLine> lines = vx::winapp2::parse_selection(bytes);
  for (const vx::winapp2::SelectionLine& line : lines)
    if (line.key.empty()) std::abort();
  if (vx::winapp2::parse_selection(vx::winapp2::format_selection(lines)) != lines) std::abort();

  // Entries named like the first few keys, so that some lines match.
  std::vector<vx::winapp2::RuleEntry> entries;
  for (std::size_t i = 0; i < lines.size() && i < 16; ++i) {
    vx::winapp2::RuleEntry entry;
    entry.name = lines[i].key;
    entry.default_on = i % 2 == 0;
    entry.section = lines[i].key.substr(0, 3);
    entries.push_back(std::move(entry));
  }
  const vx::page_cleanup::Model model(std::move(entries), lines);
  std::size_t grouped = 0;
  for (const vx::page_cleanup::Group& group : model.groups()) grouped += group.items.size();
  if (grouped != model.items().size()) std::abort();
  return 0;
}
