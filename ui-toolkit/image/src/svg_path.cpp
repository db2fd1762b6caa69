#include "svg_path.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "xml.h"

namespace ostrel::image::detail {
namespace {

constexpr double pi = std::numbers::pi;
// Control distance of a cubic approximating a quarter circle of radius 1.
constexpr double kappa = 0.5522847498307936;
// Stored coordinates stay well inside float range so that a renderer can
// scale them without overflowing.
constexpr double max_coordinate = 1e9;

float to_float(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<float>(std::clamp(v, -max_coordinate, max_coordinate));
}

bool is_command(char c) { return c != 0 && std::string_view("MmLlHhVvCcSsQqTtAaZz").find(c) != std::string_view::npos; }

std::optional<bool> scan_flag(std::string_view text, std::size_t& pos) {
  // Flags are single characters, so "a1 1 0 00 1 1" has two flags in "00".
  if (pos >= text.size() || (text[pos] != '0' && text[pos] != '1')) return std::nullopt;
  return text[pos++] == '1';
}

}  // namespace

bool PathBuilder::push(SegmentKind kind, std::initializer_list<double> coords) {
  if (budget_ == 0) return false;
  --budget_;
  Segment s{kind, {}};
  std::size_t i = 0;
  for (auto it = coords.begin(); it != coords.end(); it += 2, ++i) {
    s.p[i] = {to_float(ctm_.apply_x(it[0], it[1])), to_float(ctm_.apply_y(it[0], it[1]))};
  }
  segments_.push_back(s);
  return true;
}

bool PathBuilder::move_to(double x, double y) {
  x_ = start_x_ = x;
  y_ = start_y_ = y;
  in_subpath_ = true;
  // A move right after a move only repositions the pen.
  if (!segments_.empty() && segments_.back().kind == SegmentKind::Move) {
    segments_.back().p[0] = {to_float(ctm_.apply_x(x, y)), to_float(ctm_.apply_y(x, y))};
    return true;
  }
  return push(SegmentKind::Move, {x, y});
}

bool PathBuilder::ensure_subpath() {
  if (in_subpath_) return true;
  return move_to(x_, y_);
}

bool PathBuilder::line_to(double x, double y) {
  if (!ensure_subpath() || !push(SegmentKind::Line, {x, y})) return false;
  x_ = x;
  y_ = y;
  return true;
}

bool PathBuilder::cubic_to(double x1, double y1, double x2, double y2, double x, double y) {
  if (!ensure_subpath() || !push(SegmentKind::Cubic, {x1, y1, x2, y2, x, y})) return false;
  x_ = x;
  y_ = y;
  return true;
}

bool PathBuilder::quad_to(double qx, double qy, double x, double y) {
  return cubic_to(x_ + 2.0 / 3 * (qx - x_), y_ + 2.0 / 3 * (qy - y_), x + 2.0 / 3 * (qx - x), y + 2.0 / 3 * (qy - y), x,
                  y);
}

bool PathBuilder::close() {
  if (!in_subpath_) return true;
  if (!push(SegmentKind::Close, {})) return false;
  in_subpath_ = false;
  x_ = start_x_;
  y_ = start_y_;
  return true;
}

bool PathBuilder::draws() const {
  return std::any_of(segments_.begin(), segments_.end(), [](const Segment& s) { return s.kind != SegmentKind::Move; });
}

// Endpoint to centre parameterisation, then cubics of at most a quarter turn.
bool PathBuilder::arc_to(double rx, double ry, double angle, bool large_arc, bool sweep, double x, double y) {
  const double x0 = x_, y0 = y_;
  if (x0 == x && y0 == y) return true;  // an arc to the same point draws nothing
  rx = std::fabs(rx);
  ry = std::fabs(ry);
  if (rx == 0 || ry == 0) return line_to(x, y);

  const double phi = std::fmod(angle, 360.0) * pi / 180;
  const double cos_phi = std::cos(phi), sin_phi = std::sin(phi);
  const double dx = (x0 - x) / 2, dy = (y0 - y) / 2;
  const double x1p = cos_phi * dx + sin_phi * dy;
  const double y1p = -sin_phi * dx + cos_phi * dy;

  // Radii too small to reach the end point grow just enough to do so.
  const double lambda = (x1p / rx) * (x1p / rx) + (y1p / ry) * (y1p / ry);
  if (lambda > 1) {
    const double s = std::sqrt(lambda);
    rx *= s;
    ry *= s;
  }
  const double rx2 = rx * rx, ry2 = ry * ry;
  const double den = rx2 * y1p * y1p + ry2 * x1p * x1p;
  double coef = den > 0 ? std::sqrt(std::max(0.0, (rx2 * ry2 - den) / den)) : 0;
  if (large_arc == sweep) coef = -coef;
  const double cxp = coef * rx * y1p / ry;
  const double cyp = -coef * ry * x1p / rx;
  const double cx = cos_phi * cxp - sin_phi * cyp + (x0 + x) / 2;
  const double cy = sin_phi * cxp + cos_phi * cyp + (y0 + y) / 2;

  const double ux = (x1p - cxp) / rx, uy = (y1p - cyp) / ry;
  const double vx = (-x1p - cxp) / rx, vy = (-y1p - cyp) / ry;
  const double theta = std::atan2(uy, ux);
  double delta = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
  if (!sweep && delta > 0) delta -= 2 * pi;
  if (sweep && delta < 0) delta += 2 * pi;
  // Extreme radius ratios can still overflow; a straight line is the honest fallback.
  if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(theta) || !std::isfinite(delta) ||
      !std::isfinite(rx) || !std::isfinite(ry)) {
    return line_to(x, y);
  }

