// Long lists make rows only near what shows, as a virtual list view does:
// thousands of rows of cells, boxes and texts cost memory and time that
// nobody looks at. After the header row come a gap row standing for the rows
// above, the rows made, and a gap row for the rows below; each gap is as tall
// as the rows it stands for, so the scroll bar and every row's place are the
// whole list's. Rows carry "data-index" and are made in order, so the rows
// made are always one run of indices.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/list_table.h"  // the table's rows, and the gap rows' class

namespace vx::ui {

struct RowRange {
  std::size_t first = 0, last = 0;  // [first, last)
  bool empty() const { return first >= last; }
  std::size_t size() const { return empty() ? 0 : last - first; }
  bool holds(std::size_t index) const { return index >= first && index < last; }
  bool holds(RowRange r) const { return r.empty() || (r.first >= first && r.last <= last); }
  friend bool operator==(RowRange, RowRange) = default;
};

// The rows of `count` that show between `view_top` and `view_bottom` when row
// `known` has its top at `known_top` and every row is `row_height` tall.
RowRange rows_in_view(std::size_t count, float row_height, std::size_t known, float known_top, float view_top,
                      float view_bottom);

// The rows to have made: `made` while it holds the view and `margin` rows on
// either side of it (so a little scrolling changes nothing), else the view
// and `spare` rows on either side.
RowRange rows_to_make(std::size_t count, RowRange made, RowRange view, std::size_t margin, std::size_t spare);

class RowWindow {
 public:
  // A row element for a list row, not yet in the document; null on failure.
  using MakeRow = std::function<ostrel::Node*(std::size_t)>;
  // Rows made before the list has a place on screen (a tab not shown yet).
  static constexpr std::size_t unplaced_rows = 64;
  static constexpr std::size_t margin = 8, spare = 40;

  RowWindow(std::string_view body_id, std::string_view head_id) : body_id_(body_id), head_id_(head_id) {}

  // Makes and removes rows so that those near the body's view exist for a
  // list of `count` rows, and sizes the gaps.
  void update(ostrel::Document* document, std::size_t count, const MakeRow& make);
  // Removes the rows made from `index` on (their contents are out of date);
  // the next update makes what is then needed.
  void drop_from(ostrel::Document* document, std::size_t index);
  // Removes every row and gap.
  void clear(ostrel::Document* document);
  RowRange made() const { return made_; }
  // The height rows were last measured at (0 before any was placed).
  float row_height() const { return row_height_; }

 private:
  // Makes exactly `want` (rows outside it removed, missing ones made).
  void make(ostrel::Document* document, RowRange want, const MakeRow& make);
  void size_gaps(ostrel::Document* document, std::size_t count);
  // The elements of the made rows from `from` on, collected before any is removed.
  std::vector<ostrel::Node*> made_rows(ostrel::Document* document, std::size_t from) const;

  std::string body_id_, head_id_;
  RowRange made_;
  float row_height_ = 0;
  bool updating_ = false;  // scroll events raised while rows are made are not followed
};

}  // namespace vx::ui
