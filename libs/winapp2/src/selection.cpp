#include "winapp2/selection.h"

#include "common/file.h"
#include "common/text.h"
#include "winapp2/rules.h"

namespace vx::winapp2 {
namespace {

// A few thousand entries make a few hundred kilobytes; anything far beyond is not ours.
constexpr std::uint64_t max_selection_size = 8u << 20;

}  // namespace

std::vector<SelectionLine> parse_selection(std::string_view text) {
  std::vector<SelectionLine> lines;
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    // Editors put a byte-order mark before the first line, some before every line.
    while (line.starts_with(bom)) line.remove_prefix(bom.size());
    line = trim(line);
    if (line.size() < 2 || (line[0] != '+' && line[0] != '-')) continue;
    lines.push_back({std::string(line.substr(1)), line[0] == '+'});
  }
  return lines;
}

std::string format_selection(std::span<const SelectionLine> lines) {
  std::string text;
  for (const SelectionLine& line : lines) {
    text += line.checked ? '+' : '-';
    text += line.key;
    text += "\r\n";
  }
  return text;
}

std::optional<std::string> selection_path() {
  std::optional<std::string> path = user_rule_path();
  if (path) path->replace(path->find_last_of('\\') + 1, std::string::npos, "Cleanup.txt");
  return path;
}

std::vector<SelectionLine> read_selection() {
  const std::optional<std::string> path = selection_path();
  if (!path) return {};
  const std::optional<std::string> text = read_file(*path, max_selection_size);
  return text ? parse_selection(*text) : std::vector<SelectionLine>{};
}

}  // namespace vx::winapp2
