#include "style/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/text.h"
#include "src/memory_usage.h"
#include "style/default_sheet.h"
#include "style/properties.h"
#include "style/values.h"

namespace ostrel::style {
namespace {

using css::Declaration;
using css::Property;
using css::Token;
using css::TokenList;
using css::TokenType;

constexpr int max_var_depth = 16;
constexpr std::size_t max_substituted_tokens = 4096;

enum Side { top, right, bottom, left };

// --- var() -------------------------------------------------------------------

const TokenList* find_custom(const ComputedStyle& s, std::string_view name) {
  if (!s.custom) return nullptr;
  for (const auto& [key, value] : *s.custom)
    if (key == name) return &value;
  return nullptr;
}

bool contains_var(const TokenList& tokens) {
  for (const Token& t : tokens) {
    if (t.type == TokenType::function && vx::iequals_ascii(t.text, "var")) return true;
    if (!t.children.empty() && contains_var(t.children)) return true;
  }
  return false;
}

// Appends `in` to `out` with every var() replaced. False when a reference
// cannot be resolved (the declaration is then invalid at computed-value time).
bool substitute(const TokenList& in, const ComputedStyle& s, int depth, TokenList& out) {
  if (depth > max_var_depth) return false;
  for (const Token& t : in) {
    if (out.size() > max_substituted_tokens) return false;
    if (t.type == TokenType::function && vx::iequals_ascii(t.text, "var")) {
      // var( <custom-name> [, <fallback>]? )
      std::size_t i = 0;
      while (i < t.children.size() && t.children[i].type == TokenType::whitespace) ++i;
      if (i >= t.children.size() || t.children[i].type != TokenType::ident || !t.children[i].text.starts_with("--"))
        return false;
      const std::string& name = t.children[i].text;
      ++i;
      while (i < t.children.size() && t.children[i].type == TokenType::whitespace) ++i;
      const bool has_fallback = i < t.children.size() && t.children[i].type == TokenType::comma;
      const TokenList* value = find_custom(s, name);
      if (value && !value->empty()) {
        if (!substitute(*value, s, depth + 1, out)) return false;
      } else if (has_fallback) {
        const TokenList fallback(t.children.begin() + static_cast<std::ptrdiff_t>(i + 1), t.children.end());
        if (!substitute(fallback, s, depth + 1, out)) return false;
      } else {
        return false;
      }
      continue;
    }
    if (!t.children.empty() && contains_var(t.children)) {
      Token copy = t;
      copy.children.clear();
      if (!substitute(t.children, s, depth + 1, copy.children)) return false;
      out.push_back(std::move(copy));
      continue;
    }
    out.push_back(t);
  }
  return true;
}

// --- keyword tables ----------------------------------------------------------

template <class E>
struct Keyword {
  std::string_view name;
  E value;
};

template <class E, std::size_t N>
std::optional<E> keyword(const Token* t, const Keyword<E> (&table)[N]) {
  if (!t || t->type != TokenType::ident) return std::nullopt;
  for (const auto& k : table)
    if (vx::iequals_ascii(t->text, k.name)) return k.value;
  return std::nullopt;
}

constexpr Keyword<Display> displays[] = {
    {"none", Display::none},
    {"block", Display::block},
    {"inline", Display::inline_},
    {"inline-block", Display::inline_block},
    {"flex", Display::flex},
    {"inline-flex", Display::inline_flex},
    {"list-item", Display::list_item},
    {"contents", Display::contents},
    {"table", Display::table},
    {"inline-table", Display::inline_table},
    {"table-row-group", Display::table_row_group},
    {"table-header-group", Display::table_header_group},
    {"table-footer-group", Display::table_footer_group},
    {"table-row", Display::table_row},
    {"table-cell", Display::table_cell},
    {"table-column", Display::table_column},
    {"table-column-group", Display::table_column_group},
    {"table-caption", Display::table_caption},
    {"flow-root", Display::block},
    {"grid", Display::block},
    {"inline-grid", Display::inline_block},
};
constexpr Keyword<Position> positions[] = {{"static", Position::static_},    {"relative", Position::relative},
                                           {"absolute", Position::absolute}, {"fixed", Position::fixed},
                                           {"sticky", Position::sticky},     {"-webkit-sticky", Position::sticky}};
constexpr Keyword<BorderStyle> border_styles[] = {{"none", BorderStyle::none},     {"hidden", BorderStyle::hidden},
                                                  {"solid", BorderStyle::solid},   {"dashed", BorderStyle::dashed},
                                                  {"dotted", BorderStyle::dotted}, {"double", BorderStyle::double_},
                                                  {"groove", BorderStyle::groove}, {"ridge", BorderStyle::ridge},
                                                  {"inset", BorderStyle::inset},   {"outset", BorderStyle::outset}};
constexpr Keyword<Overflow> overflows[] = {{"visible", Overflow::visible}, {"hidden", Overflow::hidden},
                                           {"clip", Overflow::clip},       {"scroll", Overflow::scroll},
                                           {"auto", Overflow::auto_},      {"overlay", Overflow::auto_}};
constexpr Keyword<WhiteSpace> white_spaces[] = {
    {"normal", WhiteSpace::normal},     {"nowrap", WhiteSpace::nowrap},     {"pre", WhiteSpace::pre},
    {"pre-wrap", WhiteSpace::pre_wrap}, {"pre-line", WhiteSpace::pre_line}, {"break-spaces", WhiteSpace::break_spaces}};
constexpr Keyword<TextAlign> text_aligns[] = {{"start", TextAlign::start},          {"left", TextAlign::left},
                                              {"right", TextAlign::right},          {"center", TextAlign::center},
                                              {"justify", TextAlign::justify},      {"end", TextAlign::end},
                                              {"-webkit-center", TextAlign::center}};
constexpr Keyword<VerticalAlign> vertical_aligns[] = {
    {"baseline", VerticalAlign::baseline}, {"middle", VerticalAlign::middle},
    {"top", VerticalAlign::top},           {"bottom", VerticalAlign::bottom},
    {"text-top", VerticalAlign::text_top}, {"text-bottom", VerticalAlign::text_bottom},
    {"sub", VerticalAlign::sub},           {"super", VerticalAlign::super}};
constexpr Keyword<Cursor> cursors[] = {{"auto", Cursor::auto_},
                                       {"default", Cursor::default_},
                                       {"pointer", Cursor::pointer},
                                       {"text", Cursor::text},
                                       {"move", Cursor::move},
                                       {"not-allowed", Cursor::not_allowed},
                                       {"col-resize", Cursor::col_resize},
                                       {"row-resize", Cursor::row_resize},
                                       {"wait", Cursor::wait},
                                       {"progress", Cursor::progress},
                                       {"help", Cursor::help},
                                       {"crosshair", Cursor::crosshair},
                                       {"grab", Cursor::grab},
                                       {"ew-resize", Cursor::ew_resize},
                                       {"ns-resize", Cursor::ns_resize}};
constexpr Keyword<ObjectFit> object_fits[] = {{"fill", ObjectFit::fill},
                                              {"contain", ObjectFit::contain},
                                              {"cover", ObjectFit::cover},
                                              {"none", ObjectFit::none},
                                              {"scale-down", ObjectFit::scale_down}};
constexpr Keyword<FlexDirection> flex_directions[] = {{"row", FlexDirection::row},
                                                      {"row-reverse", FlexDirection::row_reverse},
                                                      {"column", FlexDirection::column},
                                                      {"column-reverse", FlexDirection::column_reverse}};
constexpr Keyword<FlexWrap> flex_wraps[] = {
    {"nowrap", FlexWrap::nowrap}, {"wrap", FlexWrap::wrap}, {"wrap-reverse", FlexWrap::wrap_reverse}};
constexpr Keyword<Align> aligns[] = {{"auto", Align::auto_},
                                     {"normal", Align::normal},
                                     {"stretch", Align::stretch},
                                     {"flex-start", Align::flex_start},
                                     {"flex-end", Align::flex_end},
                                     {"center", Align::center},
                                     {"baseline", Align::baseline},
                                     {"space-between", Align::space_between},
                                     {"space-around", Align::space_around},
                                     {"space-evenly", Align::space_evenly},
                                     {"start", Align::start},
                                     {"end", Align::end},
                                     {"self-start", Align::flex_start},
                                     {"self-end", Align::flex_end},
                                     {"left", Align::flex_start},
                                     {"right", Align::flex_end}};
constexpr Keyword<Visibility> visibilities[] = {
    {"visible", Visibility::visible}, {"hidden", Visibility::hidden}, {"collapse", Visibility::collapse}};
constexpr Keyword<ListStyle> list_styles[] = {{"none", ListStyle::none},
                                              {"disc", ListStyle::disc},
                                              {"circle", ListStyle::circle},
                                              {"square", ListStyle::square},
                                              {"decimal", ListStyle::decimal}};

// --- applying one declaration --------------------------------------------------

struct Applier {
  ComputedStyle& s;
  const ComputedStyle& parent;
  const ComputedStyle& initial;
  UnitContext units;

