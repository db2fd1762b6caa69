// Outlines: path data, arcs and the basic shapes, checked through parse_svg.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "ostrel/image/svg.h"

namespace {

using namespace ostrel::image;
constexpr double pi = std::numbers::pi;

std::vector<Segment> outline(const std::string& element, const std::string& root = "<svg>") {
  const auto picture = parse_svg(root + element + "</svg>");
  EXPECT_TRUE(picture.has_value());
  if (!picture || picture->shapes.empty()) return {};
  EXPECT_EQ(picture->shapes.size(), 1u);
  return picture->shapes[0].path;
}
std::vector<Segment> path(const std::string& d) { return outline("<path d='" + d + "'/>"); }

// Compact form for comparing whole outlines: "M0,0 L10,0 C... Z".
std::string describe(const std::vector<Segment>& segments) {
  std::string out;
  const auto num = [](float v) {
    std::string s = std::to_string(std::round(v * 1000) / 1000);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.ends_with('.')) s.pop_back();
    return s == "-0" ? std::string("0") : s;
  };
  for (const Segment& s : segments) {
    if (!out.empty()) out += ' ';
    const int points = s.kind == SegmentKind::Cubic ? 3 : s.kind == SegmentKind::Close ? 0 : 1;
    out += "MLCZ"[static_cast<int>(s.kind)];
    for (int i = 0; i < points; ++i) out += (i ? " " : "") + num(s.p[i].x) + "," + num(s.p[i].y);
  }
  return out;
}

// Points along the outline, 32 per cubic.
std::vector<Point> sample(const std::vector<Segment>& segments) {
  std::vector<Point> out;
  Point cur{};
  for (const Segment& s : segments) {
    if (s.kind == SegmentKind::Move || s.kind == SegmentKind::Line) {
      cur = s.p[0];
      out.push_back(cur);
    } else if (s.kind == SegmentKind::Cubic) {
      for (int i = 1; i <= 32; ++i) {
        const float t = i / 32.0f, u = 1 - t;
        out.push_back({u * u * u * cur.x + 3 * u * u * t * s.p[0].x + 3 * u * t * t * s.p[1].x + t * t * t * s.p[2].x,
                       u * u * u * cur.y + 3 * u * u * t * s.p[0].y + 3 * u * t * t * s.p[1].y + t * t * t * s.p[2].y});
      }
      cur = s.p[2];
    }
  }
  return out;
}

int count(const std::vector<Segment>& segments, SegmentKind kind) {
  int n = 0;
  for (const Segment& s : segments) n += s.kind == kind;
  return n;
}

// Every sample lies on the circle; returns the signed angle swept around it.
double check_on_circle(const std::vector<Segment>& segments, double cx, double cy, double r) {
  double swept = 0, previous = 0;
  bool first = true;
  for (const Point& p : sample(segments)) {
    EXPECT_NEAR(std::hypot(p.x - cx, p.y - cy), r, r * 1e-3) << p.x << "," << p.y;
    const double a = std::atan2(p.y - cy, p.x - cx);
    if (!first) swept += std::remainder(a - previous, 2 * pi);
    previous = a;
    first = false;
  }
  return swept;
}

TEST(SvgPathData, CommandsAndImplicitRepeats) {
  EXPECT_EQ(describe(path("M0 0 10 0 10 10")), "M0,0 L10,0 L10,10");
  EXPECT_EQ(describe(path("m1 1 2 0 0 2")), "M1,1 L3,1 L3,3");
  EXPECT_EQ(describe(path("M1 2 H5 v3 h-1 V0")), "M1,2 L5,2 L5,5 L4,5 L4,0");
  EXPECT_EQ(describe(path("M0 0 L1 1 M5 5 M6 6 L7 7")), "M0,0 L1,1 M6,6 L7,7");
  // Quadratics become cubics with control points two thirds of the way.
  EXPECT_EQ(describe(path("M0 0 Q5 10 10 0 T20 0")),
            "M0,0 C3.333,6.667 6.667,6.667 10,0 C13.333,-6.667 16.667,-6.667 20,0");
  EXPECT_EQ(describe(path("M0 0 C0 10 5 10 10 0 s10 -10 10 0")), "M0,0 C0,10 5,10 10,0 C15,-10 20,-10 20,0");
  // S and T reflect only the control point of their own kind.
  EXPECT_EQ(describe(path("M0 0 S5 5 10 0")), "M0,0 C0,0 5,5 10,0");
  EXPECT_EQ(describe(path("M0 0 Q5 5 10 0 S20 5 20 0")), "M0,0 C3.333,3.333 6.667,3.333 10,0 C10,0 20,5 20,0");
  EXPECT_EQ(describe(path("M0 0 L10 0 T19 0")), "M0,0 L10,0 C10,0 13,0 19,0");
}

