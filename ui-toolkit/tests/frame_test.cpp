#include "src/frame.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "ostrel/ostrel.h"
#include "src/memory_usage.h"
#include "src/view.h"

namespace {

using namespace ostrel;

struct Frames : ::testing::Test {
  View* view = view_new();
  Document* doc = view_document(view);
  text::FakeFont font;
  FrameDriver driver{*doc, font};
  ~Frames() override { view_free(view); }
  void load(std::string_view html, std::string_view css) {
    load_html(view, html.data(), html.size());
    load_css(view, css.data(), css.size());
  }
  Node* by_id(const char* id) { return get_element_by_id(doc, id, std::char_traits<char>::length(id)); }
};

TEST_F(Frames, RedrawEverythingFirstThenOnlyWhatChanged) {
  load("<div id=a class=row>one</div><div id=b class=row>two</div><div id=c class=row>three</div>",
       "body { margin: 0 } .row { height: 20px } .on { background: #cce8ff }");
  FrameDriver::Result r = driver.run(0, 200, 100, false);
  EXPECT_TRUE(driver.stats().full);
  EXPECT_EQ(r.region.width, 200);
  EXPECT_EQ(r.region.height, 100);

  r = driver.run(0.016, 200, 100, false);
  EXPECT_FALSE(driver.stats().full);
  EXPECT_EQ(r.region.width * r.region.height, 0) << "nothing changed, nothing to draw";

  add_class(by_id("b"), "on", 2);
  r = driver.run(0.032, 200, 100, false);
  EXPECT_EQ(r.region.y, 20);  // the second row only
  EXPECT_EQ(r.region.height, 20);
  EXPECT_FALSE(r.more);

  r = driver.run(0.048, 150, 100, false);  // a new size draws everything
  EXPECT_TRUE(driver.stats().full);
  r = driver.run(0.064, 150, 100, true);  // and so does asking
  EXPECT_TRUE(driver.stats().full);
}

TEST_F(Frames, RunningAnimationsAskForMoreFrames) {
  load("<div id=s class=spin></div>",
       ".spin { width: 40px; height: 40px; background: #000; animation: turn 0.8s linear infinite }"
       " @keyframes turn { to { transform: rotate(360deg) } } .stop { animation: none }");
  EXPECT_TRUE(driver.run(0, 200, 100, false).more);
  const FrameDriver::Result r = driver.run(0.1, 200, 100, false);
  EXPECT_TRUE(r.more);
  EXPECT_GT(r.region.width * r.region.height, 0) << "the turned square is drawn again";
  add_class(by_id("s"), "stop", 4);
  EXPECT_FALSE(driver.run(0.2, 200, 100, false).more) << "an idle view asks for nothing";
}

TEST_F(Frames, LogLineFormat) {
  load("<p>x</p>", "");
  driver.run(1.0, 464.4, 417, false);
  driver.run(1.0165, 464.4, 417, false);
  FrameStats& s = driver.stats();
  s.render = 0.25;
  const std::string line = frame_log_line(s);
  EXPECT_TRUE(std::regex_match(
      line, std::regex(R"(16\.5 part 464x417 n=\d+  layout \d+\.\d paint \d+\.\d diff \d+\.\d render 0\.2\n)")))
      << line;
}

// What the memory counters say of a list: the document, its styles and its
// boxes grow with the rows, the display list only with what is on screen,
// and styles shared by look-alike rows count once.
TEST_F(Frames, MemoryCountersFollowTheRowsAndTheScreen) {
  const auto usage_with = [&](int rows) {
    std::string html = "<div id=list>";
    for (int i = 0; i < rows; ++i) html += "<div class=row>row number " + std::to_string(i) + " of the list</div>";
    load(html + "</div>", "body { margin: 0 } #list { height: 100px; overflow-y: auto } .row { height: 20px }");
    driver.run(rows, 200, 100, true);
    MemoryUsage usage;
    driver.add_memory_usage(usage);
    return usage;
  };
  const MemoryUsage few = usage_with(10), many = usage_with(2000);
  EXPECT_GT(many.dom, few.dom + 1990 * 2 * sizeof(Node)) << "an element and a text node per row";
  EXPECT_GT(many.layout, few.layout + 1990 * 2 * 200);
  EXPECT_LT(many.style, few.style * 3) << "one style for every row";
  EXPECT_LT(many.display_list, few.display_list * 2) << "the rows out of sight are not painted";
}

// Rows share one style per look, found by their parent's style. A parent
// restyled again and again (an element with an id never shares) leaves
// entries under its old styles behind: they go once no row uses them, and
// the rows still take their colour from the parent they have now.
TEST_F(Frames, StylesOfRestyledParentsDoNotPileUp) {
  std::string html = "<div id=list class=a>";
  for (int i = 0; i < 50; ++i) html += "<div class=row>row</div>";
  load(html + "</div>", ".a { color: #ff0000 } .b { color: #0000ff } .row { height: 20px }");
  Node* list = by_id("list");
  const auto style_bytes = [&] {
    MemoryUsage usage;
    driver.add_memory_usage(usage);
    return usage.style;
  };
  driver.run(0, 200, 100, false);
  for (int i = 1; i <= 20; ++i) {
    (i % 2 ? remove_class : add_class)(list, "b", 1);
    driver.run(i, 200, 100, false);
  }
  const std::size_t early = style_bytes();
  for (int i = 21; i <= 3000; ++i) {
    (i % 2 ? remove_class : add_class)(list, "b", 1);
    driver.run(i, 200, 100, false);
  }
  EXPECT_LT(style_bytes(), early * 4) << "no more than some hundreds of entries";
  add_class(list, "b", 1);
  driver.run(3001, 200, 100, false);
  const Node* row = first_child(list);
  ASSERT_TRUE(row && row->style);
  EXPECT_EQ(row->style->color, (style::Color{0, 0, 255, 255}));
}

}  // namespace
