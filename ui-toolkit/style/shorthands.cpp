// The bespoke grammars of the property table: shorthands whose parts are told
// apart by their type rather than their place. Each writes the style only
// once the whole value has been read.
#include <algorithm>

#include "common/text.h"
#include "style/grammar.h"
#include "style/values.h"

namespace ostrel::style::grammar {

using css::TokenType;

namespace {

enum Side { top, right, bottom, left };

struct BorderParts {
  float width;
  BorderStyle style;
  Color color;
  bool current;
};

// [width || style || color], the shape of border-top and outline.
std::optional<BorderParts> border_parts(const Applier& a, const Words& w) {
  if (w.empty() || w.size() > 3) return std::nullopt;
  std::optional<float> width;
  std::optional<BorderStyle> style;
  std::optional<Color> color;
  bool current = false;
  for (const Token* t : w) {
    if (!style && (style = find_keyword(t, border_styles))) continue;
    if (!width && (width = line_width(a, t))) continue;
    if (!color && (color = parse_color(*t, &current))) continue;
    return std::nullopt;
  }
  return BorderParts{width.value_or(3.0f), style.value_or(BorderStyle::none), color.value_or(Color{}),
                     !color || current};
}

void set_border(ComputedStyle& s, int side, const BorderParts& b) {
  s.border_width[side] = b.width;
  s.border_style[side] = b.style;
  s.border_color[side] = b.color;
  s.border_color_current[side] = b.current;
}

}  // namespace

template <int side>
bool border_side(Applier& a, const Value& v) {
  const auto b = border_parts(a, v.words);
  if (!b) return false;
  set_border(a.s, side, *b);
  return true;
}
template bool border_side<top>(Applier&, const Value&);
template bool border_side<right>(Applier&, const Value&);
template bool border_side<bottom>(Applier&, const Value&);
template bool border_side<left>(Applier&, const Value&);

bool border_all(Applier& a, const Value& v) {
  const auto b = border_parts(a, v.words);
  if (!b) return false;
  for (int side : {top, right, bottom, left}) set_border(a.s, side, *b);
  return true;
}

bool corner_radii(Applier& a, const Value& v) {
  Words horizontal;  // the part before "/" (elliptical corners keep one radius)
  for (const Token* t : v.words) {
    if (t->type == TokenType::delim && t->text == "/") break;
    horizontal.push_back(t);
  }
  Length r[4];
  if (!four_sides(horizontal, r, [&](const Token* t) { return nonnegative_length(a, t); })) return false;
  // four_sides orders top, right, bottom, left; corners are tl, tr, br, bl: the same shape.
  std::copy(std::begin(r), std::end(r), std::begin(a.s.radius));
  return true;
}

bool font_shorthand(Applier& a, const Value& v) {
  // [style || weight || variant]? size[/line-height]? family
  const Words& w = v.words;
  std::size_t i = 0;
  bool italic = false;
  std::uint16_t weight = 400;
  for (; i < w.size(); ++i) {
    if (is_ident(w[i], "italic") || is_ident(w[i], "oblique"))
      italic = true;
    else if (is_ident(w[i], "normal") || is_ident(w[i], "small-caps"))
      continue;
    else if (auto fw = font_weight_value(a, w[i]); fw && w[i]->type != TokenType::number)
      weight = *fw;
    else if (w[i]->type == TokenType::number && i + 1 < w.size() && font_weight_value(a, w[i]))
      weight = *font_weight_value(a, w[i]);
    else
      break;
  }
  if (i >= w.size()) return false;
  const auto size = font_size_value(a, w[i]);
  if (!size) return false;
  ++i;
  Length line_height = Length::none();
  if (i < w.size() && w[i]->type == TokenType::delim && w[i]->text == "/") {
    if (i + 1 >= w.size()) return false;
    // A percentage line height is of the size just read.
    const float saved = a.s.font_size;
    a.s.font_size = *size;
    const auto lh = line_height_value(a, w[i + 1]);
    a.s.font_size = saved;
    if (!lh) return false;
    line_height = *lh;
    i += 2;
  }
  // The rest, from the first family token on, is the family list.
  const Token* first_family = i < w.size() ? w[i] : nullptr;
  if (!first_family) return false;
  auto start = std::find_if(v.tokens.begin(), v.tokens.end(), [&](const Token& t) { return &t == first_family; });
  const css::TokenList family_tokens(start, v.tokens.end());
  auto families = family_list(a, Value{family_tokens, words_of(family_tokens), nullptr});
  if (!families) return false;
  a.s.font_family = std::move(*families);
  a.s.italic = italic;
  a.s.font_weight = weight;
  a.s.font_size = *size;
  a.s.line_height = line_height;
  return true;
}

bool flex_shorthand(Applier& a, const Value& v) {
  ComputedStyle& s = a.s;
  if (is_ident(v.one, "none")) {
    s.flex_grow = 0, s.flex_shrink = 0, s.flex_basis = Length::automatic();
    return true;
  }
  if (is_ident(v.one, "auto")) {
    s.flex_grow = 1, s.flex_shrink = 1, s.flex_basis = Length::automatic();
    return true;
  }
  if (is_ident(v.one, "initial")) {
    s.flex_grow = 0, s.flex_shrink = 1, s.flex_basis = Length::automatic();
    return true;
  }
  std::optional<float> grow, shrink;
  std::optional<Length> basis;
  for (const Token* t : v.words) {
    if (t->type == TokenType::number && t->number != 0 ? true : (t->type == TokenType::number && !basis && !grow)) {
      const auto n = parse_number(*t);
      if (!n || *n < 0) return false;
      if (!grow)
        grow = n;
      else if (!shrink)
        shrink = n;
      else
        return false;
      continue;
    }
    if (t->type == TokenType::number && grow && !shrink) {
      shrink = parse_number(*t);
      continue;
    }
    if (basis) return false;
    basis = flex_basis_value(a, t);
    if (!basis) return false;
  }
  s.flex_grow = grow.value_or(1);
  s.flex_shrink = shrink.value_or(1);
  s.flex_basis = basis.value_or(Length::px(0));  // "flex: 1" means a zero basis
  return true;
}

bool flex_flow(Applier& a, const Value& v) {
  std::optional<FlexDirection> direction;
  std::optional<FlexWrap> wrap;
  for (const Token* t : v.words) {
    if (auto d = find_keyword(t, flex_directions))
      direction = d;
    else if (auto f = find_keyword(t, flex_wraps))
      wrap = f;
    else
      return false;
  }
  if (direction) a.s.flex_direction = *direction;
  if (wrap) a.s.flex_wrap = *wrap;
  return true;
}

bool background_layers(Applier& a, const Value& v) {
  Color color{};
  std::string image;
  for (const Token* t : v.words) {
    bool current = false;
    if (auto c = parse_color(*t, &current))
      color = current ? a.s.color : *c;
    else if (t->type == TokenType::url)
      image = t->text;
    else if (t->type == TokenType::ident || t->type == TokenType::dimension || t->type == TokenType::percentage ||
             t->type == TokenType::number || t->type == TokenType::delim)
      continue;  // none, and the position, repeat and size, which are not drawn
    else
      return false;
  }
  a.s.background_color = color;
  a.s.background_image = std::move(image);
  return true;
}

bool transition_list(Applier& a, const Value& v) {
  std::vector<Transition> list;
  for (const Words& item : comma_separated(v.tokens)) {
    Transition tr;
    bool have_duration = false;
    bool have_property = false;
    for (const Token* t : item) {
      if (auto duration = parse_time(*t)) {
        if (!have_duration)
          tr.duration = *duration, have_duration = true;
        else
          tr.delay = *duration;
      } else if (auto f = parse_timing_function(*t)) {
        tr.timing = *f;
      } else if (t->type == TokenType::ident && !have_property) {
        have_property = true;
        tr.property = vx::iequals_ascii(t->text, "all")    ? css::Property::unknown
                      : vx::iequals_ascii(t->text, "none") ? css::Property::count
                                                           : css::property_from_name(vx::ascii_lower(t->text));
      } else {
        return false;
      }
    }
    if (item.empty()) return false;
    if (tr.property != css::Property::count) list.push_back(tr);
  }
  a.s.transitions = std::move(list);
  return true;
}

bool animation_list(Applier& a, const Value& v) {
  std::vector<Animation> list;
  for (const Words& item : comma_separated(v.tokens)) {
    Animation an;
    bool have_duration = false;
    for (const Token* t : item) {
      if (auto duration = parse_time(*t)) {
        if (!have_duration)
          an.duration = *duration, have_duration = true;
        else
          an.delay = *duration;
      } else if (auto f = parse_timing_function(*t)) {
        an.timing = *f;
      } else if (is_ident(t, "infinite")) {
        an.iterations = -1;
      } else if (t->type == TokenType::number && t->number >= 0) {
        an.iterations = static_cast<float>(t->number);
      } else if (is_ident(t, "alternate") || is_ident(t, "alternate-reverse")) {
        an.alternate = true;
        an.reverse = is_ident(t, "alternate-reverse");
      } else if (is_ident(t, "reverse")) {
        an.reverse = true;
      } else if (is_ident(t, "normal") || is_ident(t, "running")) {
      } else if (is_ident(t, "forwards")) {
        an.fill |= 1;
      } else if (is_ident(t, "backwards")) {
        an.fill |= 2;
      } else if (is_ident(t, "both")) {
        an.fill = 3;
      } else if ((t->type == TokenType::ident || t->type == TokenType::string) && an.name.empty()) {
        an.name = t->text;
      } else {
        return false;
      }
    }
    if (!an.name.empty() && !vx::iequals_ascii(an.name, "none")) list.push_back(std::move(an));
  }
  a.s.animations = std::move(list);
  return true;
}

bool outline_shorthand(Applier& a, const Value& v) {
  // [width || style || color], read for validity only: outlines are not drawn.
  if (v.words.size() > 3) return false;
  bool width = false, style = false, color = false;
  for (const Token* t : v.words) {
    if (!style && outline_style(a, t))
      style = true;
    else if (!width && line_width(a, t))
      width = true;
    else if (!color && outline_color(a, t))
      color = true;
    else
      return false;
  }
  return true;
}

bool decoration_line(Applier& a, const Value& v) {
  // Only underlines are drawn; other lines leave the value as it was.
  for (const Token* t : v.words) {
    if (is_ident(t, "underline"))
      a.s.underline = true;
    else if (is_ident(t, "none"))
      a.s.underline = false;
  }
  return true;
}

bool list_style_words(Applier& a, const Value& v) {
  // The marker type among the position and image, which are not drawn.
  for (const Token* t : v.words)
    if (auto type = find_keyword(t, list_styles)) a.s.list_style = *type;
  return true;
}

}  // namespace ostrel::style::grammar
