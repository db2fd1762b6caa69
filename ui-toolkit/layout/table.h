// Tables (CSS 2.2 §17): rows of cells in shared columns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "layout/box.h"
#include "layout/side_table.h"

namespace ostrel::layout {

struct LayoutContext;

struct CellState {
  float flow_height = 0;    // height of the in-flow content (what vertical-align moves)
  float content_shift = 0;  // how far vertical-align moved the content
};

struct TableState {
  // The widths each table's rows were laid out with.
  std::unordered_map<const Box*, std::vector<float>> column_widths;
  SideTable<CellState> cells;
  // Each cell's colspan, read once when its box is made: layouts of long
  // tables count every row's columns and should not go back to the DOM.
  SideTable<std::uint16_t> spans;
  std::size_t span_of(const Box& cell) { return std::max<std::size_t>(spans[cell], 1); }
  // Each table's column count and the tree's shape count when it was counted:
  // rows and cells change only by boxes made or retired, so while none is the
  // count stands, and a long table is not counted every frame.
  std::unordered_map<const Box*, std::pair<std::size_t, std::size_t>> column_counts;
  // Tables and cells with collapsed borders: the share each lays out.
  std::unordered_map<const Box*, Edges> collapsed;

  CellState& cell(const Box& b) { return cells[b]; }
  const Edges* collapsed_border(const Box& b) const {
    if (collapsed.empty() || (b.kind != BoxKind::table && b.kind != BoxKind::table_cell)) return nullptr;
    auto it = collapsed.find(&b);
    return it == collapsed.end() ? nullptr : &it->second;
  }
  void clear() {
    column_widths.clear();
    cells.clear();
    spans.clear();
    column_counts.clear();
    collapsed.clear();
  }
};

// A cell and the columns it covers: cells fill a row's columns from the
// left, one spanning several taking them all (HTML's colspan; rows spanning
// rows are not modelled).
std::size_t read_column_span(const Node* cell);
// Past this many columns cells get none, so no page can make a table's
// bookkeeping grow without bound.
inline constexpr std::size_t max_table_columns = 1000;
struct PlacedCell {
  Box* cell;
  std::size_t column, span;
};
void placed_cells(LayoutContext& ctx, const Box& row, std::vector<PlacedCell>& out);  // replaces what `out` held

// The rows in display order: header groups, body rows, footer groups (CSS 2.2 §17.2).
std::vector<Box*> table_rows(Box& table);

// CSS 2.2 §17.6.2: a table with collapsing borders shares each border between
// neighbouring cells; one that stops collapsing gives the cells theirs back.
void collapse_borders(LayoutContext& ctx, Box& table);
void separate_borders(LayoutContext& ctx, Box& table);

// Lays out the rows and cells; returns the content height.
float layout_table(LayoutContext& ctx, Box& table, float x, float y, float width, int depth);

}  // namespace ostrel::layout
