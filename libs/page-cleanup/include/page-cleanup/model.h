// What the cleanup page holds: the detected entries in display order with
// their checked state and analysis results, the categories they fall into,
// and the rows on screen. Plain state and rules, no document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winapp2/jobs.h"
#include "winapp2/rules.h"
#include "winapp2/selection.h"

namespace vx::page_cleanup {

struct Item {
  winapp2::RuleEntry entry;
  std::string key;  // the identity key the selection file uses
  bool checked = false;
  std::optional<winapp2::ResolvedEntry> analysis;
};

struct Group {
  std::string label;               // an i18n key when it starts with "cleanup.cat.", else shown as it is
  std::vector<std::size_t> items;  // indices into the items, in order
  bool expanded = false;
};

// A row on screen: a category, or one item of an expanded category.
struct Row {
  enum class Kind : std::uint8_t { category, item } kind;
  std::size_t index;  // into the groups or the items
  friend bool operator==(const Row&, const Row&) = default;
};

enum class GroupCheck : std::uint8_t { none, some, all };

class Model {
 public:
  Model() = default;
  // Sorted for display, grouped into collapsed categories, and checked as the
  // saved selection says (ignoring case), else by each entry's default.
  explicit Model(std::vector<winapp2::RuleEntry> entries, const std::vector<winapp2::SelectionLine>& selection);

  const std::vector<Item>& items() const { return items_; }
  const std::vector<Group>& groups() const { return groups_; }
  const std::vector<Row>& rows() const { return rows_; }
  std::size_t group_of(std::size_t item) const { return group_of_[item]; }

  GroupCheck group_check(std::size_t group) const;
  // The size of the checked, analysed items of a group; none when there are none.
  std::optional<std::uint64_t> group_size(std::size_t group) const;

  void set_checked(std::size_t item, bool checked);
  // A category's box: all checked → none; some or none → all.
  void toggle_group(std::size_t group);
  void check_all(bool checked);
  void restore_defaults();

  // Opens or closes a category: the first screen row of its items and how many.
  struct Change {
    std::size_t first_row, count;
  };
  Change toggle_expanded(std::size_t group);
  // The screen row of a category.
  std::size_t row_of_group(std::size_t group) const;

  // The lines of the selection file: each item whose state differs from its
  // default, in display order.
  std::vector<winapp2::SelectionLine> selection() const;

  // The checked items, in display order; `row` is the item's index. The
  // cleaning takes what the analysis found along.
  std::vector<winapp2::JobItem> checked_items(bool with_analysis) const;
  bool any_checked() const;
  // Every checked item has an analysis result and one of them found something.
  bool cleanable() const;
  void set_analysis(std::size_t item, winapp2::ResolvedEntry result);
  void drop_analysis(std::size_t item);

  // Bytes of the items (their rule entries and results), groups and rows, estimated.
  std::size_t memory_usage() const;

 private:
  void build_rows();

  std::vector<Item> items_;
  std::vector<Group> groups_;
  std::vector<std::size_t> group_of_;
  std::vector<Row> rows_;
};

// An entry as the list shows it: its name, and for a usage-history part the
// name with " · " and the language's word for usage history.
std::string display_name(const winapp2::RuleEntry& entry, std::string_view language);
// A category's label in the language: the text of an i18n key, else the label.
std::string group_label(std::string_view label, std::string_view language);

}  // namespace vx::page_cleanup
