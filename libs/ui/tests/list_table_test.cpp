#include "ui/list_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "i18n/templates.h"
#include "tests/pipeline_fixture.h"

namespace {

using namespace std::string_view_literals;

// The program's own document, with rows added the way the pages add them.
struct ListTable : ostrel::PipelineTest {
  static constexpr auto head = "list-autorun-head"sv;
  void SetUp() override {
    const std::string html = vx::i18n::expand_template(vx::i18n::compose_document(), "en");
    load(html, vx::i18n::compose_style());
    ostrel::add_class(by_id("tab-startup"), "active", 6);
    ostrel::remove_class(by_id("tab-home"), "active", 6);
    ostrel::add_class(by_id("panel-startup"), "active", 6);
    ostrel::remove_class(by_id("panel-home"), "active", 6);
  }
  ostrel::Node* add_row(std::size_t index, bool with_icon = false) {
    ostrel::Node* row = ostrel::create_element(doc, "tr", 2);
    const std::string number = std::to_string(index);
    ostrel::set_attribute(row, "data-index", 10, number.data(), number.size());
    for (int i = 0; i < 3; ++i) {
      ostrel::Node* cell = ostrel::create_element(doc, "td", 2);
      if (i == 0 && with_icon) {
        ostrel::Node* icon = ostrel::create_element(doc, "img", 3);
        ostrel::set_attribute(icon, "class", 5, "ic", 2);
        ostrel::set_attribute(icon, "src", 3, "vx-1.png", 8);
        ostrel::append_child(cell, icon);
      }
      if (i < 2) ostrel::append_child(cell, ostrel::create_text(doc, "row", 3));
      if (i == 2) ostrel::set_attribute(cell, "class", 5, "col-fill", 8);
      ostrel::append_child(row, cell);
    }
    ostrel::append_child(ostrel::parent(by_id(head.data())), row);
    return row;
  }
  void add_rows(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) add_row(i);
  }
  bool is_active(std::size_t index) {
    const char* cls = ostrel::get_attribute(vx::ui::row_element(doc, head, index), "class", 5, nullptr);
    return cls && std::string_view(cls).find("active") != std::string_view::npos;
  }
  std::string first_cell_style() {
    ostrel::Node* cell = ostrel::first_child(by_id(head.data()));
    const char* style = ostrel::get_attribute(cell, "style", 5, nullptr);
    return style ? style : "(none)";
  }
};

TEST_F(ListTable, RowsAreFoundClearedAndSelectedByIndex) {
  add_rows(3);
  ostrel::Node* second = vx::ui::row_element(doc, head, 1);
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(ostrel::get_attribute(second, "data-index", 10, nullptr), "1");
  EXPECT_EQ(vx::ui::row_element(doc, head, 3), nullptr);
  EXPECT_EQ(vx::ui::row_element(doc, "no-such-head", 0), nullptr);

  vx::ui::set_active_row(doc, head, std::nullopt, 1);
  EXPECT_TRUE(is_active(1));
  vx::ui::set_active_row(doc, head, 1, 2);
  EXPECT_FALSE(is_active(1));
  EXPECT_TRUE(is_active(2));
  vx::ui::set_active_row(doc, head, 2, 9);  // a row that is not there is ignored
  EXPECT_FALSE(is_active(2));

  vx::ui::clear_rows(doc, head);
  EXPECT_EQ(vx::ui::row_element(doc, head, 0), nullptr);
  EXPECT_NE(by_id(head.data()), nullptr) << "the header row stays";
  add_row(0);
  EXPECT_NE(vx::ui::row_element(doc, head, 0), nullptr) << "rows can be added again after clearing";
}

