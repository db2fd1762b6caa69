// SVG documents as flat lists of filled and stroked outlines.
//
// Only the static drawing subset is read: shapes, groups, transforms and the
// presentation properties for solid paint. Everything else (gradients, text,
// <use>, filters, CSS in <style>) is skipped with its subtree, so an unusual
// file draws partially instead of failing. Coordinates stay in the document's
// user space (the viewBox space); the renderer maps view_box onto the size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrel::image {

// Bounds for hostile files: deeper elements are skipped, and once the budget
// is spent no further shapes or segments are added.
inline constexpr std::size_t max_svg_depth = 64;
inline constexpr std::size_t max_svg_shapes = 20000;
inline constexpr std::size_t max_svg_segments = 100000;

// True when the first element (after an optional UTF-8 BOM, white space, the
// XML declaration, comments and a doctype) is <svg. Meant for sniffing the
// start of a file; it does not check the rest.
bool looks_like_svg(std::string_view bytes) noexcept;

struct Point {
  float x, y;
};

enum class SegmentKind : std::uint8_t { Move, Line, Cubic, Close };

// Move and Line use p[0]; Cubic uses control1 = p[0], control2 = p[1],
// end = p[2]; Close uses none. Every subpath starts with a Move.
struct Segment {
  SegmentKind kind;
  Point p[3];
};

struct Color {
  std::uint8_t r, g, b, a;
};

// current_color: the renderer substitutes the host's text colour and uses only
// color.a (which carries fill-opacity / stroke-opacity).
struct Paint {
  bool none = true;
  bool current_color = false;
  Color color{};
};

struct SvgShape {
  std::vector<Segment> path;
  Paint fill;
  Paint stroke;
  float stroke_width = 1;  // already scaled by the shape's transform
  float opacity = 1;       // product of the element's and its groups' opacity
  bool even_odd = false;
};

struct SvgPicture {
  float width = 0, height = 0;  // natural size in CSS pixels
  float view_box[4] = {};       // min-x, min-y, width, height
  bool has_view_box = false;
  std::vector<SvgShape> shapes;
};

// nullopt when the text is not XML with an <svg> root, or the markup is broken
// before the root closes. Running out of input while elements are still open
// is not an error: whatever was complete is kept.
std::optional<SvgPicture> parse_svg(std::string_view text);

}  // namespace ostrel::image
