#include "paint/win32/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrel::paint::win32 {
namespace {

constexpr float quarter = std::numbers::pi_v<float> / 2;

// Which sides meet at corner `c`: the horizontal one (top or bottom) and the
// vertical one (left or right), as indices into the widths.
int horizontal_side(int c) { return c < 2 ? 0 : 2; }
int vertical_side(int c) { return c == 0 || c == 3 ? 3 : 1; }

struct Ellipse {
  Point centre;
  float rx, ry;
  Point at(float angle) const { return {centre.x + rx * std::cos(angle), centre.y + ry * std::sin(angle)}; }
  bool round() const { return rx > 0 && ry > 0; }
};

// Corner `c` runs clockwise (y down) from this angle over a quarter turn:
// top-left from the left side up to the top side, and so on round the box.
float corner_start(int c) { return quarter * static_cast<float>(2 + c); }

Point corner_point(const Box& b, int c) { return {c == 0 || c == 3 ? b.left : b.right, c < 2 ? b.top : b.bottom}; }

Ellipse corner_ellipse(const Box& b, const Radii& r, int c) {
  const Point p = corner_point(b, c);
  const float sx = c == 0 || c == 3 ? 1.0f : -1.0f, sy = c < 2 ? 1.0f : -1.0f;
  return {{p.x + sx * r.x[c], p.y + sy * r.y[c]}, r.x[c], r.y[c]};
}

// One cubic for an elliptical arc of at most a quarter turn (either way); the
// control length 4/3 tan(span/4) keeps it within 0.03% of the true curve.
void add_arc(Path& path, const Ellipse& e, float from, float to) {
  if (!e.round() || from == to) return;
  const float k = 4.0f / 3.0f * std::tan((to - from) / 4);
  const Point p0 = e.at(from), p3 = e.at(to);
  const Point c1{p0.x - k * e.rx * std::sin(from), p0.y + k * e.ry * std::cos(from)};
  const Point c2{p3.x + k * e.rx * std::sin(to), p3.y - k * e.ry * std::cos(to)};
  path.push_back({SegmentKind::Cubic, {c1, c2, p3}});
}

void move_to(Path& path, Point p) { path.push_back({SegmentKind::Move, {p}}); }
void line_to(Path& path, Point p) { path.push_back({SegmentKind::Line, {p}}); }
void close(Path& path) { path.push_back({SegmentKind::Close, {}}); }

// Where the line from `from` along `dir` first meets the corner's ellipse, as
// an angle inside the corner. `from` is the corner of the ellipse's bounding
// box, so a direction into the box always meets it.
float split_angle(const Ellipse& e, Point from, Point dir, int c) {
  const float start = corner_start(c), middle = start + quarter / 2;
  const float u0 = (from.x - e.centre.x) / e.rx, v0 = (from.y - e.centre.y) / e.ry;
  const float du = dir.x / e.rx, dv = dir.y / e.ry;
  const float a = du * du + dv * dv, b = u0 * du + v0 * dv, cc = u0 * u0 + v0 * v0 - 1;
  const float disc = b * b - a * cc;
  if (!(a > 0) || disc < 0) return middle;
  const float s = (-b - std::sqrt(disc)) / a;
  float angle = std::atan2(v0 + s * dv, u0 + s * du);
  while (angle < start - quarter) angle += 4 * quarter;
  return std::clamp(angle, start, start + quarter);
}

}  // namespace

