// Laying out one box of any kind: its width and height from the style
// (CSS 2.2 §10.3, §10.6), its scroll bars, the formatting context of its
// children, then its positioned descendants. A box asked the same as last
// time, with nothing changed inside, is only moved.
#include <algorithm>
#include <cmath>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/flex.h"
#include "layout/intrinsic.h"
#include "layout/table_columns.h"

namespace ostrel::layout {
namespace {

// Lays out the children of `b`; returns the content height. Also sets the
// scrollable overflow size.
float layout_contents(LayoutContext& ctx, Box& b, std::optional<float> content_height, int depth) {
  const float x = b.content_x(), y = b.content_y();
  const float width = std::max(0.0f, b.width - b.border.horizontal() - b.padding.horizontal() - b.scrollbar_y);
  float height = 0;
  switch (b.kind) {
    case BoxKind::replaced:
      height = replaced_size(ctx, b, width, content_height).second;
      break;
    case BoxKind::flex:
      height = layout_flex(ctx, b, x, y, width, content_height, depth);
      break;
    case BoxKind::table:
      height = layout_table(ctx, b, x, y, width, depth);
      break;
    default: {
      if (is_text_box(b.node) || is_select(b.node)) {
        height = layout_text_box(ctx, b, x, y, content_height);
        break;
      }
      const bool inline_content = std::any_of(b.children.begin(), b.children.end(),
                                              [](const Box* c) { return in_flow(c) && is_inline_level(c); });
      height = inline_content ? layout_inline(ctx, b, x, y, width, depth)
                              : layout_blocks(ctx, b, x, y, width, content_height, depth);
      break;
    }
  }
  if (b.kind == BoxKind::table_cell) ctx.tables.cell(b).flow_height = height;
  // Relative offsets move boxes after the flow has placed them.
  for (Box* c : b.children)
    if (c->kind != BoxKind::text && c->style->position == style::Position::relative)
      offset_relative(ctx, *c, width, content_height);
  for (Box* c : b.children)
    if (!in_flow(c)) place_positioned(ctx, *c, b, depth);
  // Scrollable overflow: the extent of the children. Positioned ones count
  // only for the box they are placed against, which adds them itself once
  // it has placed them (see place_deferred); until then they are where the
  // last layout put them.
  float right = x + width, bottom = y + height;
  for (const Box* c : b.children) {
    if (!in_flow(c) && c->kind != BoxKind::text) continue;
    right = std::max(right, c->x + c->width + c->margin.right);
    bottom = std::max(bottom, c->y + c->height + c->margin.bottom);
  }
  b.content_width = right - x;
  b.content_height = bottom - y;
  return height;
}

// The border-box width of a box not given one (CSS 2.2 §10.3).
float used_width(LayoutContext& ctx, Box& b, float cb_width, std::optional<float> cb_height, int depth) {
  if (auto w = specified_width(b, cb_width)) {
    // CSS 2.2 §17.5.2: a table is never narrower than its columns need.
    if (b.kind == BoxKind::table)
      return std::max(clamp_width(b, *w, cb_width),
                      table_content_widths(ctx, b, depth).first + b.border.horizontal() + b.padding.horizontal());
    return clamp_width(b, *w, cb_width);
  }
  if (b.kind == BoxKind::replaced) {
    // A picture is as wide as its own size (or its height and ratio make it), never its container.
    return clamp_width(
        b, replaced_size(ctx, b, cb_width, cb_height).first + b.border.horizontal() + b.padding.horizontal(), cb_width);
  }
  const bool positioned = !in_flow(&b);  // absolute or fixed
  if (b.kind == BoxKind::inline_block || b.kind == BoxKind::table || b.style->display == style::Display::inline_flex ||
      positioned) {
    // Shrink-to-fit (CSS 2.2 §10.3.5, §10.3.7, §17.5.2).
    const auto [min, max] = intrinsic_widths(ctx, b, depth);
    float available = cb_width - b.margin.horizontal();
    // An absolute box has the room its insets leave (CSS 2.2 §10.3.7).
    if (positioned)
      for (int side : {1, 3})
        if (!b.style->inset[side].is_auto()) available -= b.style->inset[side].resolve(cb_width);
    if (b.kind == BoxKind::table && b.style->width.is_auto())
      return clamp_width(b, std::max(min, std::min(max, available)), cb_width);
    return clamp_width(b, std::min(std::max(min, available), max), cb_width);
  }
  return clamp_width(b, cb_width - b.margin.horizontal(), cb_width);
}

}  // namespace

void layout_box(LayoutContext& ctx, Box& b, float x, float y, float cb_width, std::optional<float> cb_height,
                std::optional<float> forced_width, std::optional<float> forced_height, int depth) {
  if (depth > max_depth) return;
  // The containing block's height matters only to percentage heights: a
  // box without them is the same box under any, which lets a flex item
  // measured first and then sized keep its content's layout.
  const style::ComputedStyle& bs = *b.style;
  const bool uses_cb_height = bs.height.is_percent() || bs.min_height.is_percent() || bs.max_height.is_percent();
  const LayoutInputs inputs{cb_width, uses_cb_height ? cb_height : std::nullopt, forced_width, forced_height};
  LayoutCache& cache = ctx.cache_of(b);
  if ((!ctx.force_all || cache.pass == ctx.pass) && !b.dirty && !b.child_dirty && !b.holds_out_of_flow &&
      cache.laid_out && cache.with == inputs) {
    // Nothing in it changed and it is asked the same: it only moves.
    b.margin = cache.margin;
    translate(ctx, b, x + cache.dx - b.x, y + cache.dy - b.y);
    return;
  }
  ++ctx.laid_out_count;
  ctx.positioned.sizing.push_back(&b);
  if (b.kind == BoxKind::table_cell) ctx.tables.cell(b).content_shift = 0;
  if (b.kind == BoxKind::table) {
    if (b.style->border_collapse)
      collapse_borders(ctx, b);
    else
      separate_borders(ctx, b);
  }
  resolve_edges(ctx, b, cb_width);
  cache.collapsed = {CollapsedMargin::of(b.margin.top), CollapsedMargin::of(b.margin.bottom)};
  const float width = forced_width ? *forced_width : used_width(ctx, b, cb_width, cb_height, depth);
  // Auto margins centre a block that is narrower than its container (CSS 2.2 §10.3.3).
  if (!forced_width && b.kind != BoxKind::inline_block && b.style->display != style::Display::inline_flex &&
      std::isfinite(cb_width)) {
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
  // The root's overflow is the window's: its bar is the window's (see LayoutTree::layout).
  b.scrollbar_x = b.scrollbar_y = 0;
  const bool scroll_y =
      b.parent && (b.style->overflow_y == style::Overflow::scroll ||
                   (b.style->overflow_y == style::Overflow::auto_ && b.style->scrollbar_gutter_stable));
  if (scroll_y) b.scrollbar_y = ctx.options.scrollbar_size;
  if (b.parent && b.style->overflow_x == style::Overflow::scroll) b.scrollbar_x = ctx.options.scrollbar_size;
  // An auto bar is there when the content overflows without it. A long
  // list that needed one last time starts with it, so its rows are not
  // laid out twice on every change.
  const bool auto_y =
      b.parent && b.style->overflow_y == style::Overflow::auto_ && !scroll_y && content_height_for_children;
  // An observer starts from the live layout's guess, so that it checks
  // everything else against a layout that guessed alike. The live box has
  // the same style, so only an auto bar can have given it a bar.
  const bool had_bar = ctx.observer ? b.node && b.node->layout_box && b.node->layout_box->node == b.node &&
                                          b.node->layout_generation == ctx.document.layout_generation &&
                                          b.node->layout_box->scrollbar_y > 0
                                    : cache.had_auto_scrollbar;
  const bool with_bar_first = auto_y && had_bar;
  if (with_bar_first) b.scrollbar_y = ctx.options.scrollbar_size;
  float content = layout_contents(ctx, b, content_height_for_children, depth);
  auto overflows = [&] { return b.content_height > *content_height_for_children + 0.01f; };
  if (with_bar_first && !overflows()) {
    b.scrollbar_y = 0;
    content = layout_contents(ctx, b, content_height_for_children, depth);
  }
  if (auto_y && b.scrollbar_y == 0 && overflows()) {
    b.scrollbar_y = ctx.options.scrollbar_size;  // it overflows: lay out again beside the bar
    content = layout_contents(ctx, b, content_height_for_children, depth);
  }
  cache.had_auto_scrollbar = auto_y && b.scrollbar_y > 0;

  b.height = own_height
                 ? *own_height
                 : clamp_height(b, content + b.padding.vertical() + b.border.vertical() + b.scrollbar_x, cb_height);
  // A button taller than its content centres it, as browsers draw buttons.
  if (own_height && b.node &&
      (b.node->tag_kind == TagKind::button ||
       (b.node->tag_kind == TagKind::input && b.node->control == ControlKind::button))) {
    const float room = *content_height_for_children - b.scrollbar_x - content;
    if (room > 0)
      for (Box* c : b.children)
        if (in_flow(c)) translate(ctx, *c, 0, room / 2);
  }
  ctx.positioned.sizing.pop_back();
  place_deferred(ctx, b, depth);
  compute_overflow(b);
  cache.laid_out = true;
  cache.pass = ctx.pass;
  cache.with = inputs;
  cache.dx = b.x - x;
  cache.dy = b.y - y;
  cache.margin = b.margin;
  b.dirty = b.child_dirty = false;
}

}  // namespace ostrel::layout
