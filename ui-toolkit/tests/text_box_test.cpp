#include "src/text_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
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

struct FakeClipboard final : Clipboard {
  std::optional<std::string> held;
  std::optional<std::string> text() override { return held; }
  bool set_text(std::string_view utf8) override {
    held = std::string(utf8);
    return true;
  }
};

// Records "type id text" for each input and composition event heard.
void record_text_event(Event* event, void* log) {
  const char* id = get_attribute(event_current_target(event), "id", 2, nullptr);
  static_cast<std::vector<std::string>*>(log)->push_back(std::string(event_type_name(event->type)) + " " +
                                                         (id ? id : "?") + " " + event->text);
}

struct Edited : InputTest {
  FakeClipboard clipboard;
  TextEditor editor{*doc, tree, &clipboard};
  Keyboard keyboard{*doc, tree, &editor};
  Pointer pointer{*doc, tree, &keyboard};

  static constexpr const char* sheet =
      "body { margin: 0; font: 20px sans-serif } input { font: 20px sans-serif; padding: 2px; border: 1px solid; "
      "width: 200px }";

  void frame() {
    run(400, 200);
    keep_caret_in_view(*doc, tree);
  }
  void press(std::uint32_t key, std::uint32_t modifiers = 0) {
    keyboard.key_down(key, modifiers);
    keyboard.key_up(key, modifiers);
  }
  void type(const char* text) { keyboard.characters(text); }
  std::string value(const char* id) {
    std::size_t length = 0;
    const char* v = get_value(by_id(id), &length);
    return std::string(v, length);
  }
  std::string selected() {
    const TextEditView& e = doc->edit;
    if (!e.node) return "<none>";
    const auto [low, high] = std::minmax(e.caret, e.anchor);
    return e.node->text.substr(low, high - low);
  }
  void listen_text(const char* id, const char* type) {
    on(by_id(id), type, std::char_traits<char>::length(type), record_text_event, &seen);
  }
  // The view x of the caret boundary at byte `offset` of the shown text.
  float x_of(const char* id, std::size_t offset) {
    const layout::Box* b = tree.box_of(by_id(id));
    return b->content_x() + b->edit_line->caret_offsets.at(offset) - doc->edit.scroll;
  }
};

TEST_F(Edited, TypingAndDeletingWorkOnWholeCharactersAndReportEachInput) {
  load("<input id=t value=hello>", sheet);
  frame();
  listen_text("t", "input");
  press(key_tab);
  EXPECT_EQ(selected(), "hello") << "Tab selects the whole text";
  type("x");
  type("한글");
  type("\x01\t\x7f");  // the characters of Ctrl+A, Tab and DEL type nothing
  EXPECT_EQ(value("t"), "x한글");
  press(key_backspace);
  EXPECT_EQ(value("t"), "x한") << "Backspace takes a whole character, not a byte";
  press(key_left);
  press(key_left);
  press(key_delete);
  EXPECT_EQ(value("t"), "한");
  type("ab cd");
  press(key_backspace, modifier_ctrl);
  EXPECT_EQ(value("t"), "ab 한") << "Ctrl+Backspace takes the word before the caret";
  EXPECT_EQ(seen, (std::vector<std::string>{"input t x", "input t 한글", "input t ", "input t ", "input t ab cd",
                                            "input t "}));

  // A page that prevents the keydown keeps the character out.
  on(
      by_id("t"), "keydown", 7, [](Event* e, void*) { prevent_default(e); }, nullptr);
  keyboard.key_down('Q', 0);
  type("q");
  EXPECT_EQ(value("t"), "ab 한");
}

