#include "layout/block.h"

#include "layout/box_model.h"
#include "layout/context.h"

namespace ostrel::layout {
namespace {

// Whether a block's margins meet its children's (no border, padding or new
// formatting context between them).
bool margins_meet_children(const LayoutContext& ctx, const Box& b) {
  if (b.kind != BoxKind::block || !b.node || b.node == ctx.document.root || b.is_scroll_container()) return false;
  if (b.style->position == style::Position::absolute || b.style->position == style::Position::fixed) return false;
  if (b.parent && (b.parent->kind == BoxKind::flex || b.parent->kind == BoxKind::table_cell)) return false;
  return true;
}

// A height that gives a box no height of its own: auto, zero, or a percentage
// of a containing block whose height is not known yet (which means auto).
bool no_own_height(const style::Length& h, std::optional<float> cb_height) {
  return h.is_auto() || (h.is_percent() && !cb_height) || h.resolve(cb_height.value_or(0)) == 0;
}

// Whether a block holds a line box: text placed on a line or an atomic
// inline, even on a line 0 px tall.
bool has_line(const Box& c, int depth = 0) {
  if (depth > max_depth) return false;
  for (const Box* k : c.children) {
    if (!in_flow(k)) continue;
    if (k->kind == BoxKind::text) {
      if (!k->fragments.empty()) return true;
    } else if (k->kind == BoxKind::inline_) {
      if (has_line(*k, depth + 1)) return true;
    } else if (is_inline_level(k)) {
      return true;
    }
  }
  return false;
}

// CSS 2.2 §8.3.1: a block with no height, border, padding or content (a
// line box counts, however short) has its top and bottom margins adjoining.
bool self_collapsing(const Box& c, std::optional<float> cb_height, int depth = 0) {
  if (c.kind != BoxKind::block || c.height != 0 || c.border.vertical() != 0 || c.padding.vertical() != 0 ||
      !no_own_height(c.style->height, cb_height) || !no_own_height(c.style->min_height, cb_height) || has_line(c))
    return false;
  // With an auto height no height means no content; height: 0 may hide some,
  // and then the margins stay apart.
  if (c.style->height.is_auto() || (c.style->height.is_percent() && !cb_height)) return true;
  if (depth > max_depth) return false;
  return std::none_of(c.children.begin(), c.children.end(),
                      [&](const Box* k) { return in_flow(k) && !self_collapsing(*k, 0.0f, depth + 1); });
}

}  // namespace

float layout_blocks(LayoutContext& ctx, Box& b, float x, float y, float width, std::optional<float> content_height,
                    int depth) {
  const bool meet = margins_meet_children(ctx, b);
  const bool through_top = meet && b.border.top == 0 && b.padding.top == 0;
  const bool through_bottom = meet && b.border.bottom == 0 && b.padding.bottom == 0 && b.style->height.is_auto() &&
                              b.style->min_height.is_auto();
  float bottom = y;         // bottom border edge of the previous sibling
  CollapsedMargin pending;  // margins waiting between it and the next sibling
  CollapsedMargin escaped;  // margins of the first children, which join the block's own
  bool first = true;
  for (Box* c : b.children) {
    if (!in_flow(c)) {
      // Below the boxes before it, past the margins that wait below them.
      ctx.positioned.record_static(*c, 0, (first ? y : bottom + pending.value()) - y);
      continue;
    }
    resolve_edges(ctx, *c, width);
    layout_box(ctx, *c, x, bottom, width, content_height, std::nullopt, std::nullopt, depth + 1);
    // Its top margin may hold its own first child's by now.
    const BlockMargins& margins = ctx.cache_of(*c).collapsed;
    const bool empty = self_collapsing(*c, content_height);
    CollapsedMargin own = margins.top;
    if (empty) own.add(margins.bottom);
    float top;
    if (first && through_top) {
      escaped.add(own);  // the parent takes it
      top = y;
    } else {
      CollapsedMargin above = pending;
      above.add(margins.top);
      top = bottom + above.value();
      if (empty) pending.add(own);
    }
    translate(ctx, *c, 0, top - c->y);
    if (empty) {
      // Nothing separates the margins around an empty block: they all join.
      if (!(first && through_top)) first = false;
      continue;
    }
    bottom = c->y + c->height;
    pending = margins.bottom;
    first = false;
  }
  BlockMargins& own = ctx.cache_of(b).collapsed;
  if (!escaped.empty()) {
    own.top.add(escaped);
    const float combined = own.top.value();
    translate(ctx, b, 0, combined - b.margin.top);
    b.margin.top = combined;
  }
  if (through_bottom && !first) {
    own.bottom.add(pending);
    b.margin.bottom = own.bottom.value();
    return bottom - y;
  }
  return bottom + (first ? 0 : pending.value()) - y;
}

}  // namespace ostrel::layout
