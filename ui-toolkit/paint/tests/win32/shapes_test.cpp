// The player's outlines on their own, measured by area with each curve cut
// into many lines: a wrong control point or a gap or overlap between border
// pieces shows as a wrong total.
#include "paint/win32/shapes.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

using namespace ostrel::paint::win32;

double area(const Path& path) {
  double sum = 0;
  Point start{0, 0}, last{0, 0};
  auto edge_to = [&](Point b) {
    sum += static_cast<double>(last.x) * b.y - static_cast<double>(b.x) * last.y;
    last = b;
  };
  for (const Segment& s : path) {
    if (s.kind == SegmentKind::Move) start = last = s.p[0];
    if (s.kind == SegmentKind::Line) edge_to(s.p[0]);
    if (s.kind == SegmentKind::Close) edge_to(start);
    if (s.kind != SegmentKind::Cubic) continue;
    const Point p0 = last;
    for (int i = 1; i <= 64; ++i) {
      const float t = i / 64.0f, u = 1 - t, a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      edge_to({a * p0.x + b * s.p[0].x + c * s.p[1].x + d * s.p[2].x,
               a * p0.y + b * s.p[0].y + c * s.p[1].y + d * s.p[2].y});
    }
  }
  return std::abs(sum) / 2;
}

double rounded_area(const Box& b, const Radii& r) {
  Path p;
  add_rounded_box(p, b, r);
  return area(p);
}

Radii uniform(float rx, float ry = -1) {
  Radii out;
  for (int i = 0; i < 4; ++i) out.x[i] = rx, out.y[i] = ry < 0 ? rx : ry;
  return out;
}

constexpr double pi = 3.14159265358979;

TEST(Shapes, RoundedBoxesHaveTheAreaOfTheirCurves) {
  // Each quarter-ellipse corner takes (1 - pi / 4) rx ry off the box.
  EXPECT_NEAR(rounded_area({0, 0, 100, 60}, {}), 6000, 1e-3);
  EXPECT_NEAR(rounded_area({0, 0, 100, 60}, uniform(10)), 6000 - (4 - pi) * 100, 0.5);
  EXPECT_NEAR(rounded_area({0, 0, 100, 60}, uniform(10, 20)), 6000 - (4 - pi) * 200, 1);
  Radii one;
  one.x[2] = one.y[2] = 10;
  EXPECT_NEAR(rounded_area({0, 0, 100, 60}, one), 6000 - (1 - pi / 4) * 100, 0.5);
  // Radii that do not fit shrink together (CSS): a 40 x 40 box with 30px corners is a circle.
  EXPECT_NEAR(rounded_area({0, 0, 40, 40}, uniform(30)), pi * 400, 1);
  Radii uneven;
  const float given[4] = {60, 40, 10, 10};
  for (int i = 0; i < 4; ++i) uneven.x[i] = uneven.y[i] = given[i];
  const Radii fitted = fit_radii({0, 0, 80, 400}, uneven);  // the top holds 60 + 40 in 80
  EXPECT_FLOAT_EQ(fitted.x[0], 48);
  EXPECT_FLOAT_EQ(fitted.y[3], 8);
}

// The four pieces of a border cover the ring exactly once, whatever the widths and radii.
TEST(Shapes, BorderPiecesTileTheRing) {
  struct Case {
    Box box;
    float widths[4];
    float radius;
  };
  const Case cases[] = {
      {{0, 0, 100, 60}, {4, 6, 8, 10}, 0},  {{0, 0, 100, 60}, {4, 6, 8, 10}, 14},  {{0, 0, 100, 60}, {1, 1, 1, 1}, 30},
      {{0, 0, 100, 60}, {20, 0, 3, 0}, 12}, {{0, 0, 30, 30}, {20, 20, 20, 20}, 8},  // wider than the box: no hole left
      {{5, 7, 105, 67}, {0, 0, 0, 0}, 10},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.radius);
    const Radii r = uniform(k.radius);
    double pieces = 0;
    for (int side = 0; side < 4; ++side) pieces += area(border_piece(k.box, r, k.widths, side));
    const Box in = inset(k.box, k.widths);
    const double ring =
        rounded_area(k.box, r) - (in.empty() ? 0 : rounded_area(in, inner_radii(fit_radii(k.box, r), k.widths)));
    EXPECT_NEAR(pieces, ring, 0.01 * ring + 0.05);
  }
}

TEST(Shapes, CornersSplitAlongTheLineFromOuterToInnerCorner) {
  const float even[4] = {5, 5, 5, 5};
  const Path left = border_piece({0, 0, 100, 100}, uniform(20), even, 3);
  // Move, bottom-left arc, line, top-left arc up to the split: it ends on the 45 degree diagonal.
  ASSERT_EQ(left[3].kind, SegmentKind::Cubic);
  EXPECT_NEAR(left[3].p[2].x, 20 - 20 / std::sqrt(2.0), 1e-3);
  EXPECT_NEAR(left[3].p[2].y, 20 - 20 / std::sqrt(2.0), 1e-3);
}

}  // namespace
