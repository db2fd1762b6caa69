// The CSS box model: margins, borders and padding, sizes from the style
// within their limits, and moving laid-out boxes.
#pragma once

#include <optional>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// CSS 2.2 §8: margin, border and padding widths against the containing block's width.
void resolve_edges(LayoutContext& ctx, Box& b, float cb_width);

// Border-box size from a specified content or border size (CSS Box Sizing 3 §4.1).
float border_box_width(const Box& b, float specified);
float border_box_height(const Box& b, float specified);

// The style's width or height as a border-box size; none when auto or a
// percentage of a size not known.
std::optional<float> specified_width(const Box& b, float cb_width);
std::optional<float> specified_height(const Box& b, std::optional<float> cb_height);

// CSS 2.2 §10.4 and §10.7: a size within min-width/max-width (min-height/max-height).
float clamp_width(const Box& b, float width, float cb_width);
float clamp_height(const Box& b, float height, std::optional<float> cb_height);

// Moves a laid-out box with everything placed inside it.
void translate(LayoutContext& ctx, Box& b, float dx, float dy);

// Grows an area to cover a rectangle.
void unite(Box::Area& a, float x, float y, float w, float h);
// The area `b` and its placed children draw over.
void compute_overflow(Box& b);

}  // namespace ostrel::layout
