#include "src/keyboard.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <optional>
#include <string>

#include "src/controls.h"
#include "src/select_popup.h"
#include "src/text_box.h"

namespace ostrel {
namespace {

bool connected(const Document& document, const Node* node) {
  return document.root && is_inclusive_ancestor(document.root, node);
}

// Buttons in all their forms: Enter works them as well as Space.
bool is_button(const Node* element) {
  return element->tag_kind == TagKind::button ||
         (element->tag_kind == TagKind::input && element->control == ControlKind::button);
}

bool space_works(const Node* element) {
  return is_button(element) || (element->tag_kind == TagKind::input &&
                                (element->control == ControlKind::checkbox || element->control == ControlKind::radio));
}

}  // namespace

bool Keyboard::focusable(const Node* element) const {
  return can_take_focus(element) && tree_.box_of(element);  // no box: display:none here or above
}

Node* Keyboard::focused() {
  if (!focused_) return nullptr;
  if (alive(focused_, focused_serial_) && connected(document_, focused_) && !is_disabled(focused_) &&
      tree_.box_of(focused_))
    return focused_;
  // It went without a blur (removed, hidden or disabled): only the state is left to clear.
  if (alive(focused_, focused_serial_) && (focused_->flags & flag_focus)) {
    focused_->flags &= ~flag_focus;
    document_.invalidate(focused_, flag_needs_restyle | flag_needs_paint);
  }
  focused_ = nullptr;
  focused_serial_ = 0;
  return nullptr;
}

void Keyboard::focus(Node* element) { move_focus(element, false); }

void Keyboard::move_focus(Node* element, bool by_keyboard) {
  if (element && !focusable(element)) return;
  Node* old = focused();
  if (old == element) return;
  release_space();
  const std::uint64_t serial = element ? element->serial : 0;
  if (editor_) {
    editor_->focus_moving(old, element, by_keyboard);  // a "change" listener may move focus itself
    if (focused() != old || (element && !alive(element, serial))) return;
  }
  focused_ = element;
  focused_serial_ = element ? element->serial : 0;
  if (old) {
    old->flags &= ~flag_focus;
    document_.invalidate(old, flag_needs_restyle | flag_needs_paint);
  }
  if (element) {
    element->flags |= flag_focus;
    document_.invalidate(element, flag_needs_restyle | flag_needs_paint);
    document_.tell_accessibility(element, AccessibleChange::focus);
  }
  // A blur listener may move focus itself; the focus event is then stale.
  if (old) fire(event_blur, old);
  if (element && focused_ == element && alive(element, focused_serial_)) fire(event_focus, element);
}

void Keyboard::focus_from_click(Node* target) {
  for (Node* n = target; n && n->is_element(); n = n->parent) {
    if (focusable(n)) {
      focus(n);
      return;
    }
  }
  focus(nullptr);
}

std::vector<Node*> Keyboard::tab_order() const {
  std::vector<std::pair<int, Node*>> found;
  std::vector<Node*> stack;
  if (document_.root) stack.push_back(document_.root);
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (!n->is_element() || !tree_.box_of(n)) continue;  // nothing under a hidden element is shown
    if (focusable(n)) {
      const int index = tab_index(n).value_or(0);
      if (index >= 0) found.emplace_back(index > 0 ? index : INT_MAX, n);
    }
    for (Node* c = n->last_child; c; c = c->prev) stack.push_back(c);
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Node*> order;
  order.reserve(found.size());
  for (const auto& [index, n] : found) order.push_back(n);
  return order;
}

void Keyboard::tab(bool backwards) {
  const std::vector<Node*> order = tab_order();
  if (order.empty()) return;
  Node* current = focused();
  const auto at = std::find(order.begin(), order.end(), current);
  std::size_t next;
  if (at == order.end()) {
    next = backwards ? order.size() - 1 : 0;
  } else {
    const std::size_t i = static_cast<std::size_t>(at - order.begin());
    next = backwards ? (i + order.size() - 1) % order.size() : (i + 1) % order.size();
  }
  move_focus(order[next], true);
}

Node* Keyboard::key_target() {
  if (Node* f = focused()) return f;
  return document_.body ? document_.body : document_.root;
}

void Keyboard::release_space() {
  if (alive(space_, space_serial_)) set_chain_flag(document_, space_, flag_active, false);
  space_ = nullptr;
  space_serial_ = 0;
}

void Keyboard::key_down(std::uint32_t key, std::uint32_t modifiers) {
  // An open drop-down list takes the keys it knows before the page does.
  if (popup_ && popup_->owner() && popup_->key_down(key, modifiers)) {
    typing_allowed_ = false;
    return;
  }
  Node* target = key_target();
  if (!target) return;
  typing_allowed_ = !fire(event_keydown, target, {.modifiers = modifiers, .key = key});
  if (!typing_allowed_) return;
  if (key == key_tab && !(modifiers & (modifier_ctrl | modifier_alt))) {
    tab((modifiers & modifier_shift) != 0);
    return;
  }
  Node* f = focused();  // the listener may have moved it
  if (!f || is_disabled(f)) return;
  if (editor_ && editor_->key_down(key, modifiers)) return;
  if (popup_ && popup_->key_on_list(f, key, modifiers)) return;
  if (key == key_enter && (is_button(f) || f->tag_kind == TagKind::a)) {
    activate(f, {.modifiers = modifiers});
  } else if (key == key_space && space_works(f) && !alive(space_, space_serial_)) {
    // Pressed now, worked on release, as a mouse button would be.
    space_ = f;
    space_serial_ = f->serial;
    set_chain_flag(document_, f, flag_active, true);
  }
}

void Keyboard::key_up(std::uint32_t key, std::uint32_t modifiers) {
  Node* target = key_target();
  const bool prevented = target && fire(event_keyup, target, {.modifiers = modifiers, .key = key});
  if (key != key_space) return;
  Node* pressed = alive(space_, space_serial_) ? space_ : nullptr;
  release_space();
  if (!prevented && pressed && pressed == focused()) activate(pressed, {.modifiers = modifiers});
}

void Keyboard::characters(std::string_view utf8) {
  if (editor_ && typing_allowed_) editor_->type(utf8);
}

Node* Keyboard::context_menu(const Rect& at) {
  Node* target = key_target();
  if (!target || is_disabled(target)) return nullptr;
  const std::uint64_t serial = target->serial;
  if (fire(event_contextmenu, target, {.x = at.x, .y = at.y, .button = 2})) return nullptr;
  return alive(target, serial) ? target : nullptr;
}

void Keyboard::reset() {
  focused_ = space_ = nullptr;
  focused_serial_ = space_serial_ = 0;
}

}  // namespace ostrel
