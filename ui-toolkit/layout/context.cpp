#include "layout/context.h"

namespace ostrel::layout {

using style::Display;

text::WhiteSpaceMode mode_of(style::WhiteSpace w) {
  switch (w) {
    case style::WhiteSpace::nowrap:
      return text::WhiteSpaceMode::nowrap;
    case style::WhiteSpace::pre:
      return text::WhiteSpaceMode::pre;
    case style::WhiteSpace::pre_wrap:
      return text::WhiteSpaceMode::pre_wrap;
    case style::WhiteSpace::pre_line:
      return text::WhiteSpaceMode::pre_line;
    case style::WhiteSpace::break_spaces:
      return text::WhiteSpaceMode::break_spaces;
    default:
      return text::WhiteSpaceMode::normal;
  }
}

text::FontSpec font_of(const style::ComputedStyle& s) {
  return {std::span<const std::string>(s.font_family), s.font_size, s.font_weight, s.italic};
}

void LayoutContext::clear_boxes() {
  boxes.clear();
  caches.clear();
  positioned.clear();
  inlines.clear();
  tables.clear();
  replaced.clear();
}

const text::FontMetrics& LayoutContext::metrics_of(const style::ComputedStyle& s) {
  auto it = metrics_cache.find(&s);
  if (it == metrics_cache.end()) it = metrics_cache.emplace(&s, measurer.metrics(font_of(s))).first;
  return it->second;
}

// CSS 2.2 §10.8.1: a number is relative to the font size; normal comes from the font.
float LayoutContext::line_height_of(const style::ComputedStyle& s) {
  if (s.line_height.kind == style::LengthKind::px) return s.line_height.value;
  if (s.line_height.is_percent()) return s.font_size * s.line_height.value / 100.0f;
  return metrics_of(s).normal_line_height();
}

}  // namespace ostrel::layout
