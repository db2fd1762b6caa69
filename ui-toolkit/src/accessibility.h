// What a view shows screen readers and automation: every element that means
// something to a user (a control, an image with a title, a table row, a tab,
// a run of text) as an accessible node with a role, a name, states and a
// rectangle. Nothing is kept: each answer is read from the document and its
// layout when a client asks, so an unused tree costs nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dom/dom.h"
#include "layout/box.h"

namespace ostrel::a11y {

enum class Role : std::uint8_t {
  grouping,  // a landmark or a focusable container
  static_text,
  button,
  check_box,
  radio_button,
  text_box,
  combo_box,
  link,
  graphic,
  list,
  list_item,
  table,
  row,
  cell,
  column_header,
  tab_list,
  tab,
  tab_panel,
  dialog,
  progress_bar,
};
std::string_view role_name(Role role);

enum State : std::uint32_t {
  state_unavailable = 1u << 0,
  state_selected = 1u << 1,
  state_focused = 1u << 2,
  state_checked = 1u << 3,
  state_mixed = 1u << 4,
  state_readonly = 1u << 5,
  state_invisible = 1u << 6,
  state_offscreen = 1u << 7,
  state_focusable = 1u << 8,
  state_selectable = 1u << 9,
  state_linked = 1u << 10,
  state_expanded = 1u << 11,
  state_collapsed = 1u << 12,
  state_protected = 1u << 13,
};
// "checked focusable", in bit order; empty for none.
std::string state_names(std::uint32_t states);

// Longest name or value handed out, in bytes: a row's name is its cells' text,
// and a container named by its content must not copy a whole page.
inline constexpr std::size_t max_text = 1000;

// Answers about the nodes of one document laid out by `layout`. Nodes passed
// in must be exposed ones (see `exposed`).
class Tree {
 public:
  Tree(const Document& document, const layout::LayoutTree& layout) : document_(document), layout_(layout) {}

  // Whether the node has a place of its own: an element with a role, or a
  // text not already part of its container's name.
  bool exposed(const Node* node) const;
  // Exposed nodes just below `parent` in document order, the elements without
  // a role in between looked through; null asks for the top level.
  void children(const Node* parent, std::vector<Node*>& out) const;
  // The nearest exposed ancestor; null at the top level.
  Node* parent(const Node* node) const;
  // The node itself when exposed, else its nearest exposed ancestor: where a
  // change to it, its focus or a hit on it shows.
  Node* shown_as(Node* node) const { return !node || exposed(node) ? node : parent(node); }

  Role role(const Node* node) const;
  std::string name(const Node* node) const;
  std::string value(const Node* node) const;
  std::string description(const Node* node) const;  // a title the name does not already give
  std::uint32_t states(const Node* node) const;
  // The border box in view coordinates (CSS px, scrolled); none when the node has no box.
  std::optional<Rect> bounds(const Node* node) const;
  // "Press", "Check", "Jump"…; empty when the node does nothing.
  std::string_view default_action(const Node* node) const;
  // The exposed node under a point in view coordinates; null for none.
  Node* at(float x, float y) const;

  // The tree as indented lines: role "name" [states] (x, y, width, height);
  // from the top level, or `from` and what lies below it.
  std::string dump(Node* from = nullptr) const;

 private:
  std::optional<Role> element_role(const Node* element) const;
  bool names_from_content(const Node* element) const;
  bool shown(const Node* node) const;

  const Document& document_;
  const layout::LayoutTree& layout_;
};

// The rectangle clients get, in whole device pixels: `rect` in CSS px scaled
// and moved to `origin` (the view's client corner on the screen).
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
};
PixelRect to_pixels(const Rect& rect, float scale, int origin_x, int origin_y);

}  // namespace ostrel::a11y
