#include "src/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dom/events.h"
#include "pipeline_fixture.h"
#include "src/controls.h"
#include "src/pointer.h"

namespace {

using namespace ostrel;

struct Keyed : InputTest {
  Keyboard keyboard{*doc, tree};
  Pointer pointer{*doc, tree, &keyboard};

  void frame() { run(300, 200); }
  std::string focused_id() {
    Node* f = keyboard.focused();
    const char* id = f ? get_attribute(f, "id", 2, nullptr) : nullptr;
    return id ? id : "";
  }
  void press(std::uint32_t key, std::uint32_t modifiers = 0) {
    keyboard.key_down(key, modifiers);
    keyboard.key_up(key, modifiers);
  }
};

TEST_F(Keyed, TabVisitsWhatCanTakeFocusInTabindexOrderAndWrapsAround) {
  load(
      "<input id=text><button id=off disabled>off</button><div id=two tabindex=2>two</div>"
      "<a id=link href=x>link</a><a id=plain>plain</a><div id=minus tabindex=-1>minus</div>"
      "<span id=junk tabindex=abc>junk</span><button id=hidden style='display:none'>h</button>"
      "<div style='display:none'><input id=inside></div><button id=one tabindex=' 1'>one</button>",
      "div, a, span { display: block } :focus { color: red }");
  frame();
  std::vector<std::string> order;
  for (Node* n : keyboard.tab_order()) order.push_back(get_attribute(n, "id", 2, nullptr));
  EXPECT_EQ(order, (std::vector<std::string>{"one", "two", "text", "link"}));

  press(key_tab);
  EXPECT_EQ(focused_id(), "one");
  for (const char* next : {"two", "text", "link", "one"}) {
    press(key_tab);
    EXPECT_EQ(focused_id(), next);
  }
  press(key_tab, modifier_shift);
  EXPECT_EQ(focused_id(), "link") << "Shift+Tab goes back, around the end";
  press(key_tab, modifier_ctrl);
  EXPECT_EQ(focused_id(), "link") << "Ctrl+Tab is not ours";
  frame();
  EXPECT_TRUE(by_id("link")->flags & flag_focus);
  EXPECT_FALSE(by_id("one")->flags & flag_focus);
  EXPECT_EQ(by_id("link")->style->color, (style::Color{255, 0, 0, 255})) << ":focus matches";

  keyboard.focus(by_id("minus"));
  EXPECT_EQ(focused_id(), "minus") << "tabindex=-1 takes focus, only not by Tab";
  keyboard.focus(by_id("plain"));
  keyboard.focus(by_id("off"));
  EXPECT_EQ(focused_id(), "minus") << "neither a plain link nor a disabled control takes it";
}

TEST_F(Keyed, FocusAndBlurReachOnlyTheirElementAndFollowTheMouse) {
  load("<div id=form><input id=a><div id=row tabindex=0><span id=label>label</span></div></div><p id=empty>x</p>",
       "body, p { margin: 0 } p, #row, input { display: block; height: 20px; margin: 0; padding: 0; border: 0 }");
  frame();
  for (const char* id : {"form", "a", "row"}) {
    listen(id, "focus");
    listen(id, "blur");
  }
  listen("form", "click");
  pointer.down(0, 5, 5, 0, false);  // the input
  pointer.up(0, 5, 5, 0);
  EXPECT_EQ(focused_id(), "a");
  pointer.down(0, 5, 25, 0, false);  // the label, inside the focusable row
  EXPECT_EQ(focused_id(), "row");
  pointer.down(0, 5, 45, 0, false);  // nothing focusable: focus goes
  EXPECT_EQ(focused_id(), "");
  EXPECT_EQ(seen, (std::vector<std::string>{"focus a", "click form", "blur a", "focus row", "blur row"}))
      << "the parent hears the click, not its children's focus";

  keyboard.focus(by_id("a"));
  on(
      by_id("empty"), "mousedown", 9, [](Event* e, void*) { prevent_default(e); }, nullptr);
  pointer.down(0, 5, 45, 0, false);
  EXPECT_EQ(focused_id(), "a") << "a prevented press keeps focus";

  // Focus leaves quietly with an element that goes.
  remove(by_id("form"));
  frame();
  EXPECT_EQ(keyboard.focused(), nullptr);
  press(key_tab);  // nothing focusable is left
  EXPECT_EQ(keyboard.focused(), nullptr);
}

TEST_F(Keyed, KeysGoToTheFocusedElementOrTheBodyWithTheirCodeAndModifiers) {
  load("<input id=a>", "");
  frame();
  on(document_body(doc), "keydown", 7, record_event, &seen);
  on(document_body(doc), "keyup", 5, record_event, &seen);
  on(document_body(doc), "click", 5, record_event, &seen);
  keyboard.key_down(0x41, modifier_ctrl);  // Ctrl+A with nothing focused
  keyboard.focus(by_id("a"));
  listen("a", "keydown");
  keyboard.key_down(0x74, 0);  // F5, bubbling from the input
  EXPECT_EQ(seen, (std::vector<std::string>{"keydown ? 65/2", "keydown a 116/0", "keydown ? 116/0"}));
}

TEST_F(Keyed, SpaceAndEnterWorkButtonsAndCheckBoxesAsAClickWould) {
  load(
      "<button id=go>go</button><input id=box type=checkbox><input id=r1 type=radio name=g checked>"
      "<input id=r2 type=radio name=g><input id=text>",
      "");
  frame();
  for (const char* id : {"go", "box", "r2", "text"}) {
    listen(id, "click");
    listen(id, "change");
  }
  keyboard.focus(by_id("go"));
  keyboard.key_down(key_space, 0);
  EXPECT_TRUE(by_id("go")->flags & flag_active) << "pressed while Space is down";
  keyboard.key_down(key_space, 0);  // the key repeats: still one press
  keyboard.key_up(key_space, 0);
  EXPECT_FALSE(by_id("go")->flags & flag_active);
  press(key_enter);
  EXPECT_EQ(seen, (std::vector<std::string>{"click go", "click go"}));
  seen.clear();

  keyboard.focus(by_id("box"));
  press(key_enter);  // Enter does not tick a box
  press(key_space);
  EXPECT_TRUE(is_checked(by_id("box")));
  keyboard.focus(by_id("r2"));
  press(key_space);
  EXPECT_TRUE(is_checked(by_id("r2")));
  EXPECT_FALSE(is_checked(by_id("r1")));
  keyboard.focus(by_id("text"));
  press(key_space);
  press(key_enter);
  EXPECT_EQ(seen, (std::vector<std::string>{"click box", "change box", "click r2", "change r2"}));
  seen.clear();

  // Space released somewhere else, or a page that takes the key: nothing.
  keyboard.focus(by_id("go"));
  keyboard.key_down(key_space, 0);
  keyboard.focus(by_id("box"));
  keyboard.key_up(key_space, 0);
  EXPECT_FALSE(by_id("go")->flags & flag_active);
  on(
      by_id("box"), "keydown", 7, [](Event* e, void*) { prevent_default(e); }, nullptr);
  press(key_space);
  EXPECT_TRUE(is_checked(by_id("box")));
  set_attribute(by_id("go"), "disabled", 8, "", 0);
  keyboard.focus(by_id("go"));
  press(key_enter);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
