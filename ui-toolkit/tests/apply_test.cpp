// The appliers derived from the property table: that each row reads the
// grammar it should and writes the members it names.
#include "style/apply.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "css/stylesheet.h"

namespace {

using namespace ostrel;
using style::Color;
using style::ComputedStyle;
using style::Length;

// A default style with `declarations` applied in order, as the cascade would.
ComputedStyle applied(std::string_view declarations) {
  ComputedStyle s;
  const ComputedStyle initial;
  style::Applier applier{s, initial, initial, {}};
  for (const css::Declaration& d : css::parse_declarations(declarations)) applier.apply(d.property, d.value);
  return s;
}

bool valid(std::string_view property, std::string_view value) {
  return style::valid_declaration(css::property_from_name(property), css::tokenize_value(value));
}

struct Case {
  std::string_view property, value;
  bool valid;
};

// clang-format off
constexpr Case cases[] = {
    // Which length grammar a row names: signs, percentages, auto and none.
    {"margin-left", "-1px", true},         {"padding-left", "-1px", false},       {"padding-left", "10%", true},
    {"width", "auto", true},               {"min-height", "-2px", false},         {"max-width", "auto", false},
    {"max-width", "none", true},           {"left", "-5%", true},                 {"border-top-width", "thick", true},
    {"border-top-width", "10%", false},    {"border-spacing", "1px 2px", true},   {"border-spacing", "10%", false},
    {"flex-basis", "content", true},       {"width", "content", false},           {"row-gap", "normal", true},
    // Keywords, numbers and the pairs kept in two members.
    {"display", "grid", true},             {"display", "ruby", false},            {"border-left-style", "groove", true},
    {"border-left-style", "auto", false},  {"outline-style", "auto", true},       {"z-index", "auto", true},
    {"z-index", "1.5", false},             {"order", "-3", true},                 {"order", "auto", false},
    {"opacity", "50%", true},              {"flex-grow", "-1", false},            {"font-style", "oblique", true},
    {"color", "currentColor", true},       {"color", "nonsense", false},          {"background-image", "a.png", false},
    {"cursor", "url(x.cur), pointer", true}, {"cursor", "pointer url(x.cur)", false},
    {"content", "\"a\" \"b\"", true},      {"content", "counter(x)", false},
    // Lists: every item must read.
    {"transition-duration", "1s, 2ms", true}, {"transition-duration", "1s, red", false},
    {"animation-iteration-count", "infinite, 2", true}, {"animation-iteration-count", "-1", false},
    // Shorthands.
    {"inset", "1px 2px 3px 4px", true},    {"inset", "1px 2px 3px 4px 5px", false}, {"gap", "normal 3px", true},
    {"gap", "1px 2px 3px", false},         {"overflow", "hidden clip", true},     {"overflow", "hidden bogus", false},
    {"border", "1px solid red", true},     {"border", "1px solid red blue", false}, {"border-radius", "1px 2px / 3px", true},
    {"font", "bold 12px/1.5 Tahoma, sans-serif", true}, {"font", "bold", false}, {"flex", "2 0 30%", true},
    {"flex", "1 2 3", false},              {"flex-flow", "column wrap", true},    {"flex-flow", "column bogus", false},
    {"outline", "2px auto invert", true},  {"outline", "2px 3px", false},         {"list-style", "square inside", true},
    // Only what the toolkit does: nothing is selected outside text boxes.
    {"user-select", "none", true},         {"user-select", "auto", true},         {"user-select", "inherit", true},
    {"user-select", "text", false},        {"user-select", "all", false},         {"user-select", "contain", false},
    // A var() is only known per element; CSS-wide keywords suit every property.
    {"width", "var(--w)", true},           {"user-select", "var(--s, text)", true}, {"font", "unset", true},
};
// clang-format on

TEST(PropertyTable, EachRowReadsItsOwnGrammar) {
  for (const Case& c : cases) EXPECT_EQ(valid(c.property, c.value), c.valid) << c.property << ": " << c.value;
  for (auto i = static_cast<std::size_t>(css::Property::custom) + 1; i < static_cast<std::size_t>(css::Property::count);
       ++i) {
    const auto p = static_cast<css::Property>(i);
    EXPECT_TRUE(style::valid_declaration(p, css::tokenize_value("inherit"))) << css::property_name(p);
  }
}

// Members that are elements of an array (a side, a corner) are where a row
// naming the wrong index would go unnoticed: the longhands and the shorthands
// spreading one to four values must both land on the side they name.
TEST(PropertyTable, SidesAndCornersLandWhereTheyAreNamed) {
  const char* sides[] = {"top", "right", "bottom", "left"};
  std::string longhands;
  for (int i = 0; i < 4; ++i) {
    const std::string side = sides[i], px = std::to_string(i + 1) + "px";
    longhands += side + ":" + px + "; margin-" + side + ":" + px + "; padding-" + side + ":" + px + "; border-" + side +
                 "-width:" + px + "; ";
  }
  longhands +=
      "border-top-style: solid; border-right-style: dashed; border-bottom-style: dotted; border-left-style: double;"
      "border-top-color: #010101; border-right-color: currentColor; border-bottom-color: #030303;"
      "border-left-color: #040404; border-top-left-radius: 1px; border-top-right-radius: 2px;"
      "border-bottom-right-radius: 3px; border-bottom-left-radius: 4px";
  const std::string shorthands =
      "inset: 1px 2px 3px 4px; margin: 1px 2px 3px 4px; padding: 1px 2px 3px 4px; border-width: 1px 2px 3px 4px;"
      "border-style: solid dashed dotted double; border-color: #010101 currentColor #030303 #040404;"
      "border-radius: 1px 2px 3px 4px";
  const style::BorderStyle styles[] = {style::BorderStyle::solid, style::BorderStyle::dashed,
                                       style::BorderStyle::dotted, style::BorderStyle::double_};
  for (const std::string& css : {longhands, shorthands}) {
    const ComputedStyle s = applied(css);
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::string(sides[i]) + " in " + css);
      const Length px = Length::px(static_cast<float>(i + 1));
      EXPECT_EQ(s.inset[i], px);
      EXPECT_EQ(s.margin[i], px);
      EXPECT_EQ(s.padding[i], px);
      EXPECT_EQ(s.border_width[i], i + 1);
      EXPECT_EQ(s.radius[i], px) << "corners turn as the sides do: top-left first";
      EXPECT_EQ(s.border_style[i], styles[i]);
      EXPECT_EQ(s.border_color_current[i], i == 1) << "the colour's flag travels with it";
      if (i != 1) {
        const auto v = static_cast<std::uint8_t>(i + 1);
        EXPECT_EQ(s.border_color[i], (Color{v, v, v, 255}));
      }
    }
  }
  const ComputedStyle two = applied("margin: 1px 2px; border-color: red blue");
  EXPECT_EQ(two.margin[3], Length::px(2)) << "left repeats right";
  EXPECT_EQ(two.border_color[2], (Color{255, 0, 0, 255})) << "bottom repeats top";
}

