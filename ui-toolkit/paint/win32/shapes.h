// The outlines the Direct2D player fills: rounded boxes, the pieces of a border,
// device-pixel snapping and where an image lands in its box. Plain geometry with
// no Direct2D in it, so the rules can be checked on their own.
//
// Corners are cubic Béziers, never arcs: Direct2D's arcs are wrong under Wine.
#pragma once

#include <vector>

#include "ostrel/image/svg.h"
#include "style/computed.h"

namespace ostrel::paint::win32 {

using image::Point;
using image::Segment;
using image::SegmentKind;
// Closed figures of Move, Line, Cubic and Close segments, as SVG pictures use.
using Path = std::vector<Segment>;

struct Box {
  float left = 0, top = 0, right = 0, bottom = 0;
  float width() const { return right - left; }
  float height() const { return bottom - top; }
  bool empty() const { return !(right > left && bottom > top); }
  friend bool operator==(const Box&, const Box&) = default;
};
Box intersect(const Box& a, const Box& b);

// Corner radii in the order top-left, top-right, bottom-right, bottom-left. The
// two axes differ once a transform stretches one of them.
struct Radii {
  float x[4] = {}, y[4] = {};
  bool any() const;
};

// A 2-D affine map in CSS's matrix(a, b, c, d, e, f) order:
// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
  float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  static Affine scale(float s) { return {s, 0, 0, s, 0, 0}; }
  static Affine translation(float x, float y) { return {1, 0, 0, 1, x, y}; }
  // This map first, then `next`.
  Affine then(const Affine& next) const;
  Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  // Scales and moves without turning or mirroring: boxes stay boxes with the
  // same sides, so they can be snapped to device pixels.
  bool keeps_boxes() const { return b == 0 && c == 0 && a > 0 && d > 0; }
  // Collapses the plane onto a line or a point: nothing drawn through it shows.
  bool degenerate() const;
  Box map_bounds(const Box& box) const;
};

// CSS's rule for radii that do not fit: all of them shrink by the same factor
// until each side holds its two corners.
Radii fit_radii(const Box& box, Radii radii);

// The padding edge inside a border: the box less the widths (top, right,
// bottom, left), never turned inside out, and the radii that go with it.
Box inset(const Box& box, const float widths[4]);
Radii inner_radii(const Radii& outer, const float widths[4]);

// Appends the box as one closed clockwise figure.
void add_rounded_box(Path& path, const Box& box, const Radii& radii);

// The part of a border that side `side` (0 top, 1 right, 2 bottom, 3 left)
// paints, as a browser splits it: corners are shared along the line from the
// outer corner to the inner one. Square corners give trapezoids.
Path border_piece(const Box& outer, const Radii& radii, const float widths[4], int side);

void transform_path(Path& path, const Affine& m);

// A check box's tick filling `box`, as one closed figure.
Path check_mark(const Box& box);
// A drop-down arrow: a small triangle pointing down in the middle of `box`.
Path drop_arrow(const Box& box);

// Device pixels. Edges go to the nearest pixel boundary; a border that is
// there at all keeps at least one whole pixel, so hairlines stay sharp.
Box snap(const Box& device);
float snap_width(float device_width);

// Where an image of the given natural size goes for `fit`, centred as
// object-position's default puts it. It may overflow `bounds` (cover, none);
// the caller clips. Empty when the natural size is not positive.
Box fit_image(const Box& bounds, float natural_width, float natural_height, style::ObjectFit fit);

}  // namespace ostrel::paint::win32
