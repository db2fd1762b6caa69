#include "style/computed.h"

#include <algorithm>

namespace ostrel::style {

StyleDifference difference(const ComputedStyle& a, const ComputedStyle& b) {
  // What decides which boxes exist and how they wrap their neighbours.
  const auto out_of_flow = [](const ComputedStyle& s) {
    return s.position == Position::absolute || s.position == Position::fixed;
  };
  if (a.display != b.display || out_of_flow(a) != out_of_flow(b) || a.white_space != b.white_space)
    return StyleDifference::boxes;
  for (int i = 0; i < 4; ++i)
    if (a.used_border(i) != b.used_border(i) || a.margin[i] != b.margin[i] || a.padding[i] != b.padding[i] ||
        a.inset[i] != b.inset[i])
      return StyleDifference::layout;
  // Fixed and sticky boxes, transforms and animations can draw away from
  // their place, which the layout records for painting.
  const auto floats_free = [](const ComputedStyle& s) {
    return s.position == Position::fixed || s.position == Position::sticky || !s.transform.identity() ||
           !s.animations.empty();
  };
  const bool same =
      a.font_family == b.font_family && a.font_size == b.font_size && a.font_weight == b.font_weight &&
      a.italic == b.italic && a.line_height == b.line_height && a.text_align == b.text_align &&
      a.border_collapse == b.border_collapse && a.border_spacing_h == b.border_spacing_h &&
      a.border_spacing_v == b.border_spacing_v && a.position == b.position && floats_free(a) == floats_free(b) &&
      a.width == b.width && a.height == b.height && a.min_width == b.min_width && a.min_height == b.min_height &&
      a.max_width == b.max_width && a.max_height == b.max_height && a.box_sizing == b.box_sizing &&
      a.overflow_x == b.overflow_x && a.overflow_y == b.overflow_y &&
      a.scrollbar_gutter_stable == b.scrollbar_gutter_stable && a.text_overflow_ellipsis == b.text_overflow_ellipsis &&
      a.vertical_align == b.vertical_align && a.flex_direction == b.flex_direction && a.flex_wrap == b.flex_wrap &&
      a.flex_grow == b.flex_grow && a.flex_shrink == b.flex_shrink && a.flex_basis == b.flex_basis &&
      a.align_items == b.align_items && a.align_self == b.align_self && a.justify_content == b.justify_content &&
      a.row_gap == b.row_gap && a.column_gap == b.column_gap && a.order == b.order &&
      a.table_layout_fixed == b.table_layout_fixed && a.content == b.content && a.has_content == b.has_content;
  return same ? StyleDifference::paint : StyleDifference::layout;
}

ComputedStyle inherited_only(const ComputedStyle& parent) {
  ComputedStyle s;
  s.color = parent.color;
  s.font_family = parent.font_family;
  s.font_size = parent.font_size;
  s.font_weight = parent.font_weight;
  s.italic = parent.italic;
  s.line_height = parent.line_height;
  s.white_space = parent.white_space;
  s.text_align = parent.text_align;
  s.cursor = parent.cursor;
  s.user_select = parent.user_select;
  s.visibility = parent.visibility;
  s.pointer_events = parent.pointer_events;
  s.border_collapse = parent.border_collapse;
  s.border_spacing_h = parent.border_spacing_h;
  s.border_spacing_v = parent.border_spacing_v;
  s.list_style = parent.list_style;
  s.custom = parent.custom;
  return s;
}

ComputedStyle anonymous_block_style(const ComputedStyle& parent) {
  ComputedStyle s = inherited_only(parent);
  s.display = Display::block;
  return s;
}

}  // namespace ostrel::style
