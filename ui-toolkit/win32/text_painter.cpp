#include "win32/text_painter.h"

#include <algorithm>
#include <string_view>

namespace ostrel::win32 {

void GlyphTextPainter::draw_text(ID2D1RenderTarget& target, const paint::Item& item, float scale,
                                 ID2D1SolidColorBrush& brush) {
  // The display list joins the family list with commas; family names hold none.
  families_.clear();
  for (std::string_view rest = item.font_family; !rest.empty();) {
    const std::size_t comma = rest.find(',');
    families_.emplace_back(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  const text::FontSpec font{families_, item.font_size, item.font_weight, item.italic};
  fonts_.shape(font, item.text, runs_);
  text::win32::visual_order(runs_, order_);
  float x = item.bounds.x;
  for (std::size_t index : order_) {
    const text::win32::GlyphRun& run = runs_[index];
    const float width = run.width();
    if (!run.glyphs.empty()) {
      const DWRITE_GLYPH_RUN glyphs = run.view();
      // Right-to-left runs are drawn leftwards from their origin.
      target.DrawGlyphRun({run.rtl() ? x + width : x, item.baseline}, &glyphs, &brush);
    }
    x += width;
  }
  if (item.underline) {
    const float thickness = std::max(1.0f / scale, item.font_size / 14);
    const float y = item.baseline + item.font_size / 10;
    target.FillRectangle({item.bounds.x, y, x, y + thickness}, &brush);
  }
}

}  // namespace ostrel::win32
