#include "layout/flex.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <tuple>
#include <vector>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/inline.h"
#include "layout/intrinsic.h"

namespace ostrel::layout {
namespace {

using style::Align;
using style::ComputedStyle;
using style::Length;

struct FlexItem {
  Box* box;
  float base = 0;  // flex base size (border box, main axis)
  float min = 0, max = infinity;
  float main = 0;   // resolved main size (border box)
  float cross = 0;  // border-box cross size
  bool frozen = false;
  float baseline = -1;  // baseline-aligned items of a row: its baseline below the margin-box top
};

struct FlexLine {
  std::size_t begin = 0, end = 0;  // its items
  float cross = 0;                 // its cross size (CSS Flexbox 1 §9.4)
  float offset = 0;                // from the container's cross-start content edge
  float baseline = 0;              // where its baseline-aligned items' baselines sit, from its top
};

// The container's axes and room (CSS Flexbox 1 §9.2).
struct FlexFrame {
  const ComputedStyle& s;
  bool row, reverse, wrap_reverse, single_line;
  float x, y, width;
  std::optional<float> content_height;
  float main_available;  // infinite when the main size is not known
  std::optional<float> cross_available;
  float main_gap, cross_gap;
  int depth;

  FlexFrame(const ComputedStyle& container, float x_, float y_, float w, std::optional<float> h, int d)
      : s(container), x(x_), y(y_), width(w), content_height(h), depth(d) {
    row = s.flex_direction == style::FlexDirection::row || s.flex_direction == style::FlexDirection::row_reverse;
    reverse = s.flex_direction == style::FlexDirection::row_reverse ||
              s.flex_direction == style::FlexDirection::column_reverse;
    wrap_reverse = s.flex_wrap == style::FlexWrap::wrap_reverse;
    single_line = s.flex_wrap == style::FlexWrap::nowrap;
    main_available = row ? w : h.value_or(infinity);
    cross_available = row ? h : std::optional(w);
    const float column_gap = s.column_gap.is_none() ? 0 : s.column_gap.resolve(w);
    const float row_gap = s.row_gap.is_none() ? 0 : s.row_gap.resolve(h.value_or(0));
    main_gap = row ? column_gap : row_gap;
    cross_gap = row ? row_gap : column_gap;
  }
  // Where an item is laid out before it is placed: where it was last time,
  // so one that keeps its place is not moved away and back (each move walks
  // its whole subtree, thousands of boxes for a long list).
  std::pair<float, float> origin_of(LayoutContext& ctx, const Box& c) const {
    if (!ctx.cache_of(c).laid_out) return {x, y};
    return {c.x - c.margin.left, c.y - c.margin.top};
  }
  Align align_of(const Box& c) const {
    return c.style->align_self == Align::auto_ ? s.align_items : c.style->align_self;
  }
  float main_margins(const Box& c) const { return row ? c.margin.horizontal() : c.margin.vertical(); }
  float cross_margins(const Box& c) const { return row ? c.margin.vertical() : c.margin.horizontal(); }
};

// Width of a column flex item: stretched to the container unless it has a
// width. On one of several lines it is stretched to its line later, so it
// starts from its content's width.
std::optional<float> item_cross_width(LayoutContext& ctx, Box& c, const FlexFrame& f) {
  if (!c.style->width.is_auto()) return std::nullopt;
  const Align align = f.align_of(c);
  if (f.single_line && (align == Align::stretch || align == Align::normal)) {
    if (c.style->margin[1].is_auto() || c.style->margin[3].is_auto()) return fit_content(ctx, c, f.width);
    return clamp_width(c, f.width - c.margin.horizontal(), f.width);
  }
  return fit_content(ctx, c, f.width);
}

// The flex base size and the item's limits (CSS Flexbox 1 §9.2 step 3, §4.5).
void size_item(LayoutContext& ctx, FlexItem& it, const FlexFrame& f) {
  Box& c = *it.box;
  const ComputedStyle& cs = *c.style;
  resolve_edges(ctx, c, f.width);
  const Length& basis = cs.flex_basis;
  const Length& main_size = f.row ? cs.width : cs.height;
  const float edges =
      f.row ? c.border.horizontal() + c.padding.horizontal() : c.border.vertical() + c.padding.vertical();
  auto to_border_box = [&](float v) {
    return cs.box_sizing == style::BoxSizing::border_box ? std::max(v, edges) : v + edges;
  };
  auto definite = [&](const Length& l) { return !(l.is_percent() && !std::isfinite(f.main_available)); };
  // A column item's height with its content laid out at its width.
  std::optional<float> content_height;
  auto measure_height = [&] {
    if (!content_height) {
      const auto [ox, oy] = f.origin_of(ctx, c);
      layout_box(ctx, c, ox, oy, f.width, std::nullopt, item_cross_width(ctx, c, f), std::nullopt, f.depth + 1);
      content_height = c.height;
    }
    return *content_height;
  };
  if (!basis.is_auto() && basis.kind != style::LengthKind::content && definite(basis))
    it.base = to_border_box(basis.resolve(f.main_available));
  else if (!main_size.is_auto() && definite(main_size))
    it.base = to_border_box(main_size.resolve(f.main_available));
  else if (f.row)
    it.base = intrinsic_widths(ctx, c, f.depth + 1).second;
  else
    it.base = measure_height();

  const Length& min_l = f.row ? cs.min_width : cs.min_height;
  const Length& max_l = f.row ? cs.max_width : cs.max_height;
  if (!max_l.is_none() && definite(max_l)) it.max = to_border_box(max_l.resolve(f.main_available));
  if (!min_l.is_auto()) {
    it.min = to_border_box(min_l.resolve(f.main_available));
  } else if (cs.is_scroll_container()) {
    it.min = edges;
  } else {
    // CSS Flexbox 1 §4.5: the automatic minimum size is the content size
    // suggestion, no larger than a definite specified size, within the maximum.
    float suggestion;
    if (f.row) {
      suggestion = intrinsic_widths(ctx, c, f.depth + 1, true).first;
    } else {
      // Its own height set, the item is measured by the content it lays out within that.
      suggestion = measure_height();
      if (!main_size.is_auto())
        suggestion = c.content_height + c.border.vertical() + c.padding.vertical() + c.scrollbar_x;
    }
    if (!main_size.is_auto() && definite(main_size))
      suggestion = std::min(suggestion, to_border_box(main_size.resolve(f.main_available)));
    it.min = std::min(suggestion, it.max);
  }
  it.min = std::max(it.min, edges);
  it.max = std::max(it.max, it.min);
}

// CSS Flexbox 1 §9.3 step 5: items join a line until the next one's outer
// hypothetical main size would not fit; a line holds at least one item.
std::vector<FlexLine> break_lines(const std::vector<FlexItem>& items, const FlexFrame& f) {
  std::vector<FlexLine> lines;
  if (items.empty()) return lines;
  if (f.single_line || !std::isfinite(f.main_available)) return {{0, items.size()}};
  FlexLine line;
  float used = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const float outer = std::clamp(items[i].base, items[i].min, items[i].max) + f.main_margins(*items[i].box);
    const float gap = i == line.begin ? 0 : f.main_gap;
    if (i > line.begin && used + gap + outer > f.main_available + 0.01f) {
      line.end = i;
      lines.push_back(line);
      line = {i, i};
      used = outer;
      continue;
    }
    used += gap + outer;
  }
  line.end = items.size();
  lines.push_back(line);
  return lines;
}

// CSS Flexbox 1 §9.7: grow or shrink the items of one line to fill it.
void resolve_flexible_lengths(std::span<FlexItem> items, const FlexFrame& f) {
  const float main_available = f.main_available;
  float margins = 0;
  for (const FlexItem& it : items) margins += f.main_margins(*it.box);
  const float gaps = items.empty() ? 0 : f.main_gap * static_cast<float>(items.size() - 1);
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
      if (it.frozen) {
        used += it.main;
      } else {
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
      if (violation == 0 || (violation > 0 && it.main == it.min) || (violation < 0 && it.main == it.max)) {
        it.frozen = true;
        any = true;
      }
    }
    if (violation == 0 || !any) {
      for (FlexItem& it : items) it.frozen = true;
      break;
    }
  }
}

