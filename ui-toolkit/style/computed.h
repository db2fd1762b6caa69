// Computed style: every property the layout and painter read, with relative
// units resolved except percentages (which need the containing block).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "css/stylesheet.h"

namespace ostrel::style {

struct Color {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Color&, const Color&) = default;
  bool transparent() const { return a == 0; }
};

enum class LengthKind : std::uint8_t { px, percent, auto_, none, content };

struct Length {
  float value = 0;
  LengthKind kind = LengthKind::px;

  static constexpr Length px(float v) { return {v, LengthKind::px}; }
  static constexpr Length percent(float v) { return {v, LengthKind::percent}; }
  static constexpr Length automatic() { return {0, LengthKind::auto_}; }
  static constexpr Length none() { return {0, LengthKind::none}; }
  bool is_auto() const { return kind == LengthKind::auto_; }
  bool is_none() const { return kind == LengthKind::none; }
  bool is_percent() const { return kind == LengthKind::percent; }
  // Pixels against a basis for percentages; `fallback` for auto/none/content.
  float resolve(float basis, float fallback = 0) const {
    switch (kind) {
      case LengthKind::px:
        return value;
      case LengthKind::percent:
        return basis * value / 100.0f;
      default:
        return fallback;
    }
  }
  friend bool operator==(const Length&, const Length&) = default;
};

enum class Display : std::uint8_t {
  none,
  block,
  inline_,
  inline_block,
  flex,
  inline_flex,
  list_item,
  contents,
  table,
  inline_table,
  table_row_group,
  table_header_group,
  table_footer_group,
  table_row,
  table_cell,
  table_column,
  table_column_group,
  table_caption,
};
enum class Position : std::uint8_t { static_, relative, absolute, fixed, sticky };
enum class BoxSizing : std::uint8_t { content_box, border_box };
enum class BorderStyle : std::uint8_t { none, hidden, solid, dashed, dotted, double_, groove, ridge, inset, outset };
enum class Overflow : std::uint8_t { visible, hidden, clip, scroll, auto_ };
enum class WhiteSpace : std::uint8_t { normal, nowrap, pre, pre_wrap, pre_line, break_spaces };
enum class TextAlign : std::uint8_t { start, left, right, center, justify, end };
enum class VerticalAlign : std::uint8_t { baseline, middle, top, bottom, text_top, text_bottom, sub, super };
enum class Cursor : std::uint8_t {
  auto_,
  default_,
  pointer,
  text,
  move,
  not_allowed,
  col_resize,
  row_resize,
  wait,
  progress,
  help,
  crosshair,
  grab,
  ew_resize,
  ns_resize
};
enum class ObjectFit : std::uint8_t { fill, contain, cover, none, scale_down };
enum class FlexDirection : std::uint8_t { row, row_reverse, column, column_reverse };
enum class FlexWrap : std::uint8_t { nowrap, wrap, wrap_reverse };
enum class Align : std::uint8_t {
  auto_,
  normal,
  stretch,
  flex_start,
  flex_end,
  center,
  baseline,
  space_between,
  space_around,
  space_evenly,
  start,
  end
};
enum class Visibility : std::uint8_t { visible, hidden, collapse };
enum class ListStyle : std::uint8_t { none, disc, circle, square, decimal };

struct TimingFunction {
  enum Kind : std::uint8_t { linear, cubic, steps_start, steps_end } kind = cubic;
  float x1 = 0.25f, y1 = 0.1f, x2 = 0.25f, y2 = 1.0f;  // "ease"
  int steps = 1;
  friend bool operator==(const TimingFunction&, const TimingFunction&) = default;
  // Output progress for input progress t in [0, 1].
  float apply(float t) const;
};

struct Transition {
  css::Property property = css::Property::unknown;  // unknown means "all"
  float duration = 0;                               // seconds
  float delay = 0;
  TimingFunction timing;
  friend bool operator==(const Transition&, const Transition&) = default;
};

struct Animation {
  std::string name;
  float duration = 0;
  float delay = 0;
  TimingFunction timing;
  float iterations = 1;  // < 0: infinite
  bool alternate = false;
  bool reverse = false;
  std::uint8_t fill = 0;  // 0 none, 1 forwards, 2 backwards, 3 both
  friend bool operator==(const Animation&, const Animation&) = default;
};

