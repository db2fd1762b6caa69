#include "src/pointer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dom/events.h"
#include "paint/display_list.h"
#include "pipeline_fixture.h"

namespace {

using namespace ostrel;

struct Pointed : InputTest {
  Pointer pointer{*doc, tree};

  void frame() { run(200, 100); }
};

TEST_F(Pointed, HoverFollowsThePointerAndRestylesOnlyWhatItLeftAndEntered) {
  load("<div id=a class=row>a</div><div id=b class=row>b</div>",
       "body { margin: 0 } .row { height: 20px } .row:hover { background: #e5f3ff }");
  frame();
  pointer.move(5, 25, 0);
  EXPECT_TRUE(by_id("b")->flags & flag_hover);
  EXPECT_TRUE(document_body(doc)->flags & flag_hover) << "ancestors are hovered too";
  frame();
  EXPECT_EQ(by_id("b")->style->background_color, (style::Color{0xe5, 0xf3, 0xff, 255}));
  pointer.move(5, 5, 0);
  frame();
  EXPECT_FALSE(by_id("b")->flags & flag_hover);
  EXPECT_TRUE(by_id("a")->flags & flag_hover);
  EXPECT_TRUE(by_id("b")->style->background_color.transparent());
  pointer.leave();
  EXPECT_FALSE(by_id("a")->flags & flag_hover);
}

TEST_F(Pointed, ClicksNeedDownAndUpOnOneElementAndSkipDisabledControls) {
  load("<button id=go>Go</button><button id=off disabled>Off</button><div id=other>x</div>",
       "body { margin: 0 } button, div { display: block; height: 20px }");
  frame();
  listen("go", "click");
  listen("off", "click");
  listen("other", "click");
  pointer.down(0, 5, 5, 0, false);
  EXPECT_TRUE(by_id("go")->flags & flag_active);
  pointer.up(0, 5, 5, 0);
  EXPECT_FALSE(by_id("go")->flags & flag_active);
  pointer.down(0, 5, 5, 0, false);
  pointer.up(0, 5, 45, 0);  // released somewhere else: no click
  pointer.down(0, 5, 25, 0, false);
  pointer.up(0, 5, 25, 0);  // disabled: nothing
  pointer.down(2, 5, 45, 0, false);
  pointer.up(2, 5, 45, 0);  // right button: no click
  EXPECT_EQ(seen, (std::vector<std::string>{"click go"}));
}

TEST_F(Pointed, CheckBoxesToggleAndSayChangedUnlessThePageSaysNo) {
  load("<input id=box type=checkbox><input id=r1 type=radio name=g checked><input id=r2 type=radio name=g>",
       "body { margin: 0 } input { display: block; width: 13px; height: 13px; margin: 0 }");
  frame();
  listen("box", "change");
  pointer.down(0, 5, 5, 0, false);
  pointer.up(0, 5, 5, 0);
  EXPECT_TRUE(is_checked(by_id("box")));
  EXPECT_EQ(seen, (std::vector<std::string>{"change box"}));
  on(
      by_id("box"), "click", 5, [](Event* e, void*) { prevent_default(e); }, nullptr);
  pointer.down(0, 5, 5, 0, false);
  pointer.up(0, 5, 5, 0);
  EXPECT_TRUE(is_checked(by_id("box"))) << "prevented: stays as it was";
  pointer.down(0, 5, 31, 0, false);  // the second radio
  pointer.up(0, 5, 31, 0);
  EXPECT_TRUE(is_checked(by_id("r2")));
  EXPECT_FALSE(is_checked(by_id("r1"))) << "one radio of a group";
}

TEST_F(Pointed, TheWheelScrollsTheScrollContainerUnderThePointer) {
  std::string rows;
  for (int i = 0; i < 20; ++i) rows += "<div class=row>row</div>";
  load("<div id=list>" + rows + "</div><div id=after>after</div>",
       "body { margin: 0 } #list { height: 60px; overflow-y: auto } .row { height: 20px }");
  frame();
  listen("list", "scroll");
  pointer.wheel(-1, 5, 5, 0);  // towards the user: down the list
  EXPECT_EQ(scroll_position(by_id("list")).y, 40);
  pointer.wheel(-100, 5, 5, 0);
  EXPECT_EQ(scroll_position(by_id("list")).y, 400 - 60) << "held at the end";
  pointer.wheel(-1, 5, 5, 0);  // already there: nothing moves, nothing is told
  pointer.wheel(1, 5, 70, 0);  // over the box below: the list stays
  EXPECT_EQ(scroll_position(by_id("list")).y, 340);
  EXPECT_EQ(seen, (std::vector<std::string>{"scroll list", "scroll list"}));

  // A program's scrolling is told the same way, once per move.
  seen.clear();
  scroll_to(by_id("list"), 0, 100);
  scroll_to(by_id("list"), 0, 100);
  scroll_to(by_id("list"), 0, -5);  // held at the top
  EXPECT_EQ(seen, (std::vector<std::string>{"scroll list", "scroll list"}));
}

TEST_F(Pointed, ScrollBarsAreDrawnDraggedAndPagedAndKeepTheirPresses) {
  std::string rows;
  for (int i = 0; i < 20; ++i) rows += "<div class=row>row</div>";
  load("<div id=list>" + rows + "</div>",
       "body { margin: 0 } #list { width: 100px; height: 60px; overflow-y: auto } .row { height: 20px }");
  frame();
  listen("list", "click");
  ostrel::Node* list = by_id("list");
  std::optional<paint::ScrollBar> bar = paint::vertical_scroll_bar(*tree.box_of(list), 0, 0, tree.options());
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->track, (Rect{83, 0, 17, 60}));
  EXPECT_EQ(bar->range, 340);
  EXPECT_EQ(bar->thumb.height, 20) << "never too short to grab";
  const std::string dump = paint::build_display_list(tree, 200, 100).dump();
  EXPECT_NE(dump.find("rect 83,0 17x60"), std::string::npos) << "the track is drawn:\n" << dump;

