// The value grammars the property table (css/properties.inc) names: each reads
// a value into the type of the property's computed members, or fails. Word
// grammars read one word; value grammars read a whole declaration value;
// the bespoke ones, for shorthands of several parts, write the style
// themselves and only when the whole value is valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "css/stylesheet.h"
#include "style/apply.h"
#include "style/computed.h"
#include "style/keywords.h"

namespace ostrel::style::grammar {

using css::Token;

// --- one word --------------------------------------------------------------------

template <const auto& table>
auto keyword(const Applier&, const Token* t) {
  return find_keyword(t, table);
}

std::optional<Length> length_or_auto(const Applier& a, const Token* t);      // any sign, percentages, auto
std::optional<Length> size(const Applier& a, const Token* t);                // not negative, or auto
std::optional<Length> max_size(const Applier& a, const Token* t);            // not negative, or none
std::optional<Length> nonnegative_length(const Applier& a, const Token* t);  // percentages too
std::optional<Length> gap_length(const Applier& a, const Token* t);          // or normal (none)
std::optional<Length> flex_basis_value(const Applier& a, const Token* t);    // a size, or content
std::optional<float> line_width(const Applier& a, const Token* t);           // thin, medium, thick or px
std::optional<float> nonnegative_number(const Applier& a, const Token* t);
std::optional<float> alpha(const Applier& a, const Token* t);  // a number or percentage, clamped to 0..1
std::optional<std::pair<int, bool>> integer_or_auto(const Applier& a, const Token* t);  // (value, auto)
std::optional<int> order_integer(const Applier& a, const Token* t);

// Colours. currentColor is kept as a flag where the style keeps one; the
// "color" property takes the parent's colour for it, other properties the
// element's own colour (settled before them in source order).
std::optional<std::pair<Color, bool>> color_or_current(const Applier& a, const Token* t);
std::optional<Color> text_color(const Applier& a, const Token* t);
std::optional<Color> color(const Applier& a, const Token* t);

std::optional<float> font_size_value(const Applier& a, const Token* t);
std::optional<std::uint16_t> font_weight_value(const Applier& a, const Token* t);
std::optional<Length> line_height_value(const Applier& a, const Token* t);
std::optional<std::string> image(const Applier& a, const Token* t);  // url(...) or none (empty)
std::optional<bool> pointer_events_flag(const Applier& a, const Token* t);
std::optional<BorderStyle> outline_style(const Applier& a, const Token* t);
std::optional<Color> outline_color(const Applier& a, const Token* t);

// Items of the transition and animation lists.
std::optional<float> time(const Applier& a, const Token* t);  // seconds
std::optional<TimingFunction> timing(const Applier& a, const Token* t);
std::optional<css::Property> transition_target(const Applier& a, const Token* t);  // unknown: all
std::optional<std::string> animation_name(const Applier& a, const Token* t);
std::optional<float> iteration_count(const Applier& a, const Token* t);            // < 0: infinite
std::optional<std::pair<bool, bool>> direction(const Applier& a, const Token* t);  // (alternate, reverse)
std::optional<std::uint8_t> fill_mode(const Applier& a, const Token* t);
inline void set_direction(Animation& animation, std::pair<bool, bool> d) {
  animation.alternate = d.first;
  animation.reverse = d.second;
}

// --- a whole value ---------------------------------------------------------------

std::optional<Length> corner_radius(const Applier& a, const Value& v);  // elliptical corners keep one radius
std::optional<bool> gutter(const Applier& a, const Value& v);           // stable?
std::optional<std::vector<std::string>> family_list(const Applier& a, const Value& v);
std::optional<Cursor> cursor_keyword(const Applier& a, const Value& v);
std::optional<Transform> transform_list(const Applier& a, const Value& v);
std::optional<std::pair<float, float>> spacing(const Applier& a, const Value& v);            // horizontal, vertical
std::optional<std::pair<std::string, bool>> content_text(const Applier& a, const Value& v);  // (text, any)

// One to four words to top, right, bottom and left (or the corners in the
// same turn), each read by `parse`.
template <class T, class Parse>
bool four_sides(const Words& w, T (&out)[4], Parse parse) {
  if (w.empty() || w.size() > 4) return false;
  T v[4];
  for (std::size_t i = 0; i < w.size(); ++i) {
    auto r = parse(w[i]);
    if (!r) return false;
    v[i] = std::move(*r);
  }
  const std::size_t n = w.size();
  out[0] = v[0];
  out[1] = n > 1 ? v[1] : v[0];
  out[2] = n > 2 ? v[2] : v[0];
  out[3] = n > 3 ? v[3] : out[1];
  return true;
}

// --- bespoke: shorthands of several parts (style/shorthands.cpp) --------------------

template <int side>
bool border_side(Applier& a, const Value& v);
bool border_all(Applier& a, const Value& v);
bool corner_radii(Applier& a, const Value& v);
bool font_shorthand(Applier& a, const Value& v);
bool flex_shorthand(Applier& a, const Value& v);
bool flex_flow(Applier& a, const Value& v);
bool background_layers(Applier& a, const Value& v);
bool transition_list(Applier& a, const Value& v);
bool animation_list(Applier& a, const Value& v);
bool outline_shorthand(Applier& a, const Value& v);
bool decoration_line(Applier& a, const Value& v);
bool list_style_words(Applier& a, const Value& v);

}  // namespace ostrel::style::grammar