  std::optional<Length> length(const Token* t, bool percent = true, bool negative = true) const {
    if (!t) return std::nullopt;
    return parse_length(*t, units, percent, negative);
  }
  std::optional<Length> length_or_auto(const Token* t, bool negative = true) const {
    if (is_ident(t, "auto")) return Length::automatic();
    return length(t, true, negative);
  }
  std::optional<Length> length_or_none(const Token* t) const {
    if (is_ident(t, "none")) return Length::none();
    return length(t, true, false);
  }

  // 1 to 4 values to top/right/bottom/left.
  template <class T, class Parse>
  bool four_sides(const Words& w, T (&out)[4], Parse parse) const {
    if (w.empty() || w.size() > 4) return false;
    T v[4];
    for (std::size_t i = 0; i < w.size(); ++i) {
      auto r = parse(w[i]);
      if (!r) return false;
      v[i] = *r;
    }
    const std::size_t n = w.size();
    out[0] = v[0];
    out[1] = n > 1 ? v[1] : v[0];
    out[2] = n > 2 ? v[2] : v[0];
    out[3] = n > 3 ? v[3] : out[1];
    return true;
  }

  std::optional<float> border_width(const Token* t) const {
    if (is_ident(t, "thin")) return 1.0f;
    if (is_ident(t, "medium")) return 3.0f;
    if (is_ident(t, "thick")) return 5.0f;
    const auto l = length(t, false, false);
    if (!l) return std::nullopt;
    return l->value;
  }

  bool border_side(const Words& w, int side) {
    if (w.empty() || w.size() > 3) return false;
    std::optional<float> width;
    std::optional<BorderStyle> style;
    std::optional<Color> color;
    bool current = false;
    for (const Token* t : w) {
      if (!style && (style = keyword(t, border_styles))) continue;
      if (!width && (width = border_width(t))) continue;
      if (!color && (color = parse_color(*t, &current))) continue;
      return false;
    }
    s.border_width[side] = width.value_or(3.0f);
    s.border_style[side] = style.value_or(BorderStyle::none);
    s.border_color[side] = color.value_or(Color{});
    s.border_color_current[side] = !color || current;
    return true;
  }

  bool font_family(const css::TokenList& value) {
    std::vector<std::string> families;
    for (const Words& item : comma_separated(value)) {
      if (item.empty()) return false;
      if (item.size() == 1 && item[0]->type == TokenType::string) {
        families.push_back(item[0]->text);
        continue;
      }
      std::string name;
      for (const Token* t : item) {
        if (t->type != TokenType::ident) return false;
        if (!name.empty()) name += ' ';
        name += t->text;
      }
      families.push_back(std::move(name));
    }
    if (families.empty()) return false;
    s.font_family = std::move(families);
    return true;
  }

  std::optional<float> font_size_value(const Token* t) const {
    static constexpr Keyword<float> sizes[] = {{"xx-small", 9}, {"x-small", 10}, {"small", 13},    {"medium", 16},
                                               {"large", 18},   {"x-large", 24}, {"xx-large", 32}, {"xxx-large", 48}};
    if (auto k = keyword(t, sizes)) return *k;
    if (is_ident(t, "smaller")) return parent.font_size / 1.2f;
    if (is_ident(t, "larger")) return parent.font_size * 1.2f;
    if (!t) return std::nullopt;
    // em and % of a font size refer to the parent's font size.
    UnitContext parent_units = units;
    parent_units.font_size = parent.font_size;
    const auto l = parse_length(*t, parent_units, true, false);
    if (!l) return std::nullopt;
    return l->resolve(parent.font_size);
  }

  std::optional<std::uint16_t> font_weight_value(const Token* t) const {
    if (is_ident(t, "normal")) return 400;
    if (is_ident(t, "bold")) return 700;
    if (is_ident(t, "bolder")) return static_cast<std::uint16_t>(parent.font_weight < 600 ? 700 : 900);
    if (is_ident(t, "lighter")) return static_cast<std::uint16_t>(parent.font_weight > 500 ? 400 : 100);
    if (t && t->type == TokenType::number && t->number >= 1 && t->number <= 1000)
      return static_cast<std::uint16_t>(t->number);
    return std::nullopt;
  }

  std::optional<Length> line_height_value(const Token* t) const {
    if (is_ident(t, "normal")) return Length::none();
    if (t && t->type == TokenType::number && t->number >= 0)
      return Length::percent(static_cast<float>(t->number) * 100.0f);
    if (t && t->type == TokenType::percentage && t->number >= 0)
      return Length::px(static_cast<float>(t->number) / 100.0f * s.font_size);
    return length(t, false, false);
  }

