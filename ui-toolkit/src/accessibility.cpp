#include "src/accessibility.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "paint/display_list.h"
#include "src/controls.h"

namespace ostrel::a11y {

namespace {

constexpr std::array<std::string_view, 20> role_names = {
    "grouping",      "text",     "button", "check box", "radio button", "text box",     "combo box",
    "link",          "image",    "list",   "list item", "table",        "row",          "cell",
    "column header", "tab list", "tab",    "tab panel", "dialog",       "progress bar",
};
static_assert(role_names.size() == static_cast<std::size_t>(Role::progress_bar) + 1);

constexpr std::array<std::string_view, 14> state_words = {
    "unavailable", "selected",  "focused",    "checked", "mixed",    "readonly",  "invisible",
    "offscreen",   "focusable", "selectable", "linked",  "expanded", "collapsed", "protected",
};

// ARIA roles the toolkit maps; "presentation" and "none" take the element out.
struct AriaRole {
  std::string_view name;
  std::optional<Role> role;
};
constexpr AriaRole aria_roles[] = {
    {"button", Role::button},
    {"cell", Role::cell},
    {"checkbox", Role::check_box},
    {"columnheader", Role::column_header},
    {"combobox", Role::combo_box},
    {"dialog", Role::dialog},
    {"grid", Role::table},
    {"gridcell", Role::cell},
    {"group", Role::grouping},
    {"img", Role::graphic},
    {"link", Role::link},
    {"list", Role::list},
    {"listbox", Role::list},
    {"listitem", Role::list_item},
    {"main", Role::grouping},
    {"none", std::nullopt},
    {"option", Role::list_item},
    {"presentation", std::nullopt},
    {"progressbar", Role::progress_bar},
    {"radio", Role::radio_button},
    {"region", Role::grouping},
    {"row", Role::row},
    {"tab", Role::tab},
    {"table", Role::table},
    {"tablist", Role::tab_list},
    {"tabpanel", Role::tab_panel},
    {"textbox", Role::text_box},
};

bool attribute_is(const Node* element, Atom name, std::string_view value) {
  const std::string* v = attribute_value(element, name);
  return v && *v == value;
}

bool has_text(const Node* element, Atom name) {
  const std::string* v = attribute_value(element, name);
  return v && v->find_first_not_of(" \t\n\r\f") != std::string::npos;
}

// Cut at a character boundary so a long name stays valid UTF-8.
void clip_utf8(std::string& s, std::size_t limit) {
  if (s.size() <= limit) return;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
}

// Text as it shows on screen, a name stopping past max_text.
void append_collapsed(std::string& out, std::string_view text) { append_collapsed_space(out, text, max_text); }

std::string finish(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  clip_utf8(s, max_text);
  return s;
}

bool hidden_from_readers(const Node* element) {
  return attribute_is(element, atom_aria_hidden, "true") || !element->style ||
         element->style->display == style::Display::none;
}

// Words apart on screen stay apart: blocks, cells and the spans pages use
// as labels begin a word; only emphasis runs on.
void begin_word(const Node* element, std::string& out) {
  const TagKind k = element->tag_kind;
  const bool joins = element->style->display == style::Display::inline_ &&
                     (k == TagKind::b || k == TagKind::strong || k == TagKind::i || k == TagKind::em ||
                      k == TagKind::small || k == TagKind::code || k == TagKind::a);
  if (!joins && !out.empty() && out.back() != ' ') out += ' ';
}

// The text a user sees inside `node`: shown descendants' text, image alt
// texts, and a space where a block or cell begins.
void content_text(const Node* node, std::string& out) {
  std::vector<const Node*> stack;
  for (const Node* c = node->last_child; c; c = c->prev) stack.push_back(c);
  while (!stack.empty() && out.size() <= max_text) {
    const Node* n = stack.back();
    stack.pop_back();
    if (n->is_text()) {
      append_collapsed(out, n->text);
      continue;
    }
    if (!n->is_element() || n->is_pseudo() || hidden_from_readers(n)) continue;
    begin_word(n, out);
    if (n->tag_kind == TagKind::img) {
      if (const std::string* alt = attribute_value(n, atom_alt)) append_collapsed(out, *alt);
      continue;
    }
    for (const Node* c = n->last_child; c; c = c->prev) stack.push_back(c);
  }
}

bool is_control(const Node* n) {
  return n->is_element() && (n->tag_kind == TagKind::input || n->tag_kind == TagKind::select ||
                             n->tag_kind == TagKind::button || n->tag_kind == TagKind::textarea);
}

// A control's label: an enclosing <label>, a <label for> naming its id, or
// else the text that follows it up to the next control, as a check box and
// the words beside it read together.
std::string label_of(const Document& document, const Node* control) {
  std::string out;
  for (const Node* p = control->parent; p && p->is_element(); p = p->parent)
    if (p->tag_kind == TagKind::label) {
      content_text(p, out);
      return finish(std::move(out));
    }
  if (const std::string* id = attribute_value(control, atom_id); id && !id->empty() && document.root) {
    std::vector<const Node*> stack{document.root};
    while (!stack.empty()) {
      const Node* n = stack.back();
      stack.pop_back();
      if (n->tag_kind == TagKind::label && attribute_is(n, atom_for, *id)) {
        content_text(n, out);
        return finish(std::move(out));
      }
      for (const Node* c = n->first_child; c; c = c->next)
        if (c->is_element()) stack.push_back(c);
    }
  }
  if (control->control != ControlKind::checkbox && control->control != ControlKind::radio) return {};
  for (const Node* s = control->next; s && out.size() <= max_text; s = s->next) {
    if (is_control(s)) break;
    if (s->is_text()) {
      append_collapsed(out, s->text);
    } else if (s->is_element() && !s->is_pseudo() && !hidden_from_readers(s)) {
      if (s->tag_kind == TagKind::img) continue;  // an icon beside the words names nothing
      begin_word(s, out);
      content_text(s, out);
    }
  }
  return finish(std::move(out));
}

// Text inside a <label> that holds its control is that control's name, not
// text of its own (below `stop`, the node whose children are asked for).
bool in_control_label(const Node* text, const Node* stop) {
  for (const Node* p = text->parent; p && p != stop && p->is_element(); p = p->parent) {
    if (p->tag_kind != TagKind::label) continue;
    for (const Node* n = p->first_child; n;) {
      if (is_control(n)) return true;
      if (n->first_child) {
        n = n->first_child;
        continue;
      }
      while (n && n != p && !n->next) n = n->parent;
      n = n && n != p ? n->next : nullptr;
    }
  }
  return false;
}

// A box's checked or mixed state: aria-checked where the page gives it, else the box's own.
std::uint32_t check_state(const Node* box) {
  const std::string* aria = attribute_value(box, atom_aria_checked);
  if (aria && *aria == "mixed") return std::uint32_t{state_mixed};
  const bool checked = aria ? *aria == "true" : (box->flags & flag_checked) != 0;
  return checked ? std::uint32_t{state_checked} : 0u;
}

bool listens_for_clicks(const Node* element) {
  for (const Listener& l : element->listeners)
    if (!l.removed && (l.type == event_click || l.type == event_mousedown)) return true;
  return false;
}

// Someone acts on a click here: the element or, as lists delegate, one of its near ancestors.
bool clickable(const Node* element) {
  int depth = 0;
  for (const Node* n = element; n && n->is_element() && depth < 16; n = n->parent, ++depth)
    if (listens_for_clicks(n)) return true;
  return false;
}

bool blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return is_html_space(c); });
}

