// Positioned boxes (CSS 2.2 §9.3, §10.3.7, §10.6.4): relative offsets, and
// absolute and fixed boxes placed against their containing block.
#pragma once

#include <optional>
#include <vector>

#include "layout/box.h"

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