// CSS Flexbox 1 §9.4 steps 7-8: each item laid out at its main size; the
// line is as thick as its thickest item.
void size_line_cross(LayoutContext& ctx, std::span<FlexItem> items, FlexLine& line, const FlexFrame& f) {
  for (FlexItem& it : items) {
    Box& c = *it.box;
    const auto [ox, oy] = f.origin_of(ctx, c);
    if (f.row) {
      layout_box(ctx, c, ox, oy, f.width, f.content_height, it.main, std::nullopt, f.depth + 1);
      it.cross = c.height;
    } else {
      layout_box(ctx, c, ox, oy, f.width, f.content_height, item_cross_width(ctx, c, f), it.main, f.depth + 1);
      it.cross = c.width;
    }
    line.cross = std::max(line.cross, it.cross + f.cross_margins(c));
  }
  // CSS Flexbox 1 §8.3, §9.4 step 8: baseline-aligned items of a row line up
  // their first baselines; the line holds the most any reaches above it and
  // below it. An item without a line takes its bottom border edge as one.
  if (!f.row) return;
  float above = 0, below = 0;
  bool any = false;
  for (FlexItem& it : items) {
    const Box& c = *it.box;
    if (f.align_of(c) != Align::baseline || c.style->margin[0].is_auto() || c.style->margin[2].is_auto()) continue;
    const float top = c.y - c.margin.top;
    it.baseline = first_baseline(c).value_or(c.y + c.height) - top;
    above = std::max(above, it.baseline);
    below = std::max(below, c.height + c.margin.vertical() - it.baseline);
    any = true;
  }
  if (any) line.cross = std::max(line.cross, above + below);
  line.baseline = above;
}

