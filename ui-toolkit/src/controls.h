// What mouse and keyboard share: events with a payload, disabled controls,
// and the click with its default action.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "dom/events.h"

namespace ostrel {

// The virtual-key codes the toolkit acts on itself; key events carry every code as given.
inline constexpr std::uint32_t key_backspace = 0x08, key_tab = 0x09, key_enter = 0x0D, key_escape = 0x1B,
                               key_space = 0x20, key_page_up = 0x21, key_page_down = 0x22, key_end = 0x23,
                               key_home = 0x24, key_left = 0x25, key_arrow_up = 0x26, key_right = 0x27,
                               key_arrow_down = 0x28, key_insert = 0x2D, key_delete = 0x2E, key_f4 = 0x73;

// Modifier bits of event payloads.
inline constexpr std::uint32_t modifier_shift = 1, modifier_ctrl = 2, modifier_alt = 4;

// Whether `node` is still the element it was when `serial` was taken (nodes are recycled).
inline bool alive(const Node* node, std::uint64_t serial) {
  return node && node->type == NodeType::element && node->serial == serial;
}

// Whether the element or an ancestor is disabled: such a control gets no input.
bool is_disabled(const Node* element);

// The tabindex attribute as an integer; none when absent or not a number.
std::optional<int> tab_index(const Node* element);
// Whether the element takes focus once shown: a control, a link with an
// address, or any element with a tabindex, when not disabled.
bool can_take_focus(const Node* element);

struct EventInit {
  float x = 0, y = 0;
  int button = 0;
  std::uint32_t modifiers = 0;
  float wheel_delta = 0;
  std::uint32_t key = 0;
  std::string_view text = {};
};

// Dispatches one event; returns whether a listener prevented its default.
bool fire(EventType type, Node* target, const EventInit& init = {});

// Sets or clears a state flag on the element and its ancestors, as :hover and
// :active cover them.
void set_chain_flag(Document& document, Node* from, std::uint32_t flag, bool on);

// A click on `target`, then (unless a listener prevented it, or removed the
// element) the control's default action: a check box toggles, a radio
// becomes checked, and either sends "change".
void activate(Node* target, const EventInit& init);

}  // namespace ostrel
