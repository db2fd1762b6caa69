#include "page-cleanup/model.h"

#include <gtest/gtest.h>

namespace {

using vx::page_cleanup::Model;
using vx::winapp2::RuleEntry;

RuleEntry entry(std::string name, std::optional<std::string> section, std::optional<std::uint32_t> ref = {}) {
  RuleEntry e;
  e.name = std::move(name);
  e.section = std::move(section);
  e.lang_sec_ref = ref;
  return e;
}

std::string order_of(const Model& model) {
  std::string out;
  for (const auto& group : model.groups()) {
    out += (out.empty() ? "" : " / ") + group.label + ":";
    for (std::size_t item : group.items)
      out += " " + model.items()[item].entry.name + model.items()[item].entry.detect[0];
  }
  return out;
}

TEST(CleanupModel, SortsByCategoryThenLabelBytesThenLowerCasedNameThenFileOrder) {
  std::vector<RuleEntry> entries{entry("b", "zed"),
                                 entry("Ä", "Zed"),
                                 entry("a", "Zed"),
                                 entry("B", "Zed"),
                                 entry("x", "Mail Web Browser"),
                                 entry("y", std::nullopt, 3022),
                                 entry("b", "Zed")};
  for (std::size_t i = 0; i < entries.size(); ++i) entries[i].detect = {std::to_string(i)};
  const Model model(std::move(entries), {});
  EXPECT_EQ(order_of(model), "Mail Web Browser: x4 / cleanup.cat.internet: y5 / Zed: a2 B3 b6 Ä1 / zed: b0")
      << "a web browser Section sorts before Internet; labels compare byte-wise; names lower-cased, "
         "non-ASCII after ASCII; equal names keep the file's order";
  for (const auto& group : model.groups()) EXPECT_FALSE(group.expanded);
  EXPECT_EQ(model.rows().size(), 4u);
}

TEST(CleanupModel, OpeningACategoryPlacesItsRowsAndCountsThemBack) {
  std::vector<RuleEntry> entries{entry("a", "A"), entry("b", "A"), entry("c", "B"), entry("d", "C")};
  Model model(std::move(entries), {});
  const Model::Change opened = model.toggle_expanded(1);
  EXPECT_EQ(opened.first_row, 2u);
  EXPECT_EQ(opened.count, 1u);
  model.toggle_expanded(0);
  EXPECT_EQ(model.row_of_group(2), 5u);
  const Model::Change closed = model.toggle_expanded(0);
  EXPECT_EQ(closed.first_row, 1u);
  EXPECT_EQ(closed.count, 2u);
  EXPECT_EQ(model.rows(), (std::vector<vx::page_cleanup::Row>{{vx::page_cleanup::Row::Kind::category, 0},
                                                              {vx::page_cleanup::Row::Kind::category, 1},
                                                              {vx::page_cleanup::Row::Kind::item, 2},
                                                              {vx::page_cleanup::Row::Kind::category, 2}}));
}

}  // namespace
