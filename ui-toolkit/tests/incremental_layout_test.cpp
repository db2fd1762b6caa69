// Layout after changes must equal a layout from scratch, and do only the work
// the change needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline_fixture.h"

namespace ostrel {
namespace {

struct Incremental : PipelineTest {
  text::FakeFont reference_font;
  layout::LayoutTree reference{*doc, reference_font, true};

  // Styles, lays out incrementally and checks the result against a layout from scratch.
  std::size_t frame(float width = 464, float height = 417) {
    layout::LayoutOptions options{width, height, 17};
    options.viewport_bar_first = tree.root() && tree.root()->scrollbar_y > 0;
    run(width, height);
    const std::size_t laid_out = tree.boxes_laid_out();
    reference.layout(options);
    EXPECT_EQ(tree.dump(), reference.dump());
    return laid_out;
  }
  void set_text(const char* id, std::string_view text) { set_text_content(by_id(id), text.data(), text.size()); }
  void hover(Node* n, bool on) {
    n->flags = on ? n->flags | flag_hover : n->flags & ~flag_hover;
    doc->invalidate(n, flag_needs_restyle);
  }
};

constexpr char list_sheet[] = R"(
  body { margin: 0; font: 12px sans-serif; display: flex; flex-direction: column; height: 100% }
  html { height: 100% }
  .scroll { flex: 1; overflow: auto }
  table { width: 100%; table-layout: fixed; border-spacing: 0 }
  td { height: 20px; padding: 0 4px; white-space: nowrap; overflow: hidden; text-overflow: ellipsis }
  td.mid { vertical-align: middle }
  tr:hover td, tr.active td { background: #cce8ff; color: #000 }
  tr.big td { height: 40px; font-size: 20px }
  tr.gone { display: none }
  .tip { position: absolute; left: 10px; top: 10px }
)";

std::string list_page(int rows) {
  std::string html = "<div id=top>Header <b>bold</b></div><div class=scroll id=scroll><table><tbody id=body>";
  for (int i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    html += "<tr id=r" + n + "><td class=mid><input type=checkbox></td><td id=t" + n + ">Item " + n +
            "</td><td>12 MB</td></tr>";
  }
  return html + "</tbody></table></div><div id=foot>Footer</div>";
}

TEST_F(Incremental, PaintOnlyChangesLayNothingOut) {
  load(list_page(200), list_sheet);
  frame();
  EXPECT_EQ(frame(), 0u) << "nothing changed";
  add_class(by_id("r5"), "active", 6);
  EXPECT_EQ(frame(), 0u) << "selection only colours the row";
  hover(by_id("r7"), true);
  EXPECT_EQ(frame(), 0u);
  remove_class(by_id("r5"), "active", 6);
  hover(by_id("r7"), false);
  EXPECT_EQ(frame(), 0u);
}

TEST_F(Incremental, ChangesInsideOneRowRelayOutThatRowAndMoveTheRest) {
  load(list_page(200), list_sheet);
  frame();
  add_class(by_id("r3"), "big", 3);
  const std::size_t grown = frame();
  EXPECT_GT(grown, 0u);
  EXPECT_LT(grown, 40u) << "one row and its ancestors, not the list";
  set_text("t10", "A much longer name that the ellipsis has to cut short");
  EXPECT_LT(frame(), 40u);
  remove_class(by_id("r3"), "big", 3);
  frame();
  add_class(by_id("r4"), "gone", 4);  // a row that leaves the table
  frame();
  remove_class(by_id("r4"), "gone", 4);
  frame();
}

TEST_F(Incremental, InsertionsRemovalsAndTextFollowTheDocument) {
  load(list_page(20), list_sheet);
  frame();
  Node* body = by_id("body");
  Node* tr = create_element(doc, "tr", 2);
  Node* td = create_element(doc, "td", 2);
  set_text_content(td, "new row", 7);
  append_child(tr, td);
  insert(body, tr, by_id("r2"));
  frame();
  remove(by_id("r0"));
  frame();
  set_text("top", "Header now without bold");  // inline content replaced by one text
  frame();
  Node* span = create_element(doc, "span", 4);
  set_text_content(span, "more", 4);
  append_child(by_id("foot"), span);
  frame();
  Node* block = create_element(doc, "p", 1);  // a block among inline content: anonymous boxes appear
  set_text_content(block, "paragraph", 9);
  insert(by_id("foot"), block, span);
  frame();
  remove(block);
  frame();
}

// A table's column count is kept between layouts: a cell added to or taken
// from a later row, or a span that changes, must still change the columns.
TEST_F(Incremental, ColumnsFollowCellsAddedRemovedAndSpanned) {
  load(list_page(20), list_sheet);
  frame();
  Node* extra = create_element(doc, "td", 2);
  set_text_content(extra, "fourth", 6);
  append_child(by_id("r7"), extra);
  frame();
  set_attribute(by_id("t3"), "colspan", 7, "3", 1);
  frame();
  remove(extra);
  frame();
  remove_attribute(by_id("t3"), "colspan", 7);
  frame();
  // The widest row comes and goes among rows that keep their boxes.
  Node* wide = create_element(doc, "tr", 2);
  for (int i = 0; i < 5; ++i) append_child(wide, create_element(doc, "td", 2));
  insert(by_id("body"), wide, by_id("r4"));
  frame();
  remove(wide);
  frame();
}

// Rows opened and closed in a long list (a category of the cleanup page):
// the rows that stay keep their boxes, and no boxes of the whole list are
// retired and kept until the next layout from scratch.
TEST_F(Incremental, RowsComingAndGoingKeepTheOtherRowsBoxes) {
  load(list_page(2000), list_sheet);
  frame();
  const layout::Box* kept = tree.box_of(by_id("r1500"));
  const std::size_t before = tree.memory_usage();
  Node* body = by_id("body");
  std::vector<Node*> added;
  for (int i = 0; i < 10; ++i) {
    Node* tr = create_element(doc, "tr", 2);
    Node* td = create_element(doc, "td", 2);
    set_text_content(td, "opened", 6);
    append_child(tr, td);
    insert(body, tr, by_id("r3"));
    added.push_back(tr);
  }
  frame();
  EXPECT_EQ(tree.box_of(by_id("r1500")), kept);
  const std::size_t opened = tree.memory_usage();
  EXPECT_LT(opened, before + before / 20) << "ten rows' boxes, not two thousand";
  for (Node* tr : added) remove(tr);
  remove(by_id("r7"));
  frame();
  EXPECT_EQ(tree.box_of(by_id("r1500")), kept);
  EXPECT_EQ(tree.box_of(by_id("r7")), nullptr);
}

TEST_F(Incremental, StyleChangesThatMakeNewBoxes) {
  load(list_page(10), list_sheet);
  frame();
  const char inline_style[] = "display:inline";
  set_attribute(by_id("top"), "style", 5, inline_style, sizeof inline_style - 1);
  frame();
  const char positioned[] = "position:absolute; left:5px; top:30px";
  set_attribute(by_id("foot"), "style", 5, positioned, sizeof positioned - 1);
  frame();
  add_class(by_id("t3"), "tip", 3);
  frame();
  remove_attribute(by_id("top"), "style", 5);
  remove_attribute(by_id("foot"), "style", 5);
  frame();
}

TEST_F(Incremental, CollapsedBordersFollowTheirNeighbours) {
  load("<table id=t><tr><td id=a>a</td><td id=b>b</td></tr><tr id=r><td>c</td><td>d</td></tr></table>",
       "table { border-collapse: collapse; width: 200px; table-layout: fixed } td { border: 1px solid; height: 20px }"
       " .sel td { border-top: 5px solid } .wide { border-right: 9px solid } .apart { border-collapse: separate }");
  frame();
  add_class(by_id("r"), "sel", 3);  // the row above gives up the shared edge
  frame();
  add_class(by_id("a"), "wide", 4);
  frame();
  add_class(by_id("t"), "apart", 5);
  frame();
  remove_class(by_id("t"), "apart", 5);
  remove_class(by_id("r"), "sel", 3);
  frame();
}

TEST_F(Incremental, ViewportAndScrollBarChanges) {
  load(list_page(5), list_sheet);
  frame(464, 417);
  frame(300, 417);
  frame(300, 60);  // the list overflows now: a scroll bar appears
  frame(300, 61);
  frame(464, 2000);  // and goes again
}

TEST_F(Incremental, BoxesPlacedAgainstSpansAndRowsFollowThem) {
  // Spans, rows and row groups get their places only after their contents:
  // what is placed against them must not take last frame's place.
  load(
      "<p id=p>Text <span id=s style='position:relative;left:10px;top:5px'>span<b id=a "
      "style='position:absolute;left:20px;top:10px;width:30px;height:30px'></b></span></p>"
      "<table><tbody id=g style='position:relative;top:2px'><tr><td id=c>cell"
      "<i style='position:absolute;left:3px;top:4px;width:5px;height:5px'></i></td></tr></tbody></table>",
      "");
  frame();
  set_text("p", "");
  frame();
  load(
      "<p id=p>Text <span id=s style='position:relative;left:10px;top:5px'>span<b id=a "
      "style='position:absolute;left:20px;bottom:0;width:30px;height:30px'></b></span></p>",
      "");
  frame();
  for (const char* word : {"longer text before", "short"}) {
    set_text_content(first_child(by_id("p")), word, std::char_traits<char>::length(word));
    frame();
  }
  frame(300, 417);
}

TEST_F(Incremental, ABlockPlacesWhatWaitsForItEvenBehindWhatWaitsForABlockAroundIt) {
  // #b waits for the inner block (it is placed against a span in it), #a for
  // the positioned block around both, and #a is queued last.
  load(
      "<div style='position:relative'><div>Text<div id=a style='position:absolute;left:4px;top:6px'></div>"
      "<span id=s style='position:relative'>span<b id=b style='position:absolute;left:20px;top:10px'></b></span>"
      "</div></div>",
      "body { margin: 0 }");
  frame();
  const layout::Box* span = tree.box_of(by_id("s"));
  const layout::Box* b = tree.box_of(by_id("b"));
  ASSERT_TRUE(span && b);
  EXPECT_FLOAT_EQ(b->x, span->x + 20);
  EXPECT_FLOAT_EQ(b->y, span->y + 10);
  EXPECT_FLOAT_EQ(tree.box_of(by_id("a"))->x, 4);
  set_text_content(first_child(by_id("s")), "longer span", 11);
  frame();
  EXPECT_FLOAT_EQ(tree.box_of(by_id("b"))->x, tree.box_of(by_id("s"))->x + 20);
}

TEST_F(Incremental, CellsCentredAgainAndAgainKeepTheirTextInside) {
  // The short cell's text is shifted down to the middle of a tall row each
  // time; its own scroll bar must not start counting the old shifts.
  load(
      "<table style='width:50%'><tr><th style='height:30px;overflow:auto'>Name</th>"
      "<td style='width:60px'>Words that wrap onto line after line after line in a narrow cell</td></tr></table>",
      "");
  for (const float width : {464.0f, 300.0f, 320.0f, 464.0f, 300.0f}) frame(width, 417);
}

}  // namespace
}  // namespace ostrel
