#include "layout/table_columns.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/intrinsic.h"

namespace ostrel::layout {
namespace {

using style::Display;
using style::Length;

float horizontal_spacing(const Box& table) { return table.style->border_collapse ? 0 : table.style->border_spacing_h; }

std::size_t cell_count(const Box& row) {
  std::size_t n = 0;
  for (const Box* c : row.children) n += c->kind == BoxKind::table_cell;
  return n;
}

std::vector<Box*> cells_of(const Box& row) {
  std::vector<Box*> cells;
  for (Box* c : row.children)
    if (c->kind == BoxKind::table_cell) cells.push_back(c);
  return cells;
}

// What the table's columns say of their widths: <col> elements, then the
// first row's cells, whose widths name their border boxes.
std::vector<std::optional<Length>> column_specs(LayoutContext& ctx, Box& table, const std::vector<Box*>& rows,
                                                float width) {
  std::vector<std::optional<Length>> specs;
  auto of = [](const Box* col) {
    return col->style->width.is_auto() ? std::nullopt : std::optional(col->style->width);
  };
  for (Box* c : table.children) {
    if (c->style->display == Display::table_column) specs.push_back(of(c));
    if (c->style->display == Display::table_column_group)
      for (Box* col : c->children) specs.push_back(of(col));
  }
  std::size_t columns = specs.size();
  for (Box* r : rows) columns = std::max(columns, cell_count(*r));
  specs.resize(columns);
  if (!rows.empty()) {
    std::size_t i = 0;
    for (Box* cell : cells_of(*rows.front())) {
      resolve_edges(ctx, *cell, width);
      if (!specs[i] && !cell->style->width.is_auto()) {
        const Length w = cell->style->width;
        specs[i] = w.is_percent() ? w : Length::px(border_box_width(*cell, w.value));
      }
      ++i;
    }
  }
  return specs;
}

// CSS 2.2 §17.5.2.1: sized columns take their widths, the others share what
// is left equally, and a table wider than sized columns alone widens them in
// proportion.
std::vector<float> fixed_widths(const std::vector<std::optional<Length>>& specs, float available) {
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
  for (Box* r : rows) {
    const std::vector<Box*> cells = cells_of(*r);
    if (cells.size() > columns.size()) columns.resize(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      Box& cell = *cells[i];
      const auto [min, max] = intrinsic_widths(ctx, cell, depth + 1, true);
      Column& col = columns[i];
      col.min = std::max(col.min, min);
      col.max = std::max(col.max, max);
      const bool border_box = cell.style->box_sizing == style::BoxSizing::border_box;
      ask(col, cell.style->width, border_box ? 0 : cell.border.horizontal() + cell.padding.horizontal(), min);
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
  const std::vector<std::optional<Length>> specs = column_specs(ctx, table, rows, width);
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
    const std::vector<std::optional<Length>> specs = column_specs(ctx, table, rows, 0);
    for (const std::optional<Length>& s : specs)
      if (s && !s->is_percent()) min += s->value;
    max = min;
    count = specs.size();
  } else {
    const std::vector<Column> columns = measure_columns(ctx, table, rows, depth);
    for (const Column& c : columns) min += c.min, max += c.max;
    count = columns.size();
  }
  const float spacing = count ? horizontal_spacing(table) * static_cast<float>(count + 1) : 0;
  return {min + spacing, max + spacing};
}

}  // namespace ostrel::layout