  bool font_shorthand(const css::TokenList& value) {
    // [style || weight || variant]? size[/line-height]? family
    const Words w = words_of(value);
    std::size_t i = 0;
    bool italic = false;
    std::uint16_t weight = 400;
    for (; i < w.size(); ++i) {
      if (is_ident(w[i], "italic") || is_ident(w[i], "oblique"))
        italic = true;
      else if (is_ident(w[i], "normal") || is_ident(w[i], "small-caps"))
        continue;
      else if (auto fw = font_weight_value(w[i]); fw && w[i]->type != TokenType::number)
        weight = *fw;
      else if (w[i]->type == TokenType::number && i + 1 < w.size() && font_weight_value(w[i]))
        weight = *font_weight_value(w[i]);
      else
        break;
    }
    if (i >= w.size()) return false;
    const auto size = font_size_value(w[i]);
    if (!size) return false;
    ++i;
    Length line_height = Length::none();
    if (i < w.size() && w[i]->type == TokenType::delim && w[i]->text == "/") {
      if (i + 1 >= w.size()) return false;
      const float saved = s.font_size;
      s.font_size = *size;
      const auto lh = line_height_value(w[i + 1]);
      s.font_size = saved;
      if (!lh) return false;
      line_height = *lh;
      i += 2;
    }
    // The rest, from the first family token on, is the family list.
    const Token* first_family = i < w.size() ? w[i] : nullptr;
    if (!first_family) return false;
    auto start = std::find_if(value.begin(), value.end(), [&](const Token& t) { return &t == first_family; });
    const css::TokenList families(start, value.end());
    if (!font_family(families)) return false;
    s.italic = italic;
    s.font_weight = weight;
    s.font_size = *size;
    s.line_height = line_height;
    return true;
  }

  bool flex_shorthand(const Words& w) {
    if (w.size() == 1 && is_ident(w[0], "none")) {
      s.flex_grow = 0, s.flex_shrink = 0, s.flex_basis = Length::automatic();
      return true;
    }
    if (w.size() == 1 && is_ident(w[0], "auto")) {
      s.flex_grow = 1, s.flex_shrink = 1, s.flex_basis = Length::automatic();
      return true;
    }
    if (w.size() == 1 && is_ident(w[0], "initial")) {
      s.flex_grow = 0, s.flex_shrink = 1, s.flex_basis = Length::automatic();
      return true;
    }
    std::optional<float> grow, shrink;
    std::optional<Length> basis;
    for (const Token* t : w) {
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
      if (is_ident(t, "content"))
        basis = Length{0, LengthKind::content};
      else
        basis = length_or_auto(t, false);
      if (!basis) return false;
    }
    s.flex_grow = grow.value_or(1);
    s.flex_shrink = shrink.value_or(1);
    s.flex_basis = basis.value_or(Length::px(0));  // "flex: 1" means a zero basis
    return true;
  }

  bool transition_list(const css::TokenList& value) {
    std::vector<Transition> list;
    for (const Words& item : comma_separated(value)) {
      Transition tr;
      bool have_duration = false;
      bool have_property = false;
      for (const Token* t : item) {
        if (auto time = parse_time(*t)) {
          if (!have_duration)
            tr.duration = *time, have_duration = true;
          else
            tr.delay = *time;
        } else if (auto timing = parse_timing_function(*t)) {
          tr.timing = *timing;
        } else if (t->type == TokenType::ident && !have_property) {
          have_property = true;
          tr.property = vx::iequals_ascii(t->text, "all")    ? Property::unknown
                        : vx::iequals_ascii(t->text, "none") ? Property::count
                                                             : css::property_from_name(vx::ascii_lower(t->text));
        } else {
          return false;
        }
      }
      if (item.empty()) return false;
      if (tr.property != Property::count) list.push_back(tr);
    }
    s.transitions = std::move(list);
    return true;
  }

  bool animation_list(const css::TokenList& value) {
    std::vector<Animation> list;
    for (const Words& item : comma_separated(value)) {
      Animation a;
      bool have_duration = false;
      for (const Token* t : item) {
        if (auto time = parse_time(*t)) {
          if (!have_duration)
            a.duration = *time, have_duration = true;
          else
            a.delay = *time;
        } else if (auto timing = parse_timing_function(*t)) {
          a.timing = *timing;
        } else if (is_ident(t, "infinite")) {
          a.iterations = -1;
        } else if (t->type == TokenType::number && t->number >= 0) {
          a.iterations = static_cast<float>(t->number);
        } else if (is_ident(t, "alternate") || is_ident(t, "alternate-reverse")) {
          a.alternate = true;
          a.reverse = is_ident(t, "alternate-reverse");
        } else if (is_ident(t, "reverse")) {
          a.reverse = true;
        } else if (is_ident(t, "normal") || is_ident(t, "running")) {
        } else if (is_ident(t, "forwards")) {
          a.fill |= 1;
        } else if (is_ident(t, "backwards")) {
          a.fill |= 2;
        } else if (is_ident(t, "both")) {
          a.fill = 3;
        } else if ((t->type == TokenType::ident || t->type == TokenType::string) && a.name.empty()) {
          a.name = t->text;
        } else {
          return false;
        }
      }
      if (!a.name.empty() && !vx::iequals_ascii(a.name, "none")) list.push_back(std::move(a));
    }
    s.animations = std::move(list);
    return true;
  }

