#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>

#include "layout/box.h"
#include "ostrel/text/linebreak.h"

namespace ostrel::layout {
namespace {

using style::ComputedStyle;
using style::Display;
using style::Length;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr int max_depth = 512;  // the parser never nests deeper; built trees are cut here

bool is_inline_level(const Box* b) {
  if (b->kind == BoxKind::text || b->kind == BoxKind::inline_ || b->kind == BoxKind::line_break) return true;
  const Display d = b->style->display;
  return d == Display::inline_ || d == Display::inline_block || d == Display::inline_flex || d == Display::inline_table;
}

bool in_flow(const Box* b) {
  return b->kind == BoxKind::text ||
         (b->style->position != style::Position::absolute && b->style->position != style::Position::fixed);
}

text::WhiteSpaceMode mode_of(style::WhiteSpace w) {
  switch (w) {
    case style::WhiteSpace::nowrap:
      return text::WhiteSpaceMode::nowrap;
    case style::WhiteSpace::pre:
      return text::WhiteSpaceMode::pre;
    case style::WhiteSpace::pre_wrap:
      return text::WhiteSpaceMode::pre_wrap;
    case style::WhiteSpace::pre_line:
      return text::WhiteSpaceMode::pre_line;
    case style::WhiteSpace::break_spaces:
      return text::WhiteSpaceMode::break_spaces;
    default:
      return text::WhiteSpaceMode::normal;
  }
}

text::FontSpec font_of(const ComputedStyle& s) {
  return {std::span<const std::string>(s.font_family), s.font_size, s.font_weight, s.italic};
}

}  // namespace

struct LayoutTree::Impl {
  Document& document;
  text::TextMeasurer& measurer;
  std::deque<Box> boxes;
  std::uint32_t generation = 0;  // stamped on nodes with their box, so stale boxes are never handed out
  LayoutOptions requested;       // what the caller asked for
  LayoutOptions options;         // what boxes are laid out in: the window less its scroll bar
  bool viewport_bar = false;     // the page is taller than the window
  bool force_all = false;        // this pass lays every box out (new boxes, new viewport)
  bool observer = false;         // see LayoutTree's constructor
  std::size_t laid_out_count = 0;
  std::uint32_t pass = 0;            // counts layout() calls: what a pass laid out holds within it
  std::size_t dead_boxes = 0;        // replaced boxes still in `boxes`; a rebuild from scratch frees them
  std::vector<float> advances;       // scratch
  std::vector<std::uint8_t> breaks;  // scratch

  Impl(Document& d, text::TextMeasurer& m) : document(d), measurer(m) {}

  Box* new_box(Node* node, const ComputedStyle* s, BoxKind kind, Box* parent) {
    Box& b = boxes.emplace_back();
    b.node = node;
    b.style = s;
    b.kind = kind;
    b.parent = parent;
    if (node && !observer) {
      node->layout_box = &b;
      node->layout_generation = generation;
      if (node->is_element()) b.style_ref = node->style;
    }
    return &b;
  }

  // Anonymous blocks get a style of their own, made once per parent style.
  // The entry holds the parent style too, so its address is never reused
  // while it is a key.
  std::unordered_map<const ComputedStyle*,
                     std::pair<std::shared_ptr<const ComputedStyle>, std::shared_ptr<const ComputedStyle>>>
      anonymous_styles;

  std::shared_ptr<const ComputedStyle> anonymous_style(const Box& parent) {
    if (!parent.style_ref) return std::make_shared<const ComputedStyle>(style::anonymous_block_style(*parent.style));
    auto& entry = anonymous_styles[parent.style];
    if (!entry.second) {
      entry.first = parent.style_ref;
      entry.second = std::make_shared<const ComputedStyle>(style::anonymous_block_style(*parent.style));
    }
    return entry.second;
  }

  Box* new_anonymous_block(Box* parent) {
    std::shared_ptr<const ComputedStyle> s = anonymous_style(*parent);
    Box* b = new_box(nullptr, s.get(), BoxKind::block, parent);
    b->style_ref = std::move(s);
    return b;
  }

  static constexpr std::uint32_t layout_flags = flag_needs_layout | flag_style_changed | flag_descendant_needs_layout;

  // Clears what the layout is told to look at in a subtree it has just dealt with.
  void clear_layout_flags(Node* subtree) {
    if (observer) return;
    std::vector<Node*>& stack = node_stack;
    stack.assign(1, subtree);
    while (!stack.empty()) {
      Node* n = stack.back();
      stack.pop_back();
      n->flags &= ~layout_flags;
      for (Node* c = n->first_child; c; c = c->next) stack.push_back(c);
    }
  }
  std::vector<Node*> node_stack;  // scratch

  // --- building ---------------------------------------------------------------

  BoxKind kind_for(const Node* element, const ComputedStyle& s) {
    switch (element->tag_kind) {
      case TagKind::img:
      case TagKind::svg:
        return BoxKind::replaced;
      case TagKind::input:
        if (element->control == ControlKind::checkbox || element->control == ControlKind::radio)
          return BoxKind::replaced;
        break;
      case TagKind::br:
        return BoxKind::line_break;
      default:
        break;
    }
    switch (s.display) {
      case Display::inline_:
        return BoxKind::inline_;
      case Display::inline_block:
        return BoxKind::inline_block;
      case Display::flex:
      case Display::inline_flex:
        return BoxKind::flex;
      case Display::table:
      case Display::inline_table:
        return BoxKind::table;
      case Display::table_row_group:
      case Display::table_header_group:
      case Display::table_footer_group:
        return BoxKind::table_row_group;
      case Display::table_row:
        return BoxKind::table_row;
      case Display::table_cell:
        return BoxKind::table_cell;
      default:
        return BoxKind::block;
    }
  }

  void build_children(Node* element, Box* box, int depth) {
    for (Node* child = element->first_child; child; child = child->next) {
      if (!child->is_text() &&
          (!child->is_element() || !child->style || child->style->display == Display::none || depth + 1 > max_depth)) {
        clear_layout_flags(child);  // shows nothing: nothing for the layout to follow inside
        continue;
      }
      if (!observer) child->flags &= ~layout_flags;
      if (child->is_text()) {
        // Tables hold no text of their own: the parser moved real text out already.
        if (child->text.empty() || box->kind == BoxKind::table || box->kind == BoxKind::table_row_group ||
            box->kind == BoxKind::table_row || box->style->display == Display::table_column_group)
          continue;
        Box* t = new_box(child, box->style, BoxKind::text, box);
        box->children.push_back(t);
        continue;
      }
      if (child->style->display == Display::contents) {
        build_children(child, box, depth + 1);
        continue;
      }
      if (!fits_table_part(box, child->style->display)) {
        // Tables lay out only their own parts; other elements put inside one by
        // script get no box rather than a place from an earlier frame.
        clear_layout_flags(child);
        continue;
      }
      if (Box* b = build(child, box, depth + 1)) box->children.push_back(b);
    }
  }

  static bool fits_table_part(const Box* parent, Display d) {
    switch (parent->kind) {
      case BoxKind::table:
        return d == Display::table_row_group || d == Display::table_header_group || d == Display::table_footer_group ||
               d == Display::table_row || d == Display::table_column || d == Display::table_column_group;
      case BoxKind::table_row_group:
        return d == Display::table_row;
      case BoxKind::table_row:
        return d == Display::table_cell;
      default:
        return true;
    }
  }

  Box* build(Node* element, Box* parent, int depth) {
    const ComputedStyle* s = element->style.get();
    if (!s || s->display == Display::none || depth > max_depth) return nullptr;
    if (s->display == Display::table_column || s->display == Display::table_column_group) {
      // Columns carry widths only; keep them so the table can read them.
      Box* col = new_box(element, s, BoxKind::block, parent);
      if (s->display == Display::table_column_group) build_children(element, col, depth);
      return col;
    }
    Box* box = new_box(element, s, kind_for(element, *s), parent);
    if (box->kind == BoxKind::replaced) find_picture(*box);
    // A drop-down list draws its chosen option itself; the others show in its pop-up.
    if (box->kind != BoxKind::replaced && box->kind != BoxKind::line_break && !is_select(element))
      build_children(element, box, depth);
    if (box->kind == BoxKind::inline_) {
      // An inline holding blocks lays out as a block, which is how it looks anyway.
      for (Box* c : box->children)
        if (!is_inline_level(c) && in_flow(c)) {
          box->kind = BoxKind::block;
          break;
        }
    }
    if (box->kind == BoxKind::block || box->kind == BoxKind::inline_block || box->kind == BoxKind::table_cell)
      wrap_inline_runs(box);
    if (box->kind == BoxKind::flex) wrap_flex_text(box);
    // Out-of-flow boxes are placed against boxes outside their parent: the
    // boxes holding them are always laid out again with their container.
    for (Box* c : box->children) {
      if (!c->node && c->kind != BoxKind::text)
        for (const Box* g : c->children) c->holds_out_of_flow = c->holds_out_of_flow || g->holds_out_of_flow;
      box->holds_out_of_flow = box->holds_out_of_flow || !in_flow(c) || c->holds_out_of_flow;
    }
    return box;
  }

  // The picture's own size, read once when the box is made: an image that
  // arrives later, or a new src or size attribute, marks the element for a new box.
  void find_picture(Box& b) {
    if (b.node->tag_kind == TagKind::svg) {
      b.image_width = 300, b.image_height = 150;
      return;
    }
    if (b.node->tag_kind != TagKind::img) {
      b.image_width = b.image_height = 13;  // check box and radio
      return;
    }
    if (const std::string* src = attribute_value(b.node, atom_src)) {
      auto it = document.images.find(document.names.find(*src));
      if (it != document.images.end()) {
        b.image_width = static_cast<float>(it->second.width);
        b.image_height = static_cast<float>(it->second.height);
      }
    }
    auto attr_px = [&](Atom a) {
      const std::string* v = attribute_value(b.node, a);
      if (!v) return -1.0f;
      char* end = nullptr;
      const float f = std::strtof(v->c_str(), &end);
      return end == v->c_str() || !std::isfinite(f) || f < 0 ? -1.0f : f;
    };
    b.hint_width = attr_px(atom_width);
    b.hint_height = attr_px(atom_height);
  }

  static bool collapsible_blank(const Box* b) {
    if (b->kind != BoxKind::text) return false;
    const auto ws = b->style->white_space;
    if (ws == style::WhiteSpace::pre || ws == style::WhiteSpace::pre_wrap || ws == style::WhiteSpace::break_spaces)
      return false;
    return std::all_of(b->node->text.begin(), b->node->text.end(), [](char c) { return is_html_space(c); });
  }

  // A block container holds either only blocks or only inline content: runs of
  // inline content next to blocks go into anonymous blocks.
  void wrap_inline_runs(Box* box) {
    bool has_block = false, has_inline = false;
    for (Box* c : box->children) {
      if (!in_flow(c)) continue;
      (is_inline_level(c) ? has_inline : has_block) = true;
    }
    if (!has_block || !has_inline) return;
    std::vector<Box*> out;
    Box* run = nullptr;
    for (Box* c : box->children) {
      if (in_flow(c) && is_inline_level(c)) {
        if (!run) {
          if (collapsible_blank(c)) continue;  // white space between blocks is nothing
          run = new_anonymous_block(box);
          out.push_back(run);
        }
        c->parent = run;
        run->children.push_back(c);
      } else {
        if (run) trim_trailing_blanks(run);
        run = nullptr;
        out.push_back(c);
      }
    }
    if (run) trim_trailing_blanks(run);
    std::erase_if(out, [](Box* b) { return b->kind == BoxKind::block && !b->node && b->children.empty(); });
    box->children = std::move(out);
  }

  static void trim_trailing_blanks(Box* run) {
    while (!run->children.empty() && collapsible_blank(run->children.back())) run->children.pop_back();
  }

