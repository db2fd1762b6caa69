#include "layout/tree_builder.h"

#include <algorithm>

#include "layout/context.h"
#include "layout/table.h"
#include "src/memory_usage.h"

namespace ostrel::layout {
namespace {

using style::ComputedStyle;
using style::Display;

BoxKind kind_for(const Node* element, const ComputedStyle& s) {
  switch (element->tag_kind) {
    case TagKind::img:
    case TagKind::svg:
      return BoxKind::replaced;
    case TagKind::input:
      if (element->control == ControlKind::checkbox || element->control == ControlKind::radio) return BoxKind::replaced;
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

bool fits_table_part(const Box* parent, Display d) {
  switch (parent->kind) {
    case BoxKind::table:
      return d == Display::table_row_group || d == Display::table_header_group || d == Display::table_footer_group ||
             d == Display::table_row || d == Display::table_column || d == Display::table_column_group ||
             d == Display::table_caption;
    case BoxKind::table_row_group:
      return d == Display::table_row;
    case BoxKind::table_row:
      return d == Display::table_cell;
    default:
      return true;
  }
}

bool collapsible_blank(const Box* b) {
  if (b->kind != BoxKind::text) return false;
  const auto ws = b->style->white_space;
  if (ws == style::WhiteSpace::pre || ws == style::WhiteSpace::pre_wrap || ws == style::WhiteSpace::break_spaces)
    return false;
  return std::all_of(b->node->text.begin(), b->node->text.end(), [](char c) { return is_html_space(c); });
}

void trim_trailing_blanks(Box* run) {
  while (!run->children.empty() && collapsible_blank(run->children.back())) run->children.pop_back();
}

// Whether an element shows nothing: it or an ancestor is display: none.
bool hidden(const Node* n) {
  for (; n && n->is_element(); n = n->parent)
    if (!n->style || n->style->display == Display::none) return true;
  return false;
}

int depth_of(const Box* b) {
  int depth = 0;
  for (const Box* p = b->parent; p; p = p->parent) ++depth;
  return depth;
}

}  // namespace

Box* BoxTreeBuilder::new_box(Node* node, const ComputedStyle* s, BoxKind kind, Box* parent) {
  Box& b = ctx.make_box();
  b.node = node;
  b.style = s;
  b.kind = kind;
  b.parent = parent;
  if (node && !ctx.observer) {
    node->layout_box = &b;
    node->layout_generation = generation;
    if (node->is_element()) b.style_ref = node->style;
  }
  return &b;
}

std::shared_ptr<const ComputedStyle> BoxTreeBuilder::anonymous_style(const Box& parent) {
  if (!parent.style_ref) return std::make_shared<const ComputedStyle>(style::anonymous_block_style(*parent.style));
  auto& entry = anonymous_styles[parent.style];
  if (!entry.second) {
    entry.first = parent.style_ref;
    entry.second = std::make_shared<const ComputedStyle>(style::anonymous_block_style(*parent.style));
  }
  return entry.second;
}

Box* BoxTreeBuilder::new_anonymous_block(Box* parent) {
  std::shared_ptr<const ComputedStyle> s = anonymous_style(*parent);
  Box* b = new_box(nullptr, s.get(), BoxKind::block, parent);
  b->style_ref = std::move(s);
  return b;
}

// Clears what the layout is told to look at in a subtree it has just dealt with.
void BoxTreeBuilder::clear_layout_flags(Node* subtree) {
  if (ctx.observer) return;
  std::vector<Node*>& stack = node_stack;
  stack.assign(1, subtree);
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    n->flags &= ~layout_flags;
    for (Node* c = n->first_child; c; c = c->next) stack.push_back(c);
  }
}

void BoxTreeBuilder::build_children(Node* element, Box* box, int depth) {
  for (Node* child = element->first_child; child; child = child->next) {
    if (!child->is_text() &&
        (!child->is_element() || !child->style || child->style->display == Display::none || depth + 1 > max_depth)) {
      clear_layout_flags(child);  // shows nothing: nothing for the layout to follow inside
      continue;
    }
    if (!ctx.observer) child->flags &= ~layout_flags;
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

Box* BoxTreeBuilder::build(Node* element, Box* parent, int depth) {
  const ComputedStyle* s = element->style.get();
  if (!s || s->display == Display::none || depth > max_depth) return nullptr;
  if (s->display == Display::table_column || s->display == Display::table_column_group) {
    // Columns carry widths only; keep them so the table can read them.
    Box* col = new_box(element, s, BoxKind::block, parent);
    if (s->display == Display::table_column_group) build_children(element, col, depth);
    return col;
  }
  Box* box = new_box(element, s, kind_for(element, *s), parent);
  if (box->kind == BoxKind::replaced) find_picture(ctx, *box);
  if (box->kind == BoxKind::table_cell) ctx.tables.spans[*box] = static_cast<std::uint16_t>(read_column_span(element));
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

// A block container holds either only blocks or only inline content: runs of
// inline content next to blocks go into anonymous blocks.
void BoxTreeBuilder::wrap_inline_runs(Box* box) {
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

// Flex items are boxes: text directly in a flex container becomes an anonymous block.
void BoxTreeBuilder::wrap_flex_text(Box* box) {
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

Box* BoxTreeBuilder::live_box(const Node* n) const {
  if (n->layout_generation != generation || !n->layout_box || n->layout_box->dead) return nullptr;
  return n->layout_box;
}

// Retires a replaced subtree: its nodes stop pointing at it, its styles are let go.
void BoxTreeBuilder::kill(Box* b) {
  ++ctx.shape_changes;
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

// Rows came or went in a row group (a list's rows opened or closed): the
// rows that stayed keep their boxes and only new rows are built, where
// making the whole group anew would retire the boxes of every row of a long
// list at each change, and keep them until the next layout from scratch.
// False, with nothing changed, where the group's children need the general
// way (display: contents among them).
bool BoxTreeBuilder::reconcile_rows(Node* group, Box& box) {
  for (Node* c = group->first_child; c; c = c->next)
    if (c->is_element() && c->style && c->style->display == Display::contents) return false;
  std::vector<Box*>& rows = rows_scratch;
  rows.clear();
  const int depth = depth_of(&box) + 1;
  for (Node* c = group->first_child; c; c = c->next) {
    if (c->is_text()) continue;  // tables hold no text of their own
    if (!c->is_element() || !c->style || c->style->display == Display::none ||
        !fits_table_part(&box, c->style->display)) {
      clear_layout_flags(c);
      continue;
    }
    if (Box* kept = live_box(c); kept && kept->parent == &box) {
      rows.push_back(kept);  // its own changes, if any, come next in the walk
      continue;
    }
    if (!ctx.observer) c->flags &= ~layout_flags;
    if (Box* made = build(c, &box, depth)) rows.push_back(made);
  }
  bool holds_out_of_flow = false;
  for (const Box* r : rows) holds_out_of_flow = holds_out_of_flow || r->holds_out_of_flow;
  std::vector<Box*>& before = before_scratch;
  before.assign(box.children.begin(), box.children.end());
  std::sort(before.begin(), before.end());
  if (holds_out_of_flow != box.holds_out_of_flow) {
    // The group's parent places it differently now: it makes the group anew.
    for (Box* r : rows)
      if (!std::binary_search(before.begin(), before.end(), r)) kill(r);
    return false;
  }
  std::vector<Box*>& after = after_scratch;
  after.assign(rows.begin(), rows.end());
  std::sort(after.begin(), after.end());
  for (Box* old : box.children)
    if (!std::binary_search(after.begin(), after.end(), old)) kill(old);
  box.children.assign(rows.begin(), rows.end());
  mark_dirty(&box);
  return true;
}

// New boxes for an element's subtree, put where the old ones were. When the
// new box would sit differently among its siblings (inline instead of block,
// in or out of the flow, or none at all), the parent's boxes are made anew
// instead. False when that reaches the root element.
bool BoxTreeBuilder::rebuild(Node* element) {
  // Only for a change of rows: a group whose own style changed is made anew.
  if (Box* group = live_box(element); group && group->kind == BoxKind::table_row_group &&
                                      group->style_ref == element->style && !ctx.observer &&
                                      reconcile_rows(element, *group))
    return true;
  for (Node* target = element;; target = target->parent) {
    if (!target || !target->is_element() || target == ctx.document.root) return false;
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
bool BoxTreeBuilder::restyled(Node* element) {
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
void BoxTreeBuilder::restyle_shared(Box& owner, const ComputedStyle* before, bool relayout) {
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

// Follows the elements marked since the last layout. False when the root
// element itself needs new boxes.
bool BoxTreeBuilder::update_boxes() {
  Node* top = ctx.document.document_node;
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

std::size_t BoxTreeBuilder::memory_usage() const {
  return memory::heap(anonymous_styles) + memory::heap(node_stack) + memory::heap(kill_stack) +
         memory::heap(walk_stack) + memory::heap(rows_scratch) + memory::heap(before_scratch) +
         memory::heap(after_scratch);
}

}  // namespace ostrel::layout