TEST(SvgPathData, NumberForms) {
  EXPECT_EQ(describe(path("M.5.5L-1-2l1e1-1E-1")), "M0.5,0.5 L-1,-2 L9,-2.1");
  EXPECT_EQ(describe(path("M+3,4,L1.5.5")), "M3,4 L1.5,0.5");
  EXPECT_EQ(describe(path("M0,0\tL\n1 , 2")), "M0,0 L1,2");
  EXPECT_EQ(describe(path("M0 0L2e2 1e-400")), "M0,0 L200,0");  // underflow is zero
}

TEST(SvgPathData, StopsAtTheFirstErrorKeepingWhatCameBefore) {
  EXPECT_EQ(describe(path("M0 0 L10 10 X 5 5")), "M0,0 L10,10");
  EXPECT_EQ(describe(path("M0 0 L10 10 L5")), "M0,0 L10,10");
  EXPECT_EQ(describe(path("M0 0 L10 10 L 1e")), "M0,0 L10,10");
  EXPECT_EQ(describe(path("M0 0 L1 1 Z 2 2 L5 5")), "M0,0 L1,1 Z");  // Z takes no numbers
  EXPECT_EQ(describe(path("M0 0 L1 1 L1e999 0")), "M0,0 L1,1");      // overflow
  EXPECT_EQ(describe(path("M0 0 L1 1 L" + std::string(100, '1') + " 0")), "M0,0 L1,1");
  EXPECT_EQ(describe(path("M0 0 L1 1 A1 1 0 2 0 5 5")), "M0,0 L1,1");  // a flag is 0 or 1
  // Nothing to draw: no shape at all.
  EXPECT_TRUE(path("L10 10").empty());
  EXPECT_TRUE(path("M0 0 L10").empty());
  EXPECT_TRUE(path("").empty());
}

TEST(SvgPathData, DrawingAfterCloseStartsAtTheSubpathStart) {
  EXPECT_EQ(describe(path("M10 10 l10 0 l0 10 z l5 5")), "M10,10 L20,10 L20,20 Z M10,10 L15,15");
  EXPECT_EQ(describe(path("M10 10 h5 z m2 2 h1")), "M10,10 L15,10 Z M12,12 L13,12");
  EXPECT_EQ(describe(path("M10 10 h5 z v3 zz")), "M10,10 L15,10 Z M10,10 L10,13 Z");
}

