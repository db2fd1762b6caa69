// Helpers for the pages' list tables: a header row (the table's only template
// row) followed by data rows, each carrying "data-index" with the page's row
// index, inside a scrolling body with a zero-height measure element on top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace ostrel {
struct Document;
struct Node;
}  // namespace ostrel

namespace vx::ui {

// The row Up or Down moves to among `count` rows (at least one): the first
// when none is selected, else one further, stopping at the first and last.
std::size_t step_row(std::optional<std::size_t> selected, std::size_t count, bool down);

// Removes every element after the header row in its parent.
void clear_rows(ostrel::Document* document, std::string_view head_id);

// The rows standing for rows not made (see row_window.h) carry this class.
inline constexpr std::string_view gap_row_class = "row-gap";
bool is_gap_row(ostrel::Node* node);

// The first data row after the header and its index (0 when it has none);
// null when no row is made.
ostrel::Node* first_row(ostrel::Document* document, std::string_view head_id, std::size_t* index);

// The data row for a page row, counted on from the first one made; null when
// that row is not made.
ostrel::Node* row_element(ostrel::Document* document, std::string_view head_id, std::size_t index);

// Marks a row as the list's selected one or not: "active" for the style
// sheet, aria-selected for screen readers.
void mark_active_row(ostrel::Node* row, bool active);

// Moves "active" from the old row (when given) to the new one (when given).
void set_active_row(ostrel::Document* document, std::string_view head_id, std::optional<std::size_t> old_index,
                    std::optional<std::size_t> new_index);

// The row index of the nearest "data-index" at or above the node: an optional
// "+" then decimal digits that fit; anything else gives none.
std::optional<std::uint64_t> row_index_of(ostrel::Node* node);

// Scrolls the body just enough to show the row below the sticky header row;
// a row not made yet is placed by the rows made, rows being alike.
void scroll_row_into_view(ostrel::Document* document, std::string_view body_id, std::string_view head_id,
                          std::size_t index);

// Gives the first column what the other columns leave of the body's inner
// width, less 16 px, and never less than 80 px. A list that is not shown
// (no width) is left as it is.
void fit_first_column(ostrel::Document* document, std::string_view head_id, std::string_view measure_id);

// The first column's width for a measure width and the middle columns' total.
int first_column_width(float measure_width, float middle_columns);

// Registers images with the document in order; a failure is skipped.
void register_images(ostrel::Document* document, std::span<const std::pair<std::string_view, std::string_view>> images);

}  // namespace vx::ui