TEST_F(ListTable, AnyPartOfARowLeadsBackToItsIndex) {
  ostrel::Node* row = add_row(0, true);
  ostrel::Node* icon = ostrel::first_child(ostrel::first_child(row));
  ASSERT_STREQ(ostrel::tag_name(icon), "img");
  EXPECT_EQ(vx::ui::row_index_of(icon), 0u);
  EXPECT_EQ(vx::ui::row_index_of(ostrel::next_sibling(icon)), 0u) << "the text beside the icon";
  EXPECT_EQ(vx::ui::row_index_of(by_id("list-autorun")), std::nullopt) << "the space below the rows";
  EXPECT_EQ(vx::ui::row_index_of(nullptr), std::nullopt);

  // The number rule itself is vx::parse_u64's; here only that the row uses it.
  for (const auto& [text, expected] : std::array<std::pair<const char*, std::optional<std::uint64_t>>, 4>{
           {{"3", 3}, {"+3", 3}, {"-1", std::nullopt}, {"3a", std::nullopt}}}) {
    ostrel::set_attribute(row, "data-index", 10, text, std::strlen(text));
    EXPECT_EQ(vx::ui::row_index_of(icon), expected) << '"' << text << '"';
  }
  ostrel::set_attribute(row, "data-index", 10, "+12", 3);
  EXPECT_EQ(vx::ui::row_index_of(icon), 12u);
}

TEST_F(ListTable, FirstColumnTakesWhatTheOthersLeave) {
  EXPECT_EQ(vx::ui::first_column_width(600, 120), 464);
  EXPECT_EQ(vx::ui::first_column_width(150, 120), 80);
  EXPECT_EQ(vx::ui::first_column_width(300.9f, 120), 164) << "whole pixels, rounded down";

  add_rows(2);
  run(464, 417);
  vx::ui::fit_first_column(doc, head, "autorun-measure");
  const ostrel::Rect measure = ostrel::element_rect(by_id("autorun-measure"));
  const ostrel::Rect from = ostrel::element_rect(ostrel::next_sibling(ostrel::first_child(by_id(head.data()))));
  ASSERT_GT(measure.width, 0);
  const int expected = vx::ui::first_column_width(measure.width, from.width);
  EXPECT_EQ(first_cell_style(), "width:" + std::to_string(expected) + "px");
  run(464, 417);
  EXPECT_FLOAT_EQ(ostrel::element_rect(ostrel::first_child(by_id(head.data()))).width, expected)
      << "the first column takes the width it was given";

  vx::ui::fit_first_column(doc, head, "no-measure");  // a missing element changes nothing
  EXPECT_EQ(first_cell_style(), "width:" + std::to_string(expected) + "px");
  ostrel::remove_class(by_id("panel-startup"), "active", 6);
  run(464, 417);
  vx::ui::fit_first_column(doc, head, "autorun-measure");
  EXPECT_EQ(first_cell_style(), "width:" + std::to_string(expected) + "px") << "a hidden list keeps its width";
}

TEST_F(ListTable, ScrollingShowsTheRowBelowTheHeader) {
  add_rows(40);
  run(464, 417);
  ostrel::Node* body = by_id("list-autorun");
  auto row_rect = [&](std::size_t i) { return ostrel::element_rect(vx::ui::row_element(doc, head, i)); };
  const ostrel::Rect b = ostrel::element_rect(body);
  const float header = ostrel::element_rect(by_id(head.data())).height;

  vx::ui::scroll_row_into_view(doc, "list-autorun", head, 0);
  EXPECT_EQ(ostrel::scroll_position(body).y, 0) << "a visible row moves nothing";

  vx::ui::scroll_row_into_view(doc, "list-autorun", head, 39);
  run(464, 417);
  EXPECT_NEAR(row_rect(39).y + row_rect(39).height, b.y + b.height, 0.01) << "the last row ends at the bottom";

  const float before = ostrel::scroll_position(body).y;
  vx::ui::scroll_row_into_view(doc, "list-autorun", head, 5);
  run(464, 417);
  EXPECT_LT(ostrel::scroll_position(body).y, before);
  EXPECT_NEAR(row_rect(5).y, b.y + header, 0.01) << "the row sits just under the sticky header";
}

TEST_F(ListTable, ImagesAreRegisteredInOrderAndABadOneIsSkipped) {
  const std::string_view png = vx::i18n::builtin_file("vx-2.png");
  const std::pair<std::string_view, std::string_view> images[] = {{"", png}, {"a.png", png}};
  vx::ui::register_images(doc, images);
  ostrel::Node* row = add_row(0, true);
  ostrel::Node* icon = ostrel::first_child(ostrel::first_child(row));
  ostrel::set_attribute(icon, "src", 3, "a.png", 5);
  run(464, 417);
  EXPECT_EQ(ostrel::element_rect(icon).width, 16);
}

}  // namespace
