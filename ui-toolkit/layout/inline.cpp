#include "layout/inline.h"

#include <algorithm>

#include "layout/box_model.h"
#include "layout/context.h"

namespace ostrel::layout {

using style::ComputedStyle;

std::string collapsed_text(const Box& t) {
  bool carry = false;
  return text::collapse_white_space(t.node->text, mode_of(t.style->white_space), carry);
}

namespace {

// The baseline of the first or last line in `b`'s flow: the same search from either end.
std::optional<float> edge_baseline(const Box& b, bool first, int depth) {
  if (depth > max_depth) return std::nullopt;
  const std::size_t n = b.children.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Box* c = b.children[first ? i : n - 1 - i];
    if (!in_flow(c)) continue;
    if (c->kind == BoxKind::text) {
      if (!c->fragments.empty()) return first ? c->fragments.front().baseline : c->fragments.back().baseline;
      continue;
    }
    if (c->kind == BoxKind::replaced || c->is_scroll_container()) continue;
    if (const std::optional<float> base = edge_baseline(*c, first, depth + 1)) return base;
  }
  return std::nullopt;
}

}  // namespace

std::optional<float> first_baseline(const Box& b, int depth) { return edge_baseline(b, true, depth); }
std::optional<float> last_baseline(const Box& b, int depth) { return edge_baseline(b, false, depth); }

namespace {

// CSS 2.2 §10.8: an inline element has no box of its own: it spans what it holds.
void span_inline(LayoutContext& ctx, Box& b, float cx, float cy) {
  float left = infinity, top = infinity, right = -infinity, bottom = -infinity;
  float first_baseline = infinity, last_baseline = -infinity;
  auto add = [&](float x, float y, float w, float h) {
    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + w), bottom = std::max(bottom, y + h);
  };
  auto on_line = [&](float baseline) {
    first_baseline = std::min(first_baseline, baseline), last_baseline = std::max(last_baseline, baseline);
  };
  for (const Box* c : b.children) {
    if (c->kind == BoxKind::text) {
      for (const TextFragment& f : c->fragments) add(f.x, f.y, f.width, f.height), on_line(f.baseline);
    } else if (c->kind != BoxKind::line_break && !ctx.inlines.empty.contains(c) && in_flow(c) &&
               (c->width > 0 || c->height > 0 || !c->children.empty())) {
      add(c->x, c->y, c->width, c->height);
      if (c->kind == BoxKind::inline_) on_line(c->baseline);
    }
  }
  if (left > right)
    ctx.inlines.empty.insert(&b);
  else
    ctx.inlines.empty.erase(&b);
  if (left <= right) {
    b.x = left - b.padding.left - b.border.left;
    b.width = right - b.x + b.padding.right + b.border.right;
    if (first_baseline <= last_baseline) {
      // Like a browser's inline box: its own font's ascent and descent around
      // the baseline, then padding and border; neither the line's leading nor
      // taller content inside make it taller.
      const text::FontMetrics& fm = ctx.metrics_of(*b.style);
      top = first_baseline - fm.ascent - b.padding.top - b.border.top;
      bottom = last_baseline + fm.descent + b.padding.bottom + b.border.bottom;
      b.baseline = first_baseline;
    } else {
      // Only blocks inside, no line of its own: a baseline from its top,
      // never one left over (and moved along) from an earlier layout.
      b.baseline = top + ctx.metrics_of(*b.style).ascent;
    }
    b.y = top;
    b.height = bottom - top;
  } else {
    // Nothing inside: an empty box at the start of the block's lines, as tall as its font.
    const text::FontMetrics& fm = ctx.metrics_of(*b.style);
    b.x = cx;
    b.y = cy;
    b.width = b.border.horizontal() + b.padding.horizontal();
    b.height = fm.ascent + fm.descent + b.border.vertical() + b.padding.vertical();
    b.baseline = cy + b.border.top + b.padding.top + fm.ascent;
  }
  compute_overflow(b);
}

bool ends_with_space(const LineItem& it) {
  return it.box->kind == BoxKind::text && it.end > it.start && it.box->text[it.end - 1] == ' ';
}

