#include "src/pointer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "dom/events.h"
#include "ostrel/ostrel.h"
#include "paint/display_list.h"
#include "src/controls.h"
#include "src/keyboard.h"

namespace ostrel {
namespace {

constexpr float line_height_px = 40;  // one wheel notch scrolls about three lines

}  // namespace

bool Pointer::alive(Node* node, std::uint64_t serial) const {
  return node && node->type == NodeType::element && node->serial == serial;
}

Node* Pointer::target_at(float x, float y) const {
  return host_element(paint::hit_test(tree_, x, y));
}

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
  const layout::Box* box = tree.box_of(element);
  if (!box) return std::nullopt;
  const Rect at = element_rect(element);  // after the scrolling of its ancestors
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
      ostrel::fire(event_scroll, n, {x, y});
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
  ostrel::fire(event_scroll, n, {0, y});
}

void Pointer::move(float x, float y, std::uint32_t modifiers) {
  if (dragging_) {
    drag_scroll_bar(y);
    return;
  }
  Node* target = target_at(x, y);
  set_hovered(target);
  fire(event_mousemove, target, x, y, 0, modifiers);
}

void Pointer::leave() { set_hovered(nullptr); }

void Pointer::down(int button, float x, float y, std::uint32_t modifiers, bool double_click) {
  Node* target = target_at(x, y);
  set_hovered(target);
  if (button == 0 && press_scroll_bar(target, x, y)) return;  // the bar's, not the page's
  if (button == 0) set_active(target && !is_disabled(target) ? target : nullptr);
  if (target && is_disabled(target)) return;  // a disabled control gets nothing
  const std::uint64_t serial = target ? target->serial : 0;
  const bool prevented = fire(event_mousedown, target, x, y, button, modifiers);
  // As in a browser, a page that prevents the press keeps focus where it was.
  if (keyboard_ && !prevented) keyboard_->focus_from_click(alive(target, serial) ? target : nullptr);
  if (target && !alive(target, serial)) return;
  if (double_click && button == 0) fire(event_dblclick, target, x, y, button, modifiers);
}

void Pointer::up(int button, float x, float y, std::uint32_t modifiers) {
  if (dragging_ && button == 0) {
    dragging_ = nullptr;
    dragging_serial_ = 0;
    return;
  }
  Node* target = target_at(x, y);
  Node* pressed = alive(pressed_, pressed_serial_) ? pressed_ : nullptr;
  if (button == 0) set_active(nullptr);
  if (!target || is_disabled(target)) return;
  fire(event_mouseup, target, x, y, button, modifiers);
  if (button != 0 || target != pressed) return;  // a click starts and ends on the same element
  activate(target, {x, y, 0, modifiers});
}

void Pointer::wheel(float delta, float x, float y, std::uint32_t modifiers) {
  Node* target = target_at(x, y);
  if (!target) return;
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
    fire(event_scroll, n, x, y, 0, modifiers);
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
  dragging_ = nullptr;
  dragging_serial_ = 0;
  set_active(nullptr);
}

void Pointer::reset() {
  hovered_ = pressed_ = dragging_ = nullptr;
  hovered_serial_ = pressed_serial_ = dragging_serial_ = 0;
}

}  // namespace ostrel
