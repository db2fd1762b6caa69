#include "layout/table.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "layout/box_model.h"
#include "layout/context.h"
#include "layout/table_columns.h"

namespace ostrel::layout {
namespace {

using style::ComputedStyle;
using style::Display;

bool same_edges(const Edges& a, const Edges& b) {
  return a.top == b.top && a.right == b.right && a.bottom == b.bottom && a.left == b.left;
}

}  // namespace

// HTML's rules for non-negative integers: leading space, then digits; a
// missing, zero or unreadable span is one column, and no cell spans more
// than 1,000.
std::size_t read_column_span(const Node* cell) {
  const std::string* v = cell ? attribute_value(cell, atom_colspan) : nullptr;
  if (!v) return 1;
  std::size_t i = 0, n = 0;
  while (i < v->size() && is_html_space((*v)[i])) ++i;
  for (; i < v->size() && (*v)[i] >= '0' && (*v)[i] <= '9'; ++i)
    n = std::min<std::size_t>(n * 10 + ((*v)[i] - '0'), 1000);
  return n == 0 ? 1 : n;
}

void placed_cells(LayoutContext& ctx, const Box& row, std::vector<PlacedCell>& cells) {
  cells.clear();
  std::size_t column = 0;
  for (Box* c : row.children) {
    if (c->kind != BoxKind::table_cell) continue;
    const std::size_t span = std::min(ctx.tables.span_of(*c), max_table_columns - column);
    cells.push_back({c, column, span});
    column += span;
  }
}

std::vector<Box*> table_rows(Box& table) {
  std::vector<Box*> head, body, foot;
  for (Box* c : table.children) {
    if (c->kind == BoxKind::table_row)
      body.push_back(c);
    else if (c->kind == BoxKind::table_row_group) {
      auto& list = c->style->display == Display::table_header_group   ? head
                   : c->style->display == Display::table_footer_group ? foot
                                                                      : body;
      for (Box* r : c->children)
        if (r->kind == BoxKind::table_row) list.push_back(r);
    }
  }
  head.insert(head.end(), body.begin(), body.end());
  head.insert(head.end(), foot.begin(), foot.end());
  return head;
}

// Collapsed borders: neighbouring cells share one border, the wider of the
// two (none where either side is hidden), and each cell lays out half of it
// inside its box; the table holds the outer halves. Cells whose share
// changes are laid out again.
void collapse_borders(LayoutContext& ctx, Box& table) {
  // Each row's cells by column; a spanning cell fills every column it covers.
  std::vector<std::vector<PlacedCell>> rows;
  std::vector<std::vector<Box*>> grid;
  for (Box* r : table_rows(table)) {
    placed_cells(ctx, *r, rows.emplace_back());
    std::vector<Box*>& slots = grid.emplace_back();
    for (const PlacedCell& p : rows.back()) slots.insert(slots.end(), p.span, p.cell);
  }
  auto edge = [](const Box* a, int a_side, const Box* b, int b_side) {
    const auto hidden = [](const Box* x, int side) {
      return x && x->style->border_style[side] == style::BorderStyle::hidden;
    };
    if (hidden(a, a_side) || hidden(b, b_side)) return 0.0f;
    return std::max(a ? a->style->used_border(a_side) : 0.0f, b ? b->style->used_border(b_side) : 0.0f);
  };
  auto at = [&](std::size_t r, std::size_t c) -> const Box* {
    return r < grid.size() && c < grid[r].size() ? grid[r][c] : nullptr;
  };
  Edges outer;
  bool any = false;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      const auto [cell, first, span] = rows[r][i];
      const std::size_t end = first + span;
      // Along a spanning cell's top and bottom the widest border of the cells it meets counts.
      float top = 0, bottom = 0;
      for (std::size_t c = first; c < end; ++c) {
        top = std::max(top, r == 0 ? edge(&table, 0, cell, 0) : edge(at(r - 1, c), 2, cell, 0));
        bottom = std::max(bottom, r + 1 == rows.size() ? edge(cell, 2, &table, 2) : edge(cell, 2, at(r + 1, c), 0));
      }
      const float left = first == 0 ? edge(&table, 3, cell, 3) : edge(at(r, first - 1), 1, cell, 3);
      const float right = i + 1 == rows[r].size() ? edge(cell, 1, &table, 1) : edge(cell, 1, at(r, end), 3);
      const Edges half{top / 2, right / 2, bottom / 2, left / 2};
      auto [it, made] = ctx.tables.collapsed.try_emplace(cell, half);
      if (made || !same_edges(half, it->second)) {
        it->second = half;
        mark_dirty(cell);
      }
      any = true;
      if (r == 0) outer.top = std::max(outer.top, half.top);
      if (r + 1 == rows.size()) outer.bottom = std::max(outer.bottom, half.bottom);
      if (first == 0) outer.left = std::max(outer.left, half.left);
      if (i + 1 == rows[r].size()) outer.right = std::max(outer.right, half.right);
    }
  }
  if (!any) {
    const ComputedStyle& ts = *table.style;
    outer = {ts.used_border(0) / 2, ts.used_border(1) / 2, ts.used_border(2) / 2, ts.used_border(3) / 2};
  }
  ctx.tables.collapsed[&table] = outer;
}

// A table that stops collapsing gives its cells their own borders back.
void separate_borders(LayoutContext& ctx, Box& table) {
  if (!ctx.tables.collapsed.erase(&table)) return;
  for (Box* r : table_rows(table))
    for (Box* c : r->children)
      if (ctx.tables.collapsed.erase(c)) mark_dirty(c);
}

