// Replaced elements (CSS 2.2 §10.3.2, §10.6.2: images, pictures, check boxes)
// and the form controls that draw their own one line of text.
#pragma once

#include <optional>
#include <utility>

#include "layout/box.h"
#include "layout/side_table.h"

namespace ostrel::layout {

struct LayoutContext;

// A picture's own size, read once when its box is made: an image that
// arrives later, or a new src or size attribute, marks the element for a new box.
struct Picture {
  float image_width = 0, image_height = 0;
  float hint_width = -1, hint_height = -1;  // width/height attributes (-1: none)
};

struct ReplacedState {
  SparseSideTable<Picture> pictures;
  void clear() { pictures.clear(); }
};

void find_picture(LayoutContext& ctx, Box& b);

// Content-box size of an image, picture or check box.
std::pair<float, float> replaced_size(LayoutContext& ctx, Box& b, float cb_width, std::optional<float> cb_height);

// A text input or drop-down list: its one line of text; returns its height.
float layout_text_box(LayoutContext& ctx, Box& b, float x, float y, std::optional<float> content_height);

}  // namespace ostrel::layout
