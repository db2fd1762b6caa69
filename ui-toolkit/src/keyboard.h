// What the keyboard does to a document, without the window: which element
// has focus (":focus", "focus" and "blur"), key events sent to it, Tab and
// Shift+Tab through the focusable elements in tabindex order, and Space or
// Enter working a button or a check box as a click would.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "dom/dom.h"
#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "src/controls.h"

namespace ostrel {

class SelectPopup;
class TextEditor;

class Keyboard {
 public:
  Keyboard(Document& document, const layout::LayoutTree& tree, TextEditor* editor = nullptr,
           SelectPopup* popup = nullptr)
      : document_(document), tree_(tree), editor_(editor), popup_(popup) {}
  TextEditor* editor() const { return editor_; }
  SelectPopup* popup() const { return popup_; }

  // The focused element; null when none has focus or it left the document,
  // was hidden or disabled since.
  Node* focused();
  // Moves focus to `element` (null: none), sending "blur" to the old and
  // "focus" to the new one. An element that cannot take focus is ignored.
  void focus(Node* element);
  // A mouse button went down on `target`: its nearest focusable ancestor
  // takes focus, or focus goes when there is none.
  void focus_from_click(Node* target);

  // Keys go to the focused element (or the body); what no listener
  // prevented does its default: Tab moves focus, Space and Enter work
  // buttons, and a text box edits.
  void key_down(std::uint32_t key, std::uint32_t modifiers);
  void key_up(std::uint32_t key, std::uint32_t modifiers);
  // Characters the key typed: into the text box being edited, unless its
  // keydown was prevented.
  void characters(std::string_view utf8);
  // The context-menu key: "contextmenu" on the focused element (or the body)
  // at `at`; returns that element unless a listener prevented the default.
  Node* context_menu(const Rect& at);

  // The elements Tab visits, in order: positive tabindex values first, in
  // ascending order, then the rest in document order.
  std::vector<Node*> tab_order() const;

  void reset();  // forgets nodes of an old document

 private:
  bool focusable(const Node* element) const;
  void move_focus(Node* element, bool by_keyboard);
  Node* key_target();
  void tab(bool backwards);
  void release_space();

  Document& document_;
  const layout::LayoutTree& tree_;
  Node* focused_ = nullptr;
  std::uint64_t focused_serial_ = 0;
  TextEditor* editor_;
  SelectPopup* popup_;
  bool typing_allowed_ = true;  // the last keydown was not prevented
  Node* space_ = nullptr;       // pressed by Space, worked when it is released
  std::uint64_t space_serial_ = 0;
};

}  // namespace ostrel