float layout_table(LayoutContext& ctx, Box& table, float cx, float cy, float cw, int depth) {
  const ComputedStyle& ts = *table.style;
  const float hs = ts.border_collapse ? 0 : ts.border_spacing_h;
  const float vs = ts.border_collapse ? 0 : ts.border_spacing_v;
  const std::vector<Box*> rows = table_rows(table);

  std::vector<float> widths = column_widths(ctx, table, rows, cw, depth);
  const std::size_t columns = widths.size();
  // Each column's left edge, and where the last one ends (plus spacing).
  std::vector<float> left(columns + 1, cx + hs);
  for (std::size_t i = 0; i < columns; ++i) left[i + 1] = left[i] + widths[i] + hs;

  // Captions sit above the rows, as wide as the table (CSS 2.2 §17.4; only
  // caption-side: top is known).
  float below_captions = cy;
  for (Box* c : table.children) {
    if (c->style->display != Display::table_caption) continue;
    layout_box(ctx, *c, cx, below_captions, cw, std::nullopt, std::nullopt, std::nullopt, depth + 1);
    below_captions = c->y + c->height + c->margin.bottom;
  }
  float y = below_captions + vs;
  std::vector<PlacedCell> placed;
  // Rows lie inside the spacing at the table's sides, as browsers place them.
  const float row_x = cx + hs, row_width = std::max(0.0f, cw - 2 * hs);
  std::vector<float>& laid_out_widths = ctx.tables.column_widths[&table];
  const bool same_columns = !table.dirty && laid_out_widths == widths;
  for (Box* row : rows) {
    LayoutCache& row_cache = ctx.cache_of(*row);
    if (same_columns && (!ctx.force_all || row_cache.pass == ctx.pass) && !row->dirty && !row->child_dirty &&
        !row->holds_out_of_flow && row_cache.laid_out && row_cache.with.cb_width == cw) {
      translate(ctx, *row, row_x - row->x, y - row->y);
      y += row->height + vs;
      continue;
    }
    ++ctx.laid_out_count;
    resolve_edges(ctx, *row, cw);
    row->x = row_x;
    row->y = y;
    row->width = row_width;
    float row_height = 0;
    if (auto h = specified_height(*row, std::nullopt)) row_height = *h;
    placed_cells(ctx, *row, placed);
    for (const auto& [cell, first, span] : placed) {
      // A spanning cell covers its columns and the spacing between them.
      const std::size_t a = std::min(first, columns), b = std::min(first + span, columns);
      const float x = left[a];
      const float w = b > a ? left[b] - hs - left[a] : 0;
      resolve_edges(ctx, *cell, cw);
      layout_box(ctx, *cell, x, y, w, std::nullopt, w, std::nullopt, depth + 1);
      float h = cell->height;
      if (auto sh = specified_height(*cell, std::nullopt)) h = std::max(h, *sh);
      row_height = std::max(row_height, h);
    }
    // Every cell takes the row's height; its content sits by vertical-align.
    for (const PlacedCell& p : placed) {
      Box* cell = p.cell;
      if (std::fabs(cell->height - row_height) > 0.01f)
        layout_box(ctx, *cell, cell->x - cell->margin.left, cell->y - cell->margin.top, cell->width, std::nullopt,
                   cell->width, row_height, depth + 1);
      CellState& state = ctx.tables.cell(*cell);
      const float free = cell->content_box_height() - cell->scrollbar_x - state.flow_height;
      float shift = 0;
      if (cell->style->vertical_align == style::VerticalAlign::middle)
        shift = free / 2;
      else if (cell->style->vertical_align == style::VerticalAlign::bottom)
        shift = free;
      shift = std::max(shift, 0.0f);
      // A cell kept from the last layout already holds its content shifted.
      if (shift != state.content_shift) {
        for (Box* c : cell->children) translate(ctx, *c, 0, shift - state.content_shift);
        state.content_shift = shift;
        compute_overflow(*cell);
      }
    }
    row->height = row_height;
    compute_overflow(*row);
    row_cache.laid_out = true;
    row_cache.pass = ctx.pass;
    row_cache.with = {cw, std::nullopt, std::nullopt, std::nullopt};
    row->dirty = row->child_dirty = false;
    y += row_height + vs;
  }
  // Row groups span their rows.
  for (Box* c : table.children) {
    c->dirty = c->child_dirty = false;
    if (c->kind != BoxKind::table_row_group) continue;
    float top = infinity, bottom = -infinity;
    for (Box* r : c->children)
      if (r->kind == BoxKind::table_row) top = std::min(top, r->y), bottom = std::max(bottom, r->y + r->height);
    c->x = cx;
    c->width = cw;
    c->y = std::isfinite(top) ? top : y;
    c->height = std::isfinite(top) ? bottom - top : 0;
    compute_overflow(*c);
  }
  // Columns and their groups cover their cells from the first row to the last,
  // as a browser reports them.
  const float rows_top = below_captions + vs, rows_height = std::max(0.0f, y - vs - rows_top);
  std::size_t next = 0;
  auto place = [&](Box& c, std::size_t first, std::size_t count) {
    const std::size_t a = std::min(first, columns), b = std::min(first + count, columns);
    c.x = left[a], c.y = rows_top, c.height = rows_height;
    c.width = b > a ? left[b] - hs - left[a] : 0;
    c.overflow = {};  // columns draw nothing of their own
  };
  for (Box* c : table.children) {
    if (c->style->display == Display::table_column) {
      place(*c, next++, 1);
    } else if (c->style->display == Display::table_column_group) {
      const std::size_t first = next;
      for (Box* col : c->children) place(*col, next++, 1);
      place(*c, first, next - first);
    }
  }
  laid_out_widths = std::move(widths);
  return y - cy;
}

}  // namespace ostrel::layout
