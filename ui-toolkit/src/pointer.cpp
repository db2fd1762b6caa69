#include "src/pointer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "dom/events.h"
#include "ostrel/ostrel.h"
#include "paint/display_list.h"
#include "src/controls.h"
#include "src/keyboard.h"
#include "src/select_popup.h"
#include "src/text_box.h"

namespace ostrel {
namespace {

constexpr float line_height_px = 40;  // one wheel notch scrolls about three lines

}  // namespace

Node* Pointer::target_at(float x, float y) const { return host_element(paint::hit_test(tree_, x, y)); }

bool Pointer::fire(std::uint8_t type, Node* target, float x, float y, int button, std::uint32_t modifiers,
                   float wheel_delta) {
  return ostrel::fire(static_cast<EventType>(type), target, {x, y, button, modifiers, wheel_delta});
}

// Hover covers the element under the pointer and its ancestors, as :hover does.
void Pointer::set_hovered(Node* element) {
  Node* old = alive(hovered_, hovered_serial_) ? hovered_ : nullptr;
  if (old == element) return;
  if (old) set_chain_flag(document_, old, flag_hover, false);
  if (element) set_chain_flag(document_, element, flag_hover, true);
  if (old) fire(event_mouseleave, old, 0, 0, 0, 0);
  hovered_ = element;
  hovered_serial_ = element ? element->serial : 0;
  if (element) fire(event_mouseenter, element, 0, 0, 0, 0);
}

void Pointer::set_active(Node* element) {
  Node* old = alive(pressed_, pressed_serial_) ? pressed_ : nullptr;
  if (old) set_chain_flag(document_, old, flag_active, false);
  if (element) set_chain_flag(document_, element, flag_active, true);
  pressed_ = element;
  pressed_serial_ = element ? element->serial : 0;
}

namespace {

// The scroll bar of a scroll container element, or of the page for the root,
// where it is drawn now.
std::optional<paint::ScrollBar> bar_of(const layout::LayoutTree& tree, Node* element) {
  // The rect first: reading it may lay out again, and a layout made from
  // scratch frees the boxes an earlier box_of() handed out.
  const Rect at = element_rect(element);  // after the scrolling of its ancestors
  const layout::Box* box = tree.box_of(element);
  if (!box) return std::nullopt;
  return paint::vertical_scroll_bar(*box, box->parent ? at.x - box->x : 0, box->parent ? at.y - box->y : 0,
                                    tree.options());
}

bool inside(const Rect& r, float x, float y) { return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height; }

}  // namespace

bool Pointer::press_scroll_bar(Node* target, float x, float y) {
  std::vector<Node*> candidates;
  for (Node* n = target; n && n->is_element(); n = n->parent) candidates.push_back(n);
  if (const layout::Box* root = tree_.root(); root && root->node) candidates.push_back(root->node);
  for (Node* n : candidates) {
    const std::optional<paint::ScrollBar> bar = bar_of(tree_, n);
    if (!bar || !inside(bar->track, x, y)) continue;
    if (bar->range <= 0) return true;  // nothing to scroll: the press is the bar's all the same
    if (inside(bar->thumb, x, y)) {
      dragging_ = n;
      dragging_serial_ = n->serial;
      grab_ = y - bar->thumb.y;
      return true;
    }
    // A page towards the pointer, as the track of a Windows scroll bar does.
    const float page = std::max(bar->track.height * 0.875f, line_height_px);
    const float to = std::clamp(bar->offset + (y < bar->thumb.y ? -page : page), 0.0f, bar->range);
    if (to != n->scroll.y) {
      scroll_to(n, n->scroll.x, to);
    }
    return true;
  }
  return false;
}

void Pointer::drag_scroll_bar(float y) {
  Node* n = alive(dragging_, dragging_serial_) ? dragging_ : nullptr;
  const std::optional<paint::ScrollBar> bar = n ? bar_of(tree_, n) : std::nullopt;
  if (!bar) return;
  const float to = bar->offset_for(y - grab_);
  if (to == n->scroll.y) return;
  scroll_to(n, n->scroll.x, to);
}

namespace {

constexpr float column_grip = 4;        // px either side of a column border that take it
constexpr float narrowest_column = 20;  // a column dragged narrower stops here

// The inline style with its width declaration replaced by `width`.
std::string with_width(const std::string* style, float width) {
  std::string out;
  if (style) {
    std::size_t start = 0;
    while (start <= style->size()) {
      std::size_t end = style->find(';', start);
      if (end == std::string::npos) end = style->size();
      const std::string_view declaration(style->data() + start, end - start);
      const std::size_t colon = declaration.find(':');
      std::string_view name = declaration.substr(0, colon);
      while (!name.empty() && (name.front() == ' ' || name.front() == '\t' || name.front() == '\n'))
        name.remove_prefix(1);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\n')) name.remove_suffix(1);
      const bool blank = declaration.find_first_not_of(" \t\n") == std::string_view::npos;
      if (!blank && !vx::iequals_ascii(name, "width")) {
        out.append(declaration);
        out += ';';
      }
      start = end + 1;
    }
  }
  char number[32];
  std::snprintf(number, sizeof number, "width:%.0fpx", width);
  return out + number;
}

}  // namespace

Node* Pointer::column_border_at(Node* target, float x, float y) const {
  Node* row = nullptr;
  for (Node* n = target; n && n->is_element(); n = n->parent) {
    if (n->tag_kind == TagKind::tr) {
      row = n;
      break;
    }
  }
  if (!row) return nullptr;
  const std::string* resize = attribute_value(row, atom_data_resize);
  if (!resize || *resize != "col") return nullptr;
  Node* last = nullptr;
  for (Node* c = first_real_child(row); c; c = next_real_sibling(c))
    if (c->is_element() && (c->tag_kind == TagKind::th || c->tag_kind == TagKind::td)) last = c;
  for (Node* c = first_real_child(row); c && c != last; c = next_real_sibling(c)) {
    if (!c->is_element() || (c->tag_kind != TagKind::th && c->tag_kind != TagKind::td) || !tree_.box_of(c)) continue;
    const Rect r = element_rect(c);
    const float edge = r.x + r.width;
    if (std::fabs(x - edge) <= column_grip && y >= r.y && y < r.y + r.height) return c;
  }
  return nullptr;
}

void Pointer::drag_column(float x) {
  Node* cell = alive(resizing_, resizing_serial_) ? resizing_ : nullptr;
  if (!cell) return;
  const float width = std::max(narrowest_column, std::round(resize_from_width_ + x - resize_from_x_));
  const std::string style = with_width(attribute_value(cell, atom_style), width);
  const std::string* old = attribute_value(cell, atom_style);
  if (old && *old == style) return;
  set_attribute(cell, "style", 5, style.data(), style.size());
  // The row hears of it at once, so the page can fit its other columns while the border moves.
  if (Node* row = cell->parent; row && row->is_element()) ostrel::fire(event_resize, row, {x, 0});
}

style::Cursor Pointer::cursor() const {
  if (resizing_ || on_column_border_) return style::Cursor::col_resize;
  Node* n = hovered();
  if (!n || !n->style) return style::Cursor::auto_;
  if (n->style->cursor == style::Cursor::auto_ && n->tag_kind == TagKind::input && n->control == ControlKind::text)
    return style::Cursor::text;
  return n->style->cursor;
}

TextEditor* Pointer::editor() const { return keyboard_ ? keyboard_->editor() : nullptr; }
SelectPopup* Pointer::popup() const { return keyboard_ ? keyboard_->popup() : nullptr; }

void Pointer::move(float x, float y, std::uint32_t modifiers) {
  if (TextEditor* e = editor(); e && e->selecting()) e->drag(x, y);
  if (dragging_) {
    drag_scroll_bar(y);
    return;
  }
  if (resizing_) {
    drag_column(x);
    return;
  }
  Node* target = target_at(x, y);
  on_column_border_ = column_border_at(target, x, y) != nullptr;
  set_hovered(target);
  if (SelectPopup* p = popup()) p->hover(target);
  fire(event_mousemove, target, x, y, 0, modifiers);
}

void Pointer::leave() { set_hovered(nullptr); }

void Pointer::down(int button, float x, float y, std::uint32_t modifiers, bool double_click) {
  Node* target = target_at(x, y);
  set_hovered(target);
  if (SelectPopup* p = popup(); p && p->press(target)) return;  // the open list's press, or the one that closes it
  if (button == 0 && press_scroll_bar(target, x, y)) return;    // the bar's, not the page's
  if (Node* cell = button == 0 ? column_border_at(target, x, y) : nullptr) {
    resizing_ = cell;
    resizing_serial_ = cell->serial;
    resize_from_x_ = x;
    resize_from_width_ = element_rect(cell).width;
    return;
  }
  if (button == 0) set_active(target && !is_disabled(target) ? target : nullptr);
  if (target && is_disabled(target)) return;  // a disabled control gets nothing
  const std::uint64_t serial = target ? target->serial : 0;
  const bool prevented = fire(event_mousedown, target, x, y, button, modifiers);
  // As in a browser, a page that prevents the press keeps focus where it was.
  if (keyboard_ && !prevented) keyboard_->focus_from_click(alive(target, serial) ? target : nullptr);
  if (target && !alive(target, serial)) return;
  if (SelectPopup* p = popup(); p && !prevented && button == 0 && is_select(target) && !is_disabled(target))
    p->open(target);
  if (TextEditor* e = editor(); e && !prevented && target && e->editing() == target) {
    if (button == 0) e->press(x, y, modifiers, double_click);
    if (button == 2) e->press_for_menu(x, y);
  }
  if (double_click && button == 0) fire(event_dblclick, target, x, y, button, modifiers);
}

Node* Pointer::context_menu(float x, float y, std::uint32_t modifiers) {
  Node* target = target_at(x, y);
  if (!target || is_disabled(target)) return nullptr;
  const std::uint64_t serial = target->serial;
  if (fire(event_contextmenu, target, x, y, 2, modifiers)) return nullptr;
  return alive(target, serial) ? target : nullptr;
}

void Pointer::up(int button, float x, float y, std::uint32_t modifiers) {
  if (TextEditor* e = editor(); e && button == 0) e->release();
  if ((dragging_ || resizing_) && button == 0) {
    dragging_ = resizing_ = nullptr;
    dragging_serial_ = resizing_serial_ = 0;
    return;
  }
  Node* target = target_at(x, y);
  Node* pressed = alive(pressed_, pressed_serial_) ? pressed_ : nullptr;
  if (button == 0) set_active(nullptr);
  if (SelectPopup* p = popup(); p && button == 0 && p->release(target)) return;
  if (!target || is_disabled(target)) return;
  fire(event_mouseup, target, x, y, button, modifiers);
  if (button != 0 || target != pressed) return;  // a click starts and ends on the same element
  activate(target, {x, y, 0, modifiers});
}

void Pointer::wheel(float delta, float x, float y, std::uint32_t modifiers) {
  Node* target = target_at(x, y);
  if (!target) return;
  // The wheel scrolls an open list under the pointer; anywhere else it closes the list first.
  if (SelectPopup* p = popup(); p && p->owner() && !p->holds(target)) p->close();
  if (fire(event_wheel, target, x, y, 0, modifiers, delta)) return;
  // The nearest scroll container that can still move that way scrolls; the page otherwise.
  for (Node* n = target; n && n->is_element(); n = n->parent) {
    const layout::Box* box = tree_.box_of(n);
    if (!box || !box->is_scroll_container()) continue;
    const float visible = box->height - box->border.vertical() - box->scrollbar_x;
    const float room = std::max(0.0f, box->content_height - visible);
    const float to = std::clamp(n->scroll.y - delta * line_height_px, 0.0f, room);
    if (to == n->scroll.y) continue;
    scroll_to(n, n->scroll.x, to);
    return;
  }
  if (const layout::Box* root = tree_.root(); root && root->scrollbar_y > 0 && root->node) {
    Node* page = root->node;
    const float room = std::max(0.0f, root->overflow.y + root->overflow.height - tree_.options().viewport_height);
    const float to = std::clamp(page->scroll.y - delta * line_height_px, 0.0f, room);
    if (to != page->scroll.y) scroll_to(page, page->scroll.x, to);
  }
}

void Pointer::cancel() {
  if (TextEditor* e = editor()) e->release();
  dragging_ = resizing_ = nullptr;
  dragging_serial_ = resizing_serial_ = 0;
  set_active(nullptr);
}

void Pointer::reset() {
  hovered_ = pressed_ = dragging_ = resizing_ = nullptr;
  hovered_serial_ = pressed_serial_ = dragging_serial_ = resizing_serial_ = 0;
  on_column_border_ = false;
}

}  // namespace ostrel
