// A drop-down list's open list, without the window: a "ui-select-popup"
// element added to the root with one "ui-select-option" per option, under the
// list (or above it when there is more room there, with a max-height when it
// does not fit), the highlighted option marked "active". Choosing an option
// selects it and sends "input" and "change" to the list.
#pragma once

#include <cstdint>
#include <vector>

#include "dom/dom.h"
#include "layout/box.h"
#include "src/controls.h"

namespace ostrel {

class SelectPopup {
 public:
  SelectPopup(Document& document, const layout::LayoutTree& tree) : document_(document), tree_(tree) {}

  // The list whose options show; null when closed.
  Node* owner();
  void open(Node* select);
  void close();

  // The mouse while it is open. A press outside closes it; a release on an
  // option chooses that one. Both return whether the event was the pop-up's.
  bool press(Node* target);
  void hover(Node* target);
  bool release(Node* target);

  // Keys while it is open: arrows, Home, End and the page keys move the
  // highlight, Enter or Tab choose it, Escape closes. Returns whether the
  // key was the pop-up's.
  bool key_down(std::uint32_t key, std::uint32_t modifiers);
  // Keys on a focused, closed list: arrows, Home and End choose the next
  // option at once; Alt+Down, F4, Space and Enter open it.
  bool key_on_list(Node* select, std::uint32_t key, std::uint32_t modifiers);

  // After layout: keeps the pop-up inside the view and its highlight in
  // sight. It may change the pop-up's style, which asks for another frame.
  void fit(float view_width, float view_height);

  // Whether `target` is part of the open pop-up.
  bool holds(const Node* target);

  void reset();  // forgets nodes of an old document

 private:
  Node* popup();
  void highlight(std::size_t index);
  void choose(Node* select, Node* option);
  // Options that can be chosen (not disabled), in order.
  static std::vector<Node*> choices(const Node* select);

  Document& document_;
  const layout::LayoutTree& tree_;
  Node* owner_ = nullptr;
  std::uint64_t owner_serial_ = 0;
  Node* popup_ = nullptr;
  std::uint64_t popup_serial_ = 0;
  std::vector<Node*> options_;  // the list's options when it opened, by item
  std::vector<Node*> items_;    // the pop-up's "ui-select-option" elements
  std::size_t active_ = 0;
  bool reveal_ = false;  // the highlight moved: scroll it into sight
};

}  // namespace ostrel
