#include "layout/intrinsic.h"

#include <algorithm>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/flex.h"
#include "layout/table_columns.h"

namespace ostrel::layout {
namespace {

std::pair<float, float> text_widths(LayoutContext& ctx, Box& b) {
  const std::string text = collapsed_text(b);
  const text::FontSpec font = font_of(*b.style);
  ctx.measurer.advances(font, text, ctx.advances);
  text::break_opportunities(text, ctx.breaks, mode_of(b.style->white_space));
  float widest = 0, word = 0, line = 0, longest = 0;
  const bool wraps = text::allows_wrap(mode_of(b.style->white_space));
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ctx.breaks[i] == text::break_mandatory) longest = std::max(longest, line), line = 0;
    if (wraps && ctx.breaks[i] != text::no_break) widest = std::max(widest, word), word = 0;
    if (text[i] == ' ' && wraps) {
      line += ctx.advances[i];
      continue;
    }
    word += ctx.advances[i];
    line += ctx.advances[i];
  }
  widest = std::max(widest, word);
  longest = std::max(longest, line);
  return {wraps ? widest : longest, longest};
}

std::pair<float, float> content_widths(LayoutContext& ctx, Box& b, int depth, bool content_only) {
  if (depth > max_depth) return {0, 0};
  resolve_edges(ctx, b, 0);
  const float edges = b.kind == BoxKind::text ? 0 : b.border.horizontal() + b.padding.horizontal();
  if (!content_only && b.kind != BoxKind::text && !b.style->width.is_auto() && !b.style->width.is_percent()) {
    const float w = border_box_width(b, b.style->width.value);
    return {w, w};
  }
  if (is_select(b.node)) {
    // As wide as its longest option, beside its arrow.
    float widest = 0;
    for (const Node* option : options_of(b.node))
      widest = std::max(widest, ctx.measurer.width(font_of(*b.style), option_label(option)));
    return {widest + select_arrow_room + edges, widest + select_arrow_room + edges};
  }
  switch (b.kind) {
    case BoxKind::text:
      return text_widths(ctx, b);
    case BoxKind::replaced: {
      const float w = replaced_size(ctx, b, infinity, std::nullopt).first;
      return {w + edges, w + edges};
    }
    case BoxKind::line_break:
      return {0, 0};
    case BoxKind::table: {
      const auto [min, max] = table_content_widths(ctx, b, depth);
      return {min + edges, max + edges};
    }
    case BoxKind::flex: {
      const auto [min, max] = flex_content_widths(ctx, b, depth);
      return {min + edges, max + edges};
    }
    default:
      break;
  }
  // Block and inline containers: the widest child, or the widest line of inline content.
  float min = 0, max = 0, line = 0;
  const bool inline_content =
      !b.children.empty() &&
      std::all_of(b.children.begin(), b.children.end(), [](const Box* c) { return is_inline_level(c) || !in_flow(c); });
  for (Box* c : b.children) {
    if (!in_flow(c)) continue;
    const auto [cmin, cmax] = intrinsic_widths(ctx, *c, depth + 1);
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

}  // namespace

std::pair<float, float> intrinsic_widths(LayoutContext& ctx, Box& b, int depth, bool content_only) {
  auto [min, max] = content_widths(ctx, b, depth, content_only);
  if (content_only || b.kind == BoxKind::text) return {min, max};
  const style::ComputedStyle& s = *b.style;
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

float fit_content(LayoutContext& ctx, Box& b, float cb_width) {
  const auto [min, max] = intrinsic_widths(ctx, b);
  return clamp_width(b, std::min(std::max(min, cb_width - b.margin.horizontal()), max), cb_width);
}

}  // namespace ostrel::layout