  pointer.down(0, 91, 5, 0, false);  // takes the thumb 5 px below its top
  pointer.move(91, 45, 0);           // to the end of the track
  EXPECT_EQ(scroll_position(list).y, 340);
  pointer.move(91, 25, 0);
  EXPECT_EQ(scroll_position(list).y, 170);
  pointer.up(0, 91, 25, 0);
  pointer.move(91, 5, 0);  // released: the pointer moves freely again
  EXPECT_EQ(scroll_position(list).y, 170);
  frame();

  pointer.down(0, 91, 2, 0, false);  // on the track above the thumb: a page up
  pointer.up(0, 91, 2, 0);
  EXPECT_EQ(scroll_position(list).y, 170 - 52.5f);
  EXPECT_TRUE(seen.empty()) << "presses on the bar are not clicks on the list";
}

TEST_F(Pointed, HeaderBordersOfAResizableRowDragColumnWidthsAndTellTheRow) {
  load(
      "<table><tr id=head data-resize=col><th id=name style='color: red; WIDTH: 80px'>Name</th>"
      "<th id=size style='width:50px'>Size</th><th id=fill></th></tr><tr><td>a</td><td>b</td><td>c</td></tr></table>"
      "<table><tr id=plain><th id=other style='width:80px'>x</th><th>y</th></tr></table>",
      "body { margin: 0 } table { width: 300px; table-layout: fixed; border-spacing: 0 }"
      " th, td { padding: 0; height: 20px } th { cursor: pointer }");
  frame();
  listen("head", "resize");
  listen("name", "click");
  pointer.move(40, 10, 0);
  EXPECT_EQ(pointer.cursor(), style::Cursor::pointer) << "the cell's own cursor away from its border";
  pointer.move(79, 10, 0);
  EXPECT_EQ(pointer.cursor(), style::Cursor::col_resize);
  pointer.down(0, 79, 10, 0, false);
  pointer.move(99, 10, 0);
  EXPECT_STREQ(get_attribute(by_id("name"), "style", 5, nullptr), "color: red;width:100px")
      << "the width replaced, the rest kept";
  pointer.move(0, 10, 0);
  EXPECT_STREQ(get_attribute(by_id("name"), "style", 5, nullptr), "color: red;width:20px") << "never narrower";
  pointer.up(0, 0, 10, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"resize head", "resize head"})) << "and no click";
  frame();
  EXPECT_EQ(element_rect(by_id("name")).width, 20);

  seen.clear();
  pointer.move(300, 10, 0);  // the last cell's border is the table's edge
  EXPECT_NE(pointer.cursor(), style::Cursor::col_resize);
  pointer.move(80, 30, 0);  // a row without data-resize
  EXPECT_NE(pointer.cursor(), style::Cursor::col_resize);
  pointer.down(0, 80, 30, 0, false);
  pointer.move(120, 30, 0);
  pointer.up(0, 120, 30, 0);
  EXPECT_STREQ(get_attribute(by_id("other"), "style", 5, nullptr), "width:80px");
}

// Reading an element's rect lays out what changed since the last frame, and a
// layout that starts from scratch (once replaced boxes pile up) frees every
// box: nothing may keep a box across such a read. A press on a list's scroll
// bar, after its rows were rebuilt again and again, used to.
TEST_F(Pointed, APressOnAScrollBarAfterTheRowsWereRebuiltUsesTheNewLayout) {
  struct Relayout : ViewPlatform {
    Pointed* test = nullptr;
    int attach(View&, void*) override { return status_ok; }
    void detach(View&) override {}
    void move(View&) override {}
    void request_frame(View&) override {}
    void update_layout(View&) override { test->frame(); }
  } platform;
  platform.test = this;
  set_view_platform(&platform);
  view->window = &platform;  // attached, as far as reading geometry goes

  std::string rows;
  for (int i = 0; i < 3000; ++i) rows += "<div class=row>row</div>";
  load("<div id=list>" + rows + "</div>",
       "body { margin: 0 } #list { width: 100px; height: 60px; overflow-y: auto } .row { height: 20px }"
       " #list.flex { display: flex; flex-direction: column }");
  frame();
  Node* list = by_id("list");
  // Each change of display makes the list's boxes anew and keeps the old ones
  // until there are enough of them to start over.
  for (int i = 0; i < 3; ++i) {
    if (i % 2 == 0)
      add_class(list, "flex", 4);
    else
      remove_class(list, "flex", 4);
    frame();
  }
  add_class(first_child(list), "seen", 4);  // one more change: the next read lays out

  pointer.down(0, 91, 55, 0, false);  // the track below the thumb: a page down
  pointer.up(0, 91, 55, 0);
  EXPECT_EQ(scroll_position(list).y, 52.5f);
  view->window = nullptr;
  set_view_platform(nullptr);
}

TEST_F(Pointed, ThePagesOwnScrollBarScrollsThePage) {
  load("<div id=tall>tall</div>", "body { margin: 0 } #tall { height: 400px }");
  frame();                             // 200 x 100: the page scrolls
  pointer.down(0, 195, 90, 0, false);  // the track below the thumb
  pointer.up(0, 195, 90, 0);
  EXPECT_EQ(scroll_position(document_root(doc)).y, 87.5f);
}

}  // namespace
