#include "src/tooltip.h"

#include <gtest/gtest.h>

#include <string>

#include "pipeline_fixture.h"

namespace {

using namespace ostrel;

struct Tipped : PipelineTest {
  Tooltip tooltip{*doc};

  void frame(float width = 300, float height = 200) {
    run(width, height);
    tooltip.fit(tree, width, height);
    run(width, height);
  }
  std::string tip_text() {
    Node* tip = tooltip.shown();
    if (!tip) return "";
    std::size_t length = 0;
    const char* text = text_content(tip, &length);
    return std::string(text, length);
  }
  std::string tip_style() {
    const char* style = tooltip.shown() ? get_attribute(tooltip.shown(), "style", 5, nullptr) : nullptr;
    return style ? style : "";
  }
};

TEST_F(Tipped, ShowsTheNearestTitleAfterARestAndFollowsIt) {
  load("<div id=row title='Delete the selected items'><span id=inner>Delete</span></div><p id=plain>plain</p>", "");
  frame();
  tooltip.pointer_at(by_id("inner"), 10, 12, 100.0);
  EXPECT_NEAR(*tooltip.update(100.2), 0.3, 1e-9) << "not yet: waits for the rest";
  EXPECT_EQ(tooltip.shown(), nullptr);
  tooltip.pointer_at(by_id("row"), 14, 12, 100.3);  // moving within the same owner keeps the wait
  EXPECT_EQ(tooltip.update(100.5), std::nullopt);
  ASSERT_NE(tooltip.shown(), nullptr);
  EXPECT_TRUE(has_class(tooltip.shown(), doc->names.find("ui-tooltip")));
  EXPECT_EQ(tip_text(), "Delete the selected items");
  EXPECT_EQ(tip_style(), "left:10px;top:32px") << "below the pointer where it first rested";
  EXPECT_EQ(parent(tooltip.shown()), document_root(doc)) << "beside the body, not in it";
  frame();
  EXPECT_NE(tree.box_of(tooltip.shown()), nullptr);

  set_attribute(by_id("row"), "title", 5, "Nothing to delete", 17);
  tooltip.update(101);
  EXPECT_EQ(tip_text(), "Nothing to delete") << "a title changed while showing";
  remove_attribute(by_id("row"), "title", 5);
  tooltip.update(101.1);
  EXPECT_EQ(tooltip.shown(), nullptr) << "a title removed while showing";
  EXPECT_EQ(query_selector(document_root(doc), ".ui-tooltip", 11), nullptr);

  set_attribute(by_id("row"), "title", 5, "Back", 4);
  tooltip.pointer_at(by_id("row"), 10, 12, 200);
  tooltip.update(201);
  ASSERT_NE(tooltip.shown(), nullptr);
  tooltip.pointer_at(by_id("plain"), 10, 30, 201.1);  // off to an element without one
  EXPECT_EQ(tooltip.shown(), nullptr);

  tooltip.pointer_at(by_id("row"), 10, 12, 300);
  tooltip.update(301);
  remove(by_id("row"));  // its owner goes
  tooltip.update(301.1);
  EXPECT_EQ(tooltip.shown(), nullptr);
  EXPECT_EQ(query_selector(document_root(doc), ".ui-tooltip", 11), nullptr);
}

TEST_F(Tipped, StaysInsideTheView) {
  load("<div id=corner title='A tooltip with words enough to be wide' style='height:200px'>x</div>",
       "body { margin: 0 }");
  frame();
  tooltip.pointer_at(by_id("corner"), 290, 190, 0);
  tooltip.update(1);
  frame();
  const Rect r = element_rect(tooltip.shown());
  EXPECT_GT(r.width, 40);
  EXPECT_LE(r.x + r.width, 300.5f);
  EXPECT_LE(r.y + r.height, 190.5f) << "above the pointer when there is no room below";
  const std::string placed = tip_style();
  frame();
  EXPECT_EQ(tip_style(), placed) << "once inside, it stays put";
}

}  // namespace