  const int pieces = std::clamp(static_cast<int>(std::ceil(std::fabs(delta) / (pi / 2) - 1e-7)), 1, 4);
  const double step = delta / pieces;
  const double t = 4.0 / 3 * std::tan(step / 4);
  const auto point = [&](double a, double& px, double& py) {
    const double ex = rx * std::cos(a), ey = ry * std::sin(a);
    px = cx + cos_phi * ex - sin_phi * ey;
    py = cy + sin_phi * ex + cos_phi * ey;
  };
  const auto tangent = [&](double a, double& tx, double& ty) {
    const double ex = -rx * std::sin(a), ey = ry * std::cos(a);
    tx = cos_phi * ex - sin_phi * ey;
    ty = sin_phi * ex + cos_phi * ey;
  };
  double px = x0, py = y0;
  for (int i = 0; i < pieces; ++i) {
    const double a1 = theta + step * i, a2 = theta + step * (i + 1);
    double t1x, t1y, t2x, t2y, ex, ey;
    tangent(a1, t1x, t1y);
    tangent(a2, t2x, t2y);
    if (i + 1 == pieces) {
      ex = x;  // land exactly on the requested end point
      ey = y;
    } else {
      point(a2, ex, ey);
    }
    if (!cubic_to(px + t * t1x, py + t * t1y, ex - t * t2x, ey - t * t2y, ex, ey)) return false;
    px = ex;
    py = ey;
  }
  return true;
}

