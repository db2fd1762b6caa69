#include "src/select_popup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dom/events.h"
#include "ostrel/ostrel.h"
#include "src/controls.h"

namespace ostrel {
namespace {

constexpr char popup_class[] = "ui-select-popup";
constexpr char option_class[] = "ui-select-option";
constexpr char active_class[] = "active";
constexpr std::size_t page_step = 10;  // options the page keys move by

bool enabled(const Node* option) { return !(option->flags & flag_disabled); }

}  // namespace

std::vector<Node*> SelectPopup::choices(const Node* select) {
  std::vector<Node*> all = options_of(select);
  std::erase_if(all, [](const Node* o) { return !enabled(o); });
  return all;
}

Node* SelectPopup::popup() { return alive(popup_, popup_serial_) ? popup_ : nullptr; }

Node* SelectPopup::owner() {
  if (!owner_) return nullptr;
  Node* select = alive(owner_, owner_serial_) ? owner_ : nullptr;
  const bool shown = select && document_.root && is_inclusive_ancestor(document_.root, select) &&
                     !is_disabled(select) && tree_.box_of(select);
  if (shown && popup() && std::all_of(options_.begin(), options_.end(), [&](const Node* o) {
        return o->is_element() && o->tag_kind == TagKind::option && is_inclusive_ancestor(select, o);
      }))
    return select;
  close();  // its list went, or changed under it
  return nullptr;
}

void SelectPopup::open(Node* select) {
  close();
  if (!is_select(select) || is_disabled(select)) return;
  Node* root = document_root(&document_);
  const std::vector<Node*> options = options_of(select);
  if (!root || options.empty()) return;
  Node* list = create_element(&document_, "div", 3);
  if (!list) return;
  add_class(list, popup_class, sizeof popup_class - 1);
  const Node* chosen = selected_option(select);
  for (std::size_t i = 0; i < options.size(); ++i) {
    Node* item = create_element(&document_, "div", 3);
    if (!item || append_child(list, item) != status_ok) {
      remove(list);
      reset();
      return;
    }
    add_class(item, option_class, sizeof option_class - 1);
    const std::string label = option_label(options[i]);
    set_text_content(item, label.data(), label.size());
    items_.push_back(item);
    if (options[i] == chosen) active_ = i;
  }
  const Rect at = element_rect(select);
  char style[128];
  const int n =
      std::snprintf(style, sizeof style, "left:%gpx;top:%gpx;min-width:%gpx", at.x, at.y + at.height, at.width);
  set_attribute(list, "style", 5, style, static_cast<std::size_t>(n));
  // Beside the page's body, as the tooltip is: the page's own tree stays as it is.
  if (append_child(root, list) != status_ok) {
    remove(list);
    reset();
    return;
  }
  popup_ = list;
  popup_serial_ = list->serial;
  owner_ = select;
  owner_serial_ = select->serial;
  options_ = options;
  highlight(active_);
}

void SelectPopup::close() {
  if (Node* list = popup()) remove(list);
  reset();
}

bool SelectPopup::holds(const Node* target) {
  Node* list = popup();
  return list && target && is_inclusive_ancestor(list, target);
}

void SelectPopup::highlight(std::size_t index) {
  if (index >= items_.size()) return;
  if (active_ < items_.size()) remove_class(items_[active_], active_class, sizeof active_class - 1);
  active_ = index;
  add_class(items_[active_], active_class, sizeof active_class - 1);
  reveal_ = true;
}

void SelectPopup::choose(Node* select, Node* option) {
  close();
  if (!option || !enabled(option) || option == selected_option(select)) return;
  const std::uint64_t serial = select->serial;
  set_checked(option, true);
  fire(event_input, select);
  if (alive(select, serial)) fire(event_change, select);
}

bool SelectPopup::press(Node* target) {
  if (!owner()) return false;
  if (!holds(target)) close();  // a press anywhere else only closes it
  return true;
}

void SelectPopup::hover(Node* target) {
  if (!owner() || !holds(target)) return;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (is_inclusive_ancestor(items_[i], target) && enabled(options_[i]) && i != active_) highlight(i);
}

bool SelectPopup::release(Node* target) {
  Node* select = owner();
  if (!select || !holds(target)) return false;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (is_inclusive_ancestor(items_[i], target) && enabled(options_[i])) choose(select, options_[i]);
  return true;
}

bool SelectPopup::key_down(std::uint32_t key, std::uint32_t modifiers) {
  Node* select = owner();
  if (!select) return false;
  // The next or previous option that can be chosen, `steps` away at most.
  auto step = [&](bool forward, std::size_t steps) {
    std::size_t to = active_;
    for (std::size_t i = active_; steps > 0;) {
      if (forward ? i + 1 >= items_.size() : i == 0) break;
      i = forward ? i + 1 : i - 1;
      if (enabled(options_[i])) to = i, --steps;
    }
    if (to != active_) highlight(to);
  };
  const bool alt = modifiers & modifier_alt;
  switch (key) {
    case key_arrow_up:
    case key_arrow_down:
      if (alt) {
        close();
        return true;
      }
      step(key == key_arrow_down, 1);
      return true;
    case key_page_up:
      step(false, page_step);
      return true;
    case key_page_down:
      step(true, page_step);
      return true;
    case key_home:
      step(false, items_.size());
      return true;
    case key_end:
      step(true, items_.size());
      return true;
    case key_enter:
      choose(select, options_[active_]);
      return true;
    case key_tab:
      choose(select, options_[active_]);
      return false;  // Tab still moves focus
    case key_escape:
    case key_f4:
      close();
      return true;
    default:
      return false;
  }
}

bool SelectPopup::key_on_list(Node* select, std::uint32_t key, std::uint32_t modifiers) {
  if (!is_select(select) || is_disabled(select)) return false;
  const bool alt = modifiers & modifier_alt;
  if ((alt && (key == key_arrow_down || key == key_arrow_up)) || key == key_f4 || key == key_space ||
      key == key_enter) {
    open(select);
    return true;
  }
  if (alt || (key != key_arrow_up && key != key_arrow_down && key != key_home && key != key_end)) return false;
  const std::vector<Node*> can = choices(select);
  if (can.empty()) return true;
  const auto at = std::find(can.begin(), can.end(), selected_option(select));
  const std::size_t now = at == can.end() ? 0 : static_cast<std::size_t>(at - can.begin());
  std::size_t to = now;
  if (key == key_arrow_up && now > 0) to = now - 1;
  if (key == key_arrow_down && now + 1 < can.size()) to = now + 1;
  if (key == key_home) to = 0;
  if (key == key_end) to = can.size() - 1;
  choose(select, can[to]);
  return true;
}

void SelectPopup::fit(float view_width, float view_height) {
  Node* select = owner();
  Node* list = popup();
  if (!select || !list) return;
  const Rect at = element_rect(select);  // before box_of: it may lay out anew and free old boxes
  const layout::Box* box = tree_.box_of(list);
  if (!box) return;
  const float frame = box->border.vertical() + box->padding.vertical();
  const float natural = box->content_height + frame;
  const float below = view_height - (at.y + at.height), above = at.y;
  float top = at.y + at.height;
  float limit = -1;  // max-height of the content; none when it fits
  if (natural > below) {
    if (above > below) {
      const float room = std::min(natural, above);
      top = at.y - room;
      if (natural > above) limit = above - frame;
    } else {
      limit = below - frame;
    }
  }
  const float left = std::max(0.0f, std::min(at.x, view_width - box->width));
  // Its border box as wide as the list's, at least.
  const float min_width = std::max(0.0f, at.width - box->border.horizontal() - box->padding.horizontal());
  char style[160];
  const int n = limit >= 0
                    ? std::snprintf(style, sizeof style, "left:%gpx;top:%gpx;min-width:%gpx;max-height:%gpx", left, top,
                                    min_width, std::max(0.0f, limit))
                    : std::snprintf(style, sizeof style, "left:%gpx;top:%gpx;min-width:%gpx", left, top, min_width);
  const std::string* now = attribute_value(list, atom_style);
  if (!now || *now != std::string_view(style, static_cast<std::size_t>(n))) {
    set_attribute(list, "style", 5, style, static_cast<std::size_t>(n));
    return;  // placed anew: its highlight is brought into sight once laid out there
  }
  // The highlighted option in sight, once its place is known.
  const layout::Box* item = active_ < items_.size() ? tree_.box_of(items_[active_]) : nullptr;
  if (!reveal_ || !item) return;
  reveal_ = false;
  const float visible = box->height - frame - box->scrollbar_x;
  const float offset = item->y - box->content_y();
  const ScrollOffset scroll = scroll_position(list);
  if (offset < scroll.y)
    scroll_to(list, 0, offset);
  else if (offset + item->height > scroll.y + visible)
    scroll_to(list, 0, offset + item->height - visible);
}

void SelectPopup::reset() {
  owner_ = popup_ = nullptr;
  owner_serial_ = popup_serial_ = 0;
  options_.clear();
  items_.clear();
  active_ = 0;
  reveal_ = false;
}

}  // namespace ostrel
