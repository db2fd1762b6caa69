// Attribute value grammars of SVG: numbers, lengths, colours, paint and
// transform lists. Every parser rejects what it does not fully understand.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "ostrel/image/svg.h"

namespace ostrel::image::detail {

// Parsed numbers are clamped to this magnitude so that later arithmetic
// (squares of radii, products of transforms) stays finite in double.
inline constexpr double max_magnitude = 1e30;

std::string_view trim_space(std::string_view text);

// One number of the SVG grammar at text[pos] ("-1", ".5", "1e-3"; "1.5.5" is
// two numbers), advancing pos past it. No leading white space is skipped.
std::optional<double> scan_number(std::string_view text, std::size_t& pos);
// Skips white space and at most one comma.
void skip_comma_space(std::string_view text, std::size_t& pos);

struct Length {
  double value;  // in px, or in percent when `percent`
  bool percent;
};
// A number with an optional unit (px, pt, pc, mm, cm, in, em, ex or %).
std::optional<Length> parse_length(std::string_view text);
// Opacity values: a number or a percentage, clamped to [0, 1].
std::optional<double> parse_opacity(std::string_view text);

std::optional<Color> parse_color(std::string_view text);

// A paint value; `inherit` means the parent's value is kept.
struct PaintValue {
  bool inherit = false;
  Paint paint;
};
std::optional<PaintValue> parse_paint(std::string_view text);

// x' = a x + c y + e, y' = b x + d y + f
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

  // this transform applied after `inner`
  Matrix multiply(const Matrix& inner) const;
  double apply_x(double x, double y) const { return a * x + c * y + e; }
  double apply_y(double x, double y) const { return b * x + d * y + f; }
  // Mean length of the transformed unit vectors: how stroke widths scale.
  double mean_scale() const;
};
// A transform list ("translate(10) rotate(45 5 5)"); nullopt when malformed,
// which leaves the element untransformed.
std::optional<Matrix> parse_transform(std::string_view text);

}  // namespace ostrel::image::detail
