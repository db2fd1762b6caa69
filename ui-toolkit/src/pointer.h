// What the mouse does to a document, without the window: hover and active
// states, mouse events with their targets, clicks and the default actions of
// check boxes and radios, and wheel scrolling of the scroll container under
// the pointer. The platform view feeds it positions in CSS pixels.
#pragma once

#include <cstdint>

#include "dom/dom.h"
#include "layout/box.h"
#include "src/controls.h"
#include "style/computed.h"

namespace ostrel {

class Keyboard;
class SelectPopup;
class TextEditor;

class Pointer {
 public:
  // A mouse button that goes down moves `keyboard`'s focus, when there is one.
  Pointer(Document& document, const layout::LayoutTree& tree, Keyboard* keyboard = nullptr)
      : document_(document), tree_(tree), keyboard_(keyboard) {}

  void move(float x, float y, std::uint32_t modifiers);
  void leave();   // the pointer left the view
  void cancel();  // the press ends without a release (the window lost the mouse)
  void down(int button, float x, float y, std::uint32_t modifiers, bool double_click);
  void up(int button, float x, float y, std::uint32_t modifiers);
  // The right button was released at (x, y): "contextmenu" there. Returns
  // the element under the pointer unless a listener prevented the default.
  Node* context_menu(float x, float y, std::uint32_t modifiers);
  // `delta` in wheel notches (positive: away from the user, scrolling up).
  void wheel(float delta, float x, float y, std::uint32_t modifiers);

  // The cursor for where the pointer is: a column border it can drag, or
  // what the style of the element under it asks for.
  style::Cursor cursor() const;

  // The element under the pointer (null when none, or it went).
  Node* hovered() const { return alive(hovered_, hovered_serial_) ? hovered_ : nullptr; }

  // Forgets nodes of an old document (load_html replaced it).
  void reset();

 private:
  Node* target_at(float x, float y) const;
  TextEditor* editor() const;
  SelectPopup* popup() const;
  // A press on a scroll bar: drags its thumb, or pages towards the pointer. Returns whether it was on one.
  bool press_scroll_bar(Node* target, float x, float y);
  void drag_scroll_bar(float y);
  // The header cell whose right border is at (x, y) in a row with
  // data-resize="col"; the last cell's border is the table's, not a column's.
  Node* column_border_at(Node* target, float x, float y) const;
  void drag_column(float x);
  void set_hovered(Node* element);
  void set_active(Node* element);
  // Dispatches one event; returns whether a listener prevented its default.
  bool fire(std::uint8_t type, Node* target, float x, float y, int button, std::uint32_t modifiers,
            float wheel_delta = 0);

  Document& document_;
  const layout::LayoutTree& tree_;
  Keyboard* keyboard_;
  Node* hovered_ = nullptr;
  std::uint64_t hovered_serial_ = 0;
  Node* dragging_ = nullptr;  // whose scroll bar thumb follows the pointer
  std::uint64_t dragging_serial_ = 0;
  float grab_ = 0;            // where on the thumb it was taken, from its top
  Node* resizing_ = nullptr;  // the header cell whose width follows the pointer
  std::uint64_t resizing_serial_ = 0;
  float resize_from_x_ = 0, resize_from_width_ = 0;
  bool on_column_border_ = false;
  Node* pressed_ = nullptr;  // where the left button went down: a click needs the up there too
  std::uint64_t pressed_serial_ = 0;
};

}  // namespace ostrel