  // Flex items are boxes: text directly in a flex container becomes an anonymous block.
  void wrap_flex_text(Box* box) {
    std::vector<Box*> out;
    Box* run = nullptr;
    for (Box* c : box->children) {
      if (c->kind == BoxKind::text || c->kind == BoxKind::line_break) {
        if (!run) {
          if (collapsible_blank(c)) continue;
          run = new_anonymous_block(box);
          out.push_back(run);
        }
        c->parent = run;
        run->children.push_back(c);
        continue;
      }
      if (run) trim_trailing_blanks(run);
      run = nullptr;
      out.push_back(c);
    }
    if (run) trim_trailing_blanks(run);
    box->children = std::move(out);
  }

  // --- keeping boxes up to date --------------------------------------------------

  Box* live_box(const Node* n) const {
    if (n->layout_generation != generation || !n->layout_box || n->layout_box->dead) return nullptr;
    return n->layout_box;
  }

  // Whether an element shows nothing: it or an ancestor is display: none.
  static bool hidden(const Node* n) {
    for (; n && n->is_element(); n = n->parent)
      if (!n->style || n->style->display == Display::none) return true;
    return false;
  }

  static int depth_of(const Box* b) {
    int depth = 0;
    for (const Box* p = b->parent; p; p = p->parent) ++depth;
    return depth;
  }

  static void mark_dirty(Box* b) {
    b->dirty = true;
    for (Box* p = b->parent; p; p = p->parent) p->child_dirty = true;
  }

  std::vector<Box*> kill_stack;  // scratch

  // Retires a replaced subtree: its nodes stop pointing at it, its styles are let go.
  void kill(Box* b) {
    kill_stack.assign(1, b);
    while (!kill_stack.empty()) {
      Box* n = kill_stack.back();
      kill_stack.pop_back();
      n->dead = true;
      ++dead_boxes;
      if (n->node && n->node->layout_box == n) n->node->layout_box = nullptr;
      n->style_ref.reset();
      kill_stack.insert(kill_stack.end(), n->children.begin(), n->children.end());
    }
  }

  // New boxes for an element's subtree, put where the old ones were. When the
  // new box would sit differently among its siblings (inline instead of block,
  // in or out of the flow, or none at all), the parent's boxes are made anew
  // instead. False when that reaches the root element.
  bool rebuild(Node* element) {
    for (Node* target = element;; target = target->parent) {
      if (!target || !target->is_element() || target == document.root) return false;
      Box* old = live_box(target);
      if (!old) {
        if (hidden(target)) {
          clear_layout_flags(target);
          return true;
        }
        continue;  // display: contents, or a box still to make: the parent makes it
      }
      Box* parent_box = old->parent;
      if (!parent_box) return false;
      if (!target->style || !fits_table_part(parent_box, target->style->display)) continue;  // the parent decides
      Box* fresh = build(target, parent_box, depth_of(parent_box) + 1);
      if (fresh && is_inline_level(fresh) == is_inline_level(old) && in_flow(fresh) == in_flow(old) &&
          fresh->holds_out_of_flow == old->holds_out_of_flow) {
        std::replace(parent_box->children.begin(), parent_box->children.end(), old, fresh);
        kill(old);
        mark_dirty(fresh);
        return true;
      }
      if (fresh) kill(fresh);
    }
  }

  // The element has a new style: new boxes, a new layout, or only the new
  // style for painting.
  bool restyled(Node* element) {
    Box* b = live_box(element);
    const std::shared_ptr<const ComputedStyle>& now = element->style;
    if (!b) {
      if (hidden(element)) {
        clear_layout_flags(element);
        return true;
      }
      return rebuild(element);
    }
    if (b->style_ref == now) return true;
    if (!now || !b->style_ref) return rebuild(element);
    const style::StyleDifference d = style::difference(*b->style_ref, *now);
    if (d == style::StyleDifference::boxes) return rebuild(element);
    const ComputedStyle* before = b->style;
    b->style_ref = now;
    b->style = now.get();
    const bool relayout = d == style::StyleDifference::layout;
    if (relayout) mark_dirty(b);
    restyle_shared(*b, before, relayout);
    return true;
  }

  // Text and anonymous blocks inside `owner` take its new style.
  void restyle_shared(Box& owner, const ComputedStyle* before, bool relayout) {
    for (Box* c : owner.children) {
      if (c->kind == BoxKind::text) {
        if (c->style == before) c->style = owner.style;
      } else if (!c->node) {
        c->style_ref = anonymous_style(owner);
        c->style = c->style_ref.get();
        if (relayout) c->dirty = true;
        for (Box* g : c->children)
          if (g->kind == BoxKind::text && g->style == before) g->style = owner.style;
      }
    }
  }

  std::vector<Node*> walk_stack;  // scratch

  // Follows the elements marked since the last layout. False when the root
  // element itself needs new boxes.
  bool update_boxes() {
    Node* top = document.document_node;
    if (!(top->flags & flag_descendant_needs_layout)) return true;
    top->flags &= ~layout_flags;
    walk_stack.clear();
    for (Node* c = top->last_child; c; c = c->prev) walk_stack.push_back(c);
    while (!walk_stack.empty()) {
      Node* n = walk_stack.back();
      walk_stack.pop_back();
      const std::uint32_t f = n->flags;
      if (!(f & layout_flags)) continue;
      n->flags &= ~layout_flags;
      if (n->is_element()) {
        if ((f & flag_needs_layout) && !rebuild(n)) return false;
        if ((f & flag_style_changed) && !(f & flag_needs_layout) && !restyled(n)) return false;
      }
      if (f & flag_descendant_needs_layout)
        for (Node* c = n->last_child; c; c = c->prev) walk_stack.push_back(c);
    }
    return true;
  }

  // --- box model helpers --------------------------------------------------------

  void resolve_edges(Box& b, float cb_width) {
    const ComputedStyle& s = *b.style;
    if (b.kind == BoxKind::text) return;
    auto len = [&](const Length& l) { return l.resolve(cb_width, 0); };
    b.margin = {len(s.margin[0]), len(s.margin[1]), len(s.margin[2]), len(s.margin[3])};
    b.padding = {len(s.padding[0]), len(s.padding[1]), len(s.padding[2]), len(s.padding[3])};
    b.border = {s.used_border(0), s.used_border(1), s.used_border(2), s.used_border(3)};
    if (b.collapsed) {
      b.border = b.collapsed_border;
      if (b.kind == BoxKind::table) b.padding = {};  // a collapsing table has no padding
    }
  }

  // Collapsed borders: neighbouring cells share one border, the wider of the
  // two (none where either side is hidden), and each cell lays out half of it
  // inside its box; the table holds the outer halves. Cells whose share
  // changes are laid out again.
  void collapse_borders(Box& table) {
    std::vector<std::vector<Box*>> grid;
    for (Box* r : table_rows(table)) {
      std::vector<Box*>& cells = grid.emplace_back();
      for (Box* c : r->children)
        if (c->kind == BoxKind::table_cell) cells.push_back(c);
    }
    auto edge = [](const Box* a, int a_side, const Box* b, int b_side) {
      const auto hidden = [](const Box* x, int side) {
        return x && x->style->border_style[side] == style::BorderStyle::hidden;
      };
      if (hidden(a, a_side) || hidden(b, b_side)) return 0.0f;
      return std::max(a ? a->style->used_border(a_side) : 0.0f, b ? b->style->used_border(b_side) : 0.0f);
    };
    auto at = [&](std::size_t r, std::size_t c) -> const Box* {
      return r < grid.size() && c < grid[r].size() ? grid[r][c] : nullptr;
    };
    Edges outer;
    bool any = false;
    for (std::size_t r = 0; r < grid.size(); ++r) {
      for (std::size_t c = 0; c < grid[r].size(); ++c) {
        Box* cell = grid[r][c];
        const float top = r == 0 ? edge(&table, 0, cell, 0) : edge(at(r - 1, c), 2, cell, 0);
        const float bottom = r + 1 == grid.size() ? edge(cell, 2, &table, 2) : edge(cell, 2, at(r + 1, c), 0);
        const float left = c == 0 ? edge(&table, 3, cell, 3) : edge(grid[r][c - 1], 1, cell, 3);
        const float right = c + 1 == grid[r].size() ? edge(cell, 1, &table, 1) : edge(cell, 1, grid[r][c + 1], 3);
        const Edges half{top / 2, right / 2, bottom / 2, left / 2};
        if (!cell->collapsed || !same_edges(half, cell->collapsed_border)) {
          cell->collapsed = true;
          cell->collapsed_border = half;
          mark_dirty(cell);
        }
        any = true;
        if (r == 0) outer.top = std::max(outer.top, half.top);
        if (r + 1 == grid.size()) outer.bottom = std::max(outer.bottom, half.bottom);
        if (c == 0) outer.left = std::max(outer.left, half.left);
        if (c + 1 == grid[r].size()) outer.right = std::max(outer.right, half.right);
      }
    }
    if (!any) {
      const ComputedStyle& ts = *table.style;
      outer = {ts.used_border(0) / 2, ts.used_border(1) / 2, ts.used_border(2) / 2, ts.used_border(3) / 2};
    }
    table.collapsed = true;
    table.collapsed_border = outer;
  }

  // A table that stops collapsing gives its cells their own borders back.
  void separate_borders(Box& table) {
    table.collapsed = false;
    for (Box* r : table_rows(table))
      for (Box* c : r->children)
        if (c->collapsed) {
          c->collapsed = false;
          mark_dirty(c);
        }
  }

  static bool same_edges(const Edges& a, const Edges& b) {
    return a.top == b.top && a.right == b.right && a.bottom == b.bottom && a.left == b.left;
  }

  // Border-box size from a specified content or border size.
  float border_box_width(const Box& b, float specified) const {
    return b.style->box_sizing == style::BoxSizing::border_box
               ? std::max(specified, b.border.horizontal() + b.padding.horizontal())
               : specified + b.border.horizontal() + b.padding.horizontal();
  }
  float border_box_height(const Box& b, float specified) const {
    return b.style->box_sizing == style::BoxSizing::border_box
               ? std::max(specified, b.border.vertical() + b.padding.vertical())
               : specified + b.border.vertical() + b.padding.vertical();
  }

  std::optional<float> specified_width(const Box& b, float cb_width) const {
    const Length& w = b.style->width;
    if (w.is_auto() || (w.is_percent() && !std::isfinite(cb_width))) return std::nullopt;
    return border_box_width(b, w.resolve(cb_width));
  }

  std::optional<float> specified_height(const Box& b, std::optional<float> cb_height) const {
    const Length& h = b.style->height;
    if (h.is_auto() || (h.is_percent() && !cb_height)) return std::nullopt;
    return border_box_height(b, h.resolve(cb_height.value_or(0)));
  }

  float clamp_width(const Box& b, float width, float cb_width) const {
    const ComputedStyle& s = *b.style;
    if (!s.max_width.is_none() && !(s.max_width.is_percent() && !std::isfinite(cb_width)))
      width = std::min(width, border_box_width(b, s.max_width.resolve(cb_width)));
    if (!s.min_width.is_auto() && !(s.min_width.is_percent() && !std::isfinite(cb_width)))
      width = std::max(width, border_box_width(b, s.min_width.resolve(cb_width)));
    return std::max(width, b.border.horizontal() + b.padding.horizontal());
  }

  float clamp_height(const Box& b, float height, std::optional<float> cb_height) const {
    const ComputedStyle& s = *b.style;
    if (!s.max_height.is_none() && (!s.max_height.is_percent() || cb_height))
      height = std::min(height, border_box_height(b, s.max_height.resolve(cb_height.value_or(0))));
    if (!s.min_height.is_auto() && (!s.min_height.is_percent() || cb_height))
      height = std::max(height, border_box_height(b, s.min_height.resolve(cb_height.value_or(0))));
    return std::max(height, b.border.vertical() + b.padding.vertical());
  }

