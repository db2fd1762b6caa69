// Text items of the display list drawn with the DirectWrite font system:
// the same shaping the layout measured with, fallback fonts included.
#pragma once

#include <vector>

#include "ostrel/text/win32/font_system.h"
#include "paint/win32/d2d_player.h"

namespace ostrel::win32 {

class GlyphTextPainter final : public paint::win32::TextPainter {
 public:
  explicit GlyphTextPainter(text::win32::FontSystem& fonts) : fonts_(fonts) {}
  void draw_text(ID2D1RenderTarget& target, const paint::Item& text, float scale, ID2D1SolidColorBrush& brush) override;

 private:
  text::win32::FontSystem& fonts_;
  std::vector<std::string> families_;  // scratch
  std::vector<text::win32::GlyphRun> runs_;
  std::vector<std::size_t> order_;
};

}  // namespace ostrel::win32