TEST(PropertyTable, PairsAndListsGoToTheirMembersInOrder) {
  ComputedStyle s = applied("z-index: 7; border-spacing: 3px 7px; gap: 1px 2px; overflow: hidden scroll");
  EXPECT_EQ(s.z_index, 7);
  EXPECT_FALSE(s.z_index_auto);
  EXPECT_EQ(s.border_spacing_h, 3);
  EXPECT_EQ(s.border_spacing_v, 7);
  EXPECT_EQ(s.row_gap, Length::px(1));
  EXPECT_EQ(s.column_gap, Length::px(2));
  EXPECT_EQ(s.overflow_x, style::Overflow::hidden);
  EXPECT_EQ(s.overflow_y, style::Overflow::scroll);
  s = applied("z-index: 7; z-index: auto");
  EXPECT_EQ(s.z_index, 0);
  EXPECT_TRUE(s.z_index_auto);

  // List longhands edit one field of the items they reach.
  s = applied("transition: color 1s, opacity 2s; transition-delay: 3s; transition-timing-function: linear, steps(2)");
  ASSERT_EQ(s.transitions.size(), 2u);
  EXPECT_EQ(s.transitions[0].delay, 3);
  EXPECT_EQ(s.transitions[1].delay, 0);
  EXPECT_EQ(s.transitions[1].duration, 2);
  EXPECT_EQ(s.transitions[0].timing.kind, style::TimingFunction::linear);
  EXPECT_EQ(s.transitions[1].timing.kind, style::TimingFunction::steps_end);
  s = applied("animation: spin 1s; animation-direction: alternate-reverse; animation-fill-mode: both");
  ASSERT_EQ(s.animations.size(), 1u);
  EXPECT_TRUE(s.animations[0].alternate);
  EXPECT_TRUE(s.animations[0].reverse);
  EXPECT_EQ(s.animations[0].fill, 3);
  EXPECT_TRUE(applied("animation-duration: 1s").animations.empty()) << "an item without a name runs nothing";
  // A value that fails leaves the style as it was, also where the cascade
  // checks it (style attributes, var()): no item half written.
  s = applied("transition: color 1s; transition-duration: 2s, red; flex-flow: row wrap; flex-flow: column bogus");
  ASSERT_EQ(s.transitions.size(), 1u);
  EXPECT_EQ(s.transitions[0].duration, 1);
  EXPECT_EQ(s.flex_direction, style::FlexDirection::row);

  // Shorthands read as their one longhand.
  s = applied("text-decoration: underline dotted; list-style: square inside");
  EXPECT_TRUE(s.underline);
  EXPECT_EQ(s.list_style, style::ListStyle::square);
}

}  // namespace
