#include "ui/list_table.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/text.h"
#include "elements.h"
#include "ostrel/ostrel.h"

namespace vx::ui {
namespace {

using detail::by_id;
using detail::first_element;
using detail::next_element;

constexpr std::string_view active = "active";

}  // namespace

void clear_rows(ostrel::Document* document, std::string_view head_id) {
  ostrel::Node* head = by_id(document, head_id);
  if (!head) return;
  // Collected first: removing while walking would lose the walk's place.
  std::vector<ostrel::Node*> rows;
  for (ostrel::Node* row = next_element(head); row; row = next_element(row)) rows.push_back(row);
  for (ostrel::Node* row : rows) ostrel::remove(row);
}

bool is_gap_row(ostrel::Node* node) {
  std::size_t length = 0;
  const char* cls = node ? ostrel::get_attribute(node, "class", 5, &length) : nullptr;
  return cls && std::string_view(cls, length) == gap_row_class;
}

ostrel::Node* first_row(ostrel::Document* document, std::string_view head_id, std::size_t* index) {
  ostrel::Node* head = by_id(document, head_id);
  ostrel::Node* node = head ? next_element(head) : nullptr;
  if (is_gap_row(node)) node = next_element(node);
  if (!node || is_gap_row(node)) return nullptr;
  // A row without an index is the first of a list that makes every row.
  *index = static_cast<std::size_t>(row_index_of(node).value_or(0));
  return node;
}

ostrel::Node* row_element(ostrel::Document* document, std::string_view head_id, std::size_t index) {
  std::size_t at = 0;
  ostrel::Node* node = first_row(document, head_id, &at);
  if (!node || index < at) return nullptr;
  for (; node && at < index; ++at) node = next_element(node);
  return is_gap_row(node) ? nullptr : node;
}

void mark_active_row(ostrel::Node* row, bool on) {
  static constexpr std::string_view selected = "aria-selected";
  if (on) {
    ostrel::add_class(row, active.data(), active.size());
    ostrel::set_attribute(row, selected.data(), selected.size(), "true", 4);
  } else {
    ostrel::remove_class(row, active.data(), active.size());
    ostrel::remove_attribute(row, selected.data(), selected.size());
  }
}

void set_active_row(ostrel::Document* document, std::string_view head_id, std::optional<std::size_t> old_index,
                    std::optional<std::size_t> new_index) {
  if (old_index) {
    if (ostrel::Node* row = row_element(document, head_id, *old_index)) mark_active_row(row, false);
  }
  if (new_index) {
    if (ostrel::Node* row = row_element(document, head_id, *new_index)) mark_active_row(row, true);
  }
}

std::size_t step_row(std::optional<std::size_t> selected, std::size_t count, bool down) {
  if (!selected) return 0;
  return down ? std::min(*selected + 1, count - 1) : (*selected == 0 ? 0 : *selected - 1);
}

std::optional<std::uint64_t> row_index_of(ostrel::Node* node) {
  static constexpr std::string_view name = "data-index";
  for (; node; node = ostrel::parent(node)) {
    if (ostrel::is_text(node)) continue;
    std::size_t length = 0;
    if (const char* value = ostrel::get_attribute(node, name.data(), name.size(), &length))
      return vx::parse_u64({value, length});
  }
  return std::nullopt;
}

void scroll_row_into_view(ostrel::Document* document, std::string_view body_id, std::string_view head_id,
                          std::size_t index) {
  ostrel::Node* body = by_id(document, body_id);
  ostrel::Node* head = by_id(document, head_id);
  std::size_t first = 0;
  ostrel::Node* known = first_row(document, head_id, &first);
  if (!body || !head || !known) return;
  ostrel::Rect r{};
  if (ostrel::Node* row = row_element(document, head_id, index)) {
    r = ostrel::element_rect(row);
  } else {  // not made yet: where it will be, rows being alike
    r = ostrel::element_rect(known);
    r.y += (static_cast<float>(index) - static_cast<float>(first)) * r.height;
  }
  const ostrel::Rect b = ostrel::element_rect(body), h = ostrel::element_rect(head);
  const float visible_top = b.y + h.height;
  float delta = 0;
  if (r.y < visible_top)
    delta = r.y - visible_top;
  else if (r.y + r.height > b.y + b.height)
    delta = r.y + r.height - (b.y + b.height);
  if (delta == 0) return;
  const ostrel::ScrollOffset at = ostrel::scroll_position(body);
  ostrel::scroll_to(body, at.x, at.y + delta);
}

int first_column_width(float measure_width, float middle_columns) {
  const double w = std::floor(static_cast<double>(measure_width) - middle_columns - 16);
  // Also catches NaN and widths no int holds.
  if (!(w >= 80)) return 80;
  return w > 1e9 ? 1000000000 : static_cast<int>(w);
}

void fit_first_column(ostrel::Document* document, std::string_view head_id, std::string_view measure_id) {
  ostrel::Node* head = by_id(document, head_id);
  ostrel::Node* measure = by_id(document, measure_id);
  if (!head || !measure) return;
  // A list on a tab that is not shown has no width; it is fitted once shown.
  const float width = ostrel::element_rect(measure).width;
  if (width <= 0) return;
  std::vector<ostrel::Node*> cells;
  for (ostrel::Node* cell = first_element(head); cell; cell = next_element(cell)) cells.push_back(cell);
  if (cells.empty()) return;
  float middle = 0;
  for (std::size_t i = 1; i + 1 < cells.size(); ++i) middle += ostrel::element_rect(cells[i]).width;
  const std::string style = "width:" + std::to_string(first_column_width(width, middle)) + "px";
  ostrel::set_attribute(cells.front(), "style", 5, style.data(), style.size());
}

void register_images(ostrel::Document* document,
                     std::span<const std::pair<std::string_view, std::string_view>> images) {
  for (const auto& [name, bytes] : images)
    ostrel::image_set(document, name.data(), name.size(), bytes.data(), bytes.size());
}

}  // namespace vx::ui
