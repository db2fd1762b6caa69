#include "style/values.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "common/text.h"

namespace ostrel::style {
namespace {

using css::Token;
using css::TokenType;

struct NamedColor {
  std::string_view name;
  std::uint32_t rgb;
};

// The CSS named colours, sorted for binary search.
constexpr NamedColor named_colors[] = {
    {"aliceblue", 0xf0f8ff},
    {"antiquewhite", 0xfaebd7},
    {"aqua", 0x00ffff},
    {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff},
    {"beige", 0xf5f5dc},
    {"bisque", 0xffe4c4},
    {"black", 0x000000},
    {"blanchedalmond", 0xffebcd},
    {"blue", 0x0000ff},
    {"blueviolet", 0x8a2be2},
    {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887},
    {"cadetblue", 0x5f9ea0},
    {"chartreuse", 0x7fff00},
    {"chocolate", 0xd2691e},
    {"coral", 0xff7f50},
    {"cornflowerblue", 0x6495ed},
    {"cornsilk", 0xfff8dc},
    {"crimson", 0xdc143c},
    {"cyan", 0x00ffff},
    {"darkblue", 0x00008b},
    {"darkcyan", 0x008b8b},
    {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xa9a9a9},
    {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b},
    {"darkolivegreen", 0x556b2f},
    {"darkorange", 0xff8c00},
    {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000},
    {"darksalmon", 0xe9967a},
    {"darkseagreen", 0x8fbc8f},
    {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f},
    {"darkslategrey", 0x2f4f4f},
    {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3},
    {"deeppink", 0xff1493},
    {"deepskyblue", 0x00bfff},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1e90ff},
    {"firebrick", 0xb22222},
    {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22},
    {"fuchsia", 0xff00ff},
    {"gainsboro", 0xdcdcdc},
    {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700},
    {"goldenrod", 0xdaa520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xadff2f},
    {"grey", 0x808080},
    {"honeydew", 0xf0fff0},
    {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c},
    {"indigo", 0x4b0082},
    {"ivory", 0xfffff0},
    {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa},
    {"lavenderblush", 0xfff0f5},
    {"lawngreen", 0x7cfc00},
    {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6},
    {"lightcoral", 0xf08080},
    {"lightcyan", 0xe0ffff},
    {"lightgoldenrodyellow", 0xfafad2},
    {"lightgray", 0xd3d3d3},
    {"lightgreen", 0x90ee90},
    {"lightgrey", 0xd3d3d3},
    {"lightpink", 0xffb6c1},
    {"lightsalmon", 0xffa07a},
    {"lightseagreen", 0x20b2aa},
    {"lightskyblue", 0x87cefa},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xb0c4de},
    {"lightyellow", 0xffffe0},
    {"lime", 0x00ff00},
    {"limegreen", 0x32cd32},
    {"linen", 0xfaf0e6},
    {"magenta", 0xff00ff},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66cdaa},
    {"mediumblue", 0x0000cd},
    {"mediumorchid", 0xba55d3},
    {"mediumpurple", 0x9370db},
    {"mediumseagreen", 0x3cb371},
    {"mediumslateblue", 0x7b68ee},
    {"mediumspringgreen", 0x00fa9a},
    {"mediumturquoise", 0x48d1cc},
    {"mediumvioletred", 0xc71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xf5fffa},
    {"mistyrose", 0xffe4e1},
    {"moccasin", 0xffe4b5},
    {"navajowhite", 0xffdead},
    {"navy", 0x000080},
    {"oldlace", 0xfdf5e6},
    {"olive", 0x808000},
    {"olivedrab", 0x6b8e23},
    {"orange", 0xffa500},
    {"orangered", 0xff4500},
    {"orchid", 0xda70d6},
    {"palegoldenrod", 0xeee8aa},
    {"palegreen", 0x98fb98},
    {"paleturquoise", 0xafeeee},
    {"palevioletred", 0xdb7093},
    {"papayawhip", 0xffefd5},
    {"peachpuff", 0xffdab9},
    {"peru", 0xcd853f},
    {"pink", 0xffc0cb},
    {"plum", 0xdda0dd},
    {"powderblue", 0xb0e0e6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xff0000},
    {"rosybrown", 0xbc8f8f},
    {"royalblue", 0x4169e1},
    {"saddlebrown", 0x8b4513},
    {"salmon", 0xfa8072},
    {"sandybrown", 0xf4a460},
    {"seagreen", 0x2e8b57},
    {"seashell", 0xfff5ee},
    {"sienna", 0xa0522d},
    {"silver", 0xc0c0c0},
    {"skyblue", 0x87ceeb},
    {"slateblue", 0x6a5acd},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xfffafa},
    {"springgreen", 0x00ff7f},
    {"steelblue", 0x4682b4},
    {"tan", 0xd2b48c},
    {"teal", 0x008080},
    {"thistle", 0xd8bfd8},
    {"tomato", 0xff6347},
    {"turquoise", 0x40e0d0},
    {"violet", 0xee82ee},
    {"wheat", 0xf5deb3},
    {"white", 0xffffff},
    {"whitesmoke", 0xf5f5f5},
    {"yellow", 0xffff00},
    {"yellowgreen", 0x9acd32},
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = vx::ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<Color> parse_hex(std::string_view h) {
  for (char c : h)
    if (hex_value(c) < 0) return std::nullopt;
  auto nib = [&](std::size_t i) { return static_cast<std::uint8_t>(hex_value(h[i]) * 17); };
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(hex_value(h[i]) * 16 + hex_value(h[i + 1])); };
  switch (h.size()) {
    case 3:
      return Color{nib(0), nib(1), nib(2), 255};
    case 4:
      return Color{nib(0), nib(1), nib(2), nib(3)};
    case 6:
      return Color{byte(0), byte(2), byte(4), 255};
    case 8:
      return Color{byte(0), byte(2), byte(4), byte(6)};
    default:
      return std::nullopt;
  }
}