  // Font metrics per style: styles are shared by look-alike elements, so a
  // page of thousands of rows asks the measurer only a handful of times.
  std::unordered_map<const ComputedStyle*, text::FontMetrics> metrics_cache;

  const text::FontMetrics& metrics_of(const ComputedStyle& s) {
    auto it = metrics_cache.find(&s);
    if (it == metrics_cache.end()) it = metrics_cache.emplace(&s, measurer.metrics(font_of(s))).first;
    return it->second;
  }

  float line_height_of(const ComputedStyle& s) {
    if (s.line_height.kind == style::LengthKind::px) return s.line_height.value;
    if (s.line_height.is_percent()) return s.font_size * s.line_height.value / 100.0f;
    return metrics_of(s).normal_line_height();
  }

  // --- intrinsic sizes -------------------------------------------------------------

  // Widest unbreakable piece (min) and the whole content on one line (max), border box,
  // within the box's min-width and max-width as its container sees it.
  // `content_only` ignores the box's own sizes (a flex item's content-based minimum).
  std::pair<float, float> intrinsic_widths(Box& b, int depth = 0, bool content_only = false) {
    auto [min, max] = content_widths(b, depth, content_only);
    if (content_only || b.kind == BoxKind::text) return {min, max};
    const ComputedStyle& s = *b.style;
    if (!s.max_width.is_none() && !s.max_width.is_percent()) {
      const float limit = border_box_width(b, s.max_width.value);
      min = std::min(min, limit), max = std::min(max, limit);
    }
    if (!s.min_width.is_auto() && !s.min_width.is_percent()) {
      const float floor = border_box_width(b, s.min_width.value);
      min = std::max(min, floor), max = std::max(max, floor);
    }
    return {min, max};
  }

  std::pair<float, float> content_widths(Box& b, int depth, bool content_only) {
    if (depth > max_depth) return {0, 0};
    resolve_edges(b, 0);
    const float edges = b.kind == BoxKind::text ? 0 : b.border.horizontal() + b.padding.horizontal();
    if (!content_only && b.kind != BoxKind::text && !b.style->width.is_auto() && !b.style->width.is_percent()) {
      const float w = border_box_width(b, b.style->width.value);
      return {w, w};
    }
    if (is_select(b.node)) {
      // As wide as its longest option, beside its arrow.
      float widest = 0;
      for (const Node* option : options_of(b.node))
        widest = std::max(widest, measurer.width(font_of(*b.style), option_label(option)));
      return {widest + select_arrow_room + edges, widest + select_arrow_room + edges};
    }
    switch (b.kind) {
      case BoxKind::text: {
        const std::string text = collapsed_text(b);
        const text::FontSpec font = font_of(*b.style);
        measurer.advances(font, text, advances);
        text::break_opportunities(text, breaks, mode_of(b.style->white_space));
        float widest = 0, word = 0, line = 0, longest = 0;
        const bool wraps = text::allows_wrap(mode_of(b.style->white_space));
        for (std::size_t i = 0; i < text.size(); ++i) {
          if (breaks[i] == text::break_mandatory) longest = std::max(longest, line), line = 0;
          if (wraps && breaks[i] != text::no_break) widest = std::max(widest, word), word = 0;
          if (text[i] == ' ' && wraps) {
            line += advances[i];
            continue;
          }
          word += advances[i];
          line += advances[i];
        }
        widest = std::max(widest, word);
        longest = std::max(longest, line);
        return {wraps ? widest : longest, longest};
      }
      case BoxKind::replaced: {
        const auto [w, h] = replaced_size(b, infinity, std::nullopt);
        (void)h;
        return {w + edges, w + edges};
      }
      case BoxKind::line_break:
        return {0, 0};
      case BoxKind::table: {
        float min = 0, max = 0;
        for (Box* row : table_rows(b)) {
          float row_min = 0, row_max = 0;
          for (Box* cell : row->children) {
            if (cell->kind != BoxKind::table_cell) continue;
            const auto [cmin, cmax] = intrinsic_widths(*cell, depth + 1);
            row_min += cmin;
            row_max += cmax;
          }
          min = std::max(min, row_min);
          max = std::max(max, row_max);
        }
        return {min + edges, max + edges};
      }
      case BoxKind::flex: {
        const bool row = b.style->flex_direction == style::FlexDirection::row ||
                         b.style->flex_direction == style::FlexDirection::row_reverse;
        float min = 0, max = 0;
        int count = 0;
        for (Box* c : b.children) {
          if (!in_flow(c)) continue;
          const auto [cmin, cmax] = intrinsic_widths(*c, depth + 1);
          const float m = c->margin.horizontal();
          if (row)
            min += cmin + m, max += cmax + m;
          else
            min = std::max(min, cmin + m), max = std::max(max, cmax + m);
          ++count;
        }
        if (row && count > 1) {
          const float gap = b.style->column_gap.is_none() ? 0 : b.style->column_gap.resolve(0);
          min += gap * static_cast<float>(count - 1);
          max += gap * static_cast<float>(count - 1);
        }
        return {min + edges, max + edges};
      }
      default:
        break;
    }
    // Block and inline containers.
    float min = 0, max = 0, line = 0;
    const bool inline_content =
        !b.children.empty() && std::all_of(b.children.begin(), b.children.end(),
                                           [](const Box* c) { return is_inline_level(c) || !in_flow(c); });
    for (Box* c : b.children) {
      if (!in_flow(c)) continue;
      const auto [cmin, cmax] = intrinsic_widths(*c, depth + 1);
      const float m = c->kind == BoxKind::text ? 0 : c->margin.horizontal();
      min = std::max(min, cmin + m);
      if (inline_content && b.kind != BoxKind::table_row) {
        if (c->kind == BoxKind::line_break)
          max = std::max(max, line), line = 0;
        else
          line += cmax + m;
      } else {
        max = std::max(max, cmax + m);
      }
    }
    max = std::max(max, line);
    return {min + edges, max + edges};
  }

  // --- replaced elements ------------------------------------------------------------

  // Content-box size of an image, picture or check box.
  std::pair<float, float> replaced_size(Box& b, float cb_width, std::optional<float> cb_height) {
    const ComputedStyle& s = *b.style;
    float nw = b.image_width, nh = b.image_height;
    // The width/height attributes are presentational hints below CSS.
    if (b.hint_width >= 0 && s.width.is_auto()) nw = b.hint_width;
    if (b.hint_height >= 0 && s.height.is_auto()) nh = b.hint_height;
    b.natural_width = nw;
    b.natural_height = nh;
    const float edges_w = b.border.horizontal() + b.padding.horizontal();
    const float edges_h = b.border.vertical() + b.padding.vertical();
    std::optional<float> w, h;
    if (!s.width.is_auto() && !(s.width.is_percent() && !std::isfinite(cb_width)))
      w = border_box_width(b, s.width.resolve(cb_width)) - edges_w;
    if (!s.height.is_auto() && (!s.height.is_percent() || cb_height))
      h = border_box_height(b, s.height.resolve(cb_height.value_or(0))) - edges_h;
    if (w && !h) h = nw > 0 ? *w * nh / nw : nh;
    if (h && !w) w = nh > 0 ? *h * nw / nh : nw;
    return {std::max(0.0f, w.value_or(nw)), std::max(0.0f, h.value_or(nh))};
  }

  // --- text ---------------------------------------------------------------------------

  std::string collapsed_text(const Box& t) {
    bool carry = false;
    return text::collapse_white_space(t.node->text, mode_of(t.style->white_space), carry);
  }

  // --- block layout --------------------------------------------------------------------

  // Lays out `b` with its margin box starting at (x, y) inside a containing
  // block `cb_width` wide. `forced_width` fixes the border-box width (flex
  // items, cells, shrink-to-fit boxes).
  void layout_box(Box& b, float x, float y, float cb_width, std::optional<float> cb_height,
                  std::optional<float> forced_width = std::nullopt, std::optional<float> forced_height = std::nullopt,
                  int depth = 0) {
    if (depth > max_depth) return;
    // The containing block's height matters only to percentage heights: a
    // box without them is the same box under any, which lets a flex item
    // measured first and then sized keep its content's layout.
    const ComputedStyle& bs = *b.style;
    const bool uses_cb_height = bs.height.is_percent() || bs.min_height.is_percent() || bs.max_height.is_percent();
    const Box::Inputs inputs{cb_width, uses_cb_height ? cb_height : std::nullopt, forced_width, forced_height};
    if ((!force_all || b.laid_out_pass == pass) && !b.dirty && !b.child_dirty && !b.holds_out_of_flow && b.laid_out &&
        b.laid_out_with == inputs) {
      // Nothing in it changed and it is asked the same: it only moves.
      b.margin = b.laid_out_margin;
      translate(b, x + b.laid_out_dx - b.x, y + b.laid_out_dy - b.y);
      return;
    }
    ++laid_out_count;
    sizing.push_back(&b);
    b.content_shift = 0;
    if (b.kind == BoxKind::table && b.style->border_collapse)
      collapse_borders(b);
    else if (b.collapsed && b.kind == BoxKind::table)
      separate_borders(b);
    resolve_edges(b, cb_width);
    float width;
    if (forced_width) {
      width = *forced_width;
    } else if (auto w = specified_width(b, cb_width)) {
      width = clamp_width(b, *w, cb_width);
    } else if (b.kind == BoxKind::replaced) {
      // A picture is as wide as its own size (or its height and ratio make it), never its container.
      width = clamp_width(
          b, replaced_size(b, cb_width, cb_height).first + b.border.horizontal() + b.padding.horizontal(), cb_width);
    } else if (b.kind == BoxKind::inline_block || b.kind == BoxKind::table ||
               (b.style->position == style::Position::absolute || b.style->position == style::Position::fixed)) {
      const auto [min, max] = intrinsic_widths(b, depth);
      const float available = cb_width - b.margin.horizontal();
      width = clamp_width(b, std::min(std::max(min, available), max), cb_width);
      if (b.kind == BoxKind::table && b.style->width.is_auto())
        width = clamp_width(b, std::min(max, available), cb_width);
    } else {
      width = clamp_width(b, cb_width - b.margin.horizontal(), cb_width);
    }
    // Auto margins centre a block that is narrower than its container.
    if (!forced_width && b.kind != BoxKind::inline_block && std::isfinite(cb_width)) {
      const bool left_auto = b.style->margin[3].is_auto(), right_auto = b.style->margin[1].is_auto();
      const float free = cb_width - width - b.margin.horizontal();
      if (left_auto && right_auto)
        b.margin.left = b.margin.right = std::max(0.0f, free / 2);
      else if (left_auto)
        b.margin.left = std::max(0.0f, free);
    }
    b.x = x + b.margin.left;
    b.y = y + b.margin.top;
    b.width = width;

    std::optional<float> own_height = forced_height;
    if (!own_height) {
      if (auto h = specified_height(b, cb_height)) own_height = clamp_height(b, *h, cb_height);
    }
    const std::optional<float> content_height_for_children =
        own_height ? std::optional(std::max(0.0f, *own_height - b.border.vertical() - b.padding.vertical()))
                   : std::nullopt;

    // Scroll bars take room from the content when the content overflows (or always, when asked).
    // The root's overflow is the window's: its bar is the window's (see layout()).
    b.scrollbar_x = b.scrollbar_y = 0;
    const bool scroll_y =
        b.parent && (b.style->overflow_y == style::Overflow::scroll ||
                     (b.style->overflow_y == style::Overflow::auto_ && b.style->scrollbar_gutter_stable));
    if (scroll_y) b.scrollbar_y = options.scrollbar_size;
    if (b.parent && b.style->overflow_x == style::Overflow::scroll) b.scrollbar_x = options.scrollbar_size;
    // An auto bar is there when the content overflows without it. A long
    // list that needed one last time starts with it, so its rows are not
    // laid out twice on every change.
    const bool auto_y =
        b.parent && b.style->overflow_y == style::Overflow::auto_ && !scroll_y && content_height_for_children;
    // An observer starts from the live layout's guess, so that it checks
    // everything else against a layout that guessed alike.
    const bool had_bar = observer ? b.node && b.node->layout_box && b.node->layout_box->node == b.node &&
                                        b.node->layout_generation == document.layout_generation &&
                                        b.node->layout_box->had_auto_scrollbar
                                  : b.had_auto_scrollbar;
    const bool with_bar_first = auto_y && had_bar;
    if (with_bar_first) b.scrollbar_y = options.scrollbar_size;
    float content = layout_contents(b, content_height_for_children, depth);
    auto overflows = [&] { return b.content_height > *content_height_for_children + 0.01f; };
    if (with_bar_first && !overflows()) {
      b.scrollbar_y = 0;
      content = layout_contents(b, content_height_for_children, depth);
    }
    if (auto_y && b.scrollbar_y == 0 && overflows()) {
      b.scrollbar_y = options.scrollbar_size;  // it overflows: lay out again beside the bar
      content = layout_contents(b, content_height_for_children, depth);
    }
    b.had_auto_scrollbar = auto_y && b.scrollbar_y > 0;

    float height =
        own_height ? *own_height
                   : clamp_height(b, content + b.padding.vertical() + b.border.vertical() + b.scrollbar_x, cb_height);
    b.height = height;
    // A button taller than its content centres it, as browsers draw buttons.
    if (own_height && b.node &&
        (b.node->tag_kind == TagKind::button ||
         (b.node->tag_kind == TagKind::input && b.node->control == ControlKind::button))) {
      const float room = *content_height_for_children - b.scrollbar_x - content;
      if (room > 0)
        for (Box* c : b.children)
          if (in_flow(c)) translate(*c, 0, room / 2);
    }
    sizing.pop_back();
    place_deferred(b, depth);
    compute_overflow(b);
    b.laid_out = true;
    b.laid_out_pass = pass;
    b.laid_out_with = inputs;
    b.laid_out_dx = b.x - x;
    b.laid_out_dy = b.y - y;
    b.laid_out_margin = b.margin;
    b.dirty = b.child_dirty = false;
  }

