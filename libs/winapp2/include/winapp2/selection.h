// Cleanup.txt: which entries the user checked or unchecked against their
// default, kept beside the downloaded rule file.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx::winapp2 {

struct SelectionLine {
  std::string key;  // an identity key; compare it ignoring case
  bool checked = false;
  friend bool operator==(const SelectionLine&, const SelectionLine&) = default;
};

// Lines "+key" (checked) and "-key" (unchecked); anything else is ignored.
std::vector<SelectionLine> parse_selection(std::string_view text);

// The file's text: one "+key" or "-key" line per entry, each ended with CRLF.
std::string format_selection(std::span<const SelectionLine> lines);

// Beside the downloaded rule file; none without a roaming application-data folder.
std::optional<std::string> selection_path();

// The saved selection; a missing or unreadable file is an empty one.
std::vector<SelectionLine> read_selection();

}  // namespace vx::winapp2