std::uint8_t clamp_byte(float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f))); }

// Arguments of rgb()/hsl(): numbers and percentages separated by commas,
// white space or "/" (the alpha).
std::vector<const Token*> function_arguments(const Token& fn) {
  std::vector<const Token*> out;
  for (const Token& t : fn.children) {
    if (t.type == TokenType::whitespace || t.type == TokenType::comma) continue;
    if (t.type == TokenType::delim && t.text == "/") continue;
    out.push_back(&t);
  }
  return out;
}

float hue_to_rgb(float p, float q, float t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0f / 6) return p + (q - p) * 6 * t;
  if (t < 0.5f) return q;
  if (t < 2.0f / 3) return p + (q - p) * (2.0f / 3 - t) * 6;
  return p;
}

std::optional<float> alpha_of(const Token& t) {
  if (t.type == TokenType::number) return std::clamp(static_cast<float>(t.number), 0.0f, 1.0f);
  if (t.type == TokenType::percentage) return std::clamp(static_cast<float>(t.number) / 100.0f, 0.0f, 1.0f);
  return std::nullopt;
}

}  // namespace

float TimingFunction::apply(float t) const {
  t = std::clamp(t, 0.0f, 1.0f);
  switch (kind) {
    case linear:
      return t;
    case steps_start:
      return std::min(1.0f, std::ceil(t * steps) / steps);
    case steps_end:
      return std::floor(t * steps) / steps;
    case cubic:
      break;
  }
  // Solve x(u) = t for the Bézier parameter u by Newton steps, then bisection.
  auto bez = [](float p1, float p2, float u) {
    const float v = 1 - u;
    return 3 * v * v * u * p1 + 3 * v * u * u * p2 + u * u * u;
  };
  float u = t;
  for (int i = 0; i < 8; ++i) {
    const float x = bez(x1, x2, u) - t;
    const float v = 1 - u;
    const float dx = 3 * v * v * x1 + 6 * v * u * (x2 - x1) + 3 * u * u * (1 - x2);
    if (std::fabs(x) < 1e-5f) return bez(y1, y2, u);
    if (std::fabs(dx) < 1e-6f) break;
    u = std::clamp(u - x / dx, 0.0f, 1.0f);
  }
  float lo = 0, hi = 1;
  u = t;
  for (int i = 0; i < 30; ++i) {
    const float x = bez(x1, x2, u);
    if (std::fabs(x - t) < 1e-5f) break;
    (x < t ? lo : hi) = u;
    u = (lo + hi) / 2;
  }
  return bez(y1, y2, u);
}

