#include "paint/display_list.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline_fixture.h"

namespace {

using namespace ostrel;

struct Painted : PipelineTest {
  paint::DisplayList frame() {
    run(200, 100);
    return paint::build_display_list(tree, 200, 100);
  }
};

TEST_F(Painted, BackgroundsBordersAndTextInPaintingOrder) {
  load("<div id=a>Hi <b>you</b></div><div id=p></div>",
       "body { margin: 0; background: #fff } #a { background: #3d84dd; color: #fff; border-top: 2px solid #000;"
       " border-radius: 3px; font-size: 10px } #p { position: absolute; left: 10px; top: 0; width: 5px; height: 5px;"
       " background: red; opacity: 0.5 }");
  EXPECT_EQ(frame().dump(),
            "rect 0,0 200x100 #ffffffff\n"
            "rect 0,0 200x13.5 #3d84ddff\n"
            "border 0,0 200x13.5 2 #000000ff 0 #ffffffff 0 #ffffffff 0 #ffffffff\n"
            "text 0,2 10x11.5 \"Hi\" #ffffffff 10px 400\n"
            "text 10,2 16.5x11.5 \"you\" #ffffffff 10px 700\n"
            "layer 10,0 5x5 opacity 0.5\n"
            "  rect 10,0 5x5 #ff0000ff\n"
            "end-layer 0,0 0x0\n");
}

// Each clip and each call costs the player: a clip around content that fits
// (or nothing), and a border hidden by the fill under it, are left out.
TEST_F(Painted, ClipsThatCutNothingAndHiddenBordersAreLeftOut) {
  load(
      "<div class=cell id=fits>short</div><div class=cell id=long>a much longer text than the cell</div>"
      "<div class=cell id=empty></div><input type=checkbox id=box checked>",
      "body { margin: 0 } .cell { width: 100px; height: 16px; line-height: 16px; padding: 2px 6px; overflow: hidden;"
      " white-space: nowrap; font-size: 10px } input { width: 14px; height: 14px; border: 1px solid #3d84dd;"
      " background: #3d84dd; margin: 0 }");
  EXPECT_EQ(frame().dump(),
            "text 6,2 25x16 \"short\" #000000ff 10px 400\n"
            "clip 0,20 112x20\n"
            "  text 6,22 140.5x16 \"a much longer text than the cell\" #000000ff 10px 400\n"
            "end-clip 0,0 0x0\n"
            "rect 0,60 14x14 #3d84ddff\n"
            "check 1,61 12x12 #ffffffff\n");
  ostrel::set_checked(by_id("box"), false);
  ostrel::set_attribute(by_id("box"), "style", 5, "border-color: #333", 18);
  EXPECT_NE(frame().dump().find("border 0,60 14x14 1 #333333ff"), std::string::npos) << "a border of its own shows";
}

TEST_F(Painted, ScrollContainersClipShiftAndStickHeaders) {
  std::string html = "<div id=list><table><tr><th id=head>Name</th></tr>";
  for (int i = 0; i < 10; ++i) html += "<tr><td id=c" + std::to_string(i) + ">row</td></tr>";
  load(html + "</table></div>",
       "body { margin: 0 } #list { height: 60px; overflow-y: auto } table { width: 100%; border-spacing: 0 }"
       " td, th { height: 20px; padding: 0 } th { position: sticky; top: 0; background: #eee }");
  frame();
  scroll_to(by_id("list"), 0, 45);
  const paint::DisplayList list = frame();
  const std::string dump = list.dump();
  EXPECT_NE(dump.find("clip 0,0 183x60"), std::string::npos) << dump;            // the scroll bar takes 17px
  EXPECT_NE(dump.find("rect 0,0 183x20 #eeeeeeff"), std::string::npos) << dump;  // the header stuck at the top
  // Hit testing follows the same offsets: the header covers the rows under it.
  EXPECT_EQ(paint::hit_test(tree, 5, 5), by_id("head"));
  EXPECT_EQ(paint::hit_test(tree, 5, 30), by_id("c2"));  // row 2 starts at 20 + 2 * 20 - 45 = 15
  EXPECT_EQ(paint::hit_test(tree, 5, 70), nullptr);      // below the page's boxes
}

TEST_F(Painted, APageTallerThanTheWindowScrollsInItLessItsBar) {
  load("<div id=tall></div><div id=fixed></div>",
       "body { margin: 0 } #tall { height: 300px; background: #00f } #fixed { position: fixed; right: 0; top: 0;"
       " width: 10px; height: 10px; background: #f00 }");
  frame();
  EXPECT_EQ(tree.root()->scrollbar_y, 17);
  EXPECT_EQ(element_rect(by_id("tall")).width, 183);  // the bar's width comes off the page
  EXPECT_EQ(element_rect(by_id("fixed")).x, 173);     // and off the window fixed boxes sit in
  scroll_to(document_body(doc), 0, 250);              // past the end: held at 300 - 100
  const std::string dump = frame().dump();
  EXPECT_NE(dump.find("clip 0,0 183x100"), std::string::npos) << dump;
  EXPECT_NE(dump.find("rect 0,-200 183x300 #0000ffff"), std::string::npos) << dump;
  EXPECT_NE(dump.find("rect 173,0 10x10 #ff0000ff"), std::string::npos) << dump;  // fixed boxes stay put
  EXPECT_EQ(paint::hit_test(tree, 5, 50), by_id("tall"));
  EXPECT_EQ(paint::hit_test(tree, 175, 5), by_id("fixed"));

  // A page that fits again has no bar.
  set_attribute(by_id("tall"), "style", 5, "height:50px", 11);
  frame();
  EXPECT_EQ(tree.root()->scrollbar_y, 0);
  EXPECT_EQ(element_rect(by_id("tall")).width, 200);
}

TEST_F(Painted, PicturesCarryTheirElementsColourForCurrentColor) {
  load("<img id=i src=logo.svg>", "body { margin: 0 } img { width: 20px; height: 10px; color: #123456 }");
  const std::string dump = frame().dump();
  EXPECT_NE(dump.find("image 0,4 20x10 logo.svg #123456ff"), std::string::npos) << dump;
}

TEST_F(Painted, CheckedBoxesDrawATickAndRadiosADotThatStandOutFromTheirFill) {
  load(
      "<input type=checkbox id=a checked><input type=checkbox id=b><input type=radio id=r checked>"
      "<input type=checkbox id=light checked>",
      "body { margin: 0 } input { margin: 0 } #light { background: #f0f0f0; color: #123456 }");
  const std::string dump = frame().dump();
  EXPECT_NE(dump.find("check 1,2 11x11 #ffffffff"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("check 14,"), std::string::npos) << "an unchecked box has none";
  EXPECT_NE(dump.find("rect 30.3,5.3 4.4x4.4 #ffffffff"), std::string::npos) << "the radio's dot, centred";
  EXPECT_NE(dump.find("check 40,2 11x11 #123456ff"), std::string::npos) << "on a light fill, in the text colour";
}

TEST_F(Painted, ChangedRegionCoversOnlyWhatChanged) {
  std::string html = "<div id=list>";
  for (int i = 0; i < 5; ++i) html += "<div id=r" + std::to_string(i) + " class=row>row</div>";
  load(html + "</div>", "body { margin: 0 } .row { height: 20px } .active { background: #cce8ff }");
  const paint::DisplayList before = frame();
  add_class(by_id("r2"), "active", 6);
  const paint::DisplayList after = frame();
  const Rect r = paint::changed_region(before, after);
  // The new background is inserted: from there on the items shift, but they
  // all lie at or below row 2.
  EXPECT_EQ(r.y, 40);
  EXPECT_LE(r.y + r.height, 100);
  EXPECT_EQ(paint::changed_region(after, after).width, 0);
  const paint::DisplayList resized = [&] {
    tree.layout({300, 100, 17});
    return paint::build_display_list(tree, 300, 100);
  }();
  EXPECT_EQ(paint::changed_region(after, resized).width, 300);
}

// An image set after the first frame, or set again with new pixels, is a
// change to draw, for a background as much as for an img.
TEST_F(Painted, ImagesThatArriveOrChangeLaterAreDrawnAgain) {
  load("<div id=bg></div><img id=pic src=pic.png style='width:20px;height:20px'>",
       "body { margin: 0 } #bg { height: 30px; background-image: url(bg.png) }");
  const paint::DisplayList before = frame();
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string("\0\0\0\x0dIHDR\0\0\0\x04\0\0\0\x04\x08\x06\0\0\0", 21);
  ASSERT_EQ(image_set(doc, "bg.png", 6, png.data(), png.size()), 0);
  const paint::DisplayList arrived = frame();
  const Rect r = paint::changed_region(before, arrived);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.height, 30) << "the background's box, and only it";
  ASSERT_EQ(image_set(doc, "pic.png", 7, png.data(), png.size()), 0);
  const paint::DisplayList pictured = frame();
  EXPECT_EQ(paint::changed_region(arrived, pictured).y, 30) << "the picture's box";
  ASSERT_EQ(image_set(doc, "pic.png", 7, png.data(), png.size()), 0);
  EXPECT_GT(paint::changed_region(pictured, frame()).height, 0) << "new pixels under the same name";
}

TEST_F(Painted, ARowSelectedInAClippedTableChangesThatRowOnly) {
  // Each cell clips its content: the selected row's new backgrounds and
  // borders come just before those clips.
  std::string html = "<table>";
  for (int i = 0; i < 6; ++i)
    html += "<tr id=r" + std::to_string(i) + "><td>name " + std::to_string(i) + "</td><td>12 MB</td></tr>";
  load(html + "</table>",
       "body { margin: 0 } table { border-spacing: 0 } td { height: 20px; padding: 0; overflow: hidden;"
       " border: 1px solid transparent } tr.active td { background: #cce8ff; border-color: #99d1ff }");
  const paint::DisplayList before = frame();
  add_class(by_id("r1"), "active", 6);
  const Rect r = paint::changed_region(before, frame());
  EXPECT_EQ(r.y, 22);
  EXPECT_EQ(r.height, 22);
}

}  // namespace