  static void unite(Box::Area& a, float x, float y, float w, float h) {
    if (!(w > 0 && h > 0)) return;
    if (!(a.width > 0 && a.height > 0)) {
      a = {x, y, w, h};
      return;
    }
    const float right = std::max(a.x + a.width, x + w), bottom = std::max(a.y + a.height, y + h);
    a.x = std::min(a.x, x);
    a.y = std::min(a.y, y);
    a.width = right - a.x;
    a.height = bottom - a.y;
  }

  // The area `b` and its placed children draw over. Boxes that can be drawn
  // somewhere else than laid out (fixed, sticky, transformed or animated ones)
  // make their whole ancestry unbounded.
  static void compute_overflow(Box& b) {
    b.overflow = {};
    if (b.kind == BoxKind::text) {
      for (const TextFragment& f : b.fragments) unite(b.overflow, f.x, f.y, f.width, f.height);
      b.unbounded = false;
      return;
    }
    unite(b.overflow, b.x, b.y, b.width, b.height);
    const ComputedStyle& s = *b.style;
    b.unbounded = s.position == style::Position::fixed || s.position == style::Position::sticky ||
                  !s.transform.identity() || !s.animations.empty();
    const bool clips = b.is_scroll_container();
    for (Box* c : b.children) {
      if (c->kind == BoxKind::text) compute_overflow(*c);
      b.unbounded = b.unbounded || c->unbounded;
      if (!clips) unite(b.overflow, c->overflow.x, c->overflow.y, c->overflow.width, c->overflow.height);
    }
  }

  // Lays out the children of `b`; returns the content height. Also sets the
  // scrollable overflow size.
  float layout_contents(Box& b, std::optional<float> content_height, int depth) {
    const float cx = b.content_x(), cy = b.content_y();
    const float cw = std::max(0.0f, b.width - b.border.horizontal() - b.padding.horizontal() - b.scrollbar_y);
    float height = 0;
    switch (b.kind) {
      case BoxKind::replaced: {
        const auto [w, h] = replaced_size(b, cw, content_height);
        (void)w;
        height = h;
        break;
      }
      case BoxKind::flex:
        height = layout_flex(b, cx, cy, cw, content_height, depth);
        break;
      case BoxKind::table:
        height = layout_table(b, cx, cy, cw, depth);
        break;
      default: {
        if (is_text_box(b.node) || is_select(b.node)) {
          height = layout_text_box(b, cx, cy, content_height);
          break;
        }
        const bool inline_content = std::any_of(b.children.begin(), b.children.end(),
                                                [](const Box* c) { return in_flow(c) && is_inline_level(c); });
        height =
            inline_content ? layout_inline(b, cx, cy, cw, depth) : layout_blocks(b, cx, cy, cw, content_height, depth);
        break;
      }
    }
    b.flow_height = height;
    // Relative offsets move boxes after the flow has placed them.
    for (Box* c : b.children)
      if (c->kind != BoxKind::text && c->style->position == style::Position::relative)
        offset_relative(*c, cw, content_height);
    for (Box* c : b.children)
      if (!in_flow(c)) place_positioned(*c, b, depth);
    // Scrollable overflow: the extent of the children. Positioned ones count
    // only for the box they are placed against, which adds them itself once
    // it has placed them (see place_deferred); until then they are where the
    // last layout put them.
    float right = cx + cw, bottom = cy + height;
    for (const Box* c : b.children) {
      if (!in_flow(c) && c->kind != BoxKind::text) continue;
      right = std::max(right, c->x + c->width + c->margin.right);
      bottom = std::max(bottom, c->y + c->height + c->margin.bottom);
    }
    b.content_width = right - cx;
    b.content_height = bottom - cy;
    return height;
  }

  // A text input shows one line: its value with any input-method text at the
  // caret, or its placeholder when both are empty, centred in a taller box.
  float layout_text_box(Box& b, float cx, float cy, std::optional<float> content_height) {
    const ComputedStyle& s = *b.style;
    const TextEditView& edit = document.edit;
    std::string shown;
    if (is_select(b.node)) {
      if (const Node* option = selected_option(b.node)) shown = option_label(option);
    } else {
      shown = b.node->text;
    }
    b.placeholder_shown = false;
    if (edit.node == b.node && !edit.composition.empty()) {
      shown.insert(std::min<std::size_t>(edit.caret, shown.size()), edit.composition);
    } else if (const std::string* hint = attribute_value(b.node, atom_placeholder);
               shown.empty() && hint && is_text_box(b.node)) {
      shown = *hint;
      b.placeholder_shown = true;
    }
    measurer.advances(font_of(s), shown, advances);
    b.caret_offsets.resize(shown.size() + 1);
    float x = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) b.caret_offsets[i] = x, x += advances[i];
    b.caret_offsets[shown.size()] = x;
    const float line = line_height_of(s);
    const text::FontMetrics& m = metrics_of(s);
    const float top = cy + (content_height ? std::max(0.0f, (*content_height - line) / 2) : 0);
    TextFragment f;
    f.x = cx, f.y = top, f.width = x, f.height = line;
    f.baseline = top + (line - m.ascent - m.descent) / 2 + m.ascent;
    f.end = static_cast<std::uint32_t>(shown.size());
    b.fragments.assign(1, f);
    b.text = std::move(shown);
    return line;
  }

  // Adjoining vertical margins combine: the larger positive and the more
  // negative one, summed.
  static float collapse(float a, float b) {
    if (a >= 0 && b >= 0) return std::max(a, b);
    if (a < 0 && b < 0) return std::min(a, b);
    return a + b;
  }

  // Whether a block's margins meet its children's (no border, padding or new
  // formatting context between them).
  bool margins_meet_children(const Box& b) const {
    if (b.kind != BoxKind::block || !b.node || b.node == document.root || b.is_scroll_container()) return false;
    if (b.style->position == style::Position::absolute || b.style->position == style::Position::fixed) return false;
    if (b.parent && (b.parent->kind == BoxKind::flex || b.parent->kind == BoxKind::table_cell)) return false;
    return true;
  }

  // A height that gives a box no height of its own: auto, zero, or a percentage
  // of a containing block whose height is not known yet (which means auto).
  static bool no_own_height(const Length& h, std::optional<float> cb_height) {
    return h.is_auto() || (h.is_percent() && !cb_height) || h.resolve(cb_height.value_or(0)) == 0;
  }

  static bool self_collapsing(const Box& c, std::optional<float> cb_height, int depth = 0) {
    if (c.kind != BoxKind::block || c.height != 0 || c.border.vertical() != 0 || c.padding.vertical() != 0 ||
        !no_own_height(c.style->height, cb_height) || !no_own_height(c.style->min_height, cb_height))
      return false;
    // With an auto height no height means no content; height: 0 may hide some,
    // and then the margins stay apart.
    if (c.style->height.is_auto() || (c.style->height.is_percent() && !cb_height)) return true;
    if (depth > max_depth) return false;
    return std::none_of(c.children.begin(), c.children.end(),
                        [&](const Box* k) { return in_flow(k) && !self_collapsing(*k, 0.0f, depth + 1); });
  }

  float layout_blocks(Box& b, float cx, float cy, float cw, std::optional<float> content_height, int depth) {
    const bool meet = margins_meet_children(b);
    const bool through_top = meet && b.border.top == 0 && b.padding.top == 0;
    const bool through_bottom = meet && b.border.bottom == 0 && b.padding.bottom == 0 && b.style->height.is_auto() &&
                                b.style->min_height.is_auto();
    float y = cy;       // bottom border edge of the previous sibling
    float pending = 0;  // margin waiting between it and the next sibling
    bool first = true;
    float escaped_top = 0;
    for (Box* c : b.children) {
      if (!in_flow(c)) continue;
      resolve_edges(*c, cw);
      layout_box(*c, cx, y, cw, content_height, std::nullopt, std::nullopt, depth + 1);
      // c.margin.top may have grown by its own first child's margin.
      const bool empty = self_collapsing(*c, content_height);
      const float own = empty ? collapse(c->margin.top, c->margin.bottom) : c->margin.top;
      float top;
      if (first && through_top) {
        escaped_top = collapse(escaped_top, own);  // the parent takes it
        top = cy;
      } else {
        top = y + collapse(pending, c->margin.top);
        if (empty) pending = collapse(pending, own);
      }
      translate(*c, 0, top - c->y);
      if (empty) {
        // Nothing separates the margins around an empty block: they all join.
        if (!(first && through_top)) first = false;
        continue;
      }
      y = c->y + c->height;
      pending = c->margin.bottom;
      first = false;
    }
    if (escaped_top != 0) {
      const float combined = collapse(b.margin.top, escaped_top);
      translate(b, 0, combined - b.margin.top);
      b.margin.top = combined;
    }
    if (through_bottom && !first) {
      b.margin.bottom = collapse(b.margin.bottom, pending);
      return y - cy;
    }
    return y + (first ? 0 : pending) - cy;
  }

  void offset_relative(Box& b, float cb_width, std::optional<float> cb_height) {
    const ComputedStyle& s = *b.style;
    float dx = 0, dy = 0;
    if (!s.inset[3].is_auto())
      dx = s.inset[3].resolve(cb_width);
    else if (!s.inset[1].is_auto())
      dx = -s.inset[1].resolve(cb_width);
    if (!s.inset[0].is_auto())
      dy = s.inset[0].resolve(cb_height.value_or(0));
    else if (!s.inset[2].is_auto())
      dy = -s.inset[2].resolve(cb_height.value_or(0));
    if (dx != 0 || dy != 0) translate(b, dx, dy);
  }

  std::vector<Box*> translate_stack;  // scratch: translate runs for every placed box

  // Whether a positioned box is placed against `subtree` or a box inside it,
  // and so moves with it: one placed against the window or a box further out
  // stays where it is.
  static bool placed_inside(const Box& positioned, const Box& subtree) {
    if (positioned.style->position == style::Position::fixed) return false;
    for (const Box* a = positioned.parent; a; a = a->parent) {
      if (a->style && a->style->position != style::Position::static_ && a->node) return true;
      if (a == &subtree) return false;
    }
    return false;
  }

