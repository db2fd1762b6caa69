// Outline building for SVG shapes: path data, arcs, ellipses and rounded
// rectangles, all reduced to moves, lines, cubics and closes.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "ostrel/image/svg.h"
#include "svg_values.h"

namespace ostrel::image::detail {

// Takes points in user space and stores them through `ctm`, charging each
// stored segment to a budget shared by the whole picture. Every operation
// returns false once the budget is spent.
class PathBuilder {
 public:
  PathBuilder(const Matrix& ctm, std::size_t& budget) : ctm_(ctm), budget_(budget) {}

  bool move_to(double x, double y);
  // After a close, drawing continues from the closed subpath's start, which
  // begins a new subpath there.
  bool line_to(double x, double y);
  bool cubic_to(double x1, double y1, double x2, double y2, double x, double y);
  bool quad_to(double qx, double qy, double x, double y);
  // An elliptical arc from the current point, as in path data (angle in degrees).
  bool arc_to(double rx, double ry, double angle, bool large_arc, bool sweep, double x, double y);
  bool close();

  double x() const { return x_; }
  double y() const { return y_; }
  bool started() const { return !segments_.empty(); }
  // True when the outline has something beyond bare moves.
  bool draws() const;
  std::vector<Segment> take() { return std::move(segments_); }

 private:
  bool ensure_subpath();
  bool push(SegmentKind kind, std::initializer_list<double> coords);

  Matrix ctm_;
  std::size_t& budget_;
  std::vector<Segment> segments_;
  double x_ = 0, y_ = 0;
  double start_x_ = 0, start_y_ = 0;
  bool in_subpath_ = false;
};

// Path data ("M10 10 h5 a2 2 0 1 0 4 0 z"). Drawing stops at the first error,
// keeping what came before, the way browsers render a damaged path.
void append_path_data(std::string_view data, PathBuilder& out);
void append_ellipse(PathBuilder& out, double cx, double cy, double rx, double ry);
// rx and ry are already clamped to half the width and height.
void append_rect(PathBuilder& out, double x, double y, double width, double height, double rx, double ry);

}  // namespace ostrel::image::detail
