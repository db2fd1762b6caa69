#include "src/controls.h"

#include <charconv>

#include "ostrel/ostrel.h"

namespace ostrel {

// The tabindex attribute as an integer; none when absent or not a number.
std::optional<int> tab_index(const Node* element) {
  const std::string* value = attribute_value(element, atom_tabindex);
  if (!value) return std::nullopt;
  std::string_view s = *value;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n')) s.remove_prefix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int n = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (error != std::errc() || end == s.data()) return std::nullopt;
  return n;
}

static bool naturally_focusable(const Node* element) {
  switch (element->tag_kind) {
    case TagKind::input:
    case TagKind::button:
    case TagKind::select:
    case TagKind::textarea:
      return true;
    case TagKind::a:
      return find_attribute(element, atom_href) != nullptr;
    default:
      return false;
  }
}

bool can_take_focus(const Node* element) {
  if (!element || !element->is_element() || element->is_pseudo() || is_disabled(element)) return false;
  return tab_index(element).has_value() || naturally_focusable(element);
}

bool is_disabled(const Node* element) {
  for (const Node* n = element; n && n->is_element(); n = n->parent)
    if (n->flags & flag_disabled) return true;
  return false;
}

bool fire(EventType type, Node* target, const EventInit& init) {
  if (!target) return false;
  Event event;
  event.type = type;
  event.target = target;
  event.x = init.x;
  event.y = init.y;
  event.button = init.button;
  event.modifiers = init.modifiers;
  event.wheel_delta = init.wheel_delta;
  event.key = init.key;
  event.text = init.text;
  return dispatch_event(event);
}

void set_chain_flag(Document& document, Node* from, std::uint32_t flag, bool on) {
  for (Node* n = from; n && n->is_element(); n = n->parent) {
    const std::uint32_t before = n->flags;
    n->flags = on ? (n->flags | flag) : (n->flags & ~flag);
    if (n->flags != before) document.invalidate(n, flag_needs_restyle | flag_needs_paint);
  }
}

void activate(Node* target, const EventInit& init) {
  if (!target || !target->is_element() || is_disabled(target)) return;
  const std::uint64_t serial = target->serial;
  const bool prevented = fire(event_click, target, init);
  const bool still_there = target->type == NodeType::element && target->serial == serial && target->parent;
  if (prevented || !still_there || target->tag_kind != TagKind::input ||
      (target->control != ControlKind::checkbox && target->control != ControlKind::radio))
    return;
  const bool was = (target->flags & flag_checked) != 0;
  if (target->control == ControlKind::radio && was) return;  // a checked radio stays checked
  set_checked(target, !was);
  fire(event_change, target, init);
}

}  // namespace ostrel
