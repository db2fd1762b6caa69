#include "layout/table_columns.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/intrinsic.h"
#include "layout/table.h"

namespace ostrel::layout {
namespace {

using style::Display;
using style::Length;

float horizontal_spacing(const Box& table) { return table.style->border_collapse ? 0 : table.style->border_spacing_h; }

// The columns a row's cells cover, spans included (as placed_cells counts them).
std::size_t column_count(LayoutContext& ctx, const Box& row) {
  std::size_t n = 0;
  for (const Box* c : row.children)
    if (c->kind == BoxKind::table_cell) n += std::min(ctx.tables.span_of(*c), max_table_columns - n);
  return n;
}

// A column's width as the fixed layout reads it: a length or percentage,
// and the cell's padding and border a percentage leaves out.
struct ColumnSpec {
  Length width;
  float edges = 0;
  float resolve(float available) const { return width.resolve(available) + edges; }
};

// What the table's columns say of their widths: <col> elements, then the
// first row's cells, whose widths name their border boxes.
std::vector<std::optional<ColumnSpec>> column_specs(LayoutContext& ctx, Box& table, const std::vector<Box*>& rows,
                                                    float width) {
  std::vector<std::optional<ColumnSpec>> specs;
  auto of = [](const Box* col) {
    return col->style->width.is_auto() ? std::nullopt : std::optional(ColumnSpec{col->style->width});
  };
  for (Box* c : table.children) {
    if (c->style->display == Display::table_column) specs.push_back(of(c));
    if (c->style->display == Display::table_column_group)
      for (Box* col : c->children) specs.push_back(of(col));
  }
  auto& [shape, counted] = ctx.tables.column_counts[&table];
  if (shape != ctx.shape_changes) {
    counted = 0;
    for (Box* r : rows) counted = std::max(counted, column_count(ctx, *r));
    shape = ctx.shape_changes;
  }
  const std::size_t columns = std::max(specs.size(), counted);
  specs.resize(columns);
  if (rows.empty()) return specs;
  std::vector<PlacedCell> cells;
  placed_cells(ctx, *rows.front(), cells);
  for (const auto& [cell, first, span] : cells) {
    resolve_edges(ctx, *cell, width);
    if (cell->style->width.is_auto()) continue;
    // A cell spanning columns divides its width between them, less the spacing inside it.
    const Length w = cell->style->width;
    const float n = static_cast<float>(span);
    // A percentage sizes the content box, as a length does (CSS 2.2 §17.5.2.1).
    const ColumnSpec each =
        w.is_percent()
            ? ColumnSpec{Length::percent(w.value / n), border_box_width(*cell, 0) / n}
            : ColumnSpec{Length::px((border_box_width(*cell, w.value) - horizontal_spacing(table) * (n - 1)) / n)};
    for (std::size_t c = first; c < first + span; ++c)
      if (!specs[c]) specs[c] = each;
  }
  return specs;
}

// CSS 2.2 §17.5.2.1: sized columns take their widths, the others share what
// is left equally, and a table wider than sized columns alone widens them in
// proportion.
std::vector<float> fixed_widths(const std::vector<std::optional<ColumnSpec>>& specs, float available) {
  std::vector<float> widths(specs.size(), 0);
  float fixed = 0;
  std::size_t auto_count = 0;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    if (specs[i]) {
      widths[i] = specs[i]->resolve(available);
      fixed += widths[i];
    } else {
      ++auto_count;
    }
  }
  const float rest = std::max(0.0f, available - fixed);
  for (std::size_t i = 0; i < specs.size(); ++i)
    if (!specs[i]) widths[i] = auto_count ? rest / static_cast<float>(auto_count) : 0;
  if (auto_count == 0 && fixed < available && fixed > 0)
    for (float& w : widths) w *= available / fixed;
  return widths;
}

// A column of the automatic layout (CSS Tables 3 §3.9.3): its content's
// widths, and the width or percentage its cells or <col> ask for.
struct Column {
  float min = 0, max = 0;
  float percent = -1;  // < 0: none
  bool fixed = false;  // a length width and no percentage
};

std::vector<float> auto_widths(const std::vector<Column>& columns, float available);

// CSS Tables 3 §3.9.2: a cell spanning columns widens them only by what its
// content needs beyond theirs and the spacing inside it, shared as the
// table's width is shared between columns.
void take_spanning_cell(std::vector<Column>& columns, std::size_t first, std::size_t span, float min, float max,
                        float spacing) {
  std::vector<Column> spanned(columns.begin() + static_cast<std::ptrdiff_t>(first),
                              columns.begin() + static_cast<std::ptrdiff_t>(first + span));
  float have_min = 0, have_max = 0;
  for (const Column& c : spanned) have_min += c.min, have_max += c.max;
  min -= spacing * static_cast<float>(span - 1);
  max -= spacing * static_cast<float>(span - 1);
  if (min > have_min) {
    const std::vector<float> w = auto_widths(spanned, min);
    for (std::size_t i = 0; i < span; ++i) columns[first + i].min = std::max(columns[first + i].min, w[i]);
  }
  if (max > have_max) {
    const std::vector<float> w = auto_widths(spanned, max);
    for (std::size_t i = 0; i < span; ++i) columns[first + i].max = std::max(columns[first + i].max, w[i]);
  }
}

std::vector<Column> measure_columns(LayoutContext& ctx, Box& table, const std::vector<Box*>& rows, int depth) {
  std::vector<Column> columns;
  auto ask = [](Column& col, const Length& w, float edges, float content_min) {
    if (w.is_percent()) {
      col.percent = std::max(col.percent, w.value);
    } else if (!w.is_auto()) {
      col.fixed = true;
      col.max = std::max(col.max, std::max(w.value + edges, content_min));
    }
  };
  struct Spanning {
    std::size_t first, span;
    float min, max;
  };
  std::vector<Spanning> spanning;
  std::vector<PlacedCell> cells;
  for (Box* r : rows) {
    placed_cells(ctx, *r, cells);
    for (const auto& [cell, first, span] : cells) {
      if (span == 0) continue;
      if (first + span > columns.size()) columns.resize(first + span);
      const auto [min, max] = intrinsic_widths(ctx, *cell, depth + 1, true);
      const bool border_box = cell->style->box_sizing == style::BoxSizing::border_box;
      const float edges = border_box ? 0 : cell->border.horizontal() + cell->padding.horizontal();
      if (span > 1) {
        // Its own width counts as content that wide.
        const Length& w = cell->style->width;
        const float asked = !w.is_auto() && !w.is_percent() ? w.value + edges : 0;
        spanning.push_back({first, span, std::max(min, asked), std::max(max, asked)});
        continue;
      }
      Column& col = columns[first];
      col.min = std::max(col.min, min);
      col.max = std::max(col.max, max);
      ask(col, cell->style->width, edges, min);
    }
  }
  std::size_t i = 0;
  auto from_col = [&](const Box* col) {
    if (i >= columns.size()) columns.resize(i + 1);
    ask(columns[i], col->style->width, 0, columns[i].min);
    ++i;
  };
  for (Box* c : table.children) {
    if (c->style->display == Display::table_column) from_col(c);
    if (c->style->display == Display::table_column_group)
      for (Box* col : c->children) from_col(col);
  }
  for (Column& col : columns) {
    if (col.percent >= 0) col.fixed = false;
    col.max = std::max(col.max, col.min);
  }
  // Narrower spans first, so wider ones see the columns the narrower ones made.
  std::stable_sort(spanning.begin(), spanning.end(),
                   [](const Spanning& a, const Spanning& b) { return a.span < b.span; });
  for (const Spanning& sc : spanning) {
    take_spanning_cell(columns, sc.first, sc.span, sc.min, sc.max, horizontal_spacing(table));
    for (std::size_t c = sc.first; c < sc.first + sc.span; ++c)
      columns[c].max = std::max(columns[c].max, columns[c].min);
  }
  return columns;
}

// CSS Tables 3 §3.9.3: the columns' widths step from their minimums through
// their percentages, their set widths and their maximums; the width to share
// falls between two of these guesses, and each column takes its share of
// the difference. Past the last guess the extra goes to auto columns, else
// to fixed ones, else to all.
std::vector<float> auto_widths(const std::vector<Column>& columns, float available) {
  const std::size_t n = columns.size();
  auto percent_width = [&](const Column& c) { return std::max(c.min, available * c.percent / 100.0f); };
  std::vector<std::vector<float>> guesses(4, std::vector<float>(n));
  for (std::size_t i = 0; i < n; ++i) {
    const Column& c = columns[i];
    const bool pct = c.percent >= 0;
    guesses[0][i] = c.min;
    guesses[1][i] = pct ? percent_width(c) : c.min;
    guesses[2][i] = pct ? percent_width(c) : c.fixed ? c.max : c.min;
    guesses[3][i] = pct ? percent_width(c) : c.max;
  }
  auto sum = [](const std::vector<float>& v) {
    float s = 0;
    for (float x : v) s += x;
    return s;
  };
  if (available <= sum(guesses[0])) return guesses[0];
  for (std::size_t g = 1; g < guesses.size(); ++g) {
    const float low = sum(guesses[g - 1]), high = sum(guesses[g]);
    if (available > high) continue;
    const float t = high > low ? (available - low) / (high - low) : 0;
    std::vector<float> widths(n);
    for (std::size_t i = 0; i < n; ++i) widths[i] = guesses[g - 1][i] + (guesses[g][i] - guesses[g - 1][i]) * t;
    return widths;
  }
  std::vector<float> widths = guesses[3];
  const float extra = available - sum(widths);
  auto share = [&](auto takes) {
    float weight = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (takes(columns[i])) weight += widths[i], ++count;
    if (count == 0) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (takes(columns[i])) widths[i] += weight > 0 ? extra * widths[i] / weight : extra / static_cast<float>(count);
    return true;
  };
  if (!share([](const Column& c) { return c.percent < 0 && !c.fixed; }) &&
      !share([](const Column& c) { return c.fixed; }))
    share([](const Column&) { return true; });
  return widths;
}

}  // namespace