struct Rectf {
  float left, top, right, bottom;
};

}  // namespace

std::string_view role_name(Role role) { return role_names[static_cast<std::size_t>(role)]; }

std::string state_names(std::uint32_t states) {
  std::string out;
  for (std::size_t i = 0; i < state_words.size(); ++i)
    if (states & (1u << i)) {
      if (!out.empty()) out += ' ';
      out += state_words[i];
    }
  return out;
}

std::optional<Role> Tree::element_role(const Node* e) const {
  if (e->is_pseudo() || attribute_is(e, atom_aria_hidden, "true")) return std::nullopt;
  if (const std::string* aria = attribute_value(e, atom_role)) {
    // The first word the toolkit knows wins, as a browser reads a role list.
    std::string_view words = *aria;
    while (!words.empty()) {
      const std::size_t space = words.find(' ');
      const std::string_view word = words.substr(0, space);
      for (const AriaRole& r : aria_roles)
        if (r.name == word) return r.role;
      if (space == std::string_view::npos) break;
      words.remove_prefix(space + 1);
    }
  }
  switch (e->tag_kind) {
    case TagKind::button:
      return Role::button;
    case TagKind::input:
      switch (e->control) {
        case ControlKind::checkbox:
          return Role::check_box;
        case ControlKind::radio:
          return Role::radio_button;
        case ControlKind::text:
          return Role::text_box;
        case ControlKind::button:
          return Role::button;
        case ControlKind::none:
          return std::nullopt;  // type=hidden and the like
      }
      return std::nullopt;
    case TagKind::textarea:
      return Role::text_box;
    case TagKind::select:
      return Role::combo_box;
    case TagKind::option:
      return Role::list_item;
    case TagKind::a:
      if (find_attribute(e, atom_href)) return Role::link;
      break;
    case TagKind::img:
      // An image without alt text or a title is decoration.
      if (has_text(e, atom_alt) || has_text(e, atom_title) || has_text(e, atom_aria_label)) return Role::graphic;
      return std::nullopt;
    case TagKind::table:
      return Role::table;
    case TagKind::tr:
      return Role::row;
    case TagKind::td:
      return Role::cell;
    case TagKind::th:
      return Role::column_header;
    case TagKind::ul:
    case TagKind::ol:
      return Role::list;
    case TagKind::li:
      return Role::list_item;
    case TagKind::main:
      return Role::grouping;
    default:
      break;
  }
  if (can_take_focus(e)) return Role::grouping;  // something Tab reaches must be reachable here too
  return std::nullopt;
}

