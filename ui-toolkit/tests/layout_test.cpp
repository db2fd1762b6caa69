#include "layout/box.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "pipeline_fixture.h"

namespace {

using namespace ostrel;

struct Laid : PipelineTest {
  std::string lay(std::string_view html, std::string_view css, float w = 464, float h = 417) {
    load(html, css);
    run(w, h);
    return tree.dump();
  }
  // An element's border box as "x,y wxh", as the dumps write it.
  std::string rect(const char* id) {
    const layout::Box* b = tree.box_of(by_id(id));
    if (!b) return std::string("no box for ") + id;
    char buf[96];
    auto r = [](float v) { return std::round(v * 100) / 100; };
    std::snprintf(buf, sizeof buf, "%g,%g %gx%g", r(b->x), r(b->y), r(b->width), r(b->height));
    return buf;
  }
};

// Golden layouts: tests/layout/input/NAME.html (its <style> is the sheet) is
// laid out at 464 x 417 with the fake font and compared with expected/NAME.txt.
// OSTREL_REBASELINE=1 rewrites the expected files.
TEST_F(Laid, GoldenDumps) {
  const std::filesystem::path dir = OSTREL_LAYOUT_CASES;
  if (!std::filesystem::exists(dir / "input")) GTEST_SKIP() << "layout cases not found at " << dir;
  const bool rebaseline = std::getenv("OSTREL_REBASELINE") != nullptr;
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "input")) {
    if (entry.path().extension() != ".html") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t open = html.find("<style>"), close = html.find("</style>");
    const std::string css = open != std::string::npos && close != std::string::npos
                                ? html.substr(open + 7, close - open - 7)
                                : std::string();
    const std::string got = lay(html, css);
    const auto expected_path = dir / "expected" / (entry.path().stem().string() + ".txt");
    ++cases;
    if (rebaseline) {
      std::ofstream(expected_path, std::ios::binary) << got;
      continue;
    }
    std::ifstream expected_in(expected_path, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(expected_in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, expected) << "layout of " << entry.path().filename() << " changed";
  }
  EXPECT_GT(cases, 0);
}

// CSS 2.2 §8.3.1: adjoining margins collapse to the largest positive one plus
// the most negative one, however many meet and however deep they come from.
TEST_F(Laid, NegativeMarginsCollapseWithTheLargestPositiveOne) {
  lay(R"(<div id=a class=h></div><div id=b class=h style="margin-top:-3px"></div>
         <div id=c class=h style="margin-bottom:-4px"></div><div id=d class=h style="margin-top:-9px"></div>
         <div id=e class=h></div>
         <div id=outer style="margin-top:-3px"><div id=inner class=h style="margin-top:5px"></div></div>
         <div id=f class=h style="margin-bottom:4px"></div><div style="margin:8px 0 -6px"></div>
         <div id=g class=h style="margin-top:2px"></div>)",
      "body { margin: 0 } .h { height: 20px; margin-bottom: 10px }");
  EXPECT_EQ(rect("b"), "0,27 464x20") << "10 and -3 give 7";
  EXPECT_EQ(rect("d"), "0,68 464x20") << "-4 and -9 give the most negative, -9 (c ends at 77)";
  // e ends at 118 with 10 below it; outer's -3 and its child's 5 join them: 10 - 3.
  EXPECT_EQ(rect("outer"), "0,125 464x20");
  EXPECT_EQ(rect("inner"), "0,125 464x20");
  // f's 4 and the empty block's 8 and -6 and g's 2 all adjoin: 8 - 6.
  EXPECT_EQ(rect("f"), "0,155 464x20");
  EXPECT_EQ(rect("g"), "0,177 464x20");
}