  // Applies one declaration whose var() references are resolved. False when
  // the value is invalid (the declaration then has no effect).
  bool apply(Property p, const css::TokenList& value) {
    const Words w = words_of(value);
    if (w.empty()) return false;
    const Token* one = w.size() == 1 ? w[0] : nullptr;

    if (one &&
        (is_ident(one, "inherit") || is_ident(one, "initial") || is_ident(one, "unset") || is_ident(one, "revert"))) {
      for (Property l : longhands_of(p)) {
        const bool from_parent = is_ident(one, "inherit") || (!is_ident(one, "initial") && css::property_inherited(l));
        copy_property(l, s, from_parent ? parent : initial);
      }
      return true;
    }

    using P = Property;
    switch (p) {
      case P::display:
        if (auto v = keyword(one, displays)) return s.display = *v, true;
        return false;
      case P::position:
        if (auto v = keyword(one, positions)) return s.position = *v, true;
        return false;
      case P::top:
        if (auto v = length_or_auto(one)) return s.inset[top] = *v, true;
        return false;
      case P::right:
        if (auto v = length_or_auto(one)) return s.inset[right] = *v, true;
        return false;
      case P::bottom:
        if (auto v = length_or_auto(one)) return s.inset[bottom] = *v, true;
        return false;
      case P::left:
        if (auto v = length_or_auto(one)) return s.inset[left] = *v, true;
        return false;
      case P::inset:
        return four_sides(w, s.inset, [&](const Token* t) { return length_or_auto(t); });
      case P::z_index:
        if (is_ident(one, "auto")) return s.z_index_auto = true, s.z_index = 0, true;
        if (one && one->type == TokenType::number && one->is_integer)
          return s.z_index_auto = false,
                 s.z_index = static_cast<int>(std::clamp(one->number, -2147483647.0, 2147483647.0)), true;
        return false;
      case P::width:
        if (auto v = length_or_auto(one, false)) return s.width = *v, true;
        return false;
      case P::height:
        if (auto v = length_or_auto(one, false)) return s.height = *v, true;
        return false;
      case P::min_width:
        if (auto v = length_or_auto(one, false)) return s.min_width = *v, true;
        return false;
      case P::min_height:
        if (auto v = length_or_auto(one, false)) return s.min_height = *v, true;
        return false;
      case P::max_width:
        if (auto v = length_or_none(one)) return s.max_width = *v, true;
        return false;
      case P::max_height:
        if (auto v = length_or_none(one)) return s.max_height = *v, true;
        return false;
      case P::box_sizing:
        if (is_ident(one, "border-box")) return s.box_sizing = BoxSizing::border_box, true;
        if (is_ident(one, "content-box")) return s.box_sizing = BoxSizing::content_box, true;
        return false;
      case P::margin_top:
        if (auto v = length_or_auto(one)) return s.margin[top] = *v, true;
        return false;
      case P::margin_right:
        if (auto v = length_or_auto(one)) return s.margin[right] = *v, true;
        return false;
      case P::margin_bottom:
        if (auto v = length_or_auto(one)) return s.margin[bottom] = *v, true;
        return false;
      case P::margin_left:
        if (auto v = length_or_auto(one)) return s.margin[left] = *v, true;
        return false;
      case P::margin:
        return four_sides(w, s.margin, [&](const Token* t) { return length_or_auto(t); });
      case P::padding_top:
        if (auto v = length(one, true, false)) return s.padding[top] = *v, true;
        return false;
      case P::padding_right:
        if (auto v = length(one, true, false)) return s.padding[right] = *v, true;
        return false;
      case P::padding_bottom:
        if (auto v = length(one, true, false)) return s.padding[bottom] = *v, true;
        return false;
      case P::padding_left:
        if (auto v = length(one, true, false)) return s.padding[left] = *v, true;
        return false;
      case P::padding:
        return four_sides(w, s.padding, [&](const Token* t) { return length(t, true, false); });
      case P::border_top_width:
        if (auto v = border_width(one)) return s.border_width[top] = *v, true;
        return false;
      case P::border_right_width:
        if (auto v = border_width(one)) return s.border_width[right] = *v, true;
        return false;
      case P::border_bottom_width:
        if (auto v = border_width(one)) return s.border_width[bottom] = *v, true;
        return false;
      case P::border_left_width:
        if (auto v = border_width(one)) return s.border_width[left] = *v, true;
        return false;
      case P::border_width:
        return four_sides(w, s.border_width, [&](const Token* t) { return border_width(t); });
      case P::border_top_style:
        if (auto v = keyword(one, border_styles)) return s.border_style[top] = *v, true;
        return false;
      case P::border_right_style:
        if (auto v = keyword(one, border_styles)) return s.border_style[right] = *v, true;
        return false;
      case P::border_bottom_style:
        if (auto v = keyword(one, border_styles)) return s.border_style[bottom] = *v, true;
        return false;
      case P::border_left_style:
        if (auto v = keyword(one, border_styles)) return s.border_style[left] = *v, true;
        return false;
      case P::border_style:
        return four_sides(w, s.border_style, [&](const Token* t) { return keyword(t, border_styles); });
      case P::border_top_color:
      case P::border_right_color:
      case P::border_bottom_color:
      case P::border_left_color: {
        const int side = p == P::border_top_color      ? top
                         : p == P::border_right_color  ? right
                         : p == P::border_bottom_color ? bottom
                                                       : left;
        bool current = false;
        const auto c = one ? parse_color(*one, &current) : std::nullopt;
        if (!c) return false;
        s.border_color[side] = *c;
        s.border_color_current[side] = current;
        return true;
      }
      case P::border_color: {
        std::pair<Color, bool> v[4];
        if (!four_sides(w, v, [&](const Token* t) -> std::optional<std::pair<Color, bool>> {
              bool current = false;
              const auto c = parse_color(*t, &current);
              if (!c) return std::nullopt;
              return std::pair{*c, current};
            }))
          return false;
        for (int i = 0; i < 4; ++i) s.border_color[i] = v[i].first, s.border_color_current[i] = v[i].second;
        return true;
      }
      case P::border_top:
        return border_side(w, top);
      case P::border_right:
        return border_side(w, right);
      case P::border_bottom:
        return border_side(w, bottom);
      case P::border_left:
        return border_side(w, left);
      case P::border: {
        if (!border_side(w, top)) return false;
        for (int side : {right, bottom, left}) border_side(w, side);
        return true;
      }
      case P::border_top_left_radius:
        if (auto v = length(w[0], true, false)) return s.radius[0] = *v, true;
        return false;
      case P::border_top_right_radius:
        if (auto v = length(w[0], true, false)) return s.radius[1] = *v, true;
        return false;
      case P::border_bottom_right_radius:
        if (auto v = length(w[0], true, false)) return s.radius[2] = *v, true;
        return false;
      case P::border_bottom_left_radius:
        if (auto v = length(w[0], true, false)) return s.radius[3] = *v, true;
        return false;
      case P::border_radius: {
        Words horizontal;  // the part before "/" (elliptical corners keep one radius)
        for (const Token* t : w) {
          if (t->type == TokenType::delim && t->text == "/") break;
          horizontal.push_back(t);
        }
        Length r[4];
        if (!four_sides(horizontal, r, [&](const Token* t) { return length(t, true, false); })) return false;
        // four_sides orders top, right, bottom, left; corners are tl, tr, br, bl: the same shape.
        std::copy(std::begin(r), std::end(r), std::begin(s.radius));
        return true;
      }
      case P::overflow_x:
        if (auto v = keyword(one, overflows)) return s.overflow_x = *v, true;
        return false;
      case P::overflow_y:
        if (auto v = keyword(one, overflows)) return s.overflow_y = *v, true;
        return false;
      case P::overflow: {
        if (w.size() > 2) return false;
        const auto x = keyword(w[0], overflows);
        const auto y = w.size() > 1 ? keyword(w[1], overflows) : x;
        if (!x || !y) return false;
        s.overflow_x = *x, s.overflow_y = *y;
        return true;
      }
      case P::scrollbar_gutter:
        if (is_ident(w[0], "stable")) return s.scrollbar_gutter_stable = true, true;
        if (is_ident(one, "auto")) return s.scrollbar_gutter_stable = false, true;
        return false;
      case P::white_space:
        if (auto v = keyword(one, white_spaces)) return s.white_space = *v, true;
        return false;
      case P::text_overflow:
        if (is_ident(one, "ellipsis")) return s.text_overflow_ellipsis = true, true;
        if (is_ident(one, "clip")) return s.text_overflow_ellipsis = false, true;
        return false;
      case P::text_align:
        if (auto v = keyword(one, text_aligns)) return s.text_align = *v, true;
        return false;
      case P::vertical_align:
        if (auto v = keyword(one, vertical_aligns)) return s.vertical_align = *v, true;
        return false;
      case P::line_height:
        if (auto v = line_height_value(one)) return s.line_height = *v, true;
        return false;
      case P::font_family:
        return font_family(value);
      case P::font_size:
        if (auto v = font_size_value(one)) return s.font_size = *v, true;
        return false;
      case P::font_weight:
        if (auto v = font_weight_value(one)) return s.font_weight = *v, true;
        return false;
      case P::font_style:
        if (is_ident(one, "italic") || is_ident(one, "oblique")) return s.italic = true, true;
        if (is_ident(one, "normal")) return s.italic = false, true;
        return false;
      case P::font:
        return font_shorthand(value);
      case P::color: {
        bool current = false;
        const auto c = one ? parse_color(*one, &current) : std::nullopt;
        if (!c) return false;
        s.color = current ? parent.color : *c;
        return true;
      }
      case P::background_color: {
        bool current = false;
        const auto c = one ? parse_color(*one, &current) : std::nullopt;
        if (!c) return false;
        s.background_color = current ? s.color : *c;
        return true;
      }
      case P::background_image:
        if (is_ident(one, "none")) return s.background_image.clear(), true;
        if (one && one->type == TokenType::url) return s.background_image = one->text, true;
        return false;
      case P::background: {
        Color color{};
        std::string image;
        for (const Token* t : w) {
          bool current = false;
          if (auto c = parse_color(*t, &current))
            color = current ? s.color : *c;
          else if (t->type == TokenType::url)
            image = t->text;
          else if (is_ident(t, "none") || t->type == TokenType::ident || t->type == TokenType::dimension ||
                   t->type == TokenType::percentage || t->type == TokenType::number || t->type == TokenType::delim)
            continue;  // position, repeat and size are not drawn
          else
            return false;
        }
        s.background_color = color;
        s.background_image = std::move(image);
        return true;
      }
      case P::cursor: {
        // A list of images with a keyword at the end: only the keyword counts.
        const Token* last = w.back();
        if (auto v = keyword(last, cursors)) return s.cursor = *v, true;
        return false;
      }
      case P::object_fit:
        if (auto v = keyword(one, object_fits)) return s.object_fit = *v, true;
        return false;
      case P::user_select:
        if (is_ident(one, "none")) return s.user_select = false, true;
        if (is_ident(one, "auto") || is_ident(one, "text") || is_ident(one, "all")) return s.user_select = true, true;
        return false;
      case P::opacity: {
        if (!one) return false;
        if (one->type == TokenType::number)
          return s.opacity = std::clamp(static_cast<float>(one->number), 0.0f, 1.0f), true;
        if (one->type == TokenType::percentage)
          return s.opacity = std::clamp(static_cast<float>(one->number) / 100, 0.0f, 1.0f), true;
        return false;
      }
      case P::visibility:
        if (auto v = keyword(one, visibilities)) return s.visibility = *v, true;
        return false;
      case P::pointer_events:
        if (is_ident(one, "none")) return s.pointer_events = false, true;
        if (one && one->type == TokenType::ident) return s.pointer_events = true, true;
        return false;
      case P::transform:
        if (auto v = parse_transform(w, units)) return s.transform = *v, true;
        return false;
      case P::transition:
        return transition_list(value);
      case P::transition_property:
      case P::transition_duration:
      case P::transition_timing_function:
      case P::transition_delay: {
        // Longhands edit the list element-wise; a list made by the shorthand is the common case.
        const auto items = comma_separated(value);
        if (s.transitions.size() < items.size()) s.transitions.resize(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
          if (items[i].size() != 1) return false;
          const Token* t = items[i][0];
          Transition& tr = s.transitions[i];
          if (p == P::transition_property) {
            if (t->type != TokenType::ident) return false;
            tr.property = vx::iequals_ascii(t->text, "all") ? Property::unknown
                                                            : css::property_from_name(vx::ascii_lower(t->text));
          } else if (p == P::transition_duration || p == P::transition_delay) {
            const auto time = parse_time(*t);
            if (!time) return false;
            (p == P::transition_duration ? tr.duration : tr.delay) = *time;
          } else {
            const auto f = parse_timing_function(*t);
            if (!f) return false;
            tr.timing = *f;
          }
        }
        return true;
      }
      case P::animation:
        return animation_list(value);
      case P::animation_name:
      case P::animation_duration:
      case P::animation_timing_function:
      case P::animation_delay:
      case P::animation_iteration_count:
      case P::animation_direction:
      case P::animation_fill_mode: {
        const auto items = comma_separated(value);
        if (s.animations.size() < items.size()) s.animations.resize(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
          if (items[i].size() != 1) return false;
          const Token* t = items[i][0];
          Animation& a = s.animations[i];
          switch (p) {
            case P::animation_name:
              a.name = t->text;
              break;
            case P::animation_duration:
            case P::animation_delay: {
              const auto time = parse_time(*t);
              if (!time) return false;
              (p == P::animation_duration ? a.duration : a.delay) = *time;
              break;
            }
            case P::animation_timing_function: {
              const auto f = parse_timing_function(*t);
              if (!f) return false;
              a.timing = *f;
              break;
            }
            case P::animation_iteration_count:
              if (is_ident(t, "infinite"))
                a.iterations = -1;
              else if (t->type == TokenType::number && t->number >= 0)
                a.iterations = static_cast<float>(t->number);
              else
                return false;
              break;
            case P::animation_direction:
              a.alternate = is_ident(t, "alternate") || is_ident(t, "alternate-reverse");
              a.reverse = is_ident(t, "reverse") || is_ident(t, "alternate-reverse");
              break;
            default:
              a.fill = is_ident(t, "forwards") ? 1 : is_ident(t, "backwards") ? 2 : is_ident(t, "both") ? 3 : 0;
              break;
          }
        }
        std::erase_if(s.animations,
                      [](const Animation& a) { return a.name.empty() || vx::iequals_ascii(a.name, "none"); });
        return true;
      }
      case P::flex_direction:
        if (auto v = keyword(one, flex_directions)) return s.flex_direction = *v, true;
        return false;
      case P::flex_wrap:
        if (auto v = keyword(one, flex_wraps)) return s.flex_wrap = *v, true;
        return false;
      case P::flex_flow:
        for (const Token* t : w) {
          if (auto d = keyword(t, flex_directions))
            s.flex_direction = *d;
          else if (auto f = keyword(t, flex_wraps))
            s.flex_wrap = *f;
          else
            return false;
        }
        return true;
      case P::flex_grow:
        if (auto v = one ? parse_number(*one) : std::nullopt; v && *v >= 0) return s.flex_grow = *v, true;
        return false;
      case P::flex_shrink:
        if (auto v = one ? parse_number(*one) : std::nullopt; v && *v >= 0) return s.flex_shrink = *v, true;
        return false;
      case P::flex_basis:
        if (is_ident(one, "content")) return s.flex_basis = Length{0, LengthKind::content}, true;
        if (auto v = length_or_auto(one, false)) return s.flex_basis = *v, true;
        return false;
      case P::flex:
        return flex_shorthand(w);
      case P::align_items:
        if (auto v = keyword(one, aligns)) return s.align_items = *v, true;
        return false;
      case P::align_self:
        if (auto v = keyword(one, aligns)) return s.align_self = *v, true;
        return false;
      case P::justify_content:
        if (auto v = keyword(one, aligns)) return s.justify_content = *v, true;
        return false;
      case P::align_content:
        if (auto v = keyword(one, aligns)) return s.align_content = *v, true;
        return false;
      case P::row_gap:
      case P::column_gap: {
        const auto v = is_ident(one, "normal") ? std::optional(Length::none()) : length(one, true, false);
        if (!v) return false;
        (p == P::row_gap ? s.row_gap : s.column_gap) = *v;
        return true;
      }
      case P::gap: {
        if (w.size() > 2) return false;
        const auto r = is_ident(w[0], "normal") ? std::optional(Length::none()) : length(w[0], true, false);
        const auto c =
            w.size() > 1 ? (is_ident(w[1], "normal") ? std::optional(Length::none()) : length(w[1], true, false)) : r;
        if (!r || !c) return false;
        s.row_gap = *r, s.column_gap = *c;
        return true;
      }
      case P::order:
        if (one && one->type == TokenType::number && one->is_integer)
          return s.order = static_cast<int>(std::clamp(one->number, -1e6, 1e6)), true;
        return false;
      case P::table_layout:
        if (is_ident(one, "fixed")) return s.table_layout_fixed = true, true;
        if (is_ident(one, "auto")) return s.table_layout_fixed = false, true;
        return false;
      case P::border_collapse:
        if (is_ident(one, "collapse")) return s.border_collapse = true, true;
        if (is_ident(one, "separate")) return s.border_collapse = false, true;
        return false;
      case P::border_spacing: {
        if (w.size() > 2) return false;
        const auto h = length(w[0], false, false);
        const auto v = w.size() > 1 ? length(w[1], false, false) : h;
        if (!h || !v) return false;
        s.border_spacing_h = h->value, s.border_spacing_v = v->value;
        return true;
      }
      case P::text_decoration_line:
      case P::text_decoration:
        for (const Token* t : w) {
          if (is_ident(t, "underline"))
            s.underline = true;
          else if (is_ident(t, "none"))
            s.underline = false;
        }
        return true;
      case P::list_style_type:
      case P::list_style:
        for (const Token* t : w)
          if (auto v = keyword(t, list_styles)) s.list_style = *v;
        return true;
      case P::content: {
        if (is_ident(one, "none") || is_ident(one, "normal")) return s.content.clear(), s.has_content = false, true;
        std::string text;
        for (const Token* t : w) {
          if (t->type != TokenType::string) return false;
          text += t->text;
        }
        s.content = std::move(text);
        s.has_content = true;
        return true;
      }
      default:
        return false;  // known but not drawn (outline, ...)
    }
  }
};

// The box type of an element that must be a block (floats, absolute
// positioning, flex items, the root).
Display blockified(Display d) {
  switch (d) {
    case Display::inline_:
    case Display::inline_block:
    case Display::table_row_group:
    case Display::table_header_group:
    case Display::table_footer_group:
    case Display::table_row:
    case Display::table_cell:
    case Display::table_column:
    case Display::table_column_group:
    case Display::table_caption:
      return Display::block;
    case Display::inline_flex:
      return Display::flex;
    case Display::inline_table:
      return Display::table;
    default:
      return d;
  }
}

// Inherited properties come from the parent, the rest start at their initial values.
std::shared_ptr<ComputedStyle> inheriting_from(const ComputedStyle& parent) {
  return std::make_shared<ComputedStyle>(inherited_only(parent));
}

// :empty as the selectors see it: no element and no text, generated boxes aside.
bool is_empty(const Node* element) {
  for (const Node* c = first_real_child(element); c; c = next_real_sibling(c))
    if (c->is_element() || (c->is_text() && !c->text.empty())) return false;
  return true;
}

// Elements whose content the toolkit draws itself (controls, pictures) get no
// ::before or ::after.
bool generates_content(const Node* element) {
  return !is_void_element(element->tag_kind) && element->tag_kind != TagKind::svg &&
         element->tag_kind != TagKind::select && element->tag_kind != TagKind::textarea;
}

void append_bytes(std::string& key, const void* data, std::size_t size) {
  key.append(static_cast<const char*>(data), size);
}

}  // namespace

struct StyleEngine::MatchedRule {
  const css::StyleRule* rule;
  css::Specificity specificity;
  std::uint32_t origin;  // 0 default sheet, 1 author sheet
};

StyleEngine::StyleEngine(Document& document) : document_(document) {
  auto initial = std::make_shared<ComputedStyle>();
  initial_ = initial;
  defaults_ = css::parse_stylesheet(default_sheet, document_.names);
}

StyleEngine::~StyleEngine() = default;

const ComputedStyle* StyleEngine::style_of(const Node* node) {
  while (node && !node->is_element()) node = node->parent;
  return node ? node->style.get() : nullptr;
}

const css::KeyframesRule* StyleEngine::keyframes(std::string_view name) const {
  // The last @keyframes of a name wins, in the author sheet before the defaults.
  for (auto it = author_.keyframes.rbegin(); it != author_.keyframes.rend(); ++it)
    if (it->name == name && (!it->media || it->media->matches(environment_))) return &*it;
  return nullptr;
}

void StyleEngine::reload_sheets() {
  author_ = css::parse_stylesheet(document_.author_css, document_.names);
  document_.selector_attributes = author_.attribute_names;
  for (Atom a : defaults_.attribute_names)
    if (std::find(document_.selector_attributes.begin(), document_.selector_attributes.end(), a) ==
        document_.selector_attributes.end())
      document_.selector_attributes.push_back(a);
  media_lists_.clear();
  for (const css::StyleSheet* sheet : {&defaults_, &author_})
    for (const auto& list : sheet->media_lists) media_lists_.push_back(list.get());
  media_results_.clear();
  sibling_sensitive_ = false;
  for (const css::StyleSheet* sheet : {&defaults_, &author_})
    for (const css::StyleRule& rule : sheet->rules)
      for (std::size_t i = 0; i < rule.selectors.size(); ++i)
        sibling_sensitive_ = sibling_sensitive_ || rule.selectors.looks_at_siblings(i);
  document_.sibling_selectors = sibling_sensitive_;
}

bool StyleEngine::media_changed(const css::MediaEnvironment& environment) {
  environment_ = environment;
  bool changed = media_results_.size() != media_lists_.size();
  media_results_.resize(media_lists_.size());
  for (std::size_t i = 0; i < media_lists_.size(); ++i) {
    const bool m = media_lists_[i]->matches(environment);
    if (m != media_results_[i]) changed = true;
    media_results_[i] = m;
  }
  return changed;
}

void StyleEngine::match_rules(const Node* element, std::vector<MatchedRule> (&out)[3]) const {
  // One pass over the rules for the element and its ::before and ::after: the
  // selectors are the same, only the pseudo-element at their end tells them apart.
  const css::StyleSheet* sheets[] = {&defaults_, &author_};
  for (std::uint32_t origin = 0; origin < 2; ++origin) {
    for (const css::StyleRule& rule : sheets[origin]->rules) {
      if (rule.media && !rule.media->matches(environment_)) continue;
      bool any[3] = {};
      css::Specificity best[3];
      for (std::size_t i = 0; i < rule.selectors.size(); ++i) {
        int target = 0;
        switch (rule.selectors.pseudo_element(i)) {
          case css::PseudoElement::none:
            target = 0;
            break;
          case css::PseudoElement::before:
            target = 1;
            break;
          case css::PseudoElement::after:
            target = 2;
            break;
          case css::PseudoElement::marker:
            continue;  // list markers are drawn by the layout
        }
        if (!rule.selectors.matches(i, element)) continue;
        const css::Specificity sp = rule.selectors.specificity(i);
        if (!any[target] || best[target] < sp) best[target] = sp;
        any[target] = true;
      }
      for (int target = 0; target < 3; ++target)
        if (any[target]) out[target].push_back({&rule, best[target], origin});
    }
  }
  for (std::vector<MatchedRule>& matched : out)
    std::stable_sort(matched.begin(), matched.end(), [](const MatchedRule& a, const MatchedRule& b) {
      if (a.origin != b.origin) return a.origin < b.origin;
      if (a.specificity != b.specificity) return a.specificity < b.specificity;
      return a.rule->order < b.rule->order;
    });
}

void StyleEngine::apply_rules(Node* element, bool generated, const std::vector<MatchedRule>& matched,
                              const ComputedStyle& parent, ComputedStyle& out) {
  // A style attribute styles its element, never the boxes generated for it.
  std::vector<Declaration> inline_declarations;
  if (const std::string* text = generated ? nullptr : attribute_value(element, atom_style); text && !text->empty())
    inline_declarations = css::parse_declarations(*text);

  // The application order: default normal, author normal, inline normal,
  // author important, inline important, default important.
  std::vector<const Declaration*> order;
  auto add = [&](std::uint32_t origin, bool important) {
    for (const MatchedRule& m : matched)
      if (m.origin == origin)
        for (const Declaration& d : m.rule->declarations)
          if (d.important == important) order.push_back(&d);
  };
  auto add_inline = [&](bool important) {
    for (const Declaration& d : inline_declarations)
      if (d.important == important) order.push_back(&d);
  };
  add(0, false);
  add(1, false);
  add_inline(false);
  add(1, true);
  add_inline(true);
  add(0, true);

  // Custom properties first: other values may refer to them.
  std::shared_ptr<CustomProperties> custom;
  for (const Declaration* d : order) {
    if (d->property != Property::custom) continue;
    if (!custom) custom = std::make_shared<CustomProperties>(parent.custom ? *parent.custom : CustomProperties());
    TokenList resolved;
    ComputedStyle view;
    view.custom = custom;
    const bool ok = !contains_var(d->value) || substitute(d->value, view, 0, resolved);
    TokenList value = ok ? (contains_var(d->value) ? std::move(resolved) : d->value) : TokenList();
    auto it = std::find_if(custom->begin(), custom->end(), [&](const auto& kv) { return kv.first == d->custom_name; });
    if (it != custom->end())
      it->second = std::move(value);
    else
      custom->emplace_back(d->custom_name, std::move(value));
  }
  out.custom = custom ? std::shared_ptr<const CustomProperties>(custom) : parent.custom;

  Applier applier{out, parent, *initial_, {}};
  const ComputedStyle* root = document_.root && document_.root->style ? document_.root->style.get() : nullptr;
  applier.units.root_font_size = root && (generated || element != document_.root) ? root->font_size : 16;
  applier.units.viewport_width = environment_.width;
  applier.units.viewport_height = environment_.height;

  auto resolved_value = [&](const Declaration* d, TokenList& storage) -> const TokenList* {
    if (!contains_var(d->value)) return &d->value;
    storage.clear();
    if (!substitute(d->value, out, 0, storage)) return nullptr;
    return &storage;
  };

  // Font size first (em in other properties refers to it), then the rest.
  TokenList storage;
  applier.units.font_size = parent.font_size;
  for (const Declaration* d : order) {
    if (d->property != Property::font_size && d->property != Property::font) continue;
    if (const TokenList* v = resolved_value(d, storage)) {
      if (d->property == Property::font) {
        ComputedStyle probe = out;
        Applier p2{probe, parent, *initial_, applier.units};
        if (p2.apply(Property::font, *v)) out.font_size = probe.font_size;
      } else {
        applier.apply(d->property, *v);
      }
    }
  }
  applier.units.font_size = out.font_size;
  if (element == document_.root && !generated) applier.units.root_font_size = out.font_size;
  for (const Declaration* d : order) {
    if (d->property == Property::custom || d->property == Property::font_size) continue;
    const TokenList* v = resolved_value(d, storage);
    if (!v) {
      // Invalid at computed-value time: the property behaves as "unset".
      for (Property l : longhands_of(d->property))
        copy_property(l, out, css::property_inherited(l) ? parent : *initial_);
      continue;
    }
    // The size was settled above, in order with the font-size longhands: a
    // shorthand from an earlier rule must not undo a later font-size.
    if (d->property == Property::font) {
      const float size = out.font_size;
      applier.apply(d->property, *v);
      out.font_size = size;
      continue;
    }
    applier.apply(d->property, *v);
  }
}

StyleEngine::StyleSet StyleEngine::compute(Node* element, const std::shared_ptr<const ComputedStyle>& parent_ref) {
  const ComputedStyle& parent = *parent_ref;
  // Elements that look alike share one style: rows of a long table are the
  // common case. Ids, inline styles and sibling-sensitive sheets opt out.
  std::string key;
  const bool shareable = !sibling_sensitive_ && !find_attribute(element, atom_id);
  if (shareable) {
    const ComputedStyle* parent_ptr = &parent;
    append_bytes(key, &parent_ptr, sizeof parent_ptr);
    append_bytes(key, &element->tag, sizeof element->tag);
    const std::uint32_t state = element->flags & (flag_hover | flag_active | flag_focus | flag_disabled | flag_checked);
    append_bytes(key, &state, sizeof state);
    const std::uint8_t control = static_cast<std::uint8_t>(element->control);
    append_bytes(key, &control, 1);
    const std::uint8_t position =
        (prev_real_sibling(element) ? 0 : 1) | (next_real_sibling(element) ? 0 : 2) | (is_empty(element) ? 4 : 0);
    append_bytes(key, &position, 1);
    const std::uint32_t classes = static_cast<std::uint32_t>(element->classes.size());
    append_bytes(key, &classes, sizeof classes);
    append_bytes(key, element->classes.data(), element->classes.size() * sizeof(Atom));
    for (Atom a : document_.selector_attributes) {
      if (const std::string* v = attribute_value(element, a)) {
        append_bytes(key, &a, sizeof a);
        const std::uint32_t n = static_cast<std::uint32_t>(v->size());
        append_bytes(key, &n, sizeof n);
        key += *v;
      }
    }
    if (const std::string* inline_style = attribute_value(element, atom_style)) {
      key += '\x01';
      key += *inline_style;
    }
    if (auto it = share_cache_.find(key); it != share_cache_.end()) return it->second.styles;
  }

  std::vector<MatchedRule> matched[3];
  match_rules(element, matched);
  std::shared_ptr<ComputedStyle> style = inheriting_from(parent);
  ComputedStyle& s = *style;
  apply_rules(element, false, matched[0], parent, s);

  if (element == document_.root || s.position == Position::absolute || s.position == Position::fixed)
    s.display = blockified(s.display);
  if (const ComputedStyle* p =
          element->parent && element->parent->is_element() ? element->parent->style.get() : nullptr;
      p && (p->display == Display::flex || p->display == Display::inline_flex))
    s.display = blockified(s.display);

  StyleSet result{std::move(style), nullptr, nullptr};
  if (generates_content(element)) {
    result.before = generated_style(element, matched[1], *result.element);
    result.after = generated_style(element, matched[2], *result.element);
  }
  if (shareable && share_cache_.size() < 65536) share_cache_.emplace(std::move(key), Shared{result, parent_ref});
  return result;
}

std::shared_ptr<const ComputedStyle> StyleEngine::generated_style(Node* host, const std::vector<MatchedRule>& matched,
                                                                  const ComputedStyle& host_style) {
  if (matched.empty()) return nullptr;  // content stays "none": no box
  std::shared_ptr<ComputedStyle> style = inheriting_from(host_style);
  apply_rules(host, true, matched, host_style, *style);
  if (!style->has_content || style->display == Display::none) return nullptr;
  if (style->position == Position::absolute || style->position == Position::fixed ||
      host_style.display == Display::flex || host_style.display == Display::inline_flex)
    style->display = blockified(style->display);
  return style;
}

void StyleEngine::place_generated(Node* host, Atom tag, std::shared_ptr<const ComputedStyle> style) {
  Node* box = tag == atom_pseudo_before ? host->first_child : host->last_child;
  if (box && !(box->is_pseudo() && box->tag == tag)) box = nullptr;
  if (!style) {
    if (box) {
      detach(box);
      document_.release_subtree(box);
      document_.invalidate(host, flag_needs_layout | flag_needs_paint);
    }
    return;
  }
  if (!box) {
    Node* text = document_.create_text(style->content);
    box = document_.new_node(NodeType::element);
    box->tag = tag;
    box->flags |= flag_pseudo;
    link_child(box, text, nullptr);
    link_child(host, box, tag == atom_pseudo_before ? host->first_child : nullptr);
    changes_.push_back({box, nullptr});
    document_.invalidate(host, flag_needs_layout | flag_needs_paint);
  } else {
    // Updated in place: a hover that changes the text keeps the nodes.
    if (box->style != style) {
      changes_.push_back({box, box->style});
      document_.invalidate(box, flag_style_changed | flag_needs_paint);  // layout judges what it changes
    }
    if (Node* text = box->first_child; text && text->is_text() && text->text != style->content) {
      text->text = style->content;
      document_.invalidate(box, flag_needs_layout | flag_needs_paint);
    }
  }
  box->style = std::move(style);
  box->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
}

ComputedStyle StyleEngine::with_declarations(const ComputedStyle& base, const ComputedStyle& parent,
                                             const std::vector<css::Declaration>& declarations) const {
  ComputedStyle out = base;
  Applier applier{out, parent, *initial_, {}};
  applier.units.font_size = out.font_size;
  applier.units.viewport_width = environment_.width;
  applier.units.viewport_height = environment_.height;
  TokenList storage;
  for (const Declaration& d : declarations) {
    if (d.property == Property::custom) continue;
    const TokenList* value = &d.value;
    if (contains_var(d.value)) {
      storage.clear();
      if (!substitute(d.value, out, 0, storage)) continue;
      value = &storage;
    }
    applier.apply(d.property, *value);
  }
  return out;
}

std::size_t StyleEngine::update(const css::MediaEnvironment& environment) {
  bool full = false;
  if (document_.css_dirty) {
    reload_sheets();
    document_.css_dirty = false;
    full = true;
  }
  if (media_changed(environment)) full = true;
  changes_.clear();
  if (full)
    share_cache_.clear();
  else if (share_cache_.size() >= prune_at_)
    prune_share_cache();

  std::size_t computed = 0;
  // Iterative walk: a subtree is restyled when its root is marked or any
  // ancestor was; unmarked subtrees without marked descendants are skipped.
  struct Frame {
    Node* node;
    bool restyle;
  };
  std::vector<Frame> stack;
  Node* doc_node = document_.document_node;
  for (Node* c = doc_node->last_child; c; c = c->prev) stack.push_back({c, full});
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    Node* n = f.node;
    if (!n->is_element()) continue;
    const bool restyle = f.restyle || (n->flags & flag_needs_restyle) || !n->style;
    if (restyle) {
      const std::shared_ptr<const ComputedStyle>& parent =
          n->parent && n->parent->is_element() && n->parent->style ? n->parent->style : initial_;
      StyleSet styles = compute(n, parent);
      if (styles.element != n->style) {
        changes_.push_back({n, n->style});
        n->style = std::move(styles.element);
        document_.invalidate(n, flag_style_changed | flag_needs_paint);  // layout judges what it changes
      }
      ++computed;
      // Generated boxes are restyled with their host and only then.
      place_generated(n, atom_pseudo_before, std::move(styles.before));
      place_generated(n, atom_pseudo_after, std::move(styles.after));
    }
    const bool descend = restyle || (n->flags & flag_descendant_needs_restyle);
    n->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
    if (!descend) continue;
    for (Node* c = n->last_child; c; c = c->prev)
      if (!c->is_pseudo()) stack.push_back({c, restyle});
  }
  doc_node->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
  return computed;
}

