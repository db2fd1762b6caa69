#include "src/tooltip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ostrel/ostrel.h"
#include "src/controls.h"

namespace ostrel {
namespace {

constexpr char tooltip_class[] = "ui-tooltip";

const std::string* title_of(const Node* element) {
  const std::string* title = attribute_value(element, atom_title);
  return title && !title->empty() ? title : nullptr;
}

}  // namespace

Node* Tooltip::owner() const {
  if (!alive(owner_, owner_serial_) || !document_.root || !is_inclusive_ancestor(document_.root, owner_))
    return nullptr;
  return owner_;
}

Node* Tooltip::shown() { return alive(tip_, tip_serial_) ? tip_ : nullptr; }

void Tooltip::pointer_at(Node* target, float x, float y, double now) {
  // The nearest element with a title speaks for what is under the pointer.
  Node* found = nullptr;
  for (Node* n = target; n && n->is_element(); n = n->parent) {
    if (n == tip_) return;  // never its own owner
    if (title_of(n)) {
      found = n;
      break;
    }
  }
  if (found && found == owner()) return;  // resting on the same one: as it was
  hide();
  if (!found) return;
  owner_ = found;
  owner_serial_ = found->serial;
  x_ = x;
  y_ = y;
  due_ = now + delay_seconds;
}

void Tooltip::hide() {
  if (Node* tip = shown()) remove(tip);
  tip_ = owner_ = nullptr;
  tip_serial_ = owner_serial_ = 0;
  text_.clear();
}

void Tooltip::place(float left, float top) {
  char style[96];
  const int n = std::snprintf(style, sizeof style, "left:%gpx;top:%gpx", left, top);
  set_attribute(tip_, "style", 5, style, static_cast<std::size_t>(n));
}

std::optional<double> Tooltip::update(double now) {
  Node* owner_now = owner();
  const std::string* title = owner_now ? title_of(owner_now) : nullptr;
  if (!title) {
    if (owner_ || tip_) hide();
    return std::nullopt;
  }
  if (Node* tip = shown()) {
    if (*title != text_) {  // the title changed while it shows
      text_ = *title;
      set_text_content(tip, text_.data(), text_.size());
    }
    return std::nullopt;
  }
  if (now < due_) return due_ - now;
  Node* root = document_root(&document_);
  Node* tip = root ? create_element(&document_, "div", 3) : nullptr;
  if (!tip) return std::nullopt;
  text_ = *title;
  add_class(tip, tooltip_class, sizeof tooltip_class - 1);
  set_text_content(tip, text_.data(), text_.size());
  // Beside the page's body rather than in it, so the page's own children stay as they are.
  if (append_child(root, tip) != status_ok) {
    remove(tip);
    return std::nullopt;
  }
  tip_ = tip;
  tip_serial_ = tip->serial;
  place(x_, y_ + below_pointer);
  return std::nullopt;
}

void Tooltip::fit(const layout::LayoutTree& tree, float width, float height) {
  Node* tip = shown();
  const layout::Box* box = tip ? tree.box_of(tip) : nullptr;
  if (!box) return;
  float left = box->x, top = box->y;
  if (left + box->width > width) left = std::max(0.0f, width - box->width);
  // No room below: above the pointer instead.
  if (top + box->height > height) top = std::max(0.0f, y_ - box->height - 4);
  // Half a pixel of slack: the style rounds, and a tooltip in place must not restyle every frame.
  if (std::fabs(left - box->x) > 0.5f || std::fabs(top - box->y) > 0.5f) place(left, top);
}

void Tooltip::reset() {
  tip_ = owner_ = nullptr;
  tip_serial_ = owner_serial_ = 0;
  text_.clear();
}

}  // namespace ostrel
