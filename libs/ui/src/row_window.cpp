#include "ui/row_window.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "elements.h"
#include "ostrel/ostrel.h"
#include "ui/list_table.h"

namespace vx::ui {
namespace {

using detail::by_id;
using detail::next_element;

std::size_t clamp_index(double value, std::size_t count) {
  if (!(value > 0)) return 0;  // also NaN
  return value >= static_cast<double>(count) ? count : static_cast<std::size_t>(value);
}

// The gap rows next to the made ones: the one right after the header, and
// the last element of the table section.
struct Gaps {
  ostrel::Node* parent = nullptr;
  ostrel::Node* top = nullptr;
  ostrel::Node* bottom = nullptr;
  ostrel::Node* first_made = nullptr;  // the first row after the top gap, if any
};

Gaps find_gaps(ostrel::Node* head) {
  Gaps gaps;
  gaps.parent = ostrel::parent(head);
  ostrel::Node* node = next_element(head);
  if (is_gap_row(node)) {
    gaps.top = node;
    node = next_element(node);
  }
  if (node && !is_gap_row(node)) gaps.first_made = node;
  for (; node; node = next_element(node))
    if (is_gap_row(node)) gaps.bottom = node;
  return gaps;
}

// A row of one cell across every column, as tall as `height`; screen readers
// do not hear it.
ostrel::Node* make_gap(ostrel::Document* document, ostrel::Node* head) {
  std::size_t columns = 0;
  for (ostrel::Node* cell = ostrel::first_child(head); cell; cell = ostrel::next_sibling(cell))
    if (!ostrel::is_text(cell)) ++columns;
  ostrel::Node* row = ostrel::create_element(document, "tr", 2);
  ostrel::Node* cell = ostrel::create_element(document, "td", 2);
  if (!row || !cell) {
    ostrel::remove(row);  // a detached node is freed; null is ignored
    ostrel::remove(cell);
    return nullptr;
  }
  const std::string span = std::to_string(std::max<std::size_t>(columns, 1));
  ostrel::set_attribute(row, "class", 5, gap_row_class.data(), gap_row_class.size());
  ostrel::set_attribute(row, "aria-hidden", 11, "true", 4);
  ostrel::set_attribute(cell, "colspan", 7, span.data(), span.size());
  ostrel::append_child(row, cell);
  return row;
}

// Puts a new row before `before` (at the end for null); one that cannot go
// in (no memory) is freed rather than left detached.
bool placed(ostrel::Node* parent, ostrel::Node* row, ostrel::Node* before) {
  if (!row) return false;
  if (ostrel::insert(parent, row, before) == 0) return true;
  ostrel::remove(row);
  return false;
}

void set_gap_height(ostrel::Node* gap, float height) {
  ostrel::Node* cell = ostrel::first_child(gap);
  if (!cell) return;
  const std::string style = "height:" + std::to_string(static_cast<long long>(std::lround(height))) + "px";
  std::size_t length = 0;
  const char* now = ostrel::get_attribute(cell, "style", 5, &length);
  if (!now || std::string_view(now, length) != style)
    ostrel::set_attribute(cell, "style", 5, style.data(), style.size());
}

}  // namespace

RowRange rows_in_view(std::size_t count, float row_height, std::size_t known, float known_top, float view_top,
                      float view_bottom) {
  if (count == 0 || !(row_height > 0) || !(view_bottom > view_top)) return {};
  const double base = static_cast<double>(known);
  const std::size_t first = clamp_index(base + std::floor((view_top - known_top) / row_height), count);
  const std::size_t last = clamp_index(base + std::ceil((view_bottom - known_top) / row_height), count);
  return {first, std::max(first, last)};
}

RowRange rows_to_make(std::size_t count, RowRange made, RowRange view, std::size_t margin, std::size_t spare) {
  const auto around = [&](std::size_t by) {
    return RowRange{view.first > by ? view.first - by : 0, std::min(count, view.last + by)};
  };
  if (view.empty()) {  // no place on screen yet: a screenful or so from where the rows begin
    const std::size_t first = made.empty() ? 0 : std::min(made.first, count);
    return {first, std::min(count, std::max(made.last, first + RowWindow::unplaced_rows))};
  }
  if (!made.empty() && made.last <= count && made.holds(around(margin))) return made;
  return around(spare);
}

void RowWindow::update(ostrel::Document* document, std::size_t count, const MakeRow& make_row) {
  if (updating_) return;
  updating_ = true;
  if (made_.last > count) drop_from(document, count);
  ostrel::Node* head = by_id(document, head_id_);
  ostrel::Node* body = by_id(document, body_id_);
  // The first pass may make rows for a list never placed; the second then
  // places them (reading geometry lays the document out).
  for (int pass = 0; pass < 2 && head && body; ++pass) {
    std::optional<RowRange> view;
    if (ostrel::Node* first = row_element(document, head_id_, made_.first); first && !made_.empty()) {
      const ostrel::Rect b = ostrel::element_rect(body), r = ostrel::element_rect(first);
      if (b.height > 0 && r.height > 0) {
        row_height_ = r.height;
        const float header = ostrel::element_rect(head).height;
        view = rows_in_view(count, r.height, made_.first, r.y, b.y + header, b.y + b.height);
      }
    }
    const RowRange want = rows_to_make(count, made_, view.value_or(RowRange{}), margin, spare);
    if (want != made_) make(document, want, make_row);
    size_gaps(document, count);
    if (view) break;
  }
  updating_ = false;
}

void RowWindow::make(ostrel::Document* document, RowRange want, const MakeRow& make_row) {
  ostrel::Node* head = by_id(document, head_id_);
  if (!head) return;
  const std::vector<ostrel::Node*> rows = made_rows(document, made_.first);
  // What stays is where the old and new runs meet; everything else goes.
  RowRange kept{std::max(made_.first, want.first), std::min(made_.last, want.last)};
  if (kept.empty() || rows.size() != made_.size()) kept = {want.first, want.first};
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (!kept.holds(made_.first + i)) ostrel::remove(rows[i]);
  const Gaps gaps = find_gaps(head);
  // Rows above what stays go in from the nearest up, each before the last.
  ostrel::Node* before = kept.empty() ? gaps.bottom : row_element(document, head_id_, kept.first);
  made_ = kept;
  for (std::size_t i = kept.first; i-- > want.first;) {
    ostrel::Node* row = make_row(i);
    if (!placed(gaps.parent, row, before)) break;
    before = row;
    made_.first = i;
  }
  // Rows below go in before the bottom gap, in order.
  for (std::size_t i = made_.last; i < want.last; ++i) {
    ostrel::Node* row = make_row(i);
    if (!placed(gaps.parent, row, gaps.bottom)) break;
    made_.last = i + 1;
  }
  if (made_.empty()) made_ = {};
}

void RowWindow::size_gaps(ostrel::Document* document, std::size_t count) {
  ostrel::Node* head = by_id(document, head_id_);
  if (!head) return;
  Gaps gaps = find_gaps(head);
  const std::size_t above = made_.empty() ? 0 : made_.first;
  const std::size_t below = count - std::min(count, made_.empty() ? 0 : made_.last);
  if (above > 0 && !gaps.top) {
    gaps.top = make_gap(document, head);
    if (!placed(gaps.parent, gaps.top, next_element(head))) gaps.top = nullptr;
  } else if (above == 0 && gaps.top) {
    ostrel::remove(std::exchange(gaps.top, nullptr));
  }
  if (below > 0 && !made_.empty() && !gaps.bottom) {
    gaps.bottom = make_gap(document, head);
    if (!placed(gaps.parent, gaps.bottom, nullptr)) gaps.bottom = nullptr;
  } else if ((below == 0 || made_.empty()) && gaps.bottom) {
    ostrel::remove(std::exchange(gaps.bottom, nullptr));
  }
  if (gaps.top) set_gap_height(gaps.top, static_cast<float>(above) * row_height_);
  if (gaps.bottom) set_gap_height(gaps.bottom, static_cast<float>(below) * row_height_);
}

void RowWindow::drop_from(ostrel::Document* document, std::size_t index) {
  if (made_.empty() || index >= made_.last) return;
  const std::size_t from = std::max(index, made_.first);
  for (ostrel::Node* row : made_rows(document, from)) ostrel::remove(row);
  made_.last = from;
  if (made_.empty()) made_ = {};
}

std::vector<ostrel::Node*> RowWindow::made_rows(ostrel::Document* document, std::size_t from) const {
  std::vector<ostrel::Node*> rows;
  const std::size_t count = made_.last > from ? made_.last - from : 0;
  for (ostrel::Node* row = row_element(document, head_id_, from); row && rows.size() < count; row = next_element(row))
    rows.push_back(row);
  return rows;
}

void RowWindow::clear(ostrel::Document* document) {
  clear_rows(document, head_id_);
  made_ = {};
}

}  // namespace vx::ui