  void translate(Box& b, float dx, float dy) {
    if (dx == 0 && dy == 0) return;
    std::vector<Box*>& stack = translate_stack;
    stack.assign(1, &b);
    while (!stack.empty()) {
      Box* n = stack.back();
      stack.pop_back();
      n->x += dx;
      n->y += dy;
      n->baseline += dy;
      n->overflow.x += dx;
      n->overflow.y += dy;
      for (TextFragment& f : n->fragments) f.x += dx, f.y += dy, f.baseline += dy;
      for (Box* c : n->children)
        if (in_flow(c) || placed_inside(*c, b)) stack.push_back(c);
    }
  }

  // Absolute and fixed boxes: against the nearest positioned ancestor's
  // padding box, or the viewport.
  // Boxes being laid out, outermost first: their heights are not known yet.
  std::vector<Box*> sizing;
  struct Deferred {
    Box* containing;
    Box* box;
    Box* parent;
  };
  // Positioned boxes whose containing block is still being sized, placed once it is.
  std::vector<Deferred> deferred;

  static Box* containing_block(Box& parent) {
    for (Box* a = &parent; a; a = a->parent)
      if (a->style && a->style->position != style::Position::static_ && a->node) return a;
    return nullptr;
  }

  void place_deferred(Box& containing, int depth) {
    // Ours were queued while our contents were laid out, maybe between boxes
    // that wait for a block around us.
    if (deferred.empty()) return;
    std::vector<Deferred> ours;
    std::erase_if(deferred, [&](const Deferred& d) {
      if (d.containing != &containing) return false;
      ours.push_back(d);
      return true;
    });
    if (ours.empty()) return;
    const float cx = containing.content_x(), cy = containing.content_y();
    for (std::size_t i = 0; i < ours.size(); ++i) {
      const Deferred& d = ours[i];
      // Contents laid out twice (beside a scroll bar) queue a box twice: the last one counts.
      if (std::any_of(ours.begin() + static_cast<std::ptrdiff_t>(i) + 1, ours.end(),
                      [&](const Deferred& later) { return later.box == d.box; }))
        continue;
      place_positioned(*d.box, *d.parent, depth);
      // The boxes between drew their areas without it.
      for (Box* between = d.box->parent; between && between != &containing; between = between->parent)
        compute_overflow(*between);
      // They scroll with the rest of the content.
      containing.content_width = std::max(containing.content_width, d.box->x + d.box->width + d.box->margin.right - cx);
      containing.content_height =
          std::max(containing.content_height, d.box->y + d.box->height + d.box->margin.bottom - cy);
    }
  }

  void place_positioned(Box& b, Box& parent, int depth) {
    const ComputedStyle& s = *b.style;
    float cbx = 0, cby = 0, cbw = options.viewport_width, cbh = options.viewport_height;
    if (s.position == style::Position::absolute) {
      // From its own parent: a positioned inline element holds it too.
      if (Box* a = containing_block(b.parent ? *b.parent : parent)) {
        // Spans, rows and row groups get their places only when the block or
        // table that holds them is done: wait for that one while it is sized.
        Box* waits_for = a;
        while (waits_for->parent && (waits_for->kind == BoxKind::inline_ || waits_for->kind == BoxKind::table_row ||
                                     waits_for->kind == BoxKind::table_row_group))
          waits_for = waits_for->parent;
        if (std::find(sizing.begin(), sizing.end(), waits_for) != sizing.end()) {
          // Its containing block's size is not known yet: bottom and
          // percentage offsets need it.
          deferred.push_back({waits_for, &b, &parent});
          return;
        }
        cbx = a->x + a->border.left;
        cby = a->y + a->border.top;
        cbw = a->width - a->border.horizontal();
        cbh = a->height - a->border.vertical();
      }
    }
    resolve_edges(b, cbw);
    std::optional<float> width;
    if (!s.inset[3].is_auto() && !s.inset[1].is_auto() && s.width.is_auto())
      width = std::max(0.0f, cbw - s.inset[3].resolve(cbw) - s.inset[1].resolve(cbw) - b.margin.horizontal());
    std::optional<float> height;
    if (!s.inset[0].is_auto() && !s.inset[2].is_auto() && s.height.is_auto())
      height = std::max(0.0f, cbh - s.inset[0].resolve(cbh) - s.inset[2].resolve(cbh) - b.margin.vertical());
    // Static position: where it would have been; the parent's content corner is close enough.
    float x = parent.content_x(), y = parent.content_y();
    if (!s.inset[3].is_auto()) x = cbx + s.inset[3].resolve(cbw);
    if (!s.inset[0].is_auto()) y = cby + s.inset[0].resolve(cbh);
    layout_box(b, x, y, cbw, cbh, width, height, depth + 1);
    if (s.inset[3].is_auto() && !s.inset[1].is_auto())
      translate(b, cbx + cbw - s.inset[1].resolve(cbw) - b.margin.right - (b.x + b.width), 0);
    if (s.inset[0].is_auto() && !s.inset[2].is_auto())
      translate(b, 0, cby + cbh - s.inset[2].resolve(cbh) - b.margin.bottom - (b.y + b.height));
  }

  // --- inline layout ------------------------------------------------------------------

  struct LineItem {
    Box* box;                          // text or atomic box
    std::uint32_t start = 0, end = 0;  // text bytes
    float width = 0;
    float ascent = 0, descent = 0;  // above and below the baseline, half-leading included
    bool ellipsis = false;          // cut, and drawn with "…" after it
    float lead = 0, trail = 0;      // margin, border and padding of inline elements opening and closing here
  };

  // Scratch vectors for inline layout, which nests (inline blocks hold lines of their own).
  template <class T>
  struct Pool {
    std::vector<std::vector<T>> spare;
    std::vector<T> take() {
      if (spare.empty()) return {};
      std::vector<T> v = std::move(spare.back());
      spare.pop_back();
      v.clear();
      return v;
    }
    void give(std::vector<T>&& v) { spare.push_back(std::move(v)); }
  };
  Pool<Box*> box_lists;
  Pool<LineItem> line_lists;
  Pool<std::pair<float, float>> edge_lists;
  std::vector<Box*> positioned_in_spans;  // found by collect_leaves, placed after the lines

