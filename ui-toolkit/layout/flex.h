// Flex layout (CSS Flexible Box Layout 1).
#pragma once

#include <optional>
#include <utility>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// Lays out the items of a flex container; returns its content height.
float layout_flex(LayoutContext& ctx, Box& b, float x, float y, float width, std::optional<float> content_height,
                  int depth);

// The container's min-content and max-content widths, content box (CSS Flexbox 1 §9.9.1).
std::pair<float, float> flex_content_widths(LayoutContext& ctx, Box& b, int depth);

}  // namespace ostrel::layout
