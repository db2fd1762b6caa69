#include "ostrel/image/svg.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "common/text.h"
#include "svg_path.h"
#include "svg_values.h"
#include "xml.h"

namespace ostrel::image {
namespace {

using detail::is_xml_space;
using detail::local_name;
using detail::Matrix;
using detail::PathBuilder;
using detail::XmlAttribute;
using detail::XmlReader;

// The inherited presentation properties.
struct Style {
  Paint fill{false, false, {0, 0, 0, 255}};
  Paint stroke{};
  double stroke_width = 1;
  double fill_opacity = 1;
  double stroke_opacity = 1;
  bool even_odd = false;
  bool visible = true;
  std::optional<Color> color;  // what currentColor means, when the file says
};

// What an element passes to its children.
struct Frame {
  Style style;
  Matrix ctm;
  double opacity = 1;  // group opacity folded into each shape
};

struct Viewport {
  double width, height;
  // Percentages of lengths that are neither horizontal nor vertical.
  double diagonal() const { return std::hypot(width, height) / std::sqrt(2.0); }
};

enum class Axis { X, Y, Diagonal };

std::optional<std::string_view> find_attribute(const std::vector<XmlAttribute>& attributes, std::string_view name) {
  std::optional<std::string_view> found;
  for (const XmlAttribute& a : attributes) {
    if (a.name == name) found = a.value;  // the last one wins
  }
  return found;
}

std::optional<double> resolve(const detail::Length& l, const Viewport& vp, Axis axis) {
  if (!l.percent) return l.value;
  const double base = axis == Axis::X ? vp.width : axis == Axis::Y ? vp.height : vp.diagonal();
  return l.value / 100 * base;
}

struct Element {
  Frame frame;
  bool display_none = false;
};

void apply_property(std::string_view name, std::string_view value, Element& el, double& own_opacity,
                    const Viewport& vp) {
  Style& s = el.frame.style;
  if (name == "fill" || name == "stroke") {
    const auto paint = detail::parse_paint(value);
    if (paint && !paint->inherit) (name == "fill" ? s.fill : s.stroke) = paint->paint;
  } else if (name == "stroke-width") {
    const auto l = detail::parse_length(value);
    if (l && l->value >= 0) s.stroke_width = *resolve(*l, vp, Axis::Diagonal);
  } else if (name == "opacity" || name == "fill-opacity" || name == "stroke-opacity") {
    const auto v = detail::parse_opacity(value);
    if (!v) return;
    (name == "opacity" ? own_opacity : name == "fill-opacity" ? s.fill_opacity : s.stroke_opacity) = *v;
  } else if (name == "fill-rule") {
    value = detail::trim_space(value);
    if (value == "evenodd") s.even_odd = true;
    if (value == "nonzero") s.even_odd = false;
  } else if (name == "display") {
    el.display_none = detail::trim_space(value) == "none";
  } else if (name == "visibility") {
    value = detail::trim_space(value);
    if (value == "visible") s.visible = true;
    if (value == "hidden" || value == "collapse") s.visible = false;
  } else if (name == "color") {
    if (const auto c = detail::parse_color(value)) s.color = *c;
  }
}

// Presentation attributes first, then the style attribute's declarations,
// which take precedence whatever their order in the tag.
Element resolve_element(const Frame& parent, const std::vector<XmlAttribute>& attributes, const Viewport& vp) {
  Element el{parent, false};
  double own_opacity = 1;
  for (const XmlAttribute& a : attributes) {
    if (a.name != "style" && a.name != "transform") apply_property(a.name, a.value, el, own_opacity, vp);
  }
  if (const auto style = find_attribute(attributes, "style")) {
    std::string_view rest = *style;
    while (!rest.empty()) {
      const std::size_t semi = rest.find(';');
      const std::string_view decl = rest.substr(0, semi);
      rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
      const std::size_t colon = decl.find(':');
      if (colon == std::string_view::npos) continue;
      const std::string name = vx::ascii_lower(detail::trim_space(decl.substr(0, colon)));
      std::string_view value = detail::trim_space(decl.substr(colon + 1));
      if (value.ends_with("!important")) value = detail::trim_space(value.substr(0, value.size() - 10));
      apply_property(name, value, el, own_opacity, vp);
    }
  }
  if (const auto transform = find_attribute(attributes, "transform")) {
    if (const auto m = detail::parse_transform(*transform)) el.frame.ctm = parent.ctm.multiply(*m);
  }
  el.frame.opacity = parent.opacity * own_opacity;
  return el;
}

Paint final_paint(Paint p, double opacity, const std::optional<Color>& color) {
  if (p.none) return p;
  if (p.current_color) {
    if (color) {
      p.current_color = false;
      p.color = *color;
    } else {
      p.color = {0, 0, 0, 255};
    }
  }
  p.color.a = static_cast<std::uint8_t>(std::lround(p.color.a * opacity));
  return p;
}

// The numbers of a points attribute, in pairs; an odd last number is dropped.
void append_points(std::string_view text, PathBuilder& out, bool closed) {
  std::size_t pos = 0;
  bool first = true;
  for (;;) {
    detail::skip_comma_space(text, pos);
    const auto x = detail::scan_number(text, pos);
    if (!x) break;
    detail::skip_comma_space(text, pos);
    const auto y = detail::scan_number(text, pos);
    if (!y) break;
    if (!(first ? out.move_to(*x, *y) : out.line_to(*x, *y))) return;
    first = false;
  }
  if (closed && !first) out.close();
}

class Builder {
 public:
  std::optional<SvgPicture> run(std::string_view text);