void collect_leaves(LayoutContext& ctx, Box& b, std::vector<Box*>& out, std::vector<Box*>& spans,
                    std::vector<std::pair<float, float>>& edges, int depth) {
  if (depth > max_depth) return;
  for (Box* c : b.children) {
    if (!in_flow(c)) {
      // Kept in order only to learn where on the line it would have been.
      out.push_back(c);
      edges.emplace_back(0.0f, 0.0f);
      continue;
    }
    if (c->kind == BoxKind::inline_) {
      resolve_edges(ctx, *c, 0);
      spans.push_back(c);
      const std::size_t first = out.size();
      collect_leaves(ctx, *c, out, spans, edges, depth + 1);
      // Positioned boxes inside an inline element are placed with the block's.
      for (Box* g : c->children)
        if (!in_flow(g)) ctx.inlines.positioned_in_spans.push_back(g);
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

// How far vertical-align: sub and super move a box's baseline down from its
// parent's, as browsers place them: a fifth of the parent's font size and a
// pixel down, a third and a pixel up (CSS 2.2 §10.8.1).
float own_shift(const Box& box) {
  const float parent_size = box.parent ? box.parent->style->font_size : box.style->font_size;
  switch (box.style->vertical_align) {
    case style::VerticalAlign::sub:
      return parent_size / 5 + 1;
    case style::VerticalAlign::super:
      return -(parent_size / 3 + 1);
    default:
      return 0;
  }
}

// The shift of a leaf of block `b`'s lines: its own (atomic inlines) and
// that of every inline element holding it.
float baseline_shift(const Box& leaf, const Box& b) {
  float shift = leaf.kind == BoxKind::text ? 0 : own_shift(leaf);
  for (const Box* a = leaf.parent; a && a != &b && a->kind == BoxKind::inline_; a = a->parent) shift += own_shift(*a);
  return shift;
}

// Ascent and descent of an atomic inline on the line, by its vertical-align (CSS 2.2 §10.8.1).
void atomic_extent(LayoutContext& ctx, Box& leaf, LineItem& item, const ComputedStyle& parent) {
  const float outer_height = leaf.height + leaf.margin.vertical();
  const text::FontMetrics& m = ctx.metrics_of(parent);
  switch (leaf.style->vertical_align) {
    case style::VerticalAlign::middle: {
      const float x_middle = (m.ascent * 0.5f) / 2;  // half the x-height (taken as half the ascent) above the baseline
      item.ascent = x_middle + outer_height / 2;
      item.descent = outer_height / 2 - x_middle;
      break;
    }
    case style::VerticalAlign::text_top:  // its top at the top of the parent's text
      item.ascent = m.ascent;
      item.descent = outer_height - m.ascent;
      break;
    case style::VerticalAlign::text_bottom:  // its bottom at the bottom of the parent's text
      item.ascent = outer_height - m.descent;
      item.descent = m.descent;
      break;
    case style::VerticalAlign::top:
    case style::VerticalAlign::bottom:
      item.edge =
          leaf.style->vertical_align == style::VerticalAlign::top ? LineItem::Edge::top : LineItem::Edge::bottom;
      item.ascent = item.descent = 0;  // the line is measured without it first
      return;
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
  item.ascent -= item.shift;
  item.descent += item.shift;
}

// CSS Text 3 §4.1.3: a collapsible space at the end of a line is removed,
// so it neither widens the inline box holding it nor moves aligned lines.
void trim_line_end(LayoutContext& ctx, std::vector<LineItem>& line, float& line_width) {
  while (!line.empty()) {
    LineItem& last = line.back();
    if (last.box->kind != BoxKind::text || last.end <= last.start || last.box->text[last.end - 1] != ' ') return;
    const auto mode = mode_of(last.box->style->white_space);
    if (mode == text::WhiteSpaceMode::pre || mode == text::WhiteSpaceMode::pre_wrap ||
        mode == text::WhiteSpaceMode::break_spaces)
      return;
    const float space = ctx.measurer.width(font_of(*last.box->style), " ");
    last.end -= 1;
    last.width = std::max(0.0f, last.width - space);
    line_width -= space;
    // A piece that was only the space goes, unless an inline element's edges open or close on it.
    if (last.end > last.start || last.lead > 0 || last.trail > 0) return;
    line.pop_back();
  }
}

void apply_ellipsis(LayoutContext& ctx, std::vector<LineItem>& line, float cw) {
  float x = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    LineItem& it = line[i];
    if (x + it.width <= cw + 0.01f) {
      x += it.width;
      continue;
    }
    if (it.box->kind == BoxKind::text) {
      const text::FontSpec font = font_of(*it.box->style);
      const float ellipsis_width = ctx.measurer.width(font, text::ellipsis);
      const std::string_view t(it.box->text);
      ctx.measurer.advances(font, t.substr(it.start, it.end - it.start), ctx.advances);
      const std::size_t keep =
          text::ellipsis_cut(ctx.advances, t.substr(it.start, it.end - it.start), cw - x, ellipsis_width);
      float w = 0;
      for (std::size_t k = 0; k < keep; ++k) w += ctx.advances[k];
      it.end = it.start + static_cast<std::uint32_t>(keep);
      it.width = w + ellipsis_width;
      it.ellipsis = true;
    }
    line.resize(i + 1);
    return;
  }
}

}  // namespace

float layout_inline(LayoutContext& ctx, Box& b, float cx, float cy, float cw, int depth) {
  // Flatten the inline content into a sequence of leaves in order.
  std::vector<Box*> leaves = ctx.inlines.box_lists.take();
  std::vector<Box*> spans = ctx.inlines.box_lists.take();  // inline elements, parents first
  // Per leaf: the margin, border and padding of the inline elements it opens and closes.
  std::vector<std::pair<float, float>> edges = ctx.inlines.edge_lists.take();
  // Inline blocks lay out lines of their own while these are built: each
  // places only the positioned boxes its own spans hold.
  const std::size_t positioned_mark = ctx.inlines.positioned_in_spans.size();
  collect_leaves(ctx, b, leaves, spans, edges, depth);

  const ComputedStyle& bs = *b.style;
  const text::FontMetrics& strut_metrics = ctx.metrics_of(bs);
  const float strut_line = ctx.line_height_of(bs);
  const float strut_half = (strut_line - strut_metrics.ascent - strut_metrics.descent) / 2;
  const float strut_ascent = strut_metrics.ascent + strut_half, strut_descent = strut_metrics.descent + strut_half;
  const bool wrap_allowed = text::allows_wrap(mode_of(bs.white_space));
  // Lines of an anonymous block are the lines of the block that clips them.
  const ComputedStyle& clipper = !b.node && b.parent ? *b.parent->style : bs;
  const bool ellipsis = clipper.text_overflow_ellipsis && clipper.overflow_x != style::Overflow::visible;

  std::vector<LineItem> line = ctx.inlines.line_lists.take();
  float line_width = 0;
  float y = cy;
  bool carry_space = false;
  bool any_content = false;

  auto finish_line = [&](bool /*last*/) {
    trim_line_end(ctx, line, line_width);
    float ascent = strut_ascent, descent = strut_descent;
    for (const LineItem& it : line) ascent = std::max(ascent, it.ascent), descent = std::max(descent, it.descent);
    if (line.empty() && !any_content) return;
    // Boxes aligned with the line's top or bottom make it taller only where
    // they are taller than it (CSS 2.2 §10.8.1).
    for (const LineItem& it : line) {
      if (it.edge == LineItem::Edge::none) continue;
      const float extra = it.box->height + it.box->margin.vertical() - (ascent + descent);
      if (extra <= 0) continue;
      (it.edge == LineItem::Edge::top ? descent : ascent) += extra;
    }
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
    if (ellipsis && line_width > cw + 0.01f) apply_ellipsis(ctx, line, cw);
    for (LineItem& it : line) {
      Box* box = it.box;
      if (box->kind == BoxKind::text) {
        TextFragment f;
        f.x = x + it.lead;
        f.y = y;
        f.width = it.width;
        f.height = ascent + descent;
        f.baseline = baseline + it.shift;
        f.start = it.start;
        f.end = it.end;
        f.ellipsis = it.ellipsis;
        box->fragments.push_back(f);
      } else {
        const float outer_height = box->height + box->margin.vertical();
        const float top = it.edge == LineItem::Edge::top      ? y
                          : it.edge == LineItem::Edge::bottom ? y + ascent + descent - outer_height
                                                              : baseline - it.ascent;  // measured from its top
        translate(ctx, *box, x + it.lead + box->margin.left - box->x, top + box->margin.top - box->y);
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
    if (!in_flow(leaf)) {
      ctx.positioned.record_static(*leaf, line_width + lead, y - cy);
      // Edges of inline elements opening or closing at it go to its neighbours.
      if (li + 1 < leaves.size()) edges[li + 1].first += lead;
      if (!line.empty()) line.back().trail += trail, line_width += trail;
      continue;
    }
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
        // Text that never ctx.breaks (table cells): one cached measurement, no break table.
        const text::FontMetrics& m = ctx.metrics_of(s);
        const float half = (ctx.line_height_of(s) - m.ascent - m.descent) / 2;
        std::size_t start = 0;
        if (line.empty() && !leaf->text.empty() && leaf->text[0] == ' ' && mode != text::WhiteSpaceMode::pre) start = 1;
        if (start < leaf->text.size()) {
          any_content = true;
          const float w = ctx.measurer.width(font, std::string_view(leaf->text).substr(start));
          const float shift = baseline_shift(*leaf, b);
          line.push_back({leaf, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(leaf->text.size()), w,
                          m.ascent + half - shift, m.descent + half + shift});
          line.back().lead = lead, line.back().trail = trail, line.back().shift = shift;
          line_width += lead + w + trail;
        }
        if (!leaf->text.empty()) carry_space = leaf->text.back() == ' ';
        continue;
      }
      ctx.measurer.advances(font, leaf->text, ctx.advances);
      text::break_opportunities(leaf->text, ctx.breaks, mode);
      const text::FontMetrics& m = ctx.metrics_of(s);
      const float lh = ctx.line_height_of(s);
      const float half = (lh - m.ascent - m.descent) / 2;
      const bool wraps = text::allows_wrap(mode) && wrap_allowed;
      const float shift = baseline_shift(*leaf, b);
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
        const text::LineFit fit = text::fit_line(t, ctx.advances, ctx.breaks, pos, wraps ? available : infinity, wraps);
        if (!line.empty() && wraps && fit.width > available + 0.01f &&
            !(pos > 0 && ctx.breaks[pos] == text::no_break && !ends_with_space(line.back()))) {
          finish_line(false);
          continue;
        }
        float full = 0;
        for (std::size_t i = pos; i < fit.end; ++i) full += ctx.advances[i];
        LineItem item{leaf, static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(fit.end),
                      full, m.ascent + half - shift,         m.descent + half + shift};
        item.lead = item_lead;
        item.shift = shift;
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
    layout_box(ctx, *leaf, cx, y, cw, std::nullopt, std::nullopt, std::nullopt, depth + 1);
    const float outer = leaf->width + leaf->margin.horizontal();
    if (!line.empty() && wrap_allowed && line_width + lead + outer + trail > cw + 0.01f) finish_line(false);
    LineItem item{leaf, 0, 0, outer, 0, 0};
    item.lead = lead, item.trail = trail;
    item.shift = baseline_shift(*leaf, b);
    atomic_extent(ctx, *leaf, item, leaf->parent && leaf->parent != &b ? *leaf->parent->style : bs);
    line.push_back(item);
    line_width += lead + outer + trail;
  }
  finish_line(true);
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) span_inline(ctx, **it, cx, cy);
  if (ctx.inlines.positioned_in_spans.size() > positioned_mark) {
    const std::vector<Box*> found(
        ctx.inlines.positioned_in_spans.begin() + static_cast<std::ptrdiff_t>(positioned_mark),
        ctx.inlines.positioned_in_spans.end());
    ctx.inlines.positioned_in_spans.resize(positioned_mark);
    for (Box* p : found) place_positioned(ctx, *p, b, depth);
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
  ctx.inlines.box_lists.give(std::move(leaves));
  ctx.inlines.box_lists.give(std::move(spans));
  ctx.inlines.edge_lists.give(std::move(edges));
  ctx.inlines.line_lists.give(std::move(line));
  return y - cy;
}

// An inline element has no box of its own: it spans what it holds.

}  // namespace ostrel::layout
