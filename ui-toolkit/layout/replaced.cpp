#include "layout/replaced.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "layout/box_model.h"
#include "layout/context.h"

namespace ostrel::layout {

void find_picture(LayoutContext& ctx, Box& b) {
  Picture& p = ctx.replaced.pictures[b];
  if (b.node->tag_kind == TagKind::svg) {
    p.image_width = 300, p.image_height = 150;
    return;
  }
  if (b.node->tag_kind != TagKind::img) {
    p.image_width = p.image_height = 13;  // check box and radio
    return;
  }
  if (const std::string* src = attribute_value(b.node, atom_src)) {
    auto it = ctx.document.images.find(ctx.document.names.find(*src));
    if (it != ctx.document.images.end()) {
      p.image_width = static_cast<float>(it->second.width);
      p.image_height = static_cast<float>(it->second.height);
    }
  }
  auto attr_px = [&](Atom a) {
    const std::string* v = attribute_value(b.node, a);
    if (!v) return -1.0f;
    char* end = nullptr;
    const float f = std::strtof(v->c_str(), &end);
    return end == v->c_str() || !std::isfinite(f) || f < 0 ? -1.0f : f;
  };
  p.hint_width = attr_px(atom_width);
  p.hint_height = attr_px(atom_height);
}

std::pair<float, float> replaced_size(LayoutContext& ctx, Box& b, float cb_width, std::optional<float> cb_height) {
  const style::ComputedStyle& s = *b.style;
  const Picture& p = ctx.replaced.pictures[b];
  float nw = p.image_width, nh = p.image_height;
  // The width/height attributes are presentational hints below CSS.
  if (p.hint_width >= 0 && s.width.is_auto()) nw = p.hint_width;
  if (p.hint_height >= 0 && s.height.is_auto()) nh = p.hint_height;
  const float edges_w = b.border.horizontal() + b.padding.horizontal();
  const float edges_h = b.border.vertical() + b.padding.vertical();
  std::optional<float> w, h;
  if (!s.width.is_auto() && !(s.width.is_percent() && !std::isfinite(cb_width)))
    w = border_box_width(b, s.width.resolve(cb_width)) - edges_w;
  if (!s.height.is_auto() && (!s.height.is_percent() || cb_height))
    h = border_box_height(b, s.height.resolve(cb_height.value_or(0))) - edges_h;
  // CSS 2.2 §10.3.2 and §10.6.2: one size given, the other follows the natural ratio.
  if (w && !h) h = nw > 0 ? *w * nh / nw : nh;
  if (h && !w) w = nh > 0 ? *h * nw / nh : nw;
  return {std::max(0.0f, w.value_or(nw)), std::max(0.0f, h.value_or(nh))};
}

// A text input shows one line: its value with any input-method text at the
// caret, or its placeholder when both are empty, centred in a taller box.
float layout_text_box(LayoutContext& ctx, Box& b, float x, float y, std::optional<float> content_height) {
  const style::ComputedStyle& s = *b.style;
  const TextEditView& edit = ctx.document.edit;
  std::string shown;
  if (is_select(b.node)) {
    if (const Node* option = selected_option(b.node)) shown = option_label(option);
  } else {
    shown = b.node->text;
  }
  if (!b.edit_line) b.edit_line = std::make_unique<EditLine>();
  EditLine& state = *b.edit_line;
  state.placeholder_shown = false;
  if (edit.node == b.node && !edit.composition.empty()) {
    shown.insert(std::min<std::size_t>(edit.caret, shown.size()), edit.composition);
  } else if (const std::string* hint = attribute_value(b.node, atom_placeholder);
             shown.empty() && hint && is_text_box(b.node)) {
    shown = *hint;
    state.placeholder_shown = true;
  }
  ctx.measurer.advances(font_of(s), shown, ctx.advances);
  state.caret_offsets.resize(shown.size() + 1);
  float advance = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) state.caret_offsets[i] = advance, advance += ctx.advances[i];
  state.caret_offsets[shown.size()] = advance;
  const float line = ctx.line_height_of(s);
  const text::FontMetrics& m = ctx.metrics_of(s);
  const float top = y + (content_height ? std::max(0.0f, (*content_height - line) / 2) : 0);
  TextFragment f;
  f.x = x, f.y = top, f.width = advance, f.height = line;
  f.baseline = top + (line - m.ascent - m.descent) / 2 + m.ascent;
  f.end = static_cast<std::uint32_t>(shown.size());
  b.fragments.assign(1, f);
  b.text = std::move(shown);
  return line;
}

}  // namespace ostrel::layout
