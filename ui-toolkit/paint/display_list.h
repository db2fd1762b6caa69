// What a frame draws, as a flat list in painting order: the layout tree turned
// into rectangles, borders, text and images with clips and effects, in CSS
// pixels. Two lists can be compared to find the region that changed, and a
// player (Direct2D on Windows, text in tests) draws one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "style/computed.h"

namespace ostrel::paint {

enum class ItemKind : std::uint8_t {
  rect,       // filled rectangle with optional rounded corners
  border,     // per-side widths and colours, rounded corners
  text,       // one run of text on a baseline
  image,      // an image of the document's table, fitted into `bounds`
  push_clip,  // clip to `bounds` (rounded by `radii`) until the matching pop
  pop_clip,
  push_layer,  // draw what follows with `opacity` and `transform` until the matching pop
  pop_layer,
  check_mark,  // the tick of a checked check box, filling `bounds`
  drop_arrow,  // a drop-down list's arrow, centred in `bounds`
};

struct Item {
  ItemKind kind = ItemKind::rect;
  Rect bounds{0, 0, 0, 0};
  style::Color color;           // rect fill, text colour
  style::Color side_colors[4];  // border: top right bottom left
  float widths[4] = {};         // border widths
  float radii[4] = {};          // corners: top-left top-right bottom-right bottom-left
  // Text.
  std::string text;
  std::string font_family;  // the CSS list joined with ","
  float font_size = 0;
  std::uint16_t font_weight = 400;
  bool italic = false;
  bool underline = false;
  float baseline = 0;
  // Images: the name in the document's image table and how to fit it.
  std::string image;
  // The table entry's generation when the list was made (0: not there yet),
  // so an image that arrives or changes later counts as a change to draw.
  std::uint64_t image_generation = 0;
  style::ObjectFit fit = style::ObjectFit::fill;
  // Layers.
  float opacity = 1;
  style::Transform transform;

  friend bool operator==(const Item&, const Item&) = default;
};

struct DisplayList {
  std::vector<Item> items;
  float width = 0, height = 0;  // the viewport
  std::string dump() const;
  // Bytes of the items and of their strings.
  std::size_t memory_usage() const;
};

// Paints the laid-out document. Scroll offsets of scroll containers (and of the
// root) are applied, sticky boxes stick, and `hovered` parts are already in the
// styles.
DisplayList build_display_list(const layout::LayoutTree& tree, float viewport_width, float viewport_height);

// The smallest rectangle that covers everything that differs between two
// frames; empty (0 x 0) when they are the same.
Rect changed_region(const DisplayList& before, const DisplayList& after);

// The element under a point in view coordinates, or null. Boxes that do not
// take pointer events, and parts clipped away by scroll containers, are skipped.
Node* hit_test(const layout::LayoutTree& tree, float x, float y);

// A vertical scroll bar: of a scroll container, or the window's of the root
// box. View coordinates, CSS px.
struct ScrollBar {
  Rect track{0, 0, 0, 0};
  Rect thumb{0, 0, 0, 0};  // empty when there is nothing to scroll
  float range = 0;         // the largest scroll offset
  float offset = 0;        // the current one, within the range
  // The scroll offset that puts the thumb's top at `thumb_top`.
  float offset_for(float thumb_top) const;
};
// The bar of `b` drawn with its box moved by (dx, dy); none when it has none.
std::optional<ScrollBar> vertical_scroll_bar(const layout::Box& b, float dx, float dy,
                                             const layout::LayoutOptions& viewport);

// What draws a display list. The Windows view implements it with Direct2D.
class Player {
 public:
  virtual ~Player() = default;
  virtual void play(const DisplayList& list, const Rect& region) = 0;
};

}  // namespace ostrel::paint
