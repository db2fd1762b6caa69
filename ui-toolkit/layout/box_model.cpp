#include "layout/box_model.h"

#include <algorithm>
#include <cmath>

#include "layout/context.h"

namespace ostrel::layout {

using style::ComputedStyle;
using style::Length;

void resolve_edges(LayoutContext& ctx, Box& b, float cb_width) {
  const ComputedStyle& s = *b.style;
  if (b.kind == BoxKind::text) return;
  auto len = [&](const Length& l) { return l.resolve(cb_width, 0); };
  b.margin = {len(s.margin[0]), len(s.margin[1]), len(s.margin[2]), len(s.margin[3])};
  b.padding = {len(s.padding[0]), len(s.padding[1]), len(s.padding[2]), len(s.padding[3])};
  b.border = {s.used_border(0), s.used_border(1), s.used_border(2), s.used_border(3)};
  if (const Edges* collapsed = ctx.tables.collapsed_border(b)) {
    b.border = *collapsed;
    if (b.kind == BoxKind::table) b.padding = {};  // a collapsing table has no padding (CSS 2.2 §17.6.2)
  }
}

float border_box_width(const Box& b, float specified) {
  return b.style->box_sizing == style::BoxSizing::border_box
             ? std::max(specified, b.border.horizontal() + b.padding.horizontal())
             : specified + b.border.horizontal() + b.padding.horizontal();
}

float border_box_height(const Box& b, float specified) {
  return b.style->box_sizing == style::BoxSizing::border_box
             ? std::max(specified, b.border.vertical() + b.padding.vertical())
             : specified + b.border.vertical() + b.padding.vertical();
}

std::optional<float> specified_width(const Box& b, float cb_width) {
  const Length& w = b.style->width;
  if (w.is_auto() || (w.is_percent() && !std::isfinite(cb_width))) return std::nullopt;
  return border_box_width(b, w.resolve(cb_width));
}

std::optional<float> specified_height(const Box& b, std::optional<float> cb_height) {
  const Length& h = b.style->height;
  if (h.is_auto() || (h.is_percent() && !cb_height)) return std::nullopt;
  return border_box_height(b, h.resolve(cb_height.value_or(0)));
}

float clamp_width(const Box& b, float width, float cb_width) {
  const ComputedStyle& s = *b.style;
  if (!s.max_width.is_none() && !(s.max_width.is_percent() && !std::isfinite(cb_width)))
    width = std::min(width, border_box_width(b, s.max_width.resolve(cb_width)));
  if (!s.min_width.is_auto() && !(s.min_width.is_percent() && !std::isfinite(cb_width)))
    width = std::max(width, border_box_width(b, s.min_width.resolve(cb_width)));
  return std::max(width, b.border.horizontal() + b.padding.horizontal());
}

float clamp_height(const Box& b, float height, std::optional<float> cb_height) {
  const ComputedStyle& s = *b.style;
  if (!s.max_height.is_none() && (!s.max_height.is_percent() || cb_height))
    height = std::min(height, border_box_height(b, s.max_height.resolve(cb_height.value_or(0))));
  if (!s.min_height.is_auto() && (!s.min_height.is_percent() || cb_height))
    height = std::max(height, border_box_height(b, s.min_height.resolve(cb_height.value_or(0))));
  return std::max(height, b.border.vertical() + b.padding.vertical());
}

void translate(LayoutContext& ctx, Box& b, float dx, float dy) {
  if (dx == 0 && dy == 0) return;
  std::vector<Box*>& stack = ctx.translate_stack;
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

void unite(Box::Area& a, float x, float y, float w, float h) {
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

// Boxes that can be drawn somewhere else than laid out (fixed, sticky,
// transformed or animated ones) make their whole ancestry unbounded.
void compute_overflow(Box& b) {
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

}  // namespace ostrel::layout