void append_path_data(std::string_view d, PathBuilder& out) {
  std::size_t pos = 0;
  char command = 0;
  // The previous segment's second control point (for S) or quadratic control
  // point (for T), valid only right after a segment of the matching kind.
  double last_cx = 0, last_cy = 0;
  char last_kind = 0;  // 'C' or 'Q'

  while (true) {
    while (pos < d.size() && is_xml_space(d[pos])) ++pos;
    if (pos >= d.size()) return;
    if (is_command(d[pos])) {
      command = d[pos++];
    } else if (command == 0 || command == 'Z' || command == 'z') {
      return;  // numbers need a command, and Z takes none
    }
    if (!out.started() && command != 'M' && command != 'm') return;

    const bool relative = command >= 'a';
    const double ox = relative ? out.x() : 0, oy = relative ? out.y() : 0;
    double n[6];
    const auto numbers = [&](int count, int first = 0) {
      for (int i = first; i < first + count; ++i) {
        while (pos < d.size() && is_xml_space(d[pos])) ++pos;
        const auto v = scan_number(d, pos);
        if (!v) return false;
        n[i] = *v;
        skip_comma_space(d, pos);
      }
      return true;
    };

    char kind = 0;
    bool ok = true;
    switch (command) {
      case 'M':
      case 'm':
        if (!numbers(2)) return;
        ok = out.move_to(ox + n[0], oy + n[1]);
        // Further coordinate pairs after a move are implicit line commands.
        command = relative ? 'l' : 'L';
        break;
      case 'L':
      case 'l':
        if (!numbers(2)) return;
        ok = out.line_to(ox + n[0], oy + n[1]);
        break;
      case 'H':
      case 'h':
        if (!numbers(1)) return;
        ok = out.line_to(ox + n[0], out.y());
        break;
      case 'V':
      case 'v':
        if (!numbers(1)) return;
        ok = out.line_to(out.x(), oy + n[0]);
        break;
      case 'C':
      case 'c':
        if (!numbers(6)) return;
        last_cx = ox + n[2];
        last_cy = oy + n[3];
        kind = 'C';
        ok = out.cubic_to(ox + n[0], oy + n[1], last_cx, last_cy, ox + n[4], oy + n[5]);
        break;
      case 'S':
      case 's': {
        if (!numbers(4)) return;
        const double x1 = last_kind == 'C' ? 2 * out.x() - last_cx : out.x();
        const double y1 = last_kind == 'C' ? 2 * out.y() - last_cy : out.y();
        last_cx = ox + n[0];
        last_cy = oy + n[1];
        kind = 'C';
        ok = out.cubic_to(x1, y1, last_cx, last_cy, ox + n[2], oy + n[3]);
        break;
      }
      case 'Q':
      case 'q':
        if (!numbers(4)) return;
        last_cx = ox + n[0];
        last_cy = oy + n[1];
        kind = 'Q';
        ok = out.quad_to(last_cx, last_cy, ox + n[2], oy + n[3]);
        break;
      case 'T':
      case 't':
        if (!numbers(2)) return;
        last_cx = last_kind == 'Q' ? 2 * out.x() - last_cx : out.x();
        last_cy = last_kind == 'Q' ? 2 * out.y() - last_cy : out.y();
        kind = 'Q';
        ok = out.quad_to(last_cx, last_cy, ox + n[0], oy + n[1]);
        break;
      case 'A':
      case 'a': {
        if (!numbers(3)) return;
        const auto large = scan_flag(d, pos);
        if (!large) return;
        skip_comma_space(d, pos);
        const auto sweep = scan_flag(d, pos);
        if (!sweep) return;
        skip_comma_space(d, pos);
        if (!numbers(2, 3)) return;
        ok = out.arc_to(n[0], n[1], n[2], *large, *sweep, ox + n[3], oy + n[4]);
        break;
      }
      case 'Z':
      case 'z':
        ok = out.close();
        break;
      default:
        return;
    }
    if (!ok) return;
    last_kind = kind;
  }
}

void append_ellipse(PathBuilder& out, double cx, double cy, double rx, double ry) {
  const double kx = rx * kappa, ky = ry * kappa;
  // Clockwise on screen (y grows downwards), starting at the rightmost point.
  out.move_to(cx + rx, cy) && out.cubic_to(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry) &&
      out.cubic_to(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy) &&
      out.cubic_to(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry) &&
      out.cubic_to(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy) && out.close();
}

void append_rect(PathBuilder& out, double x, double y, double w, double h, double rx, double ry) {
  if (rx <= 0 || ry <= 0) {
    out.move_to(x, y) && out.line_to(x + w, y) && out.line_to(x + w, y + h) && out.line_to(x, y + h) && out.close();
    return;
  }
  const double kx = rx * kappa, ky = ry * kappa;
  const double r = x + w, b = y + h;
  out.move_to(x + rx, y) && out.line_to(r - rx, y) && out.cubic_to(r - rx + kx, y, r, y + ry - ky, r, y + ry) &&
      out.line_to(r, b - ry) && out.cubic_to(r, b - ry + ky, r - rx + kx, b, r - rx, b) && out.line_to(x + rx, b) &&
      out.cubic_to(x + rx - kx, b, x, b - ry + ky, x, b - ry) && out.line_to(x, y + ry) &&
      out.cubic_to(x, y + ry - ky, x + rx - kx, y, x + rx, y) && out.close();
}

}  // namespace ostrel::image::detail