// CSS Flexbox 1 §9.4 step 11: stretched items take their line's cross size.
void stretch_items(LayoutContext& ctx, std::span<FlexItem> items, const FlexLine& line, const FlexFrame& f) {
  for (FlexItem& it : items) {
    Box& c = *it.box;
    const Align align = f.align_of(c);
    const bool stretch = align == Align::stretch || align == Align::normal;
    const bool cross_auto = f.row ? c.style->height.is_auto() : c.style->width.is_auto();
    const bool margin_auto = f.row ? (c.style->margin[0].is_auto() || c.style->margin[2].is_auto())
                                   : (c.style->margin[1].is_auto() || c.style->margin[3].is_auto());
    if (!stretch || !cross_auto || margin_auto) continue;
    const float target = line.cross - f.cross_margins(c);
    if (f.row) {
      const float h = clamp_height(c, target, f.content_height);
      if (std::fabs(h - c.height) > 0.01f)
        layout_box(ctx, c, c.x - c.margin.left, c.y - c.margin.top, f.width, f.content_height, it.main, h, f.depth + 1);
    } else {
      const float w = clamp_width(c, target, f.width);
      if (std::fabs(w - c.width) > 0.01f)
        layout_box(ctx, c, c.x - c.margin.left, c.y - c.margin.top, f.width, f.content_height, w, it.main, f.depth + 1);
    }
    it.cross = f.row ? c.height : c.width;
  }
}

// Where the first of `n` pieces starts and how much more than `gap` lies
// between them, for a distribution of `free` space (CSS Box Alignment 3 §5.3).
std::pair<float, float> distribute(Align align, float free, std::size_t n, float gap) {
  float start = 0, between = gap;
  switch (align) {
    case Align::flex_end:
    case Align::end:
      start = free;
      break;
    case Align::center:
      start = free / 2;
      break;
    case Align::space_between:
      if (n > 1 && free > 0) between += free / static_cast<float>(n - 1);
      break;
    case Align::space_around:
      if (n > 0 && free > 0) start = free / static_cast<float>(2 * n), between += free / static_cast<float>(n);
      break;
    case Align::space_evenly:
      if (n > 0 && free > 0) start = free / static_cast<float>(n + 1), between += free / static_cast<float>(n + 1);
      break;
    default:
      break;
  }
  return {start, between};
}

