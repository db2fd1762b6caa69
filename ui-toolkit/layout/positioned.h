// Positioned boxes (CSS 2.2 §9.3, §10.3.7, §10.6.4): relative offsets, and
// absolute and fixed boxes placed against their containing block.
#pragma once

#include <optional>
#include <vector>

#include "layout/box.h"
#include "layout/side_table.h"

namespace ostrel::layout {

struct LayoutContext;

struct PositionedState {
  // Boxes being laid out, outermost first: their heights are not known yet.
  std::vector<Box*> sizing;
  struct Deferred {
    Box* containing;
    Box* box;
    Box* parent;
  };
  // Positioned boxes whose containing block is still being sized, placed once it is.
  std::vector<Deferred> deferred;
  // Where the flow would have put each absolute box (CSS 2.2 §10.3.7 "static
  // position"), from its parent's content corner: kept relative, since the
  // parent may still move after its flow recorded it.
  struct StaticPosition {
    float dx = 0, dy = 0;
    bool known = false;
  };
  SparseSideTable<StaticPosition> static_positions;
  void record_static(const Box& b, float dx, float dy) { static_positions[b] = {dx, dy, true}; }
  void clear() { static_positions.clear(); }
};

// CSS 2.2 §9.4.3: a relatively positioned box moves after the flow placed it.
void offset_relative(LayoutContext& ctx, Box& b, float cb_width, std::optional<float> cb_height);

// Lays out an absolute or fixed box, now or once its containing block is sized.
void place_positioned(LayoutContext& ctx, Box& b, Box& parent, int depth);

// Places the boxes that waited for `containing` to be sized.
void place_deferred(LayoutContext& ctx, Box& containing, int depth);

// Whether a positioned box is placed against `subtree` or a box inside it,
// and so moves with it: one placed against the window or a box further out
// stays where it is.
bool placed_inside(const Box& positioned, const Box& subtree);

}  // namespace ostrel::layout
