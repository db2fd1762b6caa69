#include "src/select_popup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dom/events.h"
#include "paint/display_list.h"
#include "pipeline_fixture.h"
#include "src/controls.h"
#include "src/keyboard.h"
#include "src/pointer.h"

namespace {

using namespace ostrel;

struct Listed : InputTest {
  SelectPopup popup{*doc, tree};
  Keyboard keyboard{*doc, tree, nullptr, &popup};
  Pointer pointer{*doc, tree, &keyboard};
  float width = 300, height = 200;

  static constexpr const char* sheet =
      "body { margin: 0; font: 10px sans-serif } select, .ui-select-popup { font: 10px sans-serif }"
      " .ui-select-option { padding: 0 }";

  // As the view does: a pop-up placed anew is laid out there in the next
  // frame, and its highlight brought into sight in the one after.
  void frame() {
    for (int i = 0; i < 3; ++i) {
      run(width, height);
      popup.fit(width, height);
    }
  }
  void click(float x, float y) {
    pointer.down(0, x, y, 0, false);
    pointer.up(0, x, y, 0);
    frame();
  }
  void press(std::uint32_t key, std::uint32_t modifiers = 0) {
    keyboard.key_down(key, modifiers);
    keyboard.key_up(key, modifiers);
    frame();
  }
  Node* list() { return query_selector(document_root(doc), ".ui-select-popup", 16); }
  std::string active() {
    Node* a = query_selector(document_root(doc), ".ui-select-option.active", 24);
    return a ? text_content(a, nullptr) : "";
  }
  std::string value() { return get_value(by_id("s"), nullptr); }
  std::string style_of(Node* n) { return get_attribute(n, "style", 5, nullptr); }
};

TEST_F(Listed, AClosedListShowsItsChoiceBesideAnArrowAndIsAsWideAsItsLongestOption) {
  load("<select id=s><option>One<option selected>  Two   words <option>Three</select>", sheet);
  frame();
  const layout::Box* b = tree.box_of(by_id("s"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->text, "Two words");
  const std::string family = "sans-serif";
  const text::FontSpec ten_px{std::span(&family, 1), 10, 400, false};
  EXPECT_FLOAT_EQ(b->content_box_width(), font.width(ten_px, "Two words") + select_arrow_room);
  const std::string dump = paint::build_display_list(tree, width, height).dump();
  EXPECT_NE(dump.find("\"Two words\""), std::string::npos) << dump;
  EXPECT_NE(dump.find("arrow "), std::string::npos);

  set_value(by_id("s"), "Three", 5);
  frame();
  EXPECT_EQ(tree.box_of(by_id("s"))->text, "Three") << "a new choice shows at once";
}

TEST_F(Listed, AClickOpensTheListAndAClickOnAnOptionChoosesIt) {
  load("<select id=s><option value=1>One<option value=2>Two<option value=3>Three</select>", sheet);
  frame();
  listen("s", "input");
  listen("s", "change");
  const Rect at = element_rect(by_id("s"));
  click(at.x + 5, at.y + 5);
  ASSERT_TRUE(list());
  EXPECT_EQ(popup.owner(), by_id("s"));
  char expected[96];
  std::snprintf(expected, sizeof expected, "left:0px;top:%gpx;min-width:%gpx", at.height, at.width - 2);
  EXPECT_EQ(style_of(list()), expected) << "under the list, at least as wide (less its own border)";
  EXPECT_FLOAT_EQ(element_rect(list()).width, at.width);
  EXPECT_EQ(active(), "One") << "the chosen option is highlighted";
  const Rect third = element_rect(query_selector(list(), ".ui-select-option:last-child", 28));
  pointer.move(third.x + 2, third.y + 2, 0);
  EXPECT_EQ(active(), "Three");
  click(third.x + 2, third.y + 2);
  EXPECT_EQ(list(), nullptr) << "choosing closes it";
  EXPECT_EQ(value(), "3");
  EXPECT_EQ(seen, (std::vector<std::string>{"input s", "change s"}));

  click(at.x + 5, at.y + 5);
  click(250, 150);  // elsewhere: closes without a choice
  EXPECT_EQ(list(), nullptr);
  EXPECT_EQ(value(), "3");
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(Listed, KeysChooseOnAClosedListAndMoveTheHighlightOnAnOpenOne) {
  load("<select id=s><option>a<option disabled>b<option>c<option>d</select><button id=next>n</button>", sheet);
  frame();
  listen("s", "change");
  keyboard.focus(by_id("s"));
  press(key_arrow_down);
  EXPECT_EQ(value(), "c") << "a disabled option is passed over";
  press(key_end);
  EXPECT_EQ(value(), "d");
  EXPECT_EQ(list(), nullptr) << "closed lists choose without opening";
  press(key_arrow_down, modifier_alt);
  ASSERT_TRUE(list());
  press(key_arrow_up);
  EXPECT_EQ(active(), "c");
  press(key_escape);
  EXPECT_EQ(list(), nullptr);
  EXPECT_EQ(value(), "d") << "Escape chooses nothing";
  press(key_f4);
  press(key_home);
  press(key_enter);
  EXPECT_EQ(value(), "a");
  press(key_f4);
  press(key_arrow_down);
  press(key_tab);  // takes the highlight and moves on
  EXPECT_EQ(value(), "c");
  EXPECT_EQ(keyboard.focused(), by_id("next"));
  EXPECT_EQ(seen, (std::vector<std::string>{"change s", "change s", "change s", "change s"}));
}

TEST_F(Listed, AListNearTheBottomOpensWhereThereIsMoreRoomAndScrollsToItsHighlight) {
  std::string options;
  for (int i = 0; i < 40; ++i) options += "<option>Option " + std::to_string(i);
  load("<div style='height:150px'></div><select id=s>" + options + "</select>", sheet);
  frame();
  const Rect at = element_rect(by_id("s"));
  click(at.x + 2, at.y + 2);
  ASSERT_TRUE(list());
  const std::string style = style_of(list());
  EXPECT_NE(style.find(";max-height:"), std::string::npos) << style;
  const Rect shown = element_rect(list());
  EXPECT_LE(shown.y + shown.height, at.y + 0.5f) << "above the list: there is more room there";
  EXPECT_GE(shown.y, -0.5f);
  press(key_end);
  press(key_enter);
  EXPECT_EQ(value(), "Option 39");
  click(at.x + 2, at.y + 2);
  EXPECT_GT(scroll_position(list()).y, 0) << "the chosen option is in sight";

  set_disabled(by_id("s"), true);
  frame();
  EXPECT_EQ(list(), nullptr) << "a list that became disabled closes";
  click(at.x + 2, at.y + 2);
  EXPECT_EQ(list(), nullptr) << "and does not open";
}

}  // namespace