bool fixed_table_layout(const Box& table) { return table.style->table_layout_fixed && !table.style->width.is_auto(); }

std::vector<float> column_widths(LayoutContext& ctx, Box& table, const std::vector<Box*>& rows, float width,
                                 int depth) {
  const std::vector<std::optional<ColumnSpec>> specs = column_specs(ctx, table, rows, width);
  const float available = std::max(0.0f, width - horizontal_spacing(table) * static_cast<float>(specs.size() + 1));
  if (fixed_table_layout(table)) return fixed_widths(specs, available);
  std::vector<Column> columns = measure_columns(ctx, table, rows, depth);
  columns.resize(specs.size());
  return auto_widths(columns, available);
}

std::pair<float, float> table_content_widths(LayoutContext& ctx, Box& table, int depth) {
  const std::vector<Box*> rows = table_rows(table);
  float min = 0, max = 0;
  std::size_t count = 0;
  if (fixed_table_layout(table)) {
    // CSS 2.2 §17.5.2.1: the content plays no part; only the columns' lengths do.
    const std::vector<std::optional<ColumnSpec>> specs = column_specs(ctx, table, rows, 0);
    for (const std::optional<ColumnSpec>& s : specs)
      if (s && !s->width.is_percent()) min += s->width.value;
    max = min;
    count = specs.size();
  } else {
    const std::vector<Column> columns = measure_columns(ctx, table, rows, depth);
    for (const Column& c : columns) min += c.min, max += c.max;
    count = columns.size();
  }
  const float spacing = count ? horizontal_spacing(table) * static_cast<float>(count + 1) : 0;
  min += spacing, max += spacing;
  // A caption is never narrower than its content needs, and widens the table with it.
  for (Box* c : table.children)
    if (c->style->display == Display::table_caption) {
      const float caption_min = intrinsic_widths(ctx, *c, depth + 1).first + c->margin.horizontal();
      min = std::max(min, caption_min), max = std::max(max, caption_min);
    }
  return {min, max};
}

}  // namespace ostrel::layout