Words words_of(const css::TokenList& value) {
  Words out;
  for (const Token& t : value)
    if (t.type != TokenType::whitespace) out.push_back(&t);
  return out;
}

std::vector<Words> comma_separated(const css::TokenList& value) {
  std::vector<Words> out(1);
  for (const Token& t : value) {
    if (t.type == TokenType::comma)
      out.emplace_back();
    else if (t.type != TokenType::whitespace)
      out.back().push_back(&t);
  }
  return out;
}

bool is_ident(const css::Token* t, std::string_view name) {
  return t && t->type == TokenType::ident && vx::iequals_ascii(t->text, name);
}

namespace {

// Numbers beyond these are clamped, as browsers saturate their layout units:
// a float must not become infinite on its way into a style.
constexpr double max_length_px = 33554428.0;
constexpr double max_number = 1e9;

float bounded(double v, double limit) { return static_cast<float>(std::clamp(v, -limit, limit)); }

}  // namespace

std::optional<float> parse_number(const Token& t) {
  if (t.type == TokenType::number && std::isfinite(t.number)) return bounded(t.number, max_number);
  return std::nullopt;
}

std::optional<Length> parse_length(const Token& t, const UnitContext& units, bool allow_percent, bool allow_negative) {
  if (!std::isfinite(t.number)) return std::nullopt;
  if (!allow_negative && t.number < 0) return std::nullopt;
  const double v = t.number;
  auto px = [](double d) { return Length::px(bounded(d, max_length_px)); };
  switch (t.type) {
    case TokenType::number:
      if (v == 0) return Length::px(0);  // a unitless zero is a length
      return std::nullopt;
    case TokenType::percentage:
      if (!allow_percent) return std::nullopt;
      return Length::percent(bounded(v, max_length_px));
    case TokenType::dimension: {
      const std::string& u = t.text;
      if (u == "px") return px(v);
      if (u == "em") return px(v * units.font_size);
      if (u == "rem") return px(v * units.root_font_size);
      if (u == "pt") return px(v * 96.0 / 72.0);
      if (u == "pc") return px(v * 16.0);
      if (u == "in") return px(v * 96.0);
      if (u == "cm") return px(v * 96.0 / 2.54);
      if (u == "mm") return px(v * 96.0 / 25.4);
      if (u == "vw") return px(v * units.viewport_width / 100.0);
      if (u == "vh") return px(v * units.viewport_height / 100.0);
      if (u == "ex") return px(v * units.font_size * 0.5);
      if (u == "ch") return px(v * units.font_size * 0.5);
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

std::optional<float> parse_time(const Token& t) {
  if (t.type == TokenType::number && t.number == 0) return 0.0f;
  if (t.type != TokenType::dimension || !std::isfinite(t.number)) return std::nullopt;
  if (t.text == "s") return bounded(t.number, max_number);
  if (t.text == "ms") return bounded(t.number / 1000.0, max_number);
  return std::nullopt;
}

std::optional<float> parse_angle(const Token& t) {
  if (t.type == TokenType::number && t.number == 0) return 0.0f;
  if (t.type != TokenType::dimension || !std::isfinite(t.number)) return std::nullopt;
  // Not reduced to one turn: an animation from 0 to 360deg must still turn.
  const double v = t.number;
  if (t.text == "deg") return bounded(v, max_number);
  if (t.text == "rad") return bounded(v * 57.29577951308232, max_number);
  if (t.text == "turn") return bounded(v * 360.0, max_number);
  if (t.text == "grad") return bounded(v * 0.9, max_number);
  return std::nullopt;
}

std::optional<Color> parse_color(const Token& t, bool* current) {
  if (current) *current = false;
  if (t.type == TokenType::hash) return parse_hex(t.text);
  if (t.type == TokenType::ident) {
    const std::string name = vx::ascii_lower(t.text);
    if (name == "transparent") return Color{0, 0, 0, 0};
    if (name == "currentcolor") {
      if (current) *current = true;
      return Color{0, 0, 0, 255};
    }
    auto it = std::lower_bound(std::begin(named_colors), std::end(named_colors), name,
                               [](const NamedColor& c, const std::string& n) { return c.name < n; });
    if (it == std::end(named_colors) || it->name != name) return std::nullopt;
    return Color{static_cast<std::uint8_t>(it->rgb >> 16), static_cast<std::uint8_t>(it->rgb >> 8),
                 static_cast<std::uint8_t>(it->rgb), 255};
  }
  if (t.type != TokenType::function) return std::nullopt;
  const std::string fn = vx::ascii_lower(t.text);
  const auto args = function_arguments(t);
  if (args.size() != 3 && args.size() != 4) return std::nullopt;
  float alpha = 1;
  if (args.size() == 4) {
    const auto a = alpha_of(*args[3]);
    if (!a) return std::nullopt;
    alpha = *a;
  }
  if (fn == "rgb" || fn == "rgba") {
    float c[3];
    for (int i = 0; i < 3; ++i) {
      const Token& a = *args[static_cast<std::size_t>(i)];
      if (a.type == TokenType::number)
        c[i] = static_cast<float>(a.number);
      else if (a.type == TokenType::percentage)
        c[i] = static_cast<float>(a.number) * 2.55f;
      else
        return std::nullopt;
    }
    return Color{clamp_byte(c[0]), clamp_byte(c[1]), clamp_byte(c[2]), clamp_byte(alpha * 255)};
  }
  if (fn == "hsl" || fn == "hsla") {
    std::optional<float> h =
        args[0]->type == TokenType::number ? std::optional(static_cast<float>(args[0]->number)) : parse_angle(*args[0]);
    if (!h || args[1]->type != TokenType::percentage || args[2]->type != TokenType::percentage) return std::nullopt;
    const float hue = std::fmod(std::fmod(*h, 360.0f) + 360.0f, 360.0f) / 360.0f;
    const float s = std::clamp(static_cast<float>(args[1]->number) / 100.0f, 0.0f, 1.0f);
    const float l = std::clamp(static_cast<float>(args[2]->number) / 100.0f, 0.0f, 1.0f);
    const float q = l < 0.5f ? l * (1 + s) : l + s - l * s;
    const float p = 2 * l - q;
    return Color{clamp_byte(hue_to_rgb(p, q, hue + 1.0f / 3) * 255), clamp_byte(hue_to_rgb(p, q, hue) * 255),
                 clamp_byte(hue_to_rgb(p, q, hue - 1.0f / 3) * 255), clamp_byte(alpha * 255)};
  }
  return std::nullopt;
}

std::optional<TimingFunction> parse_timing_function(const Token& t) {
  if (t.type == TokenType::ident) {
    const std::string n = vx::ascii_lower(t.text);
    if (n == "linear") return TimingFunction{TimingFunction::linear};
    if (n == "ease") return TimingFunction{TimingFunction::cubic, 0.25f, 0.1f, 0.25f, 1.0f};
    if (n == "ease-in") return TimingFunction{TimingFunction::cubic, 0.42f, 0, 1, 1};
    if (n == "ease-out") return TimingFunction{TimingFunction::cubic, 0, 0, 0.58f, 1};
    if (n == "ease-in-out") return TimingFunction{TimingFunction::cubic, 0.42f, 0, 0.58f, 1};
    if (n == "step-start") return TimingFunction{TimingFunction::steps_start, 0, 0, 0, 0, 1};
    if (n == "step-end") return TimingFunction{TimingFunction::steps_end, 0, 0, 0, 0, 1};
    return std::nullopt;
  }
  if (t.type != TokenType::function) return std::nullopt;
  const std::string fn = vx::ascii_lower(t.text);
  const auto args = function_arguments(t);
  if (fn == "cubic-bezier" && args.size() == 4) {
    float v[4];
    for (int i = 0; i < 4; ++i) {
      const auto n = parse_number(*args[static_cast<std::size_t>(i)]);
      if (!n) return std::nullopt;
      v[i] = *n;
    }
    if (v[0] < 0 || v[0] > 1 || v[2] < 0 || v[2] > 1) return std::nullopt;
    return TimingFunction{TimingFunction::cubic, v[0], v[1], v[2], v[3]};
  }
  if (fn == "steps" && !args.empty() && args[0]->type == TokenType::number && args[0]->number >= 1 &&
      args[0]->number <= 10000) {
    TimingFunction f{TimingFunction::steps_end, 0, 0, 0, 0, static_cast<int>(args[0]->number)};
    if (args.size() > 1 && (is_ident(args[1], "start") || is_ident(args[1], "jump-start")))
      f.kind = TimingFunction::steps_start;
    return f;
  }
  return std::nullopt;
}

Transform Transform::rotation(float deg) {
  const float r = deg * 3.14159265f / 180.0f;
  Transform t{std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0};
  t.degrees = deg;
  return t;
}

std::optional<Transform> parse_transform(const Words& words, const UnitContext& units) {
  Transform m;
  if (words.size() == 1 && words[0]->type == TokenType::function && vx::iequals_ascii(words[0]->text, "rotate")) {
    const auto args = function_arguments(*words[0]);
    if (args.size() != 1) return std::nullopt;
    const auto deg = parse_angle(*args[0]);
    if (!deg) return std::nullopt;
    return Transform::rotation(*deg);
  }
  if (words.size() == 1 && is_ident(words[0], "none")) return m;
  auto multiply = [&m](const Transform& n) {
    m = Transform{m.a * n.a + m.c * n.b, m.b * n.a + m.d * n.b,       m.a * n.c + m.c * n.d,
                  m.b * n.c + m.d * n.d, m.a * n.e + m.c * n.f + m.e, m.b * n.e + m.d * n.f + m.f};
  };
  m.pure_rotation = false;
  for (const Token* w : words) {
    if (w->type != TokenType::function) return std::nullopt;
    const std::string fn = vx::ascii_lower(w->text);
    const auto args = function_arguments(*w);
    if (fn == "rotate" && args.size() == 1) {
      const auto deg = parse_angle(*args[0]);
      if (!deg) return std::nullopt;
      const float r = *deg * 3.14159265f / 180.0f;
      multiply({std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0});
    } else if ((fn == "translate" || fn == "translatex" || fn == "translatey") && !args.empty() && args.size() <= 2) {
      const auto x = parse_length(*args[0], units, false);
      const auto y = args.size() > 1 ? parse_length(*args[1], units, false) : std::optional(Length::px(0));
      if (!x || !y) return std::nullopt;
      if (fn == "translatey")
        multiply({1, 0, 0, 1, 0, x->value});
      else
        multiply({1, 0, 0, 1, x->value, y->value});
    } else if ((fn == "scale" || fn == "scalex" || fn == "scaley") && !args.empty() && args.size() <= 2) {
      const auto x = parse_number(*args[0]);
      const auto y = args.size() > 1 ? parse_number(*args[1]) : x;
      if (!x || !y) return std::nullopt;
      if (fn == "scalex")
        multiply({*x, 0, 0, 1, 0, 0});
      else if (fn == "scaley")
        multiply({1, 0, 0, *x, 0, 0});
      else
        multiply({*x, 0, 0, *y, 0, 0});
    } else if (fn == "matrix" && args.size() == 6) {
      float v[6];
      for (std::size_t i = 0; i < 6; ++i) {
        const auto n = parse_number(*args[i]);
        if (!n) return std::nullopt;
        v[i] = *n;
      }
      multiply({v[0], v[1], v[2], v[3], v[4], v[5]});
    } else {
      return std::nullopt;
    }
  }
  return m;
}

}  // namespace ostrel::style