  float layout_inline(Box& b, float cx, float cy, float cw, int depth) {
    // Flatten the inline content into a sequence of leaves in order.
    std::vector<Box*> leaves = box_lists.take();
    std::vector<Box*> spans = box_lists.take();  // inline elements, parents first
    // Per leaf: the margin, border and padding of the inline elements it opens and closes.
    std::vector<std::pair<float, float>> edges = edge_lists.take();
    // Inline blocks lay out lines of their own while these are built: each
    // places only the positioned boxes its own spans hold.
    const std::size_t positioned_mark = positioned_in_spans.size();
    collect_leaves(b, leaves, spans, edges, depth);

    const ComputedStyle& bs = *b.style;
    const text::FontMetrics& strut_metrics = metrics_of(bs);
    const float strut_line = line_height_of(bs);
    const float strut_half = (strut_line - strut_metrics.ascent - strut_metrics.descent) / 2;
    const float strut_ascent = strut_metrics.ascent + strut_half, strut_descent = strut_metrics.descent + strut_half;
    const bool wrap_allowed = text::allows_wrap(mode_of(bs.white_space));
    // Lines of an anonymous block are the lines of the block that clips them.
    const ComputedStyle& clipper = !b.node && b.parent ? *b.parent->style : bs;
    const bool ellipsis = clipper.text_overflow_ellipsis && clipper.overflow_x != style::Overflow::visible;

    std::vector<LineItem> line = line_lists.take();
    float line_width = 0;
    float y = cy;
    bool carry_space = false;
    bool any_content = false;

    auto finish_line = [&](bool /*last*/) {
      float ascent = strut_ascent, descent = strut_descent;
      for (const LineItem& it : line) ascent = std::max(ascent, it.ascent), descent = std::max(descent, it.descent);
      if (line.empty() && !any_content) return;
      // Horizontal alignment.
      float offset = 0;
      const float free = cw - line_width;
      if (bs.text_align == style::TextAlign::center)
        offset = free / 2;
      else if (bs.text_align == style::TextAlign::right || bs.text_align == style::TextAlign::end)
        offset = free;
      if (free < 0) offset = 0;
      float x = cx + offset;
      const float baseline = y + ascent;
      // Text that overflows a clipped one-line box is cut with an ellipsis.
      if (ellipsis && line_width > cw + 0.01f) apply_ellipsis(line, cw);
      for (LineItem& it : line) {
        Box* box = it.box;
        if (box->kind == BoxKind::text) {
          TextFragment f;
          f.x = x + it.lead;
          f.y = y;
          f.width = it.width;
          f.height = ascent + descent;
          f.baseline = baseline;
          f.start = it.start;
          f.end = it.end;
          f.ellipsis = it.ellipsis;
          box->fragments.push_back(f);
        } else {
          const float top = baseline - it.ascent;  // atomic_extent measured it.ascent from the top
          translate(*box, x + it.lead + box->margin.left - box->x, top + box->margin.top - box->y);
        }
        x += it.lead + it.width + it.trail;
      }
      y += ascent + descent;
      line.clear();
      line_width = 0;
    };

    for (std::size_t li = 0; li < leaves.size(); ++li) {
      Box* leaf = leaves[li];
      const auto [lead, trail] = edges[li];
      if (leaf->kind == BoxKind::line_break) {
        // Placed where it ends the line, with no width.
        leaf->x = cx + line_width;
        leaf->y = y;
        leaf->width = 0;
        leaf->height = strut_line;
        compute_overflow(*leaf);
        any_content = true;
        finish_line(false);
        carry_space = false;
        continue;
      }
      if (leaf->kind == BoxKind::text) {
        const ComputedStyle& s = *leaf->style;
        const auto mode = mode_of(s.white_space);
        leaf->text = text::collapse_white_space(leaf->node->text, mode, carry_space);
        leaf->fragments.clear();
        // A space at the start of a line is dropped when spaces collapse.
        const text::FontSpec font = font_of(s);
        const bool one_piece = !text::allows_wrap(mode) && leaf->text.find('\n') == std::string::npos;
        if (one_piece) {
          // Text that never breaks (table cells): one cached measurement, no break table.
          const text::FontMetrics& m = metrics_of(s);
          const float half = (line_height_of(s) - m.ascent - m.descent) / 2;
          std::size_t start = 0;
          if (line.empty() && !leaf->text.empty() && leaf->text[0] == ' ' && mode != text::WhiteSpaceMode::pre)
            start = 1;
          if (start < leaf->text.size()) {
            any_content = true;
            const float w = measurer.width(font, std::string_view(leaf->text).substr(start));
            line.push_back({leaf, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(leaf->text.size()), w,
                            m.ascent + half, m.descent + half});
            line.back().lead = lead, line.back().trail = trail;
            line_width += lead + w + trail;
          }
          if (!leaf->text.empty()) carry_space = leaf->text.back() == ' ';
          continue;
        }
        measurer.advances(font, leaf->text, advances);
        text::break_opportunities(leaf->text, breaks, mode);
        const text::FontMetrics& m = metrics_of(s);
        const float lh = line_height_of(s);
        const float half = (lh - m.ascent - m.descent) / 2;
        const bool wraps = text::allows_wrap(mode) && wrap_allowed;
        std::size_t pos = 0;
        const std::string& t = leaf->text;
        while (pos < t.size()) {
          if (line.empty() && t[pos] == ' ' && text::spaces_hang(mode) && mode != text::WhiteSpaceMode::pre &&
              mode != text::WhiteSpaceMode::pre_wrap) {
            ++pos;
            continue;
          }
          any_content = true;
          const float item_lead = pos == 0 ? lead : 0;
          // A break is allowed before this run when the previous item ended in a space.
          const float available = cw - line_width - item_lead;
          const text::LineFit fit = text::fit_line(t, advances, breaks, pos, wraps ? available : infinity, wraps);
          if (!line.empty() && wraps && fit.width > available + 0.01f &&
              !(pos > 0 && breaks[pos] == text::no_break && !ends_with_space(line.back()))) {
            finish_line(false);
            continue;
          }
          float full = 0;
          for (std::size_t i = pos; i < fit.end; ++i) full += advances[i];
          LineItem item{leaf,
                        static_cast<std::uint32_t>(pos),
                        static_cast<std::uint32_t>(fit.end),
                        full,
                        m.ascent + half,
                        m.descent + half};
          item.lead = item_lead;
          item.trail = fit.end == t.size() ? trail : 0;
          line.push_back(item);
          line_width += item.lead + full + item.trail;
          pos = fit.end;
          if (fit.forced)
            finish_line(false);
          else if (pos < t.size())
            finish_line(false);
        }
        if (!t.empty()) carry_space = t.back() == ' ';
        continue;
      }
      // Atomic inline: an inline-block, image or check box.
      any_content = true;
      carry_space = false;
      layout_box(*leaf, cx, y, cw, std::nullopt, std::nullopt, std::nullopt, depth + 1);
      const float outer = leaf->width + leaf->margin.horizontal();
      if (!line.empty() && wrap_allowed && line_width + lead + outer + trail > cw + 0.01f) finish_line(false);
      LineItem item{leaf, 0, 0, outer, 0, 0};
      item.lead = lead, item.trail = trail;
      atomic_extent(*leaf, item, bs);
      line.push_back(item);
      line_width += lead + outer + trail;
    }
    finish_line(true);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) span_inline(**it, cx, cy);
    if (positioned_in_spans.size() > positioned_mark) {
      const std::vector<Box*> found(positioned_in_spans.begin() + static_cast<std::ptrdiff_t>(positioned_mark),
                                    positioned_in_spans.end());
      positioned_in_spans.resize(positioned_mark);
      for (Box* p : found) place_positioned(*p, b, depth);
    }
    for (Box* leaf : leaves) {
      if (leaf->kind == BoxKind::text) {
        // A text box spans its pieces, set afresh each time: moved rather than
        // set, its old place would drift with every shift of a kept cell.
        Box::Area a{cx, cy, 0, 0};
        for (const TextFragment& f : leaf->fragments) unite(a, f.x, f.y, f.width, f.height);
        leaf->x = a.x, leaf->y = a.y, leaf->width = a.width, leaf->height = a.height;
      }
      if (leaf->kind == BoxKind::text || leaf->kind == BoxKind::line_break) leaf->dirty = leaf->child_dirty = false;
    }
    for (Box* span : spans) span->dirty = span->child_dirty = false;
    box_lists.give(std::move(leaves));
    box_lists.give(std::move(spans));
    edge_lists.give(std::move(edges));
    line_lists.give(std::move(line));
    return y - cy;
  }

  // An inline element has no box of its own: it spans what it holds.
  void span_inline(Box& b, float cx, float cy) {
    float left = infinity, top = infinity, right = -infinity, bottom = -infinity;
    float first_baseline = infinity, last_baseline = -infinity;
    auto add = [&](float x, float y, float w, float h) {
      left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + w),
      bottom = std::max(bottom, y + h);
    };
    auto on_line = [&](float baseline) {
      first_baseline = std::min(first_baseline, baseline), last_baseline = std::max(last_baseline, baseline);
    };
    for (const Box* c : b.children) {
      if (c->kind == BoxKind::text) {
        for (const TextFragment& f : c->fragments) add(f.x, f.y, f.width, f.height), on_line(f.baseline);
      } else if (c->kind != BoxKind::line_break && !c->empty_inline && in_flow(c) &&
                 (c->width > 0 || c->height > 0 || !c->children.empty())) {
        add(c->x, c->y, c->width, c->height);
        if (c->kind == BoxKind::inline_) on_line(c->baseline);
      }
    }
    b.empty_inline = left > right;
    if (left <= right) {
      b.x = left - b.padding.left - b.border.left;
      b.width = right - b.x + b.padding.right + b.border.right;
      if (first_baseline <= last_baseline) {
        // Like a browser's inline box: its own font's ascent and descent around
        // the baseline, then padding and border; neither the line's leading nor
        // taller content inside make it taller.
        const text::FontMetrics& fm = metrics_of(*b.style);
        top = first_baseline - fm.ascent - b.padding.top - b.border.top;
        bottom = last_baseline + fm.descent + b.padding.bottom + b.border.bottom;
        b.baseline = first_baseline;
      } else {
        // Only blocks inside, no line of its own: a baseline from its top,
        // never one left over (and moved along) from an earlier layout.
        b.baseline = top + metrics_of(*b.style).ascent;
      }
      b.y = top;
      b.height = bottom - top;
    } else {
      // Nothing inside: an empty box at the start of the block's lines, as tall as its font.
      const text::FontMetrics& fm = metrics_of(*b.style);
      b.x = cx;
      b.y = cy;
      b.width = b.border.horizontal() + b.padding.horizontal();
      b.height = fm.ascent + fm.descent + b.border.vertical() + b.padding.vertical();
      b.baseline = cy + b.border.top + b.padding.top + fm.ascent;
    }
    compute_overflow(b);
  }

  static bool ends_with_space(const LineItem& it) {
    return it.box->kind == BoxKind::text && it.end > it.start && it.box->text[it.end - 1] == ' ';
  }

  void collect_leaves(Box& b, std::vector<Box*>& out, std::vector<Box*>& spans,
                      std::vector<std::pair<float, float>>& edges, int depth) {
    if (depth > max_depth) return;
    for (Box* c : b.children) {
      if (!in_flow(c)) continue;
      if (c->kind == BoxKind::inline_) {
        resolve_edges(*c, 0);
        spans.push_back(c);
        const std::size_t first = out.size();
        collect_leaves(*c, out, spans, edges, depth + 1);
        // Positioned boxes inside an inline element are placed with the block's.
        for (Box* g : c->children)
          if (!in_flow(g)) positioned_in_spans.push_back(g);
        if (out.size() > first) {
          edges[first].first += c->margin.left + c->border.left + c->padding.left;
          edges.back().second += c->padding.right + c->border.right + c->margin.right;
        }
        continue;
      }
      out.push_back(c);
      edges.emplace_back(0.0f, 0.0f);
    }
  }

  // The baseline of the last line box in `b`'s flow, if it has one.
  static std::optional<float> last_baseline(const Box& b, int depth = 0) {
    if (depth > max_depth) return std::nullopt;
    for (auto it = b.children.rbegin(); it != b.children.rend(); ++it) {
      const Box* c = *it;
      if (!in_flow(c)) continue;
      if (c->kind == BoxKind::text) {
        if (!c->fragments.empty()) return c->fragments.back().baseline;
        continue;
      }
      if (c->kind == BoxKind::replaced || c->is_scroll_container()) continue;
      if (const std::optional<float> base = last_baseline(*c, depth + 1)) return base;
    }
    return std::nullopt;
  }

  // Ascent and descent of an atomic inline on the line, by its vertical-align.
  void atomic_extent(Box& leaf, LineItem& item, const ComputedStyle& parent) {
    const float outer_height = leaf.height + leaf.margin.vertical();
    switch (leaf.style->vertical_align) {
      case style::VerticalAlign::middle: {
        const text::FontMetrics& m = metrics_of(parent);
        const float x_middle =
            (m.ascent * 0.5f) / 2;  // half the x-height (taken as half the ascent) above the baseline
        item.ascent = x_middle + outer_height / 2;
        item.descent = outer_height / 2 - x_middle;
        break;
      }
      default:
        // An inline-block sits on the baseline of its last line; one with no
        // line, or that clips, by its bottom margin edge.
        if (leaf.kind == BoxKind::inline_block && !leaf.is_scroll_container()) {
          const std::optional<float> base =
              is_text_box(leaf.node) && !leaf.fragments.empty() ? leaf.fragments[0].baseline : last_baseline(leaf);
          if (base) {
            item.ascent = *base - leaf.y + leaf.margin.top;
            item.descent = outer_height - item.ascent;
            break;
          }
        }
        item.ascent = outer_height;  // bottom margin edge on the baseline
        item.descent = 0;
        break;
    }
  }

  void apply_ellipsis(std::vector<LineItem>& line, float cw) {
    float x = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      LineItem& it = line[i];
      if (x + it.width <= cw + 0.01f) {
        x += it.width;
        continue;
      }
      if (it.box->kind == BoxKind::text) {
        const text::FontSpec font = font_of(*it.box->style);
        const float ellipsis_width = measurer.width(font, text::ellipsis);
        const std::string_view t(it.box->text);
        measurer.advances(font, t.substr(it.start, it.end - it.start), advances);
        const std::size_t keep =
            text::ellipsis_cut(advances, t.substr(it.start, it.end - it.start), cw - x, ellipsis_width);
        float w = 0;
        for (std::size_t k = 0; k < keep; ++k) w += advances[k];
        it.end = it.start + static_cast<std::uint32_t>(keep);
        it.width = w + ellipsis_width;
        it.ellipsis = true;
      }
      line.resize(i + 1);
      return;
    }
  }

  // --- flex layout -----------------------------------------------------------------------

  struct FlexItem {
    Box* box;
    float base = 0;  // flex base size (border box, main axis)
    float min = 0, max = infinity;
    float main = 0;   // resolved main size (border box)
    float cross = 0;  // border-box cross size
    bool frozen = false;
  };

  float layout_flex(Box& b, float cx, float cy, float cw, std::optional<float> content_height, int depth) {
    const ComputedStyle& s = *b.style;
    const bool row =
        s.flex_direction == style::FlexDirection::row || s.flex_direction == style::FlexDirection::row_reverse;
    const bool reverse = s.flex_direction == style::FlexDirection::row_reverse ||
                         s.flex_direction == style::FlexDirection::column_reverse;
    const float main_available = row ? cw : content_height.value_or(infinity);
    const float gap = row ? (s.column_gap.is_none() ? 0 : s.column_gap.resolve(cw))
                          : (s.row_gap.is_none() ? 0 : s.row_gap.resolve(content_height.value_or(0)));

    std::vector<FlexItem> items;
    for (Box* c : b.children)
      if (in_flow(c)) items.push_back({c});
    std::stable_sort(items.begin(), items.end(),
                     [](const FlexItem& a, const FlexItem& c) { return a.box->style->order < c.box->style->order; });

    // Base sizes and their limits.
    for (FlexItem& it : items) {
      Box& c = *it.box;
      const ComputedStyle& cs = *c.style;
      resolve_edges(c, cw);
      const Length& basis = cs.flex_basis;
      const Length& main_size = row ? cs.width : cs.height;
      const float edges =
          row ? c.border.horizontal() + c.padding.horizontal() : c.border.vertical() + c.padding.vertical();
      auto to_border_box = [&](float v) {
        return cs.box_sizing == style::BoxSizing::border_box ? std::max(v, edges) : v + edges;
      };
      if (!basis.is_auto() && basis.kind != style::LengthKind::content &&
          !(basis.is_percent() && !std::isfinite(main_available))) {
        it.base = to_border_box(basis.resolve(main_available));
      } else if (!main_size.is_auto() && !(main_size.is_percent() && !std::isfinite(main_available))) {
        it.base = to_border_box(main_size.resolve(main_available));
      } else if (row) {
        it.base = intrinsic_widths(c, depth + 1).second;
      } else {
        layout_box(c, cx, cy, cw, std::nullopt, item_cross_width(c, cw, s), std::nullopt, depth + 1);
        it.base = c.height;
      }
      const Length& min_l = row ? cs.min_width : cs.min_height;
      const Length& max_l = row ? cs.max_width : cs.max_height;
      if (!min_l.is_auto())
        it.min = to_border_box(min_l.resolve(main_available));
      else if (!cs.is_scroll_container())
        it.min = row ? std::min(intrinsic_widths(c, depth + 1, true).first,
                                main_size.is_auto() ? infinity : to_border_box(main_size.resolve(main_available)))
                     : 0;  // column items shrink freely; their content would overflow
      else
        it.min = edges;
      it.min = std::max(it.min, edges);
      if (!max_l.is_none() && !(max_l.is_percent() && !std::isfinite(main_available)))
        it.max = to_border_box(max_l.resolve(main_available));
      it.max = std::max(it.max, it.min);
    }

    // Resolve flexible lengths (one line).
    float margins = 0;
    for (const FlexItem& it : items) margins += row ? it.box->margin.horizontal() : it.box->margin.vertical();
    const float gaps = items.empty() ? 0 : gap * static_cast<float>(items.size() - 1);
    float sum_base = 0;
    for (FlexItem& it : items) sum_base += std::clamp(it.base, it.min, it.max);
    const bool grow = std::isfinite(main_available) && sum_base + margins + gaps < main_available;
    for (FlexItem& it : items) {
      const float factor = grow ? it.box->style->flex_grow : it.box->style->flex_shrink;
      it.main = std::clamp(it.base, it.min, it.max);
      it.frozen =
          factor == 0 || !std::isfinite(main_available) || (grow && it.base > it.main) || (!grow && it.base < it.main);
    }
    for (int round = 0; round < 32 && std::isfinite(main_available); ++round) {
      float used = margins + gaps, factors = 0, scaled = 0;
      for (const FlexItem& it : items) {
        if (it.frozen)
          used += it.main;
        else {
          used += it.base;
          factors += grow ? it.box->style->flex_grow : it.box->style->flex_shrink;
          scaled += it.box->style->flex_shrink * it.base;
        }
      }
      if (factors == 0) break;
      float free = main_available - used;
      if (factors < 1) free *= factors;  // factors below 1 take only that share
      float violation = 0;
      for (FlexItem& it : items) {
        if (it.frozen) continue;
        float target;
        if (grow)
          target = it.base + free * it.box->style->flex_grow / factors;
        else
          target = scaled > 0 ? it.base + free * (it.box->style->flex_shrink * it.base) / scaled : it.base;
        const float clamped = std::clamp(target, it.min, it.max);
        violation += clamped - target;
        it.main = clamped;
      }
      bool any = false;
      for (FlexItem& it : items) {
        if (it.frozen) continue;
        const float factor_target = it.main;
        if (violation == 0 || (violation > 0 && factor_target == it.min) ||
            (violation < 0 && factor_target == it.max)) {
          it.frozen = true;
          any = true;
        }
      }
      if (violation == 0 || !any) {
        for (FlexItem& it : items) it.frozen = true;
        break;
      }
    }

    // Cross sizes: lay each item out at its main size.
    const std::optional<float> cross_available = row ? content_height : std::optional(cw);
    float line_cross = 0;
    for (FlexItem& it : items) {
      Box& c = *it.box;
      if (row) {
        layout_box(c, cx, cy, cw, content_height, it.main, std::nullopt, depth + 1);
        it.cross = c.height;
        line_cross = std::max(line_cross, c.height + c.margin.vertical());
      } else {
        const std::optional<float> w = item_cross_width(c, cw, s);
        layout_box(c, cx, cy, cw, content_height, w, it.main, depth + 1);
        it.cross = c.width;
        line_cross = std::max(line_cross, c.width + c.margin.horizontal());
      }
    }
    if (cross_available) line_cross = *cross_available;

    // Stretch items whose cross size is auto.
    for (FlexItem& it : items) {
      Box& c = *it.box;
      const style::Align align = c.style->align_self == style::Align::auto_ ? s.align_items : c.style->align_self;
      const bool stretch = align == style::Align::stretch || align == style::Align::normal;
      const bool cross_auto = row ? c.style->height.is_auto() : c.style->width.is_auto();
      const bool margin_auto = row ? (c.style->margin[0].is_auto() || c.style->margin[2].is_auto())
                                   : (c.style->margin[1].is_auto() || c.style->margin[3].is_auto());
      if (stretch && cross_auto && !margin_auto) {
        const float target = line_cross - (row ? c.margin.vertical() : c.margin.horizontal());
        if (row) {
          const float h = clamp_height(c, target, content_height);
          if (std::fabs(h - c.height) > 0.01f) layout_box(c, cx, cy, cw, content_height, it.main, h, depth + 1);
        } else {
          const float w = clamp_width(c, target, cw);
          if (std::fabs(w - c.width) > 0.01f) layout_box(c, cx, cy, cw, content_height, w, it.main, depth + 1);
        }
        it.cross = row ? c.height : c.width;
      }
    }

    // Main-axis placement.
    float used = gaps;
    int auto_margins = 0;
    for (const FlexItem& it : items) {
      const Box& c = *it.box;
      used += it.main + (row ? c.margin.horizontal() : c.margin.vertical());
      if (row)
        auto_margins += c.style->margin[1].is_auto() + c.style->margin[3].is_auto();
      else
        auto_margins += c.style->margin[0].is_auto() + c.style->margin[2].is_auto();
    }
    const float main_size = row ? cw : (content_height ? *content_height : used);
    float free = main_size - used;
    float start = 0, between = gap;
    const float per_auto_margin = auto_margins > 0 && free > 0 ? free / static_cast<float>(auto_margins) : 0;
    if (auto_margins == 0 || free <= 0) {
      const std::size_t n = items.size();
      switch (s.justify_content) {
        case style::Align::flex_end:
        case style::Align::end:
          start = free;
          break;
        case style::Align::center:
          start = free / 2;
          break;
        case style::Align::space_between:
          if (n > 1 && free > 0) between += free / static_cast<float>(n - 1);
          break;
        case style::Align::space_around:
          if (n > 0 && free > 0) start = free / static_cast<float>(2 * n), between += free / static_cast<float>(n);
          break;
        case style::Align::space_evenly:
          if (n > 0 && free > 0) start = free / static_cast<float>(n + 1), between += free / static_cast<float>(n + 1);
          break;
        default:
          break;
      }
    }
    if (reverse) std::reverse(items.begin(), items.end());
    if (reverse && (s.justify_content == style::Align::normal || s.justify_content == style::Align::flex_start))
      start = free;  // reversed lines pack at the main end
    float pos = start;
    for (FlexItem& it : items) {
      Box& c = *it.box;
      const ComputedStyle& cs = *c.style;
      float lead = row ? c.margin.left : c.margin.top;
      float trail = row ? c.margin.right : c.margin.bottom;
      if (row) {
        if (cs.margin[3].is_auto()) lead += per_auto_margin;
        if (cs.margin[1].is_auto()) trail += per_auto_margin;
      } else {
        if (cs.margin[0].is_auto()) lead += per_auto_margin;
        if (cs.margin[2].is_auto()) trail += per_auto_margin;
      }
      // Cross-axis alignment.
      const style::Align align = cs.align_self == style::Align::auto_ ? s.align_items : cs.align_self;
      const float cross_margins = row ? c.margin.vertical() : c.margin.horizontal();
      const float cross_free = line_cross - it.cross - cross_margins;
      float cross_offset = 0;
      if (align == style::Align::center)
        cross_offset = cross_free / 2;
      else if (align == style::Align::flex_end || align == style::Align::end)
        cross_offset = cross_free;
      const bool cross_margin_auto_start = row ? cs.margin[0].is_auto() : cs.margin[3].is_auto();
      const bool cross_margin_auto_end = row ? cs.margin[2].is_auto() : cs.margin[1].is_auto();
      if (cross_margin_auto_start && cross_margin_auto_end)
        cross_offset = std::max(0.0f, cross_free / 2);
      else if (cross_margin_auto_start)
        cross_offset = std::max(0.0f, cross_free);
      const float target_x = row ? cx + pos + lead : cx + (row ? 0 : c.margin.left) + cross_offset;
      const float target_y = row ? cy + c.margin.top + cross_offset : cy + pos + lead;
      translate(c, target_x - c.x, target_y - c.y);
      pos += lead + it.main + trail + between;
    }
    return row ? line_cross : (content_height ? *content_height : used);
  }

  // Width of a column flex item: stretched to the container unless it has a width.
  std::optional<float> item_cross_width(Box& c, float cw, const ComputedStyle& container) {
    if (!c.style->width.is_auto()) return std::nullopt;
    const style::Align align = c.style->align_self == style::Align::auto_ ? container.align_items : c.style->align_self;
    if (align == style::Align::stretch || align == style::Align::normal) {
      if (c.style->margin[1].is_auto() || c.style->margin[3].is_auto()) return fit_content(c, cw);
      return clamp_width(c, cw - c.margin.horizontal(), cw);
    }
    return fit_content(c, cw);
  }

  float fit_content(Box& c, float cw) {
    const auto [min, max] = intrinsic_widths(c);
    return clamp_width(c, std::min(std::max(min, cw - c.margin.horizontal()), max), cw);
  }

  // --- tables (fixed layout, as the list pages use) ---------------------------------------

  std::vector<Box*> table_rows(Box& table) {
    std::vector<Box*> head, body, foot;
    for (Box* c : table.children) {
      if (c->kind == BoxKind::table_row)
        body.push_back(c);
      else if (c->kind == BoxKind::table_row_group) {
        auto& list = c->style->display == Display::table_header_group   ? head
                     : c->style->display == Display::table_footer_group ? foot
                                                                        : body;
        for (Box* r : c->children)
          if (r->kind == BoxKind::table_row) list.push_back(r);
      }
    }
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), foot.begin(), foot.end());
    return head;
  }

  // Whether the window needs a vertical scroll bar: the root's overflow, or the
  // body's when the root's is visible, decides, as browsers let it.
  bool viewport_scrolls(const Box& root) const {
    style::Overflow o = root.style->overflow_y;
    if (o == style::Overflow::visible && document.body && document.body->style) o = document.body->style->overflow_y;
    if (o == style::Overflow::hidden || o == style::Overflow::clip) return false;
    if (o == style::Overflow::scroll) return true;
    const float bottom = std::max(root.y + root.height + root.margin.bottom, root.content_y() + root.content_height);
    return bottom > requested.viewport_height + 0.01f;
  }

  float layout_table(Box& table, float cx, float cy, float cw, int depth) {
    const ComputedStyle& ts = *table.style;
    const float hs = ts.border_collapse ? 0 : ts.border_spacing_h;
    const float vs = ts.border_collapse ? 0 : ts.border_spacing_v;
    const std::vector<Box*> rows = table_rows(table);

    // Column widths from <col> elements, then from the first row's cells.
    std::vector<std::optional<Length>> specified;
    for (Box* c : table.children) {
      if (c->style->display == Display::table_column)
        specified.push_back(c->style->width.is_auto() ? std::nullopt : std::optional(c->style->width));
      if (c->style->display == Display::table_column_group)
        for (Box* col : c->children)
          specified.push_back(col->style->width.is_auto() ? std::nullopt : std::optional(col->style->width));
    }
    std::size_t columns = specified.size();
    for (Box* r : rows) {
      std::size_t n = 0;
      for (Box* cell : r->children)
        if (cell->kind == BoxKind::table_cell) ++n;
      columns = std::max(columns, n);
    }
    specified.resize(columns);
    if (!rows.empty()) {
      std::size_t i = 0;
      for (Box* cell : rows.front()->children) {
        if (cell->kind != BoxKind::table_cell) continue;
        resolve_edges(*cell, cw);
        if (!specified[i] && !cell->style->width.is_auto()) {
          const Length w = cell->style->width;
          // A cell's width names its border box in a fixed table when the cell says so.
          specified[i] = w.is_percent() ? w : Length::px(border_box_width(*cell, w.value));
        }
        ++i;
      }
    }
    const float spacing = hs * static_cast<float>(columns + 1);
    const float available = std::max(0.0f, cw - spacing);
    std::vector<float> widths(columns, 0);
    float fixed = 0;
    std::size_t auto_count = 0;
    for (std::size_t i = 0; i < columns; ++i) {
      if (specified[i]) {
        widths[i] = specified[i]->resolve(available);
        fixed += widths[i];
      } else {
        ++auto_count;
      }
    }
    // Every table is laid out the fixed way (the pages use only fixed tables):
    // auto columns share what the sized ones leave.
    const float rest = std::max(0.0f, available - fixed);
    for (std::size_t i = 0; i < columns; ++i)
      if (!specified[i]) widths[i] = auto_count ? rest / static_cast<float>(auto_count) : 0;
    if (auto_count == 0 && fixed < available && fixed > 0) {
      // Wider table than its columns: the columns grow in proportion.
      for (float& w : widths) w *= available / fixed;
    }

    float y = cy + vs;
    std::vector<Box*> cells;
    const bool same_columns = !table.dirty && table.column_widths == widths;
    for (Box* row : rows) {
      if (same_columns && (!force_all || row->laid_out_pass == pass) && !row->dirty && !row->child_dirty &&
          !row->holds_out_of_flow && row->laid_out && row->laid_out_with.cb_width == cw) {
        translate(*row, cx - row->x, y - row->y);
        y += row->height + vs;
        continue;
      }
      ++laid_out_count;
      resolve_edges(*row, cw);
      row->x = cx;
      row->y = y;
      row->width = cw;
      float row_height = 0;
      if (auto h = specified_height(*row, std::nullopt)) row_height = *h;
      std::size_t col = 0;
      float x = cx + hs;
      cells.clear();
      for (Box* cell : row->children) {
        if (cell->kind != BoxKind::table_cell) continue;
        const float w = col < columns ? widths[col] : 0;
        resolve_edges(*cell, cw);
        layout_box(*cell, x, y, w, std::nullopt, w, std::nullopt, depth + 1);
        float h = cell->height;
        if (auto sh = specified_height(*cell, std::nullopt)) h = std::max(h, *sh);
        row_height = std::max(row_height, h);
        cells.push_back(cell);
        x += w + hs;
        ++col;
      }
      // Every cell takes the row's height; its content sits by vertical-align.
      for (Box* cell : cells) {
        if (std::fabs(cell->height - row_height) > 0.01f)
          layout_box(*cell, cell->x - cell->margin.left, cell->y - cell->margin.top, cell->width, std::nullopt,
                     cell->width, row_height, depth + 1);
        const float free = cell->content_box_height() - cell->scrollbar_x - cell->flow_height;
        float shift = 0;
        if (cell->style->vertical_align == style::VerticalAlign::middle)
          shift = free / 2;
        else if (cell->style->vertical_align == style::VerticalAlign::bottom)
          shift = free;
        shift = std::max(shift, 0.0f);
        // A cell kept from the last layout already holds its content shifted.
        if (shift != cell->content_shift) {
          for (Box* c : cell->children) translate(*c, 0, shift - cell->content_shift);
          cell->content_shift = shift;
          compute_overflow(*cell);
        }
      }
      row->height = row_height;
      compute_overflow(*row);
      row->laid_out = true;
      row->laid_out_pass = pass;
      row->laid_out_with = {cw, std::nullopt, std::nullopt, std::nullopt};
      row->dirty = row->child_dirty = false;
      y += row_height + vs;
    }
    // Row groups span their rows.
    for (Box* c : table.children) {
      c->dirty = c->child_dirty = false;
      if (c->kind != BoxKind::table_row_group) continue;
      float top = infinity, bottom = -infinity;
      for (Box* r : c->children)
        if (r->kind == BoxKind::table_row) top = std::min(top, r->y), bottom = std::max(bottom, r->y + r->height);
      c->x = cx;
      c->width = cw;
      c->y = std::isfinite(top) ? top : y;
      c->height = std::isfinite(top) ? bottom - top : 0;
      compute_overflow(*c);
    }
    // Columns and their groups cover their cells from the first row to the last,
    // as a browser reports them.
    std::vector<float> left(columns + 1, cx + hs);
    for (std::size_t i = 0; i < columns; ++i) left[i + 1] = left[i] + widths[i] + hs;
    const float rows_top = cy + vs, rows_height = std::max(0.0f, y - vs - rows_top);
    std::size_t next = 0;
    auto place = [&](Box& c, std::size_t first, std::size_t count) {
      const std::size_t a = std::min(first, columns), b = std::min(first + count, columns);
      c.x = left[a], c.y = rows_top, c.height = rows_height;
      c.width = b > a ? left[b] - hs - left[a] : 0;
      c.overflow = {};  // columns draw nothing of their own
    };
    for (Box* c : table.children) {
      if (c->style->display == Display::table_column) {
        place(*c, next++, 1);
      } else if (c->style->display == Display::table_column_group) {
        const std::size_t first = next;
        for (Box* col : c->children) place(*col, next++, 1);
        place(*c, first, next - first);
      }
    }
    table.column_widths = std::move(widths);
    return y - cy;
  }
};