TEST_F(Edited, ArrowsHomeEndAndWordsMoveAndExtendTheSelection) {
  load("<input id=t value='alpha beta, gamma'>", sheet);
  frame();
  keyboard.focus(by_id("t"));
  press(key_home);
  press(key_right, modifier_ctrl);
  EXPECT_EQ(doc->edit.caret, 6u);
  press(key_right, modifier_ctrl | modifier_shift);
  EXPECT_EQ(selected(), "beta");
  press(key_right, modifier_shift);
  EXPECT_EQ(selected(), "beta,");
  press(key_left);
  EXPECT_EQ(doc->edit.caret, 6u) << "Left collapses a selection to its start";
  press(key_end, modifier_shift);
  EXPECT_EQ(selected(), "beta, gamma");
  press(key_left, modifier_ctrl);
  EXPECT_EQ(doc->edit.caret, 12u);
  press('A', modifier_ctrl);
  EXPECT_EQ(selected(), "alpha beta, gamma");
}

TEST_F(Edited, ClipboardCommandsAndUndoRedoWithTypingAsOneStep) {
  load("<input id=t value='one two'>", sheet);
  frame();
  keyboard.focus(by_id("t"));
  auto on_menu = editor.available();
  EXPECT_FALSE(on_menu[static_cast<int>(EditCommand::undo)]);
  EXPECT_FALSE(on_menu[static_cast<int>(EditCommand::copy)]);
  EXPECT_FALSE(on_menu[static_cast<int>(EditCommand::paste)]) << "the clipboard holds no text";
  EXPECT_TRUE(on_menu[static_cast<int>(EditCommand::select_all)]);

  press(key_left, modifier_ctrl | modifier_shift);
  press('X', modifier_ctrl);
  EXPECT_EQ(clipboard.held, "two");
  EXPECT_EQ(value("t"), "one ");
  clipboard.held = "a\r\nb\n";
  press('V', modifier_ctrl);
  EXPECT_EQ(value("t"), "one ab") << "line breaks do not go into a one-line box";
  type("c");
  type("d");
  EXPECT_EQ(value("t"), "one abcd");
  press('Z', modifier_ctrl);
  EXPECT_EQ(value("t"), "one ab") << "the run of typing undoes as one step";
  press('Z', modifier_ctrl);
  EXPECT_EQ(value("t"), "one ");
  press('Y', modifier_ctrl);
  EXPECT_EQ(value("t"), "one ab");
  press('Z', modifier_ctrl | modifier_shift);
  EXPECT_EQ(value("t"), "one abcd");

  press(key_home, modifier_shift);
  press(key_insert, modifier_ctrl);
  EXPECT_EQ(clipboard.held, "one abcd");
  on_menu = editor.available();
  EXPECT_TRUE(on_menu[static_cast<int>(EditCommand::cut)] && on_menu[static_cast<int>(EditCommand::erase)]);
  EXPECT_FALSE(on_menu[static_cast<int>(EditCommand::select_all)]) << "everything is selected already";
  editor.run(EditCommand::erase);
  EXPECT_EQ(value("t"), "");
  editor.run(EditCommand::undo);
  EXPECT_EQ(value("t"), "one abcd");
}

TEST_F(Edited, ChangeComesOnBlurOrEnterOnlyWhenTheValueChanged) {
  load("<input id=t value=a><button id=b>b</button>", sheet);
  frame();
  listen("t", "change");
  listen("t", "blur");
  keyboard.focus(by_id("t"));
  keyboard.focus(by_id("b"));
  EXPECT_EQ(seen, (std::vector<std::string>{"blur t"})) << "nothing typed: no change";
  seen.clear();
  keyboard.focus(by_id("t"));
  type("b");
  press(key_enter);
  press(key_enter);
  type("c");
  keyboard.focus(by_id("b"));
  EXPECT_EQ(seen, (std::vector<std::string>{"change t", "change t", "blur t"}));
  EXPECT_EQ(doc->edit.node, nullptr);
}

TEST_F(Edited, AValueSetFromOutsideMovesTheCaretToItsEnd) {
  load("<input id=t value=abcdef>", sheet);
  frame();
  keyboard.focus(by_id("t"));
  press(key_end);
  // The page shortens the value on input; the caret must never point past it.
  bool armed = true;
  on(
      by_id("t"), "input", 5,
      [](Event* e, void* on) {
        if (*static_cast<bool*>(on)) set_value(event_target(e), "ab", 2);
      },
      &armed);
  type("g");
  EXPECT_EQ(value("t"), "ab");
  EXPECT_EQ(doc->edit.caret, 2u);
  EXPECT_EQ(doc->edit.anchor, 2u);
  press('Z', modifier_ctrl);
  EXPECT_EQ(value("t"), "ab") << "undo does not step back over a change it did not make";
  armed = false;
  set_value(by_id("t"), "x\xe2\x82", 3);  // a cut-off character, from the application
  press(key_backspace);
  frame();
  EXPECT_EQ(value("t"), "x") << "the cut-off character goes as the one mark it draws";
}

