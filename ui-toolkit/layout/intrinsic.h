// Intrinsic sizes (CSS Sizing 3 §5): the min-content and max-content widths
// that shrink-to-fit boxes, flex items and table columns are sized from.
#pragma once

#include <utility>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// Widest unbreakable piece (min) and the whole content on one line (max), border box,
// within the box's min-width and max-width as its container sees it.
// `content_only` ignores the box's own sizes (a flex item's content-based minimum).
std::pair<float, float> intrinsic_widths(LayoutContext& ctx, Box& b, int depth = 0, bool content_only = false);

// The shrink-to-fit width (CSS 2.2 §10.3.5): the content's preferred width
// within what the containing block leaves, never below its narrowest.
float fit_content(LayoutContext& ctx, Box& b, float cb_width);

}  // namespace ostrel::layout