// A 2-D transform as the pages use it: rotate, translate, scale.
struct Transform {
  float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;  // matrix(a, b, c, d, e, f)
  // A single rotate() (or none) keeps its angle: animating 0 -> 360deg turns a
  // full circle, which the matrices alone (both identity) would not show.
  bool pure_rotation = true;
  float degrees = 0;
  bool identity() const { return a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0; }
  static Transform rotation(float deg);
  friend bool operator==(const Transform&, const Transform&) = default;
};

// Custom properties in effect on an element, shared with its parent until one changes.
using CustomProperties = std::vector<std::pair<std::string, css::TokenList>>;

struct ComputedStyle {
  // Inherited properties.
  Color color{0, 0, 0, 255};
  std::vector<std::string> font_family{"sans-serif"};
  float font_size = 16;
  std::uint16_t font_weight = 400;
  bool italic = false;
  Length line_height = Length::none();  // none: "normal"; px; percent: a number (x 100)
  WhiteSpace white_space = WhiteSpace::normal;
  TextAlign text_align = TextAlign::start;
  Cursor cursor = Cursor::auto_;
  Visibility visibility = Visibility::visible;
  bool pointer_events = true;
  bool border_collapse = false;
  float border_spacing_h = 0, border_spacing_v = 0;
  ListStyle list_style = ListStyle::disc;
  std::shared_ptr<const CustomProperties> custom;

  // Not inherited.
  Display display = Display::inline_;
  Position position = Position::static_;
  Length inset[4] = {Length::automatic(), Length::automatic(), Length::automatic(), Length::automatic()};  // t r b l
  int z_index = 0;
  bool z_index_auto = true;
  Length width = Length::automatic(), height = Length::automatic();
  Length min_width = Length::automatic(), min_height = Length::automatic();
  Length max_width = Length::none(), max_height = Length::none();
  BoxSizing box_sizing = BoxSizing::content_box;
  Length margin[4] = {};  // top right bottom left
  Length padding[4] = {};
  float border_width[4] = {3, 3, 3, 3};  // "medium"; used only when the style is not none
  BorderStyle border_style[4] = {};
  Color border_color[4] = {};
  bool border_color_current[4] = {true, true, true, true};  // currentColor
  Length radius[4] = {};                                    // top-left top-right bottom-right bottom-left
  Overflow overflow_x = Overflow::visible, overflow_y = Overflow::visible;
  bool scrollbar_gutter_stable = false;
  bool text_overflow_ellipsis = false;
  VerticalAlign vertical_align = VerticalAlign::baseline;
  Color background_color{};
  std::string background_image;  // image name from url(...)
  ObjectFit object_fit = ObjectFit::fill;
  float opacity = 1;
  Transform transform;
  std::vector<Transition> transitions;
  std::vector<Animation> animations;
  FlexDirection flex_direction = FlexDirection::row;
  FlexWrap flex_wrap = FlexWrap::nowrap;
  float flex_grow = 0, flex_shrink = 1;
  Length flex_basis = Length::automatic();
  Align align_items = Align::normal, align_self = Align::auto_, justify_content = Align::normal;
  Align align_content = Align::normal;  // "normal" stretches the lines of a multi-line flex container
  Length row_gap = Length::none(), column_gap = Length::none();  // none: "normal"
  int order = 0;
  bool table_layout_fixed = false;
  bool underline = false;
  std::string content;  // ::before/::after text; empty with has_content false: none
  bool has_content = false;

  // Border width as laid out: 0 when the style draws nothing.
  float used_border(int side) const {
    return border_style[side] == BorderStyle::none || border_style[side] == BorderStyle::hidden ? 0
                                                                                                : border_width[side];
  }
  Color used_border_color(int side) const { return border_color_current[side] ? color : border_color[side]; }
  bool is_scroll_container() const { return overflow_x != Overflow::visible || overflow_y != Overflow::visible; }
};

// What a new style of an element asks of the layout: nothing (it only draws
// differently), laying the element out again, or making its boxes anew.
enum class StyleDifference : std::uint8_t { paint, layout, boxes };
// (Derived from the property table, in style/properties.cpp, like the two below.)
StyleDifference difference(const ComputedStyle& before, const ComputedStyle& after);

// The inherited properties of `parent`, initial values for the rest.
ComputedStyle inherited_only(const ComputedStyle& parent);
// The style of a block the layout makes itself around inline content.
ComputedStyle anonymous_block_style(const ComputedStyle& parent);

}  // namespace ostrel::style