// CSS Flexbox 1 §9.5 and §8: items along the main axis by justify-content
// and auto margins, and across their line by align-self. Returns the main
// size the line's items take.
float place_line(LayoutContext& ctx, std::span<FlexItem> items, const FlexLine& line, const FlexFrame& f) {
  const ComputedStyle& s = f.s;
  float used = items.empty() ? 0 : f.main_gap * static_cast<float>(items.size() - 1);
  int auto_margins = 0;
  for (const FlexItem& it : items) {
    const Box& c = *it.box;
    used += it.main + f.main_margins(c);
    if (f.row)
      auto_margins += c.style->margin[1].is_auto() + c.style->margin[3].is_auto();
    else
      auto_margins += c.style->margin[0].is_auto() + c.style->margin[2].is_auto();
  }
  const float main_size = f.row ? f.width : (f.content_height ? *f.content_height : used);
  const float free = main_size - used;
  const float per_auto_margin = auto_margins > 0 && free > 0 ? free / static_cast<float>(auto_margins) : 0;
  float start = 0, between = f.main_gap;
  if (auto_margins == 0 || free <= 0)
    std::tie(start, between) = distribute(s.justify_content, free, items.size(), f.main_gap);
  if (f.reverse && (s.justify_content == Align::normal || s.justify_content == Align::flex_start))
    start = free;  // reversed lines pack at the main end
  float pos = start;
  auto place = [&](FlexItem& it) {
    Box& c = *it.box;
    const ComputedStyle& cs = *c.style;
    float lead = f.row ? c.margin.left : c.margin.top;
    float trail = f.row ? c.margin.right : c.margin.bottom;
    if (f.row) {
      if (cs.margin[3].is_auto()) lead += per_auto_margin;
      if (cs.margin[1].is_auto()) trail += per_auto_margin;
    } else {
      if (cs.margin[0].is_auto()) lead += per_auto_margin;
      if (cs.margin[2].is_auto()) trail += per_auto_margin;
    }
    // Cross-axis alignment within the line; wrap-reverse swaps its start and end.
    const Align align = f.align_of(c);
    const float cross_free = line.cross - it.cross - f.cross_margins(c);
    const bool flex_start_like = align == Align::normal || align == Align::stretch || align == Align::flex_start ||
                                 align == Align::baseline || align == Align::auto_;
    float cross_offset = 0;
    if (it.baseline >= 0)
      cross_offset = line.baseline - it.baseline;
    else if (align == Align::center)
      cross_offset = cross_free / 2;
    else if (align == Align::end || (align == Align::flex_end && !f.wrap_reverse) ||
             (flex_start_like && f.wrap_reverse))
      cross_offset = cross_free;
    const bool cross_margin_auto_start = f.row ? cs.margin[0].is_auto() : cs.margin[3].is_auto();
    const bool cross_margin_auto_end = f.row ? cs.margin[2].is_auto() : cs.margin[1].is_auto();
    if (cross_margin_auto_start && cross_margin_auto_end)
      cross_offset = std::max(0.0f, cross_free / 2);
    else if (cross_margin_auto_start)
      cross_offset = std::max(0.0f, cross_free);
    const float target_x = f.row ? f.x + pos + lead : f.x + line.offset + c.margin.left + cross_offset;
    const float target_y = f.row ? f.y + line.offset + c.margin.top + cross_offset : f.y + pos + lead;
    translate(ctx, c, target_x - c.x, target_y - c.y);
    pos += lead + it.main + trail + between;
  };
  if (f.reverse)
    std::for_each(items.rbegin(), items.rend(), place);
  else
    std::for_each(items.begin(), items.end(), place);
  return used;
}