TEST_F(Edited, CompositionShowsAtTheCaretAndCommitsItsResult) {
  load("<input id=t value=ab>", sheet);
  frame();
  for (const char* type : {"input", "compositionstart", "compositionupdate", "compositionend"}) listen_text("t", type);
  keyboard.focus(by_id("t"));
  press(key_left);
  editor.composition_start();
  editor.composition_update("ㅎ");
  editor.composition_update("하");
  frame();
  EXPECT_EQ(value("t"), "ab") << "composing text is not in the value yet";
  EXPECT_EQ(tree.box_of(by_id("t"))->text, "a하b");
  type("z");  // keys are the input method's while it composes
  editor.composition_end("한");
  frame();
  EXPECT_EQ(value("t"), "a한b");
  EXPECT_EQ(tree.box_of(by_id("t"))->text, "a한b");
  editor.composition_start();
  editor.composition_update("x");
  editor.composition_end("");  // cancelled
  EXPECT_EQ(value("t"), "a한b");
  EXPECT_EQ(seen, (std::vector<std::string>{"compositionstart t ", "compositionupdate t ㅎ", "compositionupdate t 하",
                                            "input t 한", "compositionend t 한", "compositionstart t ",
                                            "compositionupdate t x", "compositionend t "}));
}

TEST_F(Edited, TheBoxIsOneLineHighWithItsTextOnTheBaselineAndAPlaceholderWhenEmpty) {
  load("<span id=s>Name</span><input id=t placeholder='Type here'>", sheet);
  frame();
  const layout::Box* b = tree.box_of(by_id("t"));
  EXPECT_FLOAT_EQ(b->height, 23 + 4 + 2) << "line height of the font, padding and border";
  ASSERT_TRUE(b->edit_line);
  EXPECT_TRUE(b->edit_line->placeholder_shown);
  EXPECT_EQ(b->text, "Type here");
  const layout::Box* label = tree.box_of(by_id("s"))->children.at(0);
  EXPECT_FLOAT_EQ(b->fragments.at(0).baseline, label->fragments.at(0).baseline) << "text sits on the line's baseline";

  paint::DisplayList list = paint::build_display_list(tree, 400, 200);
  auto grey_text = std::find_if(list.items.begin(), list.items.end(), [](const paint::Item& it) {
    return it.kind == paint::ItemKind::text && it.text == "Type here";
  });
  ASSERT_NE(grey_text, list.items.end());
  EXPECT_EQ(grey_text->color, (style::Color{0x75, 0x75, 0x75, 255}));

  set_attribute(by_id("t"), "value", 5, "v", 1);
  frame();
  EXPECT_EQ(tree.box_of(by_id("t"))->text, "v") << "a new value attribute shows at once";
}