namespace {

std::size_t token_bytes(const css::TokenList& tokens) {
  std::size_t bytes = memory::heap(tokens);
  for (const css::Token& t : tokens) bytes += memory::heap(t.text) + token_bytes(t.children);
  return bytes;
}

std::size_t declaration_bytes(const std::vector<css::Declaration>& declarations) {
  std::size_t bytes = memory::heap(declarations);
  for (const css::Declaration& d : declarations) bytes += memory::heap(d.custom_name) + token_bytes(d.value);
  return bytes;
}

std::size_t sheet_bytes(const css::StyleSheet& sheet) {
  std::size_t bytes = memory::heap(sheet.rules) + memory::heap(sheet.keyframes) + memory::heap(sheet.media_lists) +
                      memory::heap(sheet.attribute_names);
  for (const css::StyleRule& rule : sheet.rules) bytes += declaration_bytes(rule.declarations);
  for (const css::KeyframesRule& rule : sheet.keyframes) {
    bytes += memory::heap(rule.name) + memory::heap(rule.frames);
    for (const css::Keyframe& frame : rule.frames)
      bytes += memory::heap(frame.offsets) + declaration_bytes(frame.declarations);
  }
  return bytes;
}

}  // namespace

std::size_t style_bytes(const ComputedStyle& style) {
  std::size_t bytes = sizeof(ComputedStyle) + memory::heap(style.font_family) + memory::heap(style.background_image) +
                      memory::heap(style.content) + memory::heap(style.transitions) + memory::heap(style.animations);
  for (const std::string& family : style.font_family) bytes += memory::heap(family);
  for (const Animation& a : style.animations) bytes += memory::heap(a.name);
  return bytes;
}