 private:
  // False when the root is hidden and nothing inside it draws.
  bool start_root(const std::vector<XmlAttribute>& attributes);
  void add_shape(std::string_view kind, const std::vector<XmlAttribute>& attributes, const Frame& frame);

  SvgPicture picture_;
  Viewport viewport_{300, 150};
  std::vector<Frame> frames_;
  std::size_t budget_ = max_svg_segments;
};

std::optional<SvgPicture> Builder::run(std::string_view text) {
  XmlReader reader(text);
  // While non-zero, events are ignored until the element opened at this depth closes.
  std::size_t skip_depth = 0;
  bool root_open = false;
  for (;;) {
    const XmlReader::Event event = reader.next();
    if (event == XmlReader::Event::Error) return std::nullopt;
    if (event == XmlReader::Event::Eof) {
      if (!root_open) return std::nullopt;
      return std::move(picture_);
    }
    if (event == XmlReader::Event::End) {
      if (reader.depth() == 0) return std::move(picture_);
      if (skip_depth != 0) {
        if (reader.depth() < skip_depth) skip_depth = 0;
      } else {
        frames_.pop_back();
      }
      continue;
    }

    const std::string_view name = local_name(reader.name());
    if (reader.depth() == 1) {
      if (name != "svg") return std::nullopt;
      root_open = true;
      if (!start_root(reader.attributes())) skip_depth = 1;
      continue;
    }
    if (skip_depth != 0) continue;
    if (reader.depth() > max_svg_depth) {
      skip_depth = reader.depth();
      continue;
    }
    const bool group = name == "g" || name == "a";
    const bool shape = name == "path" || name == "rect" || name == "circle" || name == "ellipse" || name == "line" ||
                       name == "polyline" || name == "polygon";
    if (!group && !shape) {
      skip_depth = reader.depth();
      continue;
    }
    Element el = resolve_element(frames_.back(), reader.attributes(), viewport_);
    if (shape) {
      // Shapes draw no children, and display:none hides the element itself.
      if (!el.display_none) add_shape(name, reader.attributes(), el.frame);
      skip_depth = reader.depth();
    } else if (el.display_none) {
      skip_depth = reader.depth();
    } else {
      frames_.push_back(el.frame);
    }
  }
}

bool Builder::start_root(const std::vector<XmlAttribute>& attributes) {
  if (const auto vb = find_attribute(attributes, "viewBox")) {
    double v[4];
    std::size_t pos = 0;
    int count = 0;
    const std::string_view text = detail::trim_space(*vb);
    for (; count < 4; ++count) {
      detail::skip_comma_space(text, pos);
      const auto n = detail::scan_number(text, pos);
      if (!n) break;
      v[count] = *n;
    }
    detail::skip_comma_space(text, pos);
    // A negative or zero extent is an error in the attribute, which is then ignored.
    if (count == 4 && pos == text.size() && v[2] > 0 && v[3] > 0) {
      picture_.has_view_box = true;
      for (int i = 0; i < 4; ++i) picture_.view_box[i] = static_cast<float>(std::clamp(v[i], -1e9, 1e9));
    }
  }
  const auto size = [&](std::string_view attr) -> std::optional<double> {
    const auto text = find_attribute(attributes, attr);
    if (!text) return std::nullopt;
    const auto l = detail::parse_length(*text);
    if (!l || l->percent || !(l->value > 0)) return std::nullopt;
    return std::min(l->value, 1e9);
  };
  const auto width = size("width");
  const auto height = size("height");
  double w, h;
  if (picture_.has_view_box) {
    const double vw = picture_.view_box[2], vh = picture_.view_box[3];
    // With one dimension given, the other follows the viewBox's aspect ratio.
    w = width ? *width : height ? *height * vw / vh : vw;
    h = height ? *height : width ? *width * vh / vw : vh;
    viewport_ = {vw, vh};
  } else {
    w = width.value_or(300);
    h = height.value_or(150);
    viewport_ = {w, h};
  }
  // Extreme ratios must not round a size to zero or past what floats hold.
  picture_.width = static_cast<float>(std::clamp(w, 1e-6, 1e9));
  picture_.height = static_cast<float>(std::clamp(h, 1e-6, 1e9));

  const Element root = resolve_element(Frame{}, attributes, viewport_);
  if (root.display_none) return false;
  frames_.push_back(root.frame);
  return true;
}

void Builder::add_shape(std::string_view kind, const std::vector<XmlAttribute>& attributes, const Frame& frame) {
  if (!frame.style.visible || picture_.shapes.size() >= max_svg_shapes || budget_ == 0) return;
  const auto length = [&](std::string_view attr, Axis axis) -> std::optional<double> {
    const auto text = find_attribute(attributes, attr);
    if (!text) return std::nullopt;
    const auto l = detail::parse_length(*text);
    if (!l) return std::nullopt;
    return resolve(*l, viewport_, axis);
  };
  const auto coord = [&](std::string_view attr, Axis axis) { return length(attr, axis).value_or(0); };
  const auto radius = [&](std::string_view attr, Axis axis) -> std::optional<double> {
    const auto r = length(attr, axis);
    if (!r || *r < 0) return std::nullopt;  // negative radii are errors: treated as unset
    return r;
  };

  PathBuilder out(frame.ctm, budget_);
  if (kind == "path") {
    if (const auto d = find_attribute(attributes, "d")) detail::append_path_data(*d, out);
  } else if (kind == "rect") {
    const double w = coord("width", Axis::X), h = coord("height", Axis::Y);
    if (!(w > 0 && h > 0)) return;
    auto rx = radius("rx", Axis::X);
    auto ry = radius("ry", Axis::Y);
    if (!rx) rx = ry;
    if (!ry) ry = rx;
    detail::append_rect(out, coord("x", Axis::X), coord("y", Axis::Y), w, h, std::min(rx.value_or(0), w / 2),
                        std::min(ry.value_or(0), h / 2));
  } else if (kind == "circle") {
    const double r = radius("r", Axis::Diagonal).value_or(0);
    if (!(r > 0)) return;
    detail::append_ellipse(out, coord("cx", Axis::X), coord("cy", Axis::Y), r, r);
  } else if (kind == "ellipse") {
    auto rx = radius("rx", Axis::X);
    auto ry = radius("ry", Axis::Y);
    if (!rx) rx = ry;
    if (!ry) ry = rx;
    if (!(rx.value_or(0) > 0 && ry.value_or(0) > 0)) return;
    detail::append_ellipse(out, coord("cx", Axis::X), coord("cy", Axis::Y), *rx, *ry);
  } else if (kind == "line") {
    out.move_to(coord("x1", Axis::X), coord("y1", Axis::Y)) && out.line_to(coord("x2", Axis::X), coord("y2", Axis::Y));
  } else if (kind == "polyline" || kind == "polygon") {
    if (const auto points = find_attribute(attributes, "points")) append_points(*points, out, kind == "polygon");
  }
  if (!out.draws()) return;

  SvgShape shape;
  shape.path = out.take();
  const Style& s = frame.style;
  shape.fill = final_paint(s.fill, s.fill_opacity, s.color);
  shape.stroke = final_paint(s.stroke, s.stroke_opacity, s.color);
  shape.stroke_width = static_cast<float>(std::min(s.stroke_width * frame.ctm.mean_scale(), 1e9));
  shape.opacity = static_cast<float>(frame.opacity);
  shape.even_odd = s.even_odd;
  picture_.shapes.push_back(std::move(shape));
}

}  // namespace

bool looks_like_svg(std::string_view bytes) noexcept {
  std::size_t pos = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (;;) {
    while (pos < bytes.size() && is_xml_space(bytes[pos])) ++pos;
    if (pos >= bytes.size() || bytes[pos] != '<') return false;
    const std::size_t next = detail::skip_markup_declaration(bytes, pos);
    if (next == std::string_view::npos) break;
    pos = next;
  }
  // The same test parse_svg makes of the root: a local name of "svg".
  std::size_t end = pos + 1;
  while (end < bytes.size() && !detail::ends_xml_name(bytes[end])) ++end;
  return local_name(bytes.substr(pos + 1, end - pos - 1)) == "svg";
}

std::optional<SvgPicture> parse_svg(std::string_view text) {
  // Allocation failure on a hostile file is a failed image, not a crash.
  try {
    return Builder().run(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace ostrel::image