Box intersect(const Box& a, const Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool Radii::any() const {
  for (int i = 0; i < 4; ++i)
    if (x[i] > 0 && y[i] > 0) return true;
  return false;
}

Affine Affine::then(const Affine& n) const {
  return {n.a * a + n.c * b, n.b * a + n.d * b,       n.a * c + n.c * d,
          n.b * c + n.d * d, n.a * e + n.c * f + n.e, n.b * e + n.d * f + n.f};
}

bool Affine::degenerate() const { return !(std::abs(a * d - b * c) > 1e-9f); }

Box Affine::map_bounds(const Box& box) const {
  const Point p[4] = {apply({box.left, box.top}), apply({box.right, box.top}), apply({box.right, box.bottom}),
                      apply({box.left, box.bottom})};
  Box out{p[0].x, p[0].y, p[0].x, p[0].y};
  for (const Point& q : p) {
    out.left = std::min(out.left, q.x);
    out.top = std::min(out.top, q.y);
    out.right = std::max(out.right, q.x);
    out.bottom = std::max(out.bottom, q.y);
  }
  return out;
}

Radii fit_radii(const Box& box, Radii r) {
  for (int i = 0; i < 4; ++i) {
    // A corner with one zero radius is square.
    if (!(r.x[i] > 0 && r.y[i] > 0)) r.x[i] = r.y[i] = 0;
  }
  const float w = std::max(0.0f, box.width()), h = std::max(0.0f, box.height());
  float f = 1;
  auto limit = [&](float side, float sum) {
    if (sum > side) f = std::min(f, side / sum);
  };
  limit(w, r.x[0] + r.x[1]);
  limit(w, r.x[3] + r.x[2]);
  limit(h, r.y[0] + r.y[3]);
  limit(h, r.y[1] + r.y[2]);
  if (f < 1)
    for (int i = 0; i < 4; ++i) r.x[i] *= f, r.y[i] *= f;
  return r;
}

Box inset(const Box& b, const float w[4]) {
  Box in{b.left + std::max(0.0f, w[3]), b.top + std::max(0.0f, w[0]), b.right - std::max(0.0f, w[1]),
         b.bottom - std::max(0.0f, w[2])};
  // Borders wider than the box meet where their widths say, not past each other.
  if (in.left > in.right) {
    const float total = std::max(0.0f, w[3]) + std::max(0.0f, w[1]);
    in.left = in.right = total > 0 ? b.left + b.width() * std::max(0.0f, w[3]) / total : b.left;
  }
  if (in.top > in.bottom) {
    const float total = std::max(0.0f, w[0]) + std::max(0.0f, w[2]);
    in.top = in.bottom = total > 0 ? b.top + b.height() * std::max(0.0f, w[0]) / total : b.top;
  }
  return in;
}

Radii inner_radii(const Radii& outer, const float w[4]) {
  Radii r;
  for (int c = 0; c < 4; ++c) {
    r.x[c] = std::max(0.0f, outer.x[c] - std::max(0.0f, w[vertical_side(c)]));
    r.y[c] = std::max(0.0f, outer.y[c] - std::max(0.0f, w[horizontal_side(c)]));
  }
  return r;
}

void add_rounded_box(Path& path, const Box& box, const Radii& radii) {
  const Radii r = fit_radii(box, radii);
  move_to(path, {box.left + r.x[0], box.top});
  for (int i = 1; i <= 4; ++i) {
    const int c = i % 4;
    const Ellipse e = corner_ellipse(box, r, c);
    line_to(path, e.round() ? e.at(corner_start(c)) : corner_point(box, c));
    add_arc(path, e, corner_start(c), corner_start(c) + quarter);
  }
  close(path);
}

Path check_mark(const Box& box) {
  // A stroke about a sixth of the box thick, bent at a point left of centre.
  static constexpr Point outline[] = {{0.16f, 0.52f}, {0.28f, 0.40f}, {0.42f, 0.54f},
                                      {0.72f, 0.24f}, {0.84f, 0.36f}, {0.42f, 0.78f}};
  Path path;
  for (std::size_t i = 0; i < std::size(outline); ++i) {
    const Point p{box.left + outline[i].x * box.width(), box.top + outline[i].y * box.height()};
    if (i == 0)
      move_to(path, p);
    else
      line_to(path, p);
  }
  path.push_back({SegmentKind::Close, {}});
  return path;
}

Path drop_arrow(const Box& box) {
  const float size = std::min(box.width(), box.height()) * 0.5f;
  const float cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
  Path path;
  move_to(path, {cx - size / 2, cy - size / 4});
  line_to(path, {cx + size / 2, cy - size / 4});
  line_to(path, {cx, cy + size / 4});
  path.push_back({SegmentKind::Close, {}});
  return path;
}

Path border_piece(const Box& outer, const Radii& radii, const float widths[4], int side) {
  const Radii r = fit_radii(outer, radii);
  const Box in = inset(outer, widths);
  const Radii ir = fit_radii(in, inner_radii(r, widths));
  struct Split {
    Ellipse out, in;
    float out_angle, in_angle;
    Point out_point, in_point;
  };
  auto split = [&](int c) {
    Split s{corner_ellipse(outer, r, c), corner_ellipse(in, ir, c), 0, 0, {}, {}};
    const Point o = corner_point(outer, c), i = corner_point(in, c);
    const Point dir{i.x - o.x, i.y - o.y};
    const float start = corner_start(c);
    s.out_angle = s.out.round() ? split_angle(s.out, o, dir, c) : start;
    s.out_point = s.out.round() ? s.out.at(s.out_angle) : o;
    s.in_angle = s.in.round() ? split_angle(s.in, i, dir, c) : start;
    s.in_point = s.in.round() ? s.in.at(s.in_angle) : i;
    return s;
  };
  const int c0 = side, c1 = (side + 1) % 4;
  const Split a = split(c0), b = split(c1);
  const float a_end = corner_start(c0) + quarter, b_start = corner_start(c1);

  Path path;
  move_to(path, a.out_point);
  add_arc(path, a.out, a.out_angle, a_end);
  line_to(path, b.out.round() ? b.out.at(b_start) : corner_point(outer, c1));
  add_arc(path, b.out, b_start, b.out_angle);
  line_to(path, b.in_point);
  add_arc(path, b.in, b.in_angle, b_start);
  line_to(path, a.in.round() ? a.in.at(a_end) : corner_point(in, c0));
  add_arc(path, a.in, a_end, a.in_angle);
  close(path);
  return path;
}

void transform_path(Path& path, const Affine& m) {
  for (Segment& s : path) {
    const int points = s.kind == SegmentKind::Cubic ? 3 : s.kind == SegmentKind::Close ? 0 : 1;
    for (int i = 0; i < points; ++i) s.p[i] = m.apply(s.p[i]);
  }
}

Box snap(const Box& d) { return {std::round(d.left), std::round(d.top), std::round(d.right), std::round(d.bottom)}; }

float snap_width(float w) {
  if (!(w > 0)) return 0;
  // Browsers round border widths down to whole device pixels, keeping one.
  return std::max(1.0f, std::floor(w + 1.0f / 64));
}

Box fit_image(const Box& bounds, float iw, float ih, style::ObjectFit fit) {
  if (!(iw > 0 && ih > 0) || !std::isfinite(iw) || !std::isfinite(ih)) return {};
  const float bw = bounds.width(), bh = bounds.height();
  float w = iw, h = ih;
  switch (fit) {
    case style::ObjectFit::fill:
      return bounds;
    case style::ObjectFit::contain: {
      const float s = std::min(bw / iw, bh / ih);
      w = iw * s, h = ih * s;
      break;
    }
    case style::ObjectFit::cover: {
      const float s = std::max(bw / iw, bh / ih);
      w = iw * s, h = ih * s;
      break;
    }
    case style::ObjectFit::none:
      break;
    case style::ObjectFit::scale_down:
      if (iw > bw || ih > bh) {
        const float s = std::min(bw / iw, bh / ih);
        w = iw * s, h = ih * s;
      }
      break;
  }
  const float left = bounds.left + (bw - w) / 2, top = bounds.top + (bh - h) / 2;
  return {left, top, left + w, top + h};
}

}  // namespace ostrel::paint::win32