// CSS Flexbox 1 §9.4 step 15 and §8.4: the lines of a multi-line container
// share its free cross space by align-content.
void pack_lines(std::vector<FlexLine>& lines, const FlexFrame& f) {
  float total = f.cross_gap * static_cast<float>(lines.size() - 1);
  for (const FlexLine& l : lines) total += l.cross;
  const Align align_content = f.s.align_content;
  float start = 0, between = f.cross_gap;
  if (f.cross_available && !f.single_line) {
    const float free = *f.cross_available - total;
    if ((align_content == Align::normal || align_content == Align::stretch) && free > 0) {
      for (FlexLine& l : lines) l.cross += free / static_cast<float>(lines.size());
    } else {
      std::tie(start, between) = distribute(align_content, free, lines.size(), f.cross_gap);
    }
    total = *f.cross_available;
  }
  float pos = start;
  for (FlexLine& l : lines) {
    // wrap-reverse stacks the lines from the cross end.
    l.offset = f.wrap_reverse ? total - pos - l.cross : pos;
    pos += l.cross + between;
  }
}

}  // namespace

float layout_flex(LayoutContext& ctx, Box& b, float x, float y, float width, std::optional<float> content_height,
                  int depth) {
  const FlexFrame f(*b.style, x, y, width, content_height, depth);
  std::vector<FlexItem> items;
  for (Box* c : b.children)
    if (in_flow(c)) items.push_back({c});
  std::stable_sort(items.begin(), items.end(),
                   [](const FlexItem& p, const FlexItem& q) { return p.box->style->order < q.box->style->order; });
  for (FlexItem& it : items) size_item(ctx, it, f);

  std::vector<FlexLine> lines = break_lines(items, f);
  auto items_of = [&](const FlexLine& l) { return std::span<FlexItem>(items).subspan(l.begin, l.end - l.begin); };
  for (FlexLine& l : lines) {
    resolve_flexible_lengths(items_of(l), f);
    size_line_cross(ctx, items_of(l), l, f);
  }
  // CSS Flexbox 1 §9.4 step 8: one line fills a container of known cross size.
  if (f.single_line && f.cross_available && !lines.empty()) lines[0].cross = *f.cross_available;
  if (!lines.empty()) pack_lines(lines, f);
  float main_used = 0, cross_used = 0;
  for (const FlexLine& l : lines) {
    stretch_items(ctx, items_of(l), l, f);
    main_used = std::max(main_used, place_line(ctx, items_of(l), l, f));
    cross_used = std::max(cross_used, l.offset + l.cross);
  }
  if (f.row) return content_height ? *content_height : cross_used;
  return content_height ? *content_height : main_used;
}

std::pair<float, float> flex_content_widths(LayoutContext& ctx, Box& b, int depth) {
  const bool row = b.style->flex_direction == style::FlexDirection::row ||
                   b.style->flex_direction == style::FlexDirection::row_reverse;
  // CSS Flexbox 1 §9.9.1: a multi-line row is as narrow as its widest item.
  const bool wraps = b.style->flex_wrap != style::FlexWrap::nowrap;
  float min = 0, max = 0;
  int count = 0;
  for (Box* c : b.children) {
    if (!in_flow(c)) continue;
    const auto [cmin, cmax] = intrinsic_widths(ctx, *c, depth + 1);
    const float m = c->margin.horizontal();
    if (row && !wraps)
      min += cmin + m;
    else
      min = std::max(min, cmin + m);
    if (row)
      max += cmax + m;
    else
      max = std::max(max, cmax + m);
    ++count;
  }
  if (row && count > 1) {
    const float gap = b.style->column_gap.is_none() ? 0 : b.style->column_gap.resolve(0);
    if (!wraps) min += gap * static_cast<float>(count - 1);
    max += gap * static_cast<float>(count - 1);
  }
  return {min, max};
}

}  // namespace ostrel::layout