bool Tree::names_from_content(const Node* e) const {
  switch (role(e)) {
    case Role::button:
    case Role::link:
    case Role::list_item:
    case Role::row:
    case Role::cell:
    case Role::column_header:
    case Role::tab:
      return true;
    default:
      return false;
  }
}

bool Tree::exposed(const Node* node) const {
  if (!node) return false;
  if (node->is_element()) return element_role(node).has_value();
  if (!node->is_text() || blank(node->text)) return false;
  const Node* container = node->parent;
  while (container && container->is_element() && !element_role(container)) container = container->parent;
  if (container && container->is_element() && names_from_content(container)) return false;
  return !in_control_label(node, container);
}

void Tree::children(const Node* parent, std::vector<Node*>& out) const {
  out.clear();
  const Node* from = parent ? parent : document_.root;
  if (!from) return;
  const bool texts = !parent || !parent->is_element() || !names_from_content(parent);
  std::vector<Node*> stack;
  if (!parent)
    stack.push_back(document_.root);  // the root element itself may have a role
  else
    for (Node* c = from->last_child; c; c = c->prev) stack.push_back(c);
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (n->is_text()) {
      if (texts && !blank(n->text) && !in_control_label(n, from)) out.push_back(n);
      continue;
    }
    if (!n->is_element() || n->is_pseudo() || attribute_is(n, atom_aria_hidden, "true")) continue;
    if (n->tag_kind == TagKind::head || n->tag_kind == TagKind::script || n->tag_kind == TagKind::style) continue;
    if (element_role(n)) {
      out.push_back(n);
      continue;
    }
    for (Node* c = n->last_child; c; c = c->prev) stack.push_back(c);
  }
}

Node* Tree::parent(const Node* node) const {
  for (Node* p = node->parent; p && p->is_element(); p = p->parent)
    if (element_role(p)) return p;
  return nullptr;
}

Role Tree::role(const Node* node) const {
  if (node->is_text()) return Role::static_text;
  return element_role(node).value_or(Role::grouping);
}

