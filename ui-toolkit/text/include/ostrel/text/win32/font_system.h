// Text measured and shaped with DirectWrite. Families are resolved here rather
// than by DirectWrite: a format naming a family that is not installed lays out
// nothing, and the system fallback does not cover every script on every machine
// (under Wine it finds no font for Hangul), so each character a face lacks is
// taken from the first installed family that has it.
#pragma once

#include <windows.h>

#include <dwrite.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/text/measure.h"

namespace ostrel::text::win32 {

// One face, one direction, one script: what ID2D1RenderTarget::DrawGlyphRun
// takes. Glyphs are in logical order; an RTL run is drawn leftwards from its
// origin, so its origin is the run's right edge.
struct GlyphRun {
  Microsoft::WRL::ComPtr<IDWriteFontFace> face;
  float size = 0;  // em size in px
  std::vector<std::uint16_t> glyphs;
  std::vector<float> advances;  // px, each a multiple of 1/64
  std::vector<DWRITE_GLYPH_OFFSET> offsets;
  // The bytes of the shaped UTF-8 text this run draws.
  std::size_t begin = 0;
  std::size_t end = 0;
  // Unicode bidi level: even runs go left to right, odd ones right to left.
  std::uint8_t bidi_level = 0;

  bool rtl() const noexcept { return (bidi_level & 1) != 0; }
  float width() const noexcept;
  // Points into this run: valid while the run is alive and unchanged.
  DWRITE_GLYPH_RUN view() const noexcept;
};

// Runs come out of shape() in logical order; this gives the order to draw them
// in from left to right (Unicode bidi rule L2 over their levels).
void visual_order(std::span<const GlyphRun> runs, std::vector<std::size_t>& order);

// The toolkit's measurer on Windows. Resolves a CSS family list to an installed
// face, falls back per character, and shapes with DirectWrite's text analyzer
// (bidi, script, ligatures, Arabic joining). advances() and width() are sums of
// exactly the advances shape() hands to the renderer, so layout and drawing
// agree to the bit.
//
// Caches faces, resolutions and shaped texts; one per process or per view, used
// from one thread at a time. Nothing here throws: on any failure texts measure
// as zero and shape into no runs.
class FontSystem final : public TextMeasurer {
 public:
  // Null, with a line on standard error, when DirectWrite is unavailable or no
  // font is installed.
  static std::unique_ptr<FontSystem> create();
  ~FontSystem() override;
  FontSystem(const FontSystem&) = delete;
  FontSystem& operator=(const FontSystem&) = delete;

  FontMetrics metrics(const FontSpec& font) override;
  void advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) override;
  float width(const FontSpec& font, std::string_view utf8) override;

  // Replaces `out` with the runs of `utf8`, in logical order, covering every byte.
  void shape(const FontSpec& font, std::string_view utf8, std::vector<GlyphRun>& out);

  // The family the list resolves to as the primary face: what the metrics come from.
  std::string resolved_family(const FontSpec& font);

  // Bytes held, estimated: the shaped texts, and the catalog's records of
  // families, faces and resolutions (the font files are DirectWrite's).
  struct Usage {
    std::size_t shaped = 0, catalog = 0;
  };
  Usage memory_usage() const;

 private:
  struct Impl;
  explicit FontSystem(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel::text::win32