// Entries whose styles only the cache holds any more go: a restyled parent
// leaves its children's entries behind under its old address, and a list
// whose rows come and go would otherwise keep every style it ever had.
void StyleEngine::prune_share_cache() {
  const auto unused = [](const std::shared_ptr<const ComputedStyle>& s) { return !s || s.use_count() == 1; };
  std::erase_if(share_cache_, [&](const auto& entry) {
    const StyleSet& s = entry.second.styles;
    return unused(s.element) && unused(s.before) && unused(s.after);
  });
  prune_at_ = std::max<std::size_t>(512, 2 * share_cache_.size());
}

std::size_t StyleEngine::memory_usage(std::unordered_set<const ComputedStyle*>& styles) const {
  std::size_t bytes = sheet_bytes(defaults_) + sheet_bytes(author_) + memory::heap(media_lists_) +
                      memory::heap(changes_) + memory::heap(share_cache_);
  for (const auto& [key, entry] : share_cache_) {
    bytes += memory::heap(key);
    for (const auto& s : {entry.styles.element, entry.styles.before, entry.styles.after, entry.parent})
      if (s) styles.insert(s.get());
  }
  for (const Change& c : changes_)
    if (c.before) styles.insert(c.before.get());
  return bytes;
}

}  // namespace ostrel::style
