// Block formatting (CSS 2.2 §9.4.1, §10.6.3): blocks stacked in the flow,
// with their vertical margins collapsing (CSS 2.2 §8.3.1).
#pragma once

#include <algorithm>
#include <optional>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// Adjoining margins, kept apart by sign: they collapse to the largest
// positive one plus the most negative one (CSS 2.2 §8.3.1), which a running
// sum of pairs would get wrong once three of mixed signs meet.
struct CollapsedMargin {
  float positive = 0, negative = 0;

  static CollapsedMargin of(float margin) {
    CollapsedMargin m;
    m.add(margin);
    return m;
  }
  void add(float margin) {
    if (margin > 0)
      positive = std::max(positive, margin);
    else
      negative = std::min(negative, margin);
  }
  void add(const CollapsedMargin& other) {
    positive = std::max(positive, other.positive);
    negative = std::min(negative, other.negative);
  }
  float value() const { return positive + negative; }
  bool empty() const { return positive == 0 && negative == 0; }
};

// A box's own top and bottom margins with those of its children that
// collapse through them.
struct BlockMargins {
  CollapsedMargin top, bottom;
};

// Lays out the in-flow children of a block container that holds blocks;
// returns the content height.
float layout_blocks(LayoutContext& ctx, Box& b, float x, float y, float width, std::optional<float> content_height,
                    int depth);

}  // namespace ostrel::layout
