#include "ui/row_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "i18n/templates.h"
#include "tests/pipeline_fixture.h"
#include "ui/list_table.h"

namespace {

using namespace std::string_view_literals;
using vx::ui::RowRange;
using vx::ui::RowWindow;

TEST(RowRanges, TheViewIsCountedFromAKnownRowAndHeldInTheList) {
  // Row 10 at y 100, rows 20 px: the view 150..250 shows rows 12 to 17.
  EXPECT_EQ(vx::ui::rows_in_view(100, 20, 10, 100, 150, 250), (RowRange{12, 18}));
  EXPECT_EQ(vx::ui::rows_in_view(100, 20, 10, 100, -1000, 110), (RowRange{0, 11})) << "above the list";
  EXPECT_EQ(vx::ui::rows_in_view(100, 20, 10, 100, 5000, 6000), (RowRange{100, 100})) << "below it";
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (const float height : {0.0f, -3.0f, nan})
    EXPECT_TRUE(vx::ui::rows_in_view(100, height, 10, 100, 150, 250).empty()) << height;
  EXPECT_TRUE(vx::ui::rows_in_view(100, 20, 10, nan, 150, 250).empty());
  EXPECT_EQ(vx::ui::rows_in_view(100, 20, 10, 100, -inf, inf), (RowRange{0, 100}));
  EXPECT_TRUE(vx::ui::rows_in_view(0, 20, 0, 0, 0, 100).empty());

  // What is made stays while the view keeps `margin` rows inside it.
  const RowRange made{20, 80};
  EXPECT_EQ(vx::ui::rows_to_make(1000, made, {30, 60}, 8, 40), made);
  EXPECT_EQ(vx::ui::rows_to_make(1000, made, {25, 55}, 8, 40), (RowRange{0, 95})) << "too near the top";
  EXPECT_EQ(vx::ui::rows_to_make(1000, made, {500, 530}, 8, 40), (RowRange{460, 570}));
  EXPECT_EQ(vx::ui::rows_to_make(520, made, {500, 520}, 8, 40), (RowRange{460, 520}));
  EXPECT_EQ(vx::ui::rows_to_make(50, made, {30, 40}, 8, 40), (RowRange{0, 50})) << "rows gone from the list";
  // Not placed yet: a screenful from where the rows begin.
  EXPECT_EQ(vx::ui::rows_to_make(1000, {}, {}, 8, 40), (RowRange{0, RowWindow::unplaced_rows}));
  EXPECT_EQ(vx::ui::rows_to_make(1000, {100, 102}, {}, 8, 40), (RowRange{100, 100 + RowWindow::unplaced_rows}));
  EXPECT_EQ(vx::ui::rows_to_make(10, {}, {}, 8, 40), (RowRange{0, 10}));
}

// The startup list of the program's own document, with rows made the way a
// page makes them.
struct RowWindowTest : ostrel::PipelineTest {
  static constexpr auto body = "list-autorun"sv, head = "list-autorun-head"sv;
  RowWindow window{body, head};
  std::size_t made_count = 0;  // rows the page was asked for

