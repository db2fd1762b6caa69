// Table column widths (CSS 2.2 §17.5.2): the fixed layout from the first row
// and the table's width, or the automatic layout from every cell's content.
#pragma once

#include <utility>
#include <vector>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// Whether a table is laid out the fixed way: table-layout: fixed with a
// width of its own (as browsers do, an auto width means the automatic layout).
bool fixed_table_layout(const Box& table);

// The widths of the columns of `table` whose content box is `width` wide.
std::vector<float> column_widths(LayoutContext& ctx, Box& table, const std::vector<Box*>& rows, float width, int depth);

// The table's min-content and max-content widths, content box, border spacing included.
std::pair<float, float> table_content_widths(LayoutContext& ctx, Box& table, int depth);

}  // namespace ostrel::layout
