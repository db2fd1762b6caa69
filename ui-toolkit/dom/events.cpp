#include "dom/events.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace ostrel {
namespace {

struct EventName {
  std::string_view name;
  EventType type;
  bool bubbles;
};

// Sorted by name for the binary search.
constexpr EventName event_names[] = {
    {"activate", event_activate, false},
    {"blur", event_blur, false},
    {"change", event_change, true},
    {"click", event_click, true},
    {"compositionend", event_compositionend, true},
    {"compositionstart", event_compositionstart, true},
    {"compositionupdate", event_compositionupdate, true},
    {"contextmenu", event_contextmenu, true},
    {"dblclick", event_dblclick, true},
    {"deactivate", event_deactivate, false},
    {"focus", event_focus, false},
    {"input", event_input, true},
    {"keydown", event_keydown, true},
    {"keyup", event_keyup, true},
    {"mousedown", event_mousedown, true},
    {"mouseenter", event_mouseenter, false},
    {"mouseleave", event_mouseleave, false},
    {"mousemove", event_mousemove, true},
    {"mouseup", event_mouseup, true},
    {"resize", event_resize, true},
    {"scroll", event_scroll, false},
    {"wheel", event_wheel, true},
};

static_assert(std::is_sorted(std::begin(event_names), std::end(event_names),
                             [](const EventName& a, const EventName& b) { return a.name < b.name; }));

}  // namespace

std::optional<EventType> event_type_from_name(std::string_view name) {
  auto it = std::lower_bound(std::begin(event_names), std::end(event_names), name,
                             [](const EventName& e, std::string_view n) { return e.name < n; });
  if (it == std::end(event_names) || it->name != name) return std::nullopt;
  return it->type;
}

std::string_view event_type_name(EventType type) {
  for (const EventName& e : event_names)
    if (e.type == type) return e.name;
  return {};
}

bool event_bubbles(EventType type) {
  for (const EventName& e : event_names)
    if (e.type == type) return e.bubbles;
  return false;
}

void add_listener(Node* element, EventType type, EventCallback callback, void* user_data) {
  for (const Listener& l : element->listeners)
    if (!l.removed && l.type == type && l.callback == callback && l.user_data == user_data) return;
  element->listeners.push_back({type, false, callback, user_data});
}

bool dispatch_event(Event& event) {
  // A hit on generated content is a hit on the element that generated it.
  event.target = host_element(event.target);
  Node* target = event.target;
  if (!target || !target->is_element()) return false;
  Document* doc = target->document;
  ++doc->dispatch_depth;

  std::array<Node*, max_event_path> path;
  std::size_t count = 0;
  if (event_bubbles(event.type)) {
    for (Node* n = target; n && n->is_element() && count < path.size(); n = n->parent) path[count++] = n;
  } else {
    path[count++] = target;
  }

  for (std::size_t i = 0; i < count && !event.stop_propagation; ++i) {
    Node* element = path[i];
    event.current_target = element;
    // Listeners added during the dispatch wait for the next event; index, not
    // iterator, because a callback may add listeners and grow the vector.
    const std::size_t registered = element->listeners.size();
    for (std::size_t k = 0; k < registered && k < element->listeners.size(); ++k) {
      const Listener l = element->listeners[k];
      if (l.removed || l.type != event.type) continue;
      l.callback(&event, l.user_data);
    }
  }

  for (std::size_t i = 0; i < count; ++i) {
    auto& listeners = path[i]->listeners;
    listeners.erase(std::remove_if(listeners.begin(), listeners.end(), [](const Listener& l) { return l.removed; }),
                    listeners.end());
  }
  doc->end_dispatch();
  return event.default_prevented;
}

}  // namespace ostrel
