#include "svg_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <system_error>

#include "common/text.h"
#include "xml.h"

namespace ostrel::image::detail {
namespace {

// No sane file writes a number this long; the bound keeps conversion cheap.
constexpr std::size_t max_number_length = 64;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t skip_digits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_digit(text[pos])) ++pos;
  return pos;
}

double clamp_magnitude(double v) {
  if (std::fabs(v) < 1e-30) return 0;
  return std::clamp(v, -max_magnitude, max_magnitude);
}

std::optional<double> unit_factor(std::string_view unit) {
  struct Unit {
    std::string_view name;
    double px;
  };
  // CSS absolute units at 96 px per inch; em and ex against the 16 px default font.
  static constexpr Unit units[] = {{"", 1},           {"px", 1},  {"pt", 96.0 / 72}, {"pc", 16}, {"mm", 96 / 25.4},
                                   {"cm", 96 / 2.54}, {"in", 96}, {"em", 16},        {"ex", 8}};
  for (const Unit& u : units) {
    if (vx::iequals_ascii(unit, u.name)) return u.px;
  }
  return std::nullopt;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<Color> parse_hex_color(std::string_view hex) {
  int digits[8];
  for (std::size_t i = 0; i < hex.size(); ++i) {
    if (i >= 8 || (digits[i] = hex_value(hex[i])) < 0) return std::nullopt;
  }
  const auto short_form = [&](std::size_t i) { return static_cast<std::uint8_t>(digits[i] * 17); };
  const auto long_form = [&](std::size_t i) { return static_cast<std::uint8_t>(digits[i] * 16 + digits[i + 1]); };
  switch (hex.size()) {
    case 3:
      return Color{short_form(0), short_form(1), short_form(2), 255};
    case 4:
      return Color{short_form(0), short_form(1), short_form(2), short_form(3)};
    case 6:
      return Color{long_form(0), long_form(2), long_form(4), 255};
    case 8:
      return Color{long_form(0), long_form(2), long_form(4), long_form(6)};
    default:
      return std::nullopt;
  }
}

std::uint8_t to_channel(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// rgb(...) and rgba(...), with commas or the space-and-slash form.
std::optional<Color> parse_rgb_function(std::string_view args) {
  double values[4] = {0, 0, 0, 1};
  std::size_t count = 0;
  std::size_t pos = 0;
  for (;;) {
    while (pos < args.size() && is_xml_space(args[pos])) ++pos;
    if (pos >= args.size()) break;
    if (count == 4) return std::nullopt;
    if (count == 3 && args[pos] == '/') {
      ++pos;
      while (pos < args.size() && is_xml_space(args[pos])) ++pos;
    }
    auto v = scan_number(args, pos);
    if (!v) return std::nullopt;
    const bool percent = pos < args.size() && args[pos] == '%';
    if (percent) ++pos;
    if (count < 3) {
      values[count] = percent ? *v * 255 / 100 : *v;
    } else {
      values[count] = percent ? *v / 100 : *v;
    }
    ++count;
    while (pos < args.size() && is_xml_space(args[pos])) ++pos;
    if (pos < args.size() && args[pos] == ',') ++pos;
  }
  if (count < 3) return std::nullopt;
  return Color{to_channel(values[0]), to_channel(values[1]), to_channel(values[2]),
               to_channel(std::clamp(values[3], 0.0, 1.0) * 255)};
}

std::optional<Color> named_color(std::string_view name) {
  struct Named {
    std::string_view name;
    std::uint32_t rgb;
  };
  static constexpr Named names[] = {
      {"black", 0x000000},    {"white", 0xFFFFFF},      {"red", 0xFF0000},       {"green", 0x008000},
      {"blue", 0x0000FF},     {"yellow", 0xFFFF00},     {"gray", 0x808080},      {"grey", 0x808080},
      {"silver", 0xC0C0C0},   {"orange", 0xFFA500},     {"purple", 0x800080},    {"navy", 0x000080},
      {"teal", 0x008080},     {"maroon", 0x800000},     {"lime", 0x00FF00},      {"aqua", 0x00FFFF},
      {"cyan", 0x00FFFF},     {"fuchsia", 0xFF00FF},    {"magenta", 0xFF00FF},   {"olive", 0x808000},
      {"pink", 0xFFC0CB},     {"brown", 0xA52A2A},      {"gold", 0xFFD700},      {"darkgray", 0xA9A9A9},
      {"darkgrey", 0xA9A9A9}, {"lightgray", 0xD3D3D3},  {"lightgrey", 0xD3D3D3}, {"dimgray", 0x696969},
      {"dimgrey", 0x696969},  {"whitesmoke", 0xF5F5F5}, {"gainsboro", 0xDCDCDC}, {"darkblue", 0x00008B},
      {"darkred", 0x8B0000},  {"darkgreen", 0x006400},  {"steelblue", 0x4682B4}, {"dodgerblue", 0x1E90FF},
      {"crimson", 0xDC143C},  {"tomato", 0xFF6347},     {"indigo", 0x4B0082},    {"violet", 0xEE82EE},
  };
  if (vx::iequals_ascii(name, "transparent")) return Color{0, 0, 0, 0};
  for (const Named& n : names) {
    if (vx::iequals_ascii(name, n.name)) {
      return Color{static_cast<std::uint8_t>(n.rgb >> 16), static_cast<std::uint8_t>(n.rgb >> 8),
                   static_cast<std::uint8_t>(n.rgb), 255};
    }
  }
  return std::nullopt;
}

}  // namespace

std::string_view trim_space(std::string_view text) {
  while (!text.empty() && is_xml_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_xml_space(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<double> scan_number(std::string_view text, std::size_t& pos) {
  std::size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const std::size_t mantissa = p;
  p = skip_digits(text, p);
  bool digits = p > mantissa;
  if (p < text.size() && text[p] == '.') {
    const std::size_t fraction = p + 1;
    const std::size_t end = skip_digits(text, fraction);
    if (end > fraction || digits) p = end;
    digits = digits || end > fraction;
  }
  if (!digits) return std::nullopt;
  bool negative_exponent = false;
  // The exponent belongs to the number only when digits follow it: in "1em"
  // or "2e" the e starts something else.
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    std::size_t e = p + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) negative_exponent = text[e++] == '-';
    const std::size_t end = skip_digits(text, e);
    if (end > e) p = end;
  }
  if (p - mantissa > max_number_length) return std::nullopt;

  double value = 0;
  const char* first = text.data() + mantissa;
  const char* last = text.data() + p;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    if (!negative_exponent) return std::nullopt;
    value = 0;
  } else if (ec != std::errc() || ptr != last) {
    return std::nullopt;
  }
  pos = p;
  return clamp_magnitude(negative ? -value : value);
}

void skip_comma_space(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && is_xml_space(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == ',') {
    ++pos;
    while (pos < text.size() && is_xml_space(text[pos])) ++pos;
  }
}

std::optional<Length> parse_length(std::string_view text) {
  text = trim_space(text);
  std::size_t pos = 0;
  const auto v = scan_number(text, pos);
  if (!v) return std::nullopt;
  const std::string_view unit = text.substr(pos);
  if (unit == "%") return Length{*v, true};
  const auto factor = unit_factor(unit);
  if (!factor) return std::nullopt;
  return Length{clamp_magnitude(*v * *factor), false};
}

std::optional<double> parse_opacity(std::string_view text) {
  text = trim_space(text);
  std::size_t pos = 0;
  auto v = scan_number(text, pos);
  if (!v) return std::nullopt;
  if (pos < text.size() && text[pos] == '%') {
    ++pos;
    *v /= 100;
  }
  if (pos != text.size()) return std::nullopt;
  return std::clamp(*v, 0.0, 1.0);
}

std::optional<Color> parse_color(std::string_view text) {
  text = trim_space(text);
  if (text.starts_with('#')) return parse_hex_color(text.substr(1));
  for (std::string_view fn : {"rgba(", "rgb("}) {
    if (vx::starts_with_ascii_ci(text, fn)) {
      if (!text.ends_with(')')) return std::nullopt;
      return parse_rgb_function(text.substr(fn.size(), text.size() - fn.size() - 1));
    }
  }
  return named_color(text);
}

std::optional<PaintValue> parse_paint(std::string_view text) {
  text = trim_space(text);
  PaintValue out;
  if (vx::iequals_ascii(text, "none")) return out;
  if (vx::iequals_ascii(text, "inherit")) {
    out.inherit = true;
    return out;
  }
  if (vx::iequals_ascii(text, "currentColor")) {
    out.paint.none = false;
    out.paint.current_color = true;
    return out;
  }
  if (vx::starts_with_ascii_ci(text, "url(")) {
    // Paint servers (gradients, patterns) are not drawn: use the fallback
    // colour after the reference, or nothing, as for a missing reference.
    const std::size_t close = text.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view fallback = trim_space(text.substr(close + 1));
    if (fallback.empty()) return out;
    auto inner = parse_paint(fallback);
    if (!inner || inner->inherit || vx::starts_with_ascii_ci(fallback, "url(")) return std::nullopt;
    return inner;
  }
  const auto color = parse_color(text);
  if (!color) return std::nullopt;
  out.paint.none = false;
  out.paint.color = *color;
  return out;
}

Matrix Matrix::multiply(const Matrix& m) const {
  const auto clamp = [](double v) { return std::isfinite(v) ? std::clamp(v, -max_magnitude, max_magnitude) : 0.0; };
  return {clamp(a * m.a + c * m.b), clamp(b * m.a + d * m.b),     clamp(a * m.c + c * m.d),
          clamp(b * m.c + d * m.d), clamp(a * m.e + c * m.f + e), clamp(b * m.e + d * m.f + f)};
}

double Matrix::mean_scale() const { return (std::hypot(a, b) + std::hypot(c, d)) / 2; }

std::optional<Matrix> parse_transform(std::string_view text) {
  Matrix result;
  std::size_t pos = 0;
  const auto skip_space = [&] {
    while (pos < text.size() && is_xml_space(text[pos])) ++pos;
  };
  for (;;) {
    skip_comma_space(text, pos);
    if (pos >= text.size()) return result;
    const std::size_t name_start = pos;
    while (pos < text.size() && ((text[pos] >= 'a' && text[pos] <= 'z') || (text[pos] >= 'A' && text[pos] <= 'Z'))) {
      ++pos;
    }
    const std::string_view name = text.substr(name_start, pos - name_start);
    skip_space();
    if (pos >= text.size() || text[pos] != '(') return std::nullopt;
    ++pos;
    double args[6];
    std::size_t count = 0;
    for (;;) {
      skip_space();
      if (pos < text.size() && text[pos] == ')') break;
      if (count == 6) return std::nullopt;
      const auto v = scan_number(text, pos);
      if (!v) return std::nullopt;
      args[count++] = *v;
      skip_comma_space(text, pos);
    }
    ++pos;

    Matrix m;
    const auto radians = [](double degrees) { return std::fmod(degrees, 360.0) * std::numbers::pi / 180; };
    if (name == "matrix" && count == 6) {
      m = {args[0], args[1], args[2], args[3], args[4], args[5]};
    } else if (name == "translate" && (count == 1 || count == 2)) {
      m.e = args[0];
      m.f = count == 2 ? args[1] : 0;
    } else if (name == "scale" && (count == 1 || count == 2)) {
      m.a = args[0];
      m.d = count == 2 ? args[1] : args[0];
    } else if (name == "rotate" && (count == 1 || count == 3)) {
      const double t = radians(args[0]);
      const double cs = std::cos(t), sn = std::sin(t);
      m = {cs, sn, -sn, cs, 0, 0};
      if (count == 3) {
        // rotate(a, cx, cy) = translate(cx, cy) rotate(a) translate(-cx, -cy)
        m.e = args[1] - cs * args[1] + sn * args[2];
        m.f = args[2] - sn * args[1] - cs * args[2];
      }
    } else if (name == "skewX" && count == 1) {
      m.c = std::tan(radians(args[0]));
    } else if (name == "skewY" && count == 1) {
      m.b = std::tan(radians(args[0]));
    } else {
      return std::nullopt;
    }
    result = result.multiply(m);
  }
}

}  // namespace ostrel::image::detail