// CSS Flexbox 1 §4.5: min-height: auto keeps a column item at least as tall
// as its content (or its own smaller height), so a full container overflows.
TEST_F(Laid, ColumnFlexItemsDoNotShrinkBelowTheirContent) {
  lay(R"(<div class=col><div id=k1><div style="height:80px"></div></div><div id=k2><div style="height:60px"></div></div></div>
         <div class=col><div id=v1><div style="height:80px"></div></div>
           <div id=v2 style="overflow:hidden"><div style="height:60px"></div></div></div>
         <div class=col><div id=z1 style="min-height:0"><div style="height:80px"></div></div>
           <div id=z2 style="min-height:0"><div style="height:60px"></div></div></div>
         <div class=col style="height:40px"><div id=s1 style="height:30px"><div style="height:50px"></div></div>
           <div id=s2 style="height:30px"><div style="height:10px"></div></div></div>)",
      "body { margin: 0 } .col { display: flex; flex-direction: column; height: 100px; width: 100px }");
  EXPECT_EQ(rect("k1"), "0,0 100x80");
  EXPECT_EQ(rect("k2"), "0,80 100x60") << "overflows the 100px container";
  // A scroll container's automatic minimum is zero: it alone gives up the 40px.
  EXPECT_EQ(rect("v1"), "0,100 100x80");
  EXPECT_EQ(rect("v2"), "0,180 100x20");
  // min-height: 0 lets both shrink in proportion to their sizes: 40 * 80/140 and 40 * 60/140.
  EXPECT_EQ(rect("z1"), "0,200 100x57.14");
  EXPECT_EQ(rect("z2"), "0,257.14 100x42.86");
  // s1's minimum is its height, 30, below its content's 50; s2's is its content's 10.
  EXPECT_EQ(rect("s1"), "0,300 100x30");
  EXPECT_EQ(rect("s2"), "0,330 100x10");
}

// CSS Flexbox 1 §9.3: items wrap onto a new line when the next one's outer
// size (gaps included) would overflow; §9.4 and §8.4: lines are as thick as
// their thickest item, and the initial align-content stretches them over a
// container of set height.
TEST_F(Laid, FlexWrapBreaksLinesAndStretchesThem) {
  lay(R"(<div class=w id=w><div id=w1 class=a></div><div id=w2 class=b></div><div id=w3 class=c></div></div>
         <div class=w id=t style="height:100px"><div id=t1 class=a style="height:auto"></div><div id=t2 class=b></div>
           <div id=t3 class=c></div></div>
         <div class=w id=r style="flex-wrap:wrap-reverse"><div id=r1 class=a></div><div id=r2 class=b></div>
           <div id=r3 class=c></div></div>
         <div class=w id=n style="flex-wrap:nowrap"><div id=n1 class=a></div><div id=n2 class=b></div>
           <div id=n3 class=c></div></div>
         <div class=w id=s style="height:100px;align-content:center"><div id=s1 class=a></div>
           <div id=s2 class=b></div><div id=s3 class=c></div></div>
         <div class=w id=u style="height:100px;align-content:space-between"><div id=u1 class=a></div>
           <div id=u2 class=b></div><div id=u3 class=c></div></div>)",
      R"(body { margin: 0 }
         .w { display: flex; flex-wrap: wrap; width: 100px; column-gap: 10px; row-gap: 5px }
         .a, .b, .c { width: 40px } .a { height: 10px } .b { height: 20px } .c { height: 15px })");
  // 40 + 10 + 40 fits in 100; the third item does not.
  EXPECT_EQ(rect("w"), "0,0 100x40") << "lines of 20 and 15 and the gap between";
  EXPECT_EQ(rect("w1"), "0,0 40x10");
  EXPECT_EQ(rect("w2"), "50,0 40x20");
  EXPECT_EQ(rect("w3"), "0,25 40x15");
  // 60px spare: each line 30 thicker; t1's auto height stretches to its line.
  EXPECT_EQ(rect("t1"), "0,40 40x50");
  EXPECT_EQ(rect("t2"), "50,40 40x20");
  EXPECT_EQ(rect("t3"), "0,95 40x15");
  // wrap-reverse stacks lines from the bottom and aligns items to each line's bottom.
  EXPECT_EQ(rect("r1"), "0,170 40x10");
  EXPECT_EQ(rect("r2"), "50,160 40x20");
  EXPECT_EQ(rect("r3"), "0,140 40x15");
  // nowrap keeps one line and shrinks the items to fit: (100 - 20) / 3 each.
  EXPECT_EQ(rect("n3"), "73.33,180 26.67x15");
  // Other align-content values leave the lines as thick as they are and share
  // the 60px spare around them: centred, 30 above; spread, all between.
  EXPECT_EQ(rect("s1"), "0,230 40x10");
  EXPECT_EQ(rect("s3"), "0,255 40x15");
  EXPECT_EQ(rect("u1"), "0,300 40x10");
  EXPECT_EQ(rect("u3"), "0,385 40x15");
}

TEST_F(Laid, ColumnFlexWrapMakesColumnsSideBySide) {
  lay(R"(<div id=cw><div id=c1 style="height:30px;width:40px"></div><div id=c2 style="height:30px;width:60px"></div>
         <div id=c3 style="height:10px;width:20px"></div></div>)",
      "body { margin: 0 } #cw { display: flex; flex-direction: column; flex-wrap: wrap; height: 50px; width: 200px }");
  // Columns 40 and 60 wide share the 100 px left over: 50 each.
  EXPECT_EQ(rect("c1"), "0,0 40x30");
  EXPECT_EQ(rect("c2"), "90,0 60x30");
  EXPECT_EQ(rect("c3"), "90,30 20x10");
}