LayoutTree::LayoutTree(Document& document, text::TextMeasurer& measurer, bool observer)
    : impl_(std::make_unique<Impl>(document, measurer)) {
  impl_->observer = observer;
}

LayoutTree::~LayoutTree() = default;

std::size_t LayoutTree::boxes_laid_out() const { return impl_->laid_out_count; }

void LayoutTree::layout(const LayoutOptions& options) {
  Impl& m = *impl_;
  Document& doc = m.document;
  m.laid_out_count = 0;
  ++m.pass;
  m.metrics_cache.clear();  // keyed by style addresses, which restyling frees and reuses
  const bool from_scratch = m.observer || !root_ || root_->node != doc.root || doc.layout_generation != m.generation ||
                            (doc.document_node->flags & flag_needs_layout) ||
                            m.dead_boxes > m.boxes.size() / 2 + 4096 || !m.update_boxes();
  if (from_scratch) {
    m.boxes.clear();
    m.anonymous_styles.clear();
    m.dead_boxes = 0;
    root_ = nullptr;
    if (!m.observer) {
      if (++doc.layout_generation == 0) ++doc.layout_generation;  // 0 means "no box" on a fresh node
      m.generation = doc.layout_generation;
      doc.document_node->flags &= ~Impl::layout_flags;
      if (doc.root) doc.root->flags &= ~Impl::layout_flags;
    }
    if (doc.root) root_ = m.build(doc.root, nullptr, 0);
  }
  m.force_all = from_scratch || options.viewport_width != m.requested.viewport_width ||
                options.viewport_height != m.requested.viewport_height ||
                options.scrollbar_size != m.requested.scrollbar_size;
  m.requested = m.options = options;
  if (root_) {
    // A page taller than the window scrolls in it: the bar's width comes off
    // everything, fixed boxes included. Whether it did last time is the first
    // guess, so a long page is not laid out twice per frame.
    if (options.viewport_bar_first) m.viewport_bar = *options.viewport_bar_first;
    auto lay_out = [&] {
      m.options.viewport_width = std::max(0.0f, options.viewport_width - (m.viewport_bar ? options.scrollbar_size : 0));
      m.layout_box(*root_, 0, 0, m.options.viewport_width, options.viewport_height);
    };
    lay_out();
    if (m.viewport_scrolls(*root_) != m.viewport_bar) {
      m.viewport_bar = !m.viewport_bar;
      lay_out();
    }
    root_->scrollbar_y = m.viewport_bar ? options.scrollbar_size : 0;
  }
  m.force_all = false;
}

