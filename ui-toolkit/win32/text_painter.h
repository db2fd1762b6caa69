// Text items of the display list drawn with the DirectWrite font system:
// the same shaping the layout measured with, fallback fonts included.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ostrel/text/win32/font_system.h"
#include "paint/win32/d2d_player.h"

namespace ostrel::win32 {

class GlyphTextPainter final : public paint::win32::TextPainter {
 public:
  explicit GlyphTextPainter(text::win32::FontSystem& fonts) : fonts_(fonts) {}
  void draw_text(ID2D1RenderTarget& target, const paint::Item& text, float scale, ID2D1SolidColorBrush& brush) override;
  bool rasterize(const paint::Item& text, float scale_x, float scale_y, float phase_x, float phase_y,
                 Picture& out) override;
  // Bytes of the cached glyph coverage and scratch buffers, estimated.
  std::size_t memory_usage() const;

 private:
  void shape(const paint::Item& item);  // into runs_, in visual order_

  text::win32::FontSystem& fonts_;
  std::vector<std::string> families_;  // scratch
  std::vector<text::win32::GlyphRun> runs_;
  std::vector<std::size_t> order_;
  // A glyph's coverage (a byte per pixel) at one quarter-pixel position.
  struct Glyph {
    std::vector<std::uint8_t> coverage;
    int left = 0, top = 0, width = 0, height = 0;  // against the glyph's whole origin pixel
  };
  struct GlyphKey {
    const void* face;                      // the font system keeps its faces for its lifetime
    std::uint32_t size, scale_x, scale_y;  // float bits
    std::uint16_t glyph;
    std::uint8_t phase;  // quarter pixels: x << 4 | y
    friend bool operator==(const GlyphKey&, const GlyphKey&) = default;
  };
  struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& k) const noexcept;
  };
  const Glyph* glyph(IDWriteFontFace* face, float size, float scale_x, float scale_y, std::uint16_t index,
                     std::uint8_t phase_x, std::uint8_t phase_y);

  Microsoft::WRL::ComPtr<IDWriteFactory> factory_;  // for rasterising glyphs
  bool factory_tried_ = false;
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs_;
  std::vector<std::vector<std::uint8_t>> whole_runs_;  // scratch: runs rasterised whole
  std::vector<std::uint8_t> scratch_;
};

}  // namespace ostrel::win32