std::string Tree::name(const Node* node) const {
  std::string out;
  if (node->is_text()) {
    append_collapsed(out, node->text);
    return finish(std::move(out));
  }
  if (has_text(node, atom_aria_label)) {
    append_collapsed(out, *attribute_value(node, atom_aria_label));
    return finish(std::move(out));
  }
  const Role r = role(node);
  if (r == Role::graphic && has_text(node, atom_alt)) {
    append_collapsed(out, *attribute_value(node, atom_alt));
    return finish(std::move(out));
  }
  if (r == Role::check_box || r == Role::radio_button || r == Role::text_box || r == Role::combo_box) {
    out = label_of(document_, node);
    if (out.empty() && r == Role::text_box && has_text(node, atom_placeholder))
      append_collapsed(out, *attribute_value(node, atom_placeholder));
  } else if (names_from_content(node)) {
    content_text(node, out);
  }
  out = finish(std::move(out));
  if (!out.empty() || !has_text(node, atom_title)) return out;
  append_collapsed(out, *attribute_value(node, atom_title));
  return finish(std::move(out));
}

std::string Tree::value(const Node* node) const {
  std::string out;
  if (!node->is_element()) return out;
  if (is_text_box(node) || node->tag_kind == TagKind::textarea) {
    if (attribute_is(node, atom_type, "password")) return out;
    out = node->text;
  } else if (is_select(node)) {
    if (const Node* option = selected_option(node)) out = option_label(option);
  }
  clip_utf8(out, max_text);
  return out;
}

std::string Tree::description(const Node* node) const {
  if (!node->is_element() || !has_text(node, atom_title)) return {};
  std::string title;
  append_collapsed(title, *attribute_value(node, atom_title));
  title = finish(std::move(title));
  return title == name(node) ? std::string() : title;
}

bool Tree::shown(const Node* node) const {
  const Node* element = node->is_text() ? node->parent : node;
  if (!element || !element->is_element() || !element->style) return false;
  if (element->style->visibility != style::Visibility::visible) return false;
  if (element->style->display == style::Display::contents) return true;
  return layout_.box_of(node) != nullptr;
}

std::uint32_t Tree::states(const Node* node) const {
  std::uint32_t s = 0;
  if (!shown(node)) {
    s |= state_invisible;
  } else if (const std::optional<Rect> r = bounds(node); r) {
    // Off screen: clipped away by the viewport or a scrolling ancestor.
    const layout::LayoutOptions& viewport = layout_.options();
    Rectf clip{0, 0, viewport.viewport_width, viewport.viewport_height};
    float dx = 0, dy = 0;
    std::vector<const Node*> chain;
    for (const Node* p = node->parent; p && p->is_element(); p = p->parent) chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const Node* p = *it;
      const layout::Box* b = layout_.box_of(p);
      if (b && b->style && b->style->overflow_x != style::Overflow::visible) {
        clip.left = std::max(clip.left, b->x - dx);
        clip.top = std::max(clip.top, b->y - dy);
        clip.right = std::min(clip.right, b->x - dx + b->width);
        clip.bottom = std::min(clip.bottom, b->y - dy + b->height);
      }
      dx += p->scroll.x;
      dy += p->scroll.y;
    }
    // An empty box (an image not loaded yet) is on screen where its corner is.
    const bool empty = r->width <= 0 || r->height <= 0;
    const bool outside = empty ? r->x < clip.left || r->y < clip.top || r->x > clip.right || r->y > clip.bottom
                               : r->x >= clip.right || r->y >= clip.bottom || r->x + r->width <= clip.left ||
                                     r->y + r->height <= clip.top;
    if (outside) s |= state_offscreen;
  }
  if (node->is_text()) return s | state_readonly;

  const Role r = role(node);
  if (is_disabled(node) || attribute_is(node, atom_aria_disabled, "true")) s |= state_unavailable;
  if (can_take_focus(node) && !(s & (state_invisible | state_unavailable))) s |= state_focusable;
  if (node->flags & flag_focus) s |= state_focused;
  if (r == Role::check_box || r == Role::radio_button) s |= check_state(node);
  if (const std::string* selected = attribute_value(node, atom_aria_selected)) {
    s |= state_selectable;
    if (*selected == "true") s |= state_selected;
  } else if (node->tag_kind == TagKind::option) {
    s |= state_selectable;
    if (node->flags & flag_checked) s |= state_selected;
  } else if (r == Role::tab) {
    s |= state_selectable;
  }
  if (const std::string* expanded = attribute_value(node, atom_aria_expanded)) {
    if (*expanded == "true") s |= state_expanded;
    if (*expanded == "false") s |= state_collapsed;
  }
  if (r == Role::link) s |= state_linked;
  if (r == Role::text_box && attribute_is(node, atom_type, "password")) s |= state_protected;
  return s;
}