const LayoutOptions& LayoutTree::options() const { return impl_->requested; }

const Box* LayoutTree::box_of(const Node* node) const {
  if (!node || node->layout_generation != impl_->generation || !node->layout_box || node->layout_box->dead)
    return nullptr;
  return node->layout_box;
}

std::string first_difference(const Box* a, const Box* b, float tolerance) {
  std::vector<std::pair<const Box*, const Box*>> stack{{a, b}};
  // In a document millions of pixels tall a float's own step outgrows the
  // tolerance: sums and differences of such sizes (a cell centring content
  // as tall as itself) round a few steps apart even for boxes near the
  // origin. The largest extent of the layout sets how far that can go.
  float extent = 0;
  for (const Box* root : {a, b}) {
    std::vector<const Box*> walk{root};
    while (!walk.empty()) {
      const Box* n = walk.back();
      walk.pop_back();
      if (!n) continue;
      extent = std::max({extent, std::fabs(n->x) + std::fabs(n->width), std::fabs(n->y) + std::fabs(n->height)});
      walk.insert(walk.end(), n->children.begin(), n->children.end());
    }
  }
  const float slack = std::max(tolerance, extent * 8 * std::numeric_limits<float>::epsilon());
  auto far = [slack](float x, float y) { return !(std::fabs(x - y) <= slack); };
  while (!stack.empty()) {
    const auto [p, q] = stack.back();
    stack.pop_back();
    if (!p || !q) {
      if (p != q) return "one layout is empty";
      continue;
    }
    char where[96];
    std::snprintf(where, sizeof where, "box at %g,%g (kind %d): ", p->x, p->y, static_cast<int>(p->kind));
    if (p->kind != q->kind || p->node != q->node) return std::string(where) + "different boxes";
    // A text box's own rectangle means nothing: its pieces say where it is.
    if (p->kind != BoxKind::text &&
        (far(p->x, q->x) || far(p->y, q->y) || far(p->width, q->width) || far(p->height, q->height)))
      return std::string(where) + "different geometry";
    if (p->fragments.size() != q->fragments.size() || p->text != q->text) return std::string(where) + "different text";
    for (std::size_t i = 0; i < p->fragments.size(); ++i) {
      const TextFragment& f = p->fragments[i];
      const TextFragment& g = q->fragments[i];
      if (f.start != g.start || f.end != g.end || f.ellipsis != g.ellipsis || far(f.x, g.x) || far(f.y, g.y) ||
          far(f.width, g.width) || far(f.height, g.height))
        return std::string(where) + "different text pieces";
    }
    if (p->children.size() != q->children.size()) return std::string(where) + "different children";
    for (std::size_t i = 0; i < p->children.size(); ++i) stack.push_back({p->children[i], q->children[i]});
  }
  return {};
}

std::string LayoutTree::dump() const {
  std::string out;
  if (!root_) return out;
  // "x,y wxh" with two decimals at most.
  auto put_rect = [&out](float x, float y, float w, float h) {
    char buf[96];
    auto r = [](float v) { return std::round(v * 100) / 100; };
    std::snprintf(buf, sizeof buf, "%g,%g %gx%g", r(x), r(y), r(w), r(h));
    out += buf;
  };
  struct Item {
    const Box* box;
    int depth;
  };
  std::vector<Item> stack{{root_, 0}};
  const Document& doc = impl_->document;
  while (!stack.empty()) {
    const auto [b, depth] = stack.back();
    stack.pop_back();
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    if (b->kind == BoxKind::text) {
      out += "text";
      for (const TextFragment& f : b->fragments) {
        out += " [";
        put_rect(f.x, f.y, f.width, f.height);
        out += " \"";
        out.append(b->text, f.start, f.end - f.start);
        if (f.ellipsis) out += "\xE2\x80\xA6";
        out += "\"]";
      }
    } else {
      out += b->node ? std::string(doc.names.name(b->node->tag)) : std::string("anonymous");
      if (b->node)
        if (const std::string* id = attribute_value(b->node, atom_id)) {
          out += '#';  // appended in two steps: GCC 12 warns falsely about "#" + *id
          out += *id;
        }
      out += ' ';
      put_rect(b->x, b->y, b->width, b->height);
    }
    out += '\n';
    for (auto it = b->children.rbegin(); it != b->children.rend(); ++it) stack.push_back({*it, depth + 1});
  }
  return out;
}

}  // namespace ostrel::layout
