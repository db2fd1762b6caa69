// Events: the type table, listener registration and dispatch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dom/dom.h"

namespace ostrel {

enum EventType : std::uint8_t {
  event_click = 1,
  event_dblclick,
  event_mousedown,
  event_mouseup,
  event_mousemove,
  event_mouseenter,
  event_mouseleave,
  event_wheel,
  event_keydown,
  event_keyup,
  event_input,
  event_change,
  event_focus,
  event_blur,
  event_scroll,
  event_resize,
  event_contextmenu,
  event_activate,
  event_deactivate,
  event_compositionstart,
  event_compositionupdate,
  event_compositionend,
};

// Exact, case-sensitive lookup of an event name.
std::optional<EventType> event_type_from_name(std::string_view name);
bool event_bubbles(EventType type);
// The name `on` takes for a type; empty for none.
std::string_view event_type_name(EventType type);

// Adds a listener; a second registration of the same (type, callback, data) is ignored.
void add_listener(Node* element, EventType type, EventCallback callback, void* user_data);

// Dispatches to the target and, for bubbling types, its ancestors (at most 256
// elements). Returns the default-prevented flag.
bool dispatch_event(Event& event);

// Largest number of elements one dispatch visits.
inline constexpr std::size_t max_event_path = 256;

}  // namespace ostrel

struct ostrel::Event {
  EventType type = event_click;
  Node* target = nullptr;
  Node* current_target = nullptr;
  bool stop_propagation = false;
  bool default_prevented = false;
  // Payload, by type.
  float x = 0, y = 0;           // mouse position in view coordinates (CSS px)
  int button = 0;               // 0 left, 1 middle, 2 right
  std::uint32_t modifiers = 0;  // shift 1, ctrl 2, alt 4
  float wheel_delta = 0;
  std::uint32_t key = 0;  // virtual-key code for keydown/keyup
  std::string text;       // input and composition text
};