std::optional<Rect> Tree::bounds(const Node* node) const {
  const layout::Box* box = layout_.box_of(node);
  if (!box) return std::nullopt;
  Rect r{box->x, box->y, box->width, box->height};
  if (node->is_text() && !box->fragments.empty()) {
    // A text's own extent: the union of its pieces on their lines.
    Rectf u{box->fragments[0].x, box->fragments[0].y, box->fragments[0].x, box->fragments[0].y};
    for (const layout::TextFragment& f : box->fragments) {
      u.left = std::min(u.left, f.x);
      u.top = std::min(u.top, f.y);
      u.right = std::max(u.right, f.x + f.width);
      u.bottom = std::max(u.bottom, f.y + f.height);
    }
    r = {u.left, u.top, u.right - u.left, u.bottom - u.top};
  }
  for (const Node* p = node->parent; p && p->is_element(); p = p->parent) {
    r.x -= p->scroll.x;
    r.y -= p->scroll.y;
  }
  return r;
}

std::string_view Tree::default_action(const Node* node) const {
  if (!node->is_element() || is_disabled(node)) return {};
  switch (role(node)) {
    case Role::button:
      return "Press";
    case Role::check_box:
      return check_state(node) & state_checked ? "Uncheck" : "Check";
    case Role::radio_button:
      return "Check";
    case Role::link:
      return "Jump";
    case Role::tab:
      return "Switch";
    case Role::combo_box:
      return "Open";
    default:
      return clickable(node) ? "Click" : std::string_view();
  }
}

Node* Tree::at(float x, float y) const { return shown_as(host_element(paint::hit_test(layout_, x, y))); }

std::string Tree::dump(Node* from) const {
  std::string out;
  struct Item {
    Node* node;
    int depth;
  };
  std::vector<Item> stack;
  std::vector<Node*> kids;
  if (from)
    kids.assign(1, from);
  else
    children(nullptr, kids);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, 0});
  while (!stack.empty()) {
    const Item item = stack.back();
    stack.pop_back();
    out.append(static_cast<std::size_t>(item.depth) * 2, ' ');
    out += role_name(role(item.node));
    out += " \"" + name(item.node) + '"';
    if (const std::string v = value(item.node); !v.empty()) out += " value=\"" + v + '"';
    if (const std::uint32_t s = states(item.node)) out += " [" + state_names(s) + ']';
    if (const std::optional<Rect> r = bounds(item.node))
      out += " (" + std::to_string(std::lround(r->x)) + ", " + std::to_string(std::lround(r->y)) + ", " +
             std::to_string(std::lround(r->width)) + ", " + std::to_string(std::lround(r->height)) + ')';
    out += '\n';
    if (!item.node->is_element()) continue;
    children(item.node, kids);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, item.depth + 1});
  }
  return out;
}

PixelRect to_pixels(const Rect& rect, float scale, int origin_x, int origin_y) {
  // Edges are rounded, not the size, so neighbours share their edge as drawn.
  const long left = std::lround(rect.x * scale), top = std::lround(rect.y * scale);
  const long right = std::lround((rect.x + rect.width) * scale), bottom = std::lround((rect.y + rect.height) * scale);
  return {origin_x + static_cast<int>(left), origin_y + static_cast<int>(top), static_cast<int>(right - left),
          static_cast<int>(bottom - top)};
}

}  // namespace ostrel::a11y
