// Any bytes as an SVG file: parsing never crashes, stays within its budgets and
// hands the renderer only finite numbers and the four segment kinds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ostrel/image/svg.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool finite(float v) { return std::isfinite(v); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel::image;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const bool sniffed = looks_like_svg(bytes);
  const auto picture = parse_svg(bytes);
  if (!picture) return 0;
  // The sniffer may say yes to more than parses, never to less.
  check(sniffed);

  check(finite(picture->width) && finite(picture->height) && picture->width > 0 && picture->height > 0);
  if (picture->has_view_box) {
    for (float v : picture->view_box) check(finite(v));
    check(picture->view_box[2] > 0 && picture->view_box[3] > 0);
  }
  check(picture->shapes.size() <= max_svg_shapes);
  std::size_t segments = 0;
  for (const SvgShape& shape : picture->shapes) {
    check(!shape.path.empty());
    check(shape.path.front().kind == SegmentKind::Move);
    check(finite(shape.stroke_width) && shape.stroke_width >= 0);
    check(finite(shape.opacity) && shape.opacity >= 0 && shape.opacity <= 1);
    segments += shape.path.size();
    for (const Segment& s : shape.path) {
      check(s.kind == SegmentKind::Move || s.kind == SegmentKind::Line || s.kind == SegmentKind::Cubic ||
            s.kind == SegmentKind::Close);
      for (const Point& p : s.p) check(finite(p.x) && finite(p.y));
    }
  }
  check(segments <= max_svg_segments);
  return 0;
}
