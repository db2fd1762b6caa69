// Tooltips from the title attribute: once the pointer rests on an element
// with a title (or inside one), an element of class "ui-tooltip" shows that
// text near the pointer. It follows the title while it shows, goes with a
// press, a key, the pointer leaving or the owner going, and stays inside the
// view.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dom/dom.h"
#include "layout/box.h"

namespace ostrel {

class Tooltip {
 public:
  static constexpr double delay_seconds = 0.5;  // rest this long before it shows
  static constexpr float below_pointer = 20;    // clear of the cursor's arrow

  explicit Tooltip(Document& document) : document_(document) {}
  Tooltip(const Tooltip&) = delete;
  Tooltip& operator=(const Tooltip&) = delete;

  // The pointer is over `target` at (x, y) CSS px at `now` seconds.
  void pointer_at(Node* target, float x, float y, double now);
  void hide();

  // Frame-time work: shows a tooltip that is due, follows title changes.
  // Returns the seconds until a pending one is due, if one is.
  std::optional<double> update(double now);
  // After layout: moves a tooltip that would leave the `width` x `height` view back inside.
  void fit(const layout::LayoutTree& tree, float width, float height);

  Node* shown();  // the tooltip element, when one shows
  void reset();   // forgets nodes of an old document

 private:
  Node* owner() const;
  void place(float left, float top);

  Document& document_;
  Node* owner_ = nullptr;  // the element whose title shows, or is about to
  std::uint64_t owner_serial_ = 0;
  Node* tip_ = nullptr;
  std::uint64_t tip_serial_ = 0;
  std::string text_;
  float x_ = 0, y_ = 0;
  double due_ = 0;
};

}  // namespace ostrel
