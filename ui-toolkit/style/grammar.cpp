#include "style/grammar.h"

#include <algorithm>

#include "common/text.h"
#include "style/values.h"

namespace ostrel::style::grammar {

using css::TokenType;

namespace {

std::optional<Length> length(const Applier& a, const Token* t, bool percent, bool negative) {
  return parse_length(*t, a.units, percent, negative);
}

}  // namespace

// --- one word --------------------------------------------------------------------

std::optional<Length> length_or_auto(const Applier& a, const Token* t) {
  if (is_ident(t, "auto")) return Length::automatic();
  return length(a, t, true, true);
}

std::optional<Length> size(const Applier& a, const Token* t) {
  if (is_ident(t, "auto")) return Length::automatic();
  return length(a, t, true, false);
}

std::optional<Length> max_size(const Applier& a, const Token* t) {
  if (is_ident(t, "none")) return Length::none();
  return length(a, t, true, false);
}

std::optional<Length> nonnegative_length(const Applier& a, const Token* t) { return length(a, t, true, false); }

std::optional<Length> gap_length(const Applier& a, const Token* t) {
  if (is_ident(t, "normal")) return Length::none();
  return length(a, t, true, false);
}

std::optional<Length> flex_basis_value(const Applier& a, const Token* t) {
  if (is_ident(t, "content")) return Length{0, LengthKind::content};
  return size(a, t);
}

std::optional<float> line_width(const Applier& a, const Token* t) {
  if (is_ident(t, "thin")) return 1.0f;
  if (is_ident(t, "medium")) return 3.0f;
  if (is_ident(t, "thick")) return 5.0f;
  const auto l = length(a, t, false, false);
  if (!l) return std::nullopt;
  return l->value;
}

std::optional<float> nonnegative_number(const Applier&, const Token* t) {
  const auto n = parse_number(*t);
  if (!n || *n < 0) return std::nullopt;
  return n;
}

std::optional<float> alpha(const Applier&, const Token* t) {
  if (t->type == TokenType::number) return std::clamp(static_cast<float>(t->number), 0.0f, 1.0f);
  if (t->type == TokenType::percentage) return std::clamp(static_cast<float>(t->number) / 100, 0.0f, 1.0f);
  return std::nullopt;
}

std::optional<std::pair<int, bool>> integer_or_auto(const Applier&, const Token* t) {
  if (is_ident(t, "auto")) return std::pair{0, true};
  if (t->type != TokenType::number || !t->is_integer) return std::nullopt;
  return std::pair{static_cast<int>(std::clamp(t->number, -2147483647.0, 2147483647.0)), false};
}

std::optional<int> order_integer(const Applier&, const Token* t) {
  if (t->type != TokenType::number || !t->is_integer) return std::nullopt;
  return static_cast<int>(std::clamp(t->number, -1e6, 1e6));
}

std::optional<std::pair<Color, bool>> color_or_current(const Applier&, const Token* t) {
  bool current = false;
  const auto c = parse_color(*t, &current);
  if (!c) return std::nullopt;
  return std::pair{*c, current};
}

std::optional<Color> text_color(const Applier& a, const Token* t) {
  bool current = false;
  const auto c = parse_color(*t, &current);
  if (!c) return std::nullopt;
  return current ? a.parent.color : *c;
}

std::optional<Color> color(const Applier& a, const Token* t) {
  bool current = false;
  const auto c = parse_color(*t, &current);
  if (!c) return std::nullopt;
  return current ? a.s.color : *c;
}

std::optional<float> font_size_value(const Applier& a, const Token* t) {
  static constexpr Keyword<float> sizes[] = {{"xx-small", 9}, {"x-small", 10}, {"small", 13},    {"medium", 16},
                                             {"large", 18},   {"x-large", 24}, {"xx-large", 32}, {"xxx-large", 48}};
  if (auto k = find_keyword(t, sizes)) return *k;
  if (is_ident(t, "smaller")) return a.parent.font_size / 1.2f;
  if (is_ident(t, "larger")) return a.parent.font_size * 1.2f;
  // em and % of a font size refer to the parent's font size.
  UnitContext parent_units = a.units;
  parent_units.font_size = a.parent.font_size;
  const auto l = parse_length(*t, parent_units, true, false);
  if (!l) return std::nullopt;
  return l->resolve(a.parent.font_size);
}

std::optional<std::uint16_t> font_weight_value(const Applier& a, const Token* t) {
  if (is_ident(t, "normal")) return 400;
  if (is_ident(t, "bold")) return 700;
  if (is_ident(t, "bolder")) return static_cast<std::uint16_t>(a.parent.font_weight < 600 ? 700 : 900);
  if (is_ident(t, "lighter")) return static_cast<std::uint16_t>(a.parent.font_weight > 500 ? 400 : 100);
  if (t->type == TokenType::number && t->number >= 1 && t->number <= 1000) return static_cast<std::uint16_t>(t->number);
  return std::nullopt;
}

std::optional<Length> line_height_value(const Applier& a, const Token* t) {
  if (is_ident(t, "normal")) return Length::none();
  if (t->type == TokenType::number && t->number >= 0) return Length::percent(static_cast<float>(t->number) * 100.0f);
  if (t->type == TokenType::percentage && t->number >= 0)
    return Length::px(static_cast<float>(t->number) / 100.0f * a.s.font_size);
  return length(a, t, false, false);
}

std::optional<std::string> image(const Applier&, const Token* t) {
  if (is_ident(t, "none")) return std::string();
  if (t->type == TokenType::url) return t->text;
  return std::nullopt;
}

std::optional<bool> pointer_events_flag(const Applier&, const Token* t) {
  if (t->type != TokenType::ident) return std::nullopt;
  return !is_ident(t, "none");
}

std::optional<BorderStyle> outline_style(const Applier&, const Token* t) {
  if (is_ident(t, "auto")) return BorderStyle::solid;
  return find_keyword(t, border_styles);
}

std::optional<Color> outline_color(const Applier& a, const Token* t) {
  if (is_ident(t, "invert")) return Color{};
  return color(a, t);
}

std::optional<float> time(const Applier&, const Token* t) { return parse_time(*t); }

std::optional<TimingFunction> timing(const Applier&, const Token* t) { return parse_timing_function(*t); }

std::optional<css::Property> transition_target(const Applier&, const Token* t) {
  if (t->type != TokenType::ident) return std::nullopt;
  if (vx::iequals_ascii(t->text, "all")) return css::Property::unknown;
  return css::property_from_name(vx::ascii_lower(t->text));
}

std::optional<std::string> animation_name(const Applier&, const Token* t) { return t->text; }

std::optional<float> iteration_count(const Applier&, const Token* t) {
  if (is_ident(t, "infinite")) return -1.0f;
  if (t->type == TokenType::number && t->number >= 0) return static_cast<float>(t->number);
  return std::nullopt;
}

std::optional<std::pair<bool, bool>> direction(const Applier&, const Token* t) {
  return std::pair{is_ident(t, "alternate") || is_ident(t, "alternate-reverse"),
                   is_ident(t, "reverse") || is_ident(t, "alternate-reverse")};
}

std::optional<std::uint8_t> fill_mode(const Applier&, const Token* t) {
  return static_cast<std::uint8_t>(is_ident(t, "forwards")    ? 1
                                   : is_ident(t, "backwards") ? 2
                                   : is_ident(t, "both")      ? 3
                                                              : 0);
}

// --- a whole value ---------------------------------------------------------------

std::optional<Length> corner_radius(const Applier& a, const Value& v) { return nonnegative_length(a, v.words.front()); }

std::optional<bool> gutter(const Applier&, const Value& v) {
  if (is_ident(v.words.front(), "stable")) return true;
  if (is_ident(v.one, "auto")) return false;
  return std::nullopt;
}

std::optional<std::vector<std::string>> family_list(const Applier&, const Value& v) {
  std::vector<std::string> families;
  for (const Words& item : comma_separated(v.tokens)) {
    if (item.empty()) return std::nullopt;
    if (item.size() == 1 && item[0]->type == TokenType::string) {
      families.push_back(item[0]->text);
      continue;
    }
    std::string name;
    for (const Token* t : item) {
      if (t->type != TokenType::ident) return std::nullopt;
      if (!name.empty()) name += ' ';
      name += t->text;
    }
    families.push_back(std::move(name));
  }
  if (families.empty()) return std::nullopt;
  return families;
}

std::optional<Cursor> cursor_keyword(const Applier&, const Value& v) {
  // A list of images with a keyword at the end: only the keyword counts.
  return find_keyword(v.words.back(), cursors);
}

std::optional<Transform> transform_list(const Applier& a, const Value& v) { return parse_transform(v.words, a.units); }

std::optional<std::pair<float, float>> spacing(const Applier& a, const Value& v) {
  if (v.words.size() > 2) return std::nullopt;
  const auto h = length(a, v.words[0], false, false);
  const auto w = v.words.size() > 1 ? length(a, v.words[1], false, false) : h;
  if (!h || !w) return std::nullopt;
  return std::pair{h->value, w->value};
}

std::optional<std::pair<std::string, bool>> content_text(const Applier&, const Value& v) {
  if (is_ident(v.one, "none") || is_ident(v.one, "normal")) return std::pair{std::string(), false};
  std::string text;
  for (const Token* t : v.words) {
    if (t->type != TokenType::string) return std::nullopt;
    text += t->text;
  }
  return std::pair{std::move(text), true};
}

}  // namespace ostrel::style::grammar