TEST_F(Edited, PaintingDrawsTheCaretAndSelectionAndScrollsLongTextToTheCaret) {
  load("<input id=t>", sheet);
  frame();
  keyboard.focus(by_id("t"));
  type(std::string(60, 'w').c_str());
  frame();
  const layout::Box* b = tree.box_of(by_id("t"));
  const float left = b->content_x(), right = left + b->content_box_width();
  EXPECT_GT(doc->edit.scroll, 0) << "the text is wider than the box";
  auto caret_of = [](const paint::DisplayList& list) -> std::optional<paint::Item> {
    for (const paint::Item& it : list.items)
      if (it.kind == paint::ItemKind::rect && it.bounds.width == 1) return it;
    return std::nullopt;
  };
  std::optional<paint::Item> caret = caret_of(paint::build_display_list(tree, 400, 200));
  ASSERT_TRUE(caret);
  EXPECT_GE(caret->bounds.x, left);
  EXPECT_LT(caret->bounds.x, right) << "the caret stays inside the box";

  press(key_home);
  frame();
  EXPECT_EQ(doc->edit.scroll, 0);
  press(key_right, modifier_shift);
  frame();
  paint::DisplayList list = paint::build_display_list(tree, 400, 200);
  EXPECT_FALSE(caret_of(list)) << "no caret over a selection";
  const bool highlight = std::any_of(list.items.begin(), list.items.end(), [&](const paint::Item& it) {
    return it.kind == paint::ItemKind::rect && it.color == style::Color{0x00, 0x78, 0xD7, 255} && it.bounds.x == left &&
           it.bounds.width > 1;
  });
  EXPECT_TRUE(highlight);
  editor.show_caret(false);
  press(key_right);
  EXPECT_TRUE(doc->edit.caret_shown) << "moving the caret shows it again";
}

TEST_F(Edited, TheMousePlacesTheCaretSelectsByDraggingAndWordsByDoubleClick) {
  load("<input id=t value='one two three'>", sheet);
  frame();
  const float y = 10;
  pointer.down(0, x_of("t", 5) + 1, y, 0, false);
  EXPECT_EQ(keyboard.focused(), by_id("t"));
  EXPECT_EQ(doc->edit.caret, 5u) << "the nearest boundary to the press";
  pointer.move(x_of("t", 9) - 1, y, 0);
  pointer.up(0, x_of("t", 9) - 1, y, 0);
  EXPECT_EQ(selected(), "wo t");
  pointer.move(x_of("t", 2), y, 0);
  EXPECT_EQ(selected(), "wo t") << "released: moving selects nothing";
  pointer.down(0, x_of("t", 12), y, modifier_shift, false);
  pointer.up(0, x_of("t", 12), y, modifier_shift);
  EXPECT_EQ(selected(), "wo thre");
  EXPECT_EQ(doc->edit.anchor, 5u) << "Shift+click keeps the anchor";
  EXPECT_EQ(doc->edit.caret, 12u);

  pointer.down(0, x_of("t", 5), y, 0, false);
  pointer.down(0, x_of("t", 5), y, 0, true);
  EXPECT_EQ(selected(), "two");
  pointer.move(x_of("t", 10), y, 0);
  EXPECT_EQ(selected(), "two three") << "a double click's drag takes whole words";
  pointer.up(0, x_of("t", 10), y, 0);

  pointer.down(2, x_of("t", 6), y, 0, false);
  EXPECT_EQ(selected(), "two three") << "a right press inside the selection keeps it";
  pointer.down(2, x_of("t", 1), y, 0, false);
  EXPECT_EQ(doc->edit.caret, 1u);
  EXPECT_EQ(selected(), "");
}

TEST_F(Edited, ContextMenuEventsAskWhetherTheBuiltInMenuMayShow) {
  load("<input id=t value=x><input id=quiet value=y><div id=d>d</div>", sheet);
  frame();
  listen("t", "contextmenu");
  on(
      by_id("quiet"), "contextmenu", 11, [](Event* e, void*) { prevent_default(e); }, nullptr);
  const Rect t = element_rect(by_id("t")), quiet = element_rect(by_id("quiet"));
  EXPECT_EQ(pointer.context_menu(t.x + 2, t.y + 2, 0), by_id("t"));
  EXPECT_EQ(pointer.context_menu(quiet.x + 2, quiet.y + 2, 0), nullptr) << "the page prevented it";
  keyboard.focus(by_id("t"));
  EXPECT_EQ(keyboard.context_menu(*editor.caret_rect()), by_id("t")) << "the menu key asks the focused element";
  EXPECT_EQ(seen, (std::vector<std::string>{"contextmenu t", "contextmenu t"}));

  set_disabled(by_id("t"), true);
  frame();
  type("z");
  EXPECT_EQ(value("t"), "x") << "a disabled text box takes nothing";
  EXPECT_EQ(doc->edit.node, nullptr);
}

}  // namespace
