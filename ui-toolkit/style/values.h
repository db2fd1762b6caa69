// Reading CSS component values into computed values.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "css/stylesheet.h"
#include "style/computed.h"

namespace ostrel::style {

// What relative units resolve against.
struct UnitContext {
  float font_size = 16;       // for em
  float root_font_size = 16;  // for rem
  float viewport_width = 0, viewport_height = 0;
};

// A value's tokens without white space: the "words" of a declaration.
using Words = std::vector<const css::Token*>;
Words words_of(const css::TokenList& value);
// Splits at top-level commas (for lists such as transition and font-family).
std::vector<Words> comma_separated(const css::TokenList& value);

bool is_ident(const css::Token* t, std::string_view name);  // ASCII case-insensitive

std::optional<Length> parse_length(const css::Token& t, const UnitContext& units, bool allow_percent = true,
                                   bool allow_negative = true);
std::optional<float> parse_number(const css::Token& t);
std::optional<float> parse_time(const css::Token& t);   // seconds
std::optional<float> parse_angle(const css::Token& t);  // degrees
// Colours; `current` is set for currentColor (the colour is then left alone).
std::optional<Color> parse_color(const css::Token& t, bool* current = nullptr);
std::optional<TimingFunction> parse_timing_function(const css::Token& t);
std::optional<Transform> parse_transform(const Words& words, const UnitContext& units);

}  // namespace ostrel::style