  void SetUp() override {
    const std::string html = vx::i18n::expand_template(vx::i18n::compose_document(), "en");
    load(html, vx::i18n::compose_style());
    for (const char* id : {"tab-home", "panel-home"}) ostrel::remove_class(by_id(id), "active", 6);
    for (const char* id : {"tab-startup", "panel-startup"}) ostrel::add_class(by_id(id), "active", 6);
  }
  ostrel::Node* make(std::size_t index) {
    ++made_count;
    ostrel::Node* row = ostrel::create_element(doc, "tr", 2);
    const std::string number = std::to_string(index);
    ostrel::set_attribute(row, "data-index", 10, number.data(), number.size());
    for (int i = 0; i < 3; ++i) {
      ostrel::Node* cell = ostrel::create_element(doc, "td", 2);
      if (i == 0) ostrel::append_child(cell, ostrel::create_text(doc, number.data(), number.size()));
      ostrel::append_child(row, cell);
    }
    return row;
  }
  void update(std::size_t count) {
    window.update(doc, count, [this](std::size_t index) { return make(index); });
    run(464, 417);
  }
  ostrel::Node* row(std::size_t index) { return vx::ui::row_element(doc, head, index); }
  ostrel::Rect rect(const char* id) { return ostrel::element_rect(by_id(id)); }
  ostrel::Node* table() { return ostrel::parent(ostrel::parent(by_id(head.data()))); }
  // Whether the made rows are one run of indices in order, between the gaps.
  void expect_in_order() {
    const RowRange made = window.made();
    std::size_t index = made.first;
    for (ostrel::Node* r = row(made.first); r && !vx::ui::is_gap_row(r); r = ostrel::next_sibling(r), ++index)
      EXPECT_EQ(vx::ui::row_index_of(r), index);
    EXPECT_EQ(index, made.last);
  }
};

TEST_F(RowWindowTest, AFewRowsNearTheViewStandForTheWholeList) {
  update(1000);
  EXPECT_EQ(window.made(), (RowRange{0, RowWindow::unplaced_rows})) << "made before the list had a place";
  update(1000);
  const float h = window.row_height();
  ASSERT_GT(h, 0);
  const RowRange made = window.made();
  EXPECT_EQ(made.first, 0u);
  EXPECT_LT(made.size(), 100u) << "a view of 417 px and the spare rows";
  EXPECT_GT(made.last * h, rect("list-autorun").height) << "the view is covered";
  expect_in_order();

  // The gaps make the table as tall as the whole list, rows where they would be.
  const ostrel::Rect table_box = ostrel::element_rect(table());
  const float header = ostrel::element_rect(by_id(head.data())).height;
  EXPECT_NEAR(table_box.height, header + 1000 * h, 1);
  EXPECT_NEAR(ostrel::element_rect(row(made.last - 1)).y, table_box.y + header + (made.last - 1) * h, 0.5);
  ostrel::Node* gap = ostrel::next_sibling(row(made.last - 1));
  ASSERT_TRUE(vx::ui::is_gap_row(gap));
  EXPECT_EQ(vx::ui::row_index_of(ostrel::first_child(gap)), std::nullopt) << "a click there is on no row";
}

TEST_F(RowWindowTest, ScrollingMakesTheRowsThereAndDropsTheOthers) {
  update(1000);
  update(1000);
  const float h = window.row_height();
  ostrel::Node* list = by_id(body.data());
  ostrel::scroll_to(list, 0, 500 * h);
  update(1000);
  const RowRange made = window.made();
  EXPECT_TRUE(made.holds(RowRange{495, 515})) << made.first << ".." << made.last;
  EXPECT_EQ(row(0), nullptr);
  expect_in_order();
  const ostrel::Rect shown = rect("list-autorun");
  const float header = ostrel::element_rect(by_id(head.data())).height;
  EXPECT_NEAR(ostrel::element_rect(row(500)).y, shown.y + header, 0.5) << "row 500 where the whole list has it";
  EXPECT_NEAR(ostrel::element_rect(table()).height, header + 1000 * h, 1);

  // A little further changes nothing: the same rows stay.
  ostrel::Node* kept = row(500);
  const std::size_t before = made_count;
  ostrel::scroll_to(list, 0, 502 * h);
  update(1000);
  EXPECT_EQ(window.made(), made);
  EXPECT_EQ(row(500), kept);
  EXPECT_EQ(made_count, before);

  // Back to the top: rows above are made again, nearest first.
  ostrel::scroll_to(list, 0, 0);
  update(1000);
  EXPECT_EQ(window.made().first, 0u);
  EXPECT_NEAR(ostrel::element_rect(row(0)).y, shown.y + header, 0.5);
  expect_in_order();
}

TEST_F(RowWindowTest, ARowNotMadeIsScrolledToAndMade) {
  update(1000);
  update(1000);
  ASSERT_EQ(row(900), nullptr);
  vx::ui::scroll_row_into_view(doc, body, head, 900);
  update(1000);
  ASSERT_NE(row(900), nullptr);
  const ostrel::Rect shown = rect("list-autorun"), r = ostrel::element_rect(row(900));
  EXPECT_NEAR(r.y + r.height, shown.y + shown.height, 0.5) << "just shown, at the bottom";
}

TEST_F(RowWindowTest, RowsThatAreGoneOrOutOfDateAreDropped) {
  update(1000);
  update(1000);
  window.drop_from(doc, 10);
  EXPECT_EQ(window.made().last, 10u);
  EXPECT_EQ(row(10), nullptr);
  const std::size_t before = made_count;
  update(1000);
  EXPECT_GT(window.made().last, 10u);
  EXPECT_EQ(made_count - before, window.made().last - 10) << "only the dropped rows are made again";
  expect_in_order();

  update(30);  // the list got shorter: every row is made, no gap is left
  EXPECT_EQ(window.made(), (RowRange{0, 30}));
  expect_in_order();
  for (ostrel::Node* r = row(0); r; r = ostrel::next_sibling(r)) EXPECT_FALSE(vx::ui::is_gap_row(r));

  update(0);
  EXPECT_TRUE(window.made().empty());
  for (ostrel::Node* n = ostrel::next_sibling(by_id(head.data())); n; n = ostrel::next_sibling(n))
    EXPECT_TRUE(ostrel::is_text(n)) << "no row or gap after the header";
}

TEST_F(RowWindowTest, AListOnATabNotShownMakesAScreenfulAndIsPlacedOnceShown) {
  ostrel::remove_class(by_id("panel-startup"), "active", 6);
  update(1000);
  update(1000);
  EXPECT_EQ(window.made(), (RowRange{0, RowWindow::unplaced_rows}));
  EXPECT_EQ(window.row_height(), 0) << "nothing measured";
  ostrel::add_class(by_id("panel-startup"), "active", 6);
  run(464, 417);
  update(1000);
  const float h = window.row_height();
  ASSERT_GT(h, 0);
  run(464, 417);
  const float header = ostrel::element_rect(by_id(head.data())).height;
  EXPECT_NEAR(ostrel::element_rect(table()).height, header + 1000 * h, 1) << "the gap below now stands for its rows";
}

}  // namespace
