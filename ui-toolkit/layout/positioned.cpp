#include "layout/positioned.h"

#include <algorithm>

#include "layout/box_model.h"
#include "layout/context.h"

namespace ostrel::layout {
namespace {

// CSS 2.2 §10.1: the nearest positioned ancestor (its padding box).
Box* containing_block(Box& parent) {
  for (Box* a = &parent; a; a = a->parent)
    if (a->style && a->style->position != style::Position::static_ && a->node) return a;
  return nullptr;
}

}  // namespace

void offset_relative(LayoutContext& ctx, Box& b, float cb_width, std::optional<float> cb_height) {
  const style::ComputedStyle& s = *b.style;
  float dx = 0, dy = 0;
  if (!s.inset[3].is_auto())
    dx = s.inset[3].resolve(cb_width);
  else if (!s.inset[1].is_auto())
    dx = -s.inset[1].resolve(cb_width);
  if (!s.inset[0].is_auto())
    dy = s.inset[0].resolve(cb_height.value_or(0));
  else if (!s.inset[2].is_auto())
    dy = -s.inset[2].resolve(cb_height.value_or(0));
  if (dx != 0 || dy != 0) translate(ctx, b, dx, dy);
}

bool placed_inside(const Box& positioned, const Box& subtree) {
  if (positioned.style->position == style::Position::fixed) return false;
  for (const Box* a = positioned.parent; a; a = a->parent) {
    if (a->style && a->style->position != style::Position::static_ && a->node) return true;
    if (a == &subtree) return false;
  }
  return false;
}

void place_deferred(LayoutContext& ctx, Box& containing, int depth) {
  // Ours were queued while our contents were laid out, maybe between boxes
  // that wait for a block around us.
  std::vector<PositionedState::Deferred>& deferred = ctx.positioned.deferred;
  if (deferred.empty()) return;
  std::vector<PositionedState::Deferred> ours;
  std::erase_if(deferred, [&](const PositionedState::Deferred& d) {
    if (d.containing != &containing) return false;
    ours.push_back(d);
    return true;
  });
  if (ours.empty()) return;
  const float x = containing.content_x(), y = containing.content_y();
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const PositionedState::Deferred& d = ours[i];
    // Contents laid out twice (beside a scroll bar) queue a box twice: the last one counts.
    if (std::any_of(ours.begin() + static_cast<std::ptrdiff_t>(i) + 1, ours.end(),
                    [&](const PositionedState::Deferred& later) { return later.box == d.box; }))
      continue;
    place_positioned(ctx, *d.box, *d.parent, depth);
    // The boxes between drew their areas without it.
    for (Box* between = d.box->parent; between && between != &containing; between = between->parent)
      compute_overflow(*between);
    // They scroll with the rest of the content.
    containing.content_width = std::max(containing.content_width, d.box->x + d.box->width + d.box->margin.right - x);
    containing.content_height =
        std::max(containing.content_height, d.box->y + d.box->height + d.box->margin.bottom - y);
  }
}

void place_positioned(LayoutContext& ctx, Box& b, Box& parent, int depth) {
  const style::ComputedStyle& s = *b.style;
  float cbx = 0, cby = 0, cbw = ctx.options.viewport_width, cbh = ctx.options.viewport_height;
  if (s.position == style::Position::absolute) {
    // From its own parent: a positioned inline element holds it too.
    if (Box* a = containing_block(b.parent ? *b.parent : parent)) {
      // Spans, rows and row groups get their places only when the block or
      // table that holds them is done: wait for that one while it is sized.
      Box* waits_for = a;
      while (waits_for->parent && (waits_for->kind == BoxKind::inline_ || waits_for->kind == BoxKind::table_row ||
                                   waits_for->kind == BoxKind::table_row_group))
        waits_for = waits_for->parent;
      const std::vector<Box*>& sizing = ctx.positioned.sizing;
      if (std::find(sizing.begin(), sizing.end(), waits_for) != sizing.end()) {
        // Its containing block's size is not known yet: bottom and
        // percentage offsets need it.
        ctx.positioned.deferred.push_back({waits_for, &b, &parent});
        return;
      }
      cbx = a->x + a->border.left;
      cby = a->y + a->border.top;
      cbw = a->width - a->border.horizontal();
      cbh = a->height - a->border.vertical();
    }
  }
  resolve_edges(ctx, b, cbw);
  // CSS 2.2 §10.3.7 and §10.6.4: both insets and an auto size give the size.
  // Min and max sizes bound that size as any other.
  std::optional<float> width;
  if (!s.inset[3].is_auto() && !s.inset[1].is_auto() && s.width.is_auto())
    width = clamp_width(
        b, std::max(0.0f, cbw - s.inset[3].resolve(cbw) - s.inset[1].resolve(cbw) - b.margin.horizontal()), cbw);
  std::optional<float> height;
  if (!s.inset[0].is_auto() && !s.inset[2].is_auto() && s.height.is_auto())
    height = clamp_height(
        b, std::max(0.0f, cbh - s.inset[0].resolve(cbh) - s.inset[2].resolve(cbh) - b.margin.vertical()), cbh);
  // Static position: where the flow would have put it, or the parent's content corner.
  float x = parent.content_x(), y = parent.content_y();
  if (const PositionedState::StaticPosition& at = ctx.positioned.static_positions[b]; at.known) x += at.dx, y += at.dy;
  if (!s.inset[3].is_auto()) x = cbx + s.inset[3].resolve(cbw);
  if (!s.inset[0].is_auto()) y = cby + s.inset[0].resolve(cbh);
  layout_box(ctx, b, x, y, cbw, cbh, width, height, depth + 1);
  if (s.inset[3].is_auto() && !s.inset[1].is_auto())
    translate(ctx, b, cbx + cbw - s.inset[1].resolve(cbw) - b.margin.right - (b.x + b.width), 0);
  if (s.inset[0].is_auto() && !s.inset[2].is_auto())
    translate(ctx, b, 0, cby + cbh - s.inset[2].resolve(cbh) - b.margin.bottom - (b.y + b.height));
  // CSS 2.2 §10.6.4: with both insets and the height set, auto top and
  // bottom margins share what is left (and may be negative).
  if (!s.inset[0].is_auto() && !s.inset[2].is_auto() && s.margin[0].is_auto() && s.margin[2].is_auto()) {
    const float free = cbh - s.inset[0].resolve(cbh) - s.inset[2].resolve(cbh) - b.height;
    b.margin.top = b.margin.bottom = free / 2;
    translate(ctx, b, 0, cby + s.inset[0].resolve(cbh) + b.margin.top - b.y);
  }
}

}  // namespace ostrel::layout