// CSS 2.2 §17.5.2.1: a fixed table takes its columns from the first row and
// its own width, never from content; it widens only for wider columns.
// §17.5.2.2: otherwise the columns follow their content.
TEST_F(Laid, FixedTablesIgnoreContentAutomaticTablesFollowIt) {
  lay(R"(<table id=t1 class=fixed><tr><td id=a>xx</td><td id=b>xxxx xxxx</td></tr><tr><td>xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx</td><td></td></tr></table>
         <table id=t2 style="width:300px"><tr><td id=c>xx</td><td id=d>xxxx xxxx</td></tr></table>
         <table id=t3 style="width:40px"><tr><td id=e>xx</td><td id=f>xxxx xxxx</td></tr></table>
         <table id=t4><tr><td id=g>xx</td><td id=h>xxxx xxxx</td></tr></table>
         <table id=t5 style="width:20px"><tr><td id=i>xx</td><td id=j>xxxx xxxx</td></tr></table>
         <table id=t6 class=fixed style="width:100px"><tr><td id=k style="width:80px"></td><td id=l style="width:80px"></td></tr></table>
         <table id=t7 style="table-layout:fixed"><tr><td id=m>xx</td><td id=n>xxxx xxxx</td></tr></table>)",
      R"(body { margin: 0; font-size: 10px } table { border-spacing: 0 } td { padding: 0; height: 10px }
         .fixed { table-layout: fixed; width: 300px })");
  // "x" is 5px and a space 2.5px: column minimums 10 and 20, maximums 10 and 42.5.
  EXPECT_EQ(rect("a"), "0,0 150x10") << "fixed: an equal share, whatever the content below";
  EXPECT_EQ(rect("b"), "150,0 150x10");
  // 300 is more than both maximums: the 247.5 over them goes in proportion to them.
  EXPECT_EQ(rect("c"), "0,20 57.14x10");
  EXPECT_EQ(rect("d"), "57.14,20 242.86x10");
  // 40 lies between the minimums (30) and the maximums: only b's column can grow.
  EXPECT_EQ(rect("e"), "0,30 10x10");
  EXPECT_EQ(rect("f"), "10,30 30x10");
  EXPECT_EQ(rect("t4"), "0,40 52.5x10") << "an auto width is the content's";
  EXPECT_EQ(rect("t5"), "0,50 30x10") << "no narrower than the minimums";
  EXPECT_EQ(rect("i"), "0,50 10x10");
  EXPECT_EQ(rect("t6"), "0,60 160x10") << "a fixed table widens for its columns";
  EXPECT_EQ(rect("l"), "80,60 80x10");
  // table-layout: fixed without a width lays out the automatic way, as browsers do.
  EXPECT_EQ(rect("n"), "10,70 42.5x10");
}

// A spanning cell covers its columns and the spacing between them; spans
// are read as HTML reads them and bounded, so no page can make a table of a
// million columns; a new span lays the table out again.
TEST_F(Laid, CellsSpanColumnsWithinBounds) {
  lay(R"(<table id=t1><tr><td id=a colspan=" 2x"></td><td id=b></td></tr><tr><td id=c colspan=0></td><td></td><td></td></tr></table>
         <table id=t2><tr><td id=p colspan=999999></td><td id=q colspan=5></td></tr></table>)",
      R"(body { margin: 0 } table { table-layout: fixed; width: 300px; border-spacing: 4px } td { padding: 0; height: 10px }
         #t2 { border-spacing: 0 })");
  // Three columns of (300 - 4 x 4) / 3 = 94.67 px.
  EXPECT_EQ(rect("a"), "4,4 193.33x10") << "two columns and the spacing between them";
  EXPECT_EQ(rect("b"), "201.33,4 94.67x10");
  EXPECT_EQ(rect("c"), "4,18 94.67x10") << "a zero span is one column";
  // The first cell takes the 1,000 columns a table may have; the next gets none.
  const layout::Box* p = tree.box_of(by_id("p"));
  ASSERT_TRUE(p);
  EXPECT_NEAR(p->width, 300, 0.5);
  EXPECT_EQ(tree.box_of(by_id("q"))->width, 0);

  set_attribute(by_id("a"), "colspan", 7, "1", 1);
  run(464, 417);
  EXPECT_EQ(rect("a"), "4,4 94.67x10");
  EXPECT_EQ(rect("b"), "102.67,4 94.67x10");
}

}  // namespace