TEST(SvgArc, FlagsPickCentreAndDirection) {
  // A radius-10 arc from (0,0) to (10,10) has two possible centres and two directions.
  struct Case {
    const char* flags;
    double cx, cy, swept;
    int pieces;
  };
  const Case cases[] = {
      {"0 0", 10, 0, -pi / 2, 1},
      {"1 1", 10, 0, 3 * pi / 2, 2},
      {"0 1", 0, 10, pi / 2, 1},
      {"1 0", 0, 10, -3 * pi / 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    for (const std::string& d : {"M0 0 A10 10 0 " + std::string(c.flags) + " 10 10",
                                 "M0 0a10,10,0," + std::string(c.flags).replace(1, 1, ",") + ",10,10"}) {
      const auto segments = path(d);
      EXPECT_NEAR(check_on_circle(segments, c.cx, c.cy, 10), c.swept, 1e-3);
      // No piece turns more than a quarter circle.
      EXPECT_GE(count(segments, SegmentKind::Cubic), c.pieces == 1 ? 1 : 3);
      EXPECT_LE(count(segments, SegmentKind::Cubic), c.pieces == 1 ? 1 : 4);
      EXPECT_EQ(segments.back().p[2].x, 10);
      EXPECT_EQ(segments.back().p[2].y, 10);
    }
  }
  // Flags written together with the following number.
  EXPECT_NEAR(check_on_circle(path("M0 0 a10 10 0 0010 10"), 10, 0, 10), -pi / 2, 1e-3);
  EXPECT_NEAR(check_on_circle(path("M0 0 a10 10 0 1110 10"), 10, 0, 10), 3 * pi / 2, 1e-3);
}

TEST(SvgArc, RadiiTooSmallAreScaledUp) {
  // Both radii grow in proportion until the chord fits: a half circle of radius 10.
  EXPECT_NEAR(check_on_circle(path("M0 0 A1 1 0 0 1 20 0"), 10, 0, 10), pi, 1e-3);
  EXPECT_NEAR(check_on_circle(path("M0 0 A0.001 0.001 0 1 0 20 0"), 10, 0, 10), -pi, 1e-3);
  EXPECT_NEAR(check_on_circle(path("M0 0 a5 5 0 1020 0"), 10, 0, 10), -pi, 1e-3);
  // An extreme ratio falls back to something finite.
  for (const Segment& s : path("M0 0 A1e-29 1e29 45 0 1 1e29 1")) {
    for (const Point& p : s.p) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  }
}

TEST(SvgArc, RotatedEllipseAndDegenerateCases) {
  // Quarter of an ellipse (radii 20 and 10, tilted 30 degrees) centred on the origin.
  const double t = pi / 6;
  const auto segments = path("M17.320508 10 A20 10 30 0 1 -5 8.660254");
  ASSERT_FALSE(segments.empty());
  for (const Point& p : sample(segments)) {
    const double u = std::cos(t) * p.x + std::sin(t) * p.y, v = -std::sin(t) * p.x + std::cos(t) * p.y;
    EXPECT_NEAR(u * u / 400 + v * v / 100, 1, 2e-3);
  }
  EXPECT_EQ(describe(path("M0 0 A0 5 0 0 1 10 0")), "M0,0 L10,0");  // a zero radius is a line
  EXPECT_EQ(describe(path("M0 0 A-10 -10 0 0 1 20 0")), describe(path("M0 0 A10 10 0 0 1 20 0")));
  EXPECT_EQ(describe(path("M5 5 A5 5 0 0 1 5 5 L6 6")), "M5,5 L6,6");  // same end point: omitted
}

TEST(SvgShapes, BasicShapesAsOutlines) {
  EXPECT_EQ(describe(outline("<rect x='1' y='2' width='3' height='4'/>")), "M1,2 L4,2 L4,6 L1,6 Z");
  EXPECT_EQ(describe(outline("<line x1='1' y1='2' x2='3' y2='4'/>")), "M1,2 L3,4");
  EXPECT_EQ(describe(outline("<polyline points='0,0 10,0 10'/>")), "M0,0 L10,0");  // odd coordinate dropped
  EXPECT_EQ(describe(outline("<polygon points='0 0,10 0 10 10'/>")), "M0,0 L10,0 L10,10 Z");
  EXPECT_EQ(describe(outline("<rect width='50%' height='10%'/>", "<svg viewBox='0 0 200 100'>")),
            "M0,0 L100,0 L100,10 L0,10 Z");

  EXPECT_NEAR(check_on_circle(outline("<circle cx='5' cy='6' r='7'/>"), 5, 6, 7), 2 * pi, 1e-3);
  EXPECT_NEAR(check_on_circle(outline("<ellipse cx='5' cy='6' rx='7'/>"), 5, 6, 7), 2 * pi, 1e-3);

  // rx alone sets both radii; both are clamped to half the side.
  const auto rounded = outline("<rect width='10' height='4' rx='3'/>");
  EXPECT_EQ(count(rounded, SegmentKind::Cubic), 4);
  EXPECT_EQ(describe({rounded.begin(), rounded.begin() + 3}), "M3,0 L7,0 C8.657,0 10,0.895 10,2");

  for (const char* nothing : {"<rect width='0' height='5'/>", "<rect width='5'/>", "<circle r='-1'/>",
                              "<ellipse rx='0' ry='3'/>", "<polygon points='5'/>", "<circle r='abc'/>"}) {
    EXPECT_TRUE(outline(nothing).empty()) << nothing;
  }
}

}  // namespace
