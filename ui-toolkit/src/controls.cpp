#include "src/controls.h"

#include "ostrel/ostrel.h"

namespace ostrel {

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
