#include "win32/text_painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

namespace ostrel::win32 {

namespace {

constexpr std::size_t max_cached_glyphs = 16384;

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// One glyph run's coverage, one byte per pixel (the three subpixel values
// averaged: grey antialiasing, as the player draws text), and where it lies.
bool coverage(IDWriteFactory& factory, const DWRITE_GLYPH_RUN& run, const DWRITE_MATRIX& transform, float origin_x,
              RECT& bounds, std::vector<std::uint8_t>& out, std::vector<std::uint8_t>& scratch) {
  Microsoft::WRL::ComPtr<IDWriteGlyphRunAnalysis> analysis;
  if (FAILED(factory.CreateGlyphRunAnalysis(&run, 1, &transform, DWRITE_RENDERING_MODE_NATURAL_SYMMETRIC,
                                            DWRITE_MEASURING_MODE_NATURAL, origin_x, 0, analysis.GetAddressOf())) ||
      FAILED(analysis->GetAlphaTextureBounds(DWRITE_TEXTURE_CLEARTYPE_3x1, &bounds)))
    return false;
  out.clear();
  if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) return true;  // a blank glyph
  const std::size_t pixels = static_cast<std::size_t>(bounds.right - bounds.left) * (bounds.bottom - bounds.top);
  scratch.resize(pixels * 3);
  if (FAILED(analysis->CreateAlphaTexture(DWRITE_TEXTURE_CLEARTYPE_3x1, &bounds, scratch.data(),
                                          static_cast<UINT32>(scratch.size()))))
    return false;
  out.resize(pixels);
  for (std::size_t i = 0; i < pixels; ++i)
    out[i] = static_cast<std::uint8_t>((scratch[3 * i] + scratch[3 * i + 1] + scratch[3 * i + 2] + 1) / 3);
  return true;
}

}  // namespace

std::size_t GlyphTextPainter::GlyphKeyHash::operator()(const GlyphKey& k) const noexcept {
  std::size_t h = std::hash<const void*>()(k.face);
  for (const std::uint64_t v :
       {std::uint64_t{k.size} << 32 | k.scale_x, std::uint64_t{k.scale_y} << 32 | k.glyph, std::uint64_t{k.phase}})
    h ^= std::hash<std::uint64_t>()(v) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
  return h;
}

const GlyphTextPainter::Glyph* GlyphTextPainter::glyph(IDWriteFontFace* face, float size, float scale_x, float scale_y,
                                                       std::uint16_t index, std::uint8_t phase_x,
                                                       std::uint8_t phase_y) {
  const auto key_for = [&](std::uint8_t x) {
    return GlyphKey{face, bits(size), bits(scale_x), bits(scale_y), index, static_cast<std::uint8_t>(x << 4 | phase_y)};
  };
  const GlyphKey key = key_for(phase_x);
  if (auto found = glyphs_.find(key); found != glyphs_.end()) return &found->second;

  // The glyph is rasterised once, four times as wide (a column per quarter
  // pixel); each quarter-pixel position is then four columns averaged.
  constexpr std::uint8_t wide = 0xF;
  const Glyph* source = nullptr;
  if (auto found = glyphs_.find(key_for(wide)); found != glyphs_.end()) {
    source = &found->second;
  } else {
    const float advance = 0;
    const DWRITE_GLYPH_OFFSET offset{0, 0};
    const DWRITE_GLYPH_RUN run{face, size, 1, &index, &advance, &offset, FALSE, 0};
    const DWRITE_MATRIX transform{4 * scale_x, 0, 0, scale_y, 0, phase_y / 4.0f};
    Glyph made;
    RECT bounds{};
    if (!coverage(*factory_.Get(), run, transform, 0, bounds, made.coverage, scratch_)) return nullptr;
    made.left = bounds.left;
    made.top = bounds.top;
    made.width = made.coverage.empty() ? 0 : bounds.right - bounds.left;
    made.height = made.coverage.empty() ? 0 : bounds.bottom - bounds.top;
    source = &glyphs_.emplace(key_for(wide), std::move(made)).first->second;
  }
  Glyph shifted;
  if (!source->coverage.empty()) {
    // Pixel i covers wide columns 4i - phase .. 4i - phase + 3.
    const int from = source->left + phase_x, to = source->left + source->width + phase_x;
    shifted.left = from >= 0 ? from / 4 : -((-from + 3) / 4);
    const int right = to >= 0 ? (to + 3) / 4 : -((-to) / 4);
    shifted.width = right - shifted.left;
    shifted.top = source->top;
    shifted.height = source->height;
    shifted.coverage.assign(static_cast<std::size_t>(shifted.width) * shifted.height, 0);
    for (int row = 0; row < shifted.height; ++row) {
      const std::uint8_t* in = source->coverage.data() + static_cast<std::size_t>(row) * source->width;
      std::uint8_t* out = shifted.coverage.data() + static_cast<std::size_t>(row) * shifted.width;
      for (int i = 0; i < shifted.width; ++i) {
        unsigned sum = 0;
        for (int k = 0; k < 4; ++k) {
          const int column = 4 * (shifted.left + i) - phase_x + k - source->left;
          if (column >= 0 && column < source->width) sum += in[column];
        }
        out[i] = static_cast<std::uint8_t>((sum + 2) / 4);
      }
    }
  }
  return &glyphs_.emplace(key, std::move(shifted)).first->second;
}

std::size_t GlyphTextPainter::memory_usage() const {
  std::size_t bytes = glyphs_.size() * (sizeof(GlyphKey) + sizeof(Glyph) + 2 * sizeof(void*)) +
                      glyphs_.bucket_count() * sizeof(void*) + scratch_.capacity();
  for (const auto& [key, glyph] : glyphs_) bytes += glyph.coverage.capacity();
  for (const auto& run : whole_runs_) bytes += run.capacity();
  return bytes;
}

void GlyphTextPainter::shape(const paint::Item& item) {
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
}

// Texts are put together from glyphs rasterised once per quarter-pixel
// position: under Wine a glyph run costs about 50 us a glyph to rasterise,
// and a list's names share their letters. Runs drawn right to left or with
// glyph offsets (marks) are rasterised whole.
bool GlyphTextPainter::rasterize(const paint::Item& item, float scale_x, float scale_y, float phase_x, float phase_y,
                                 Picture& out) {
  if (item.underline || !(scale_x > 0) || !(scale_y > 0)) return false;
  if (!std::exchange(factory_tried_, true))
    DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                        reinterpret_cast<IUnknown**>(factory_.GetAddressOf()));
  if (!factory_) return false;
  // Emptied between texts only: a text's pieces point into the cache.
  if (glyphs_.size() >= max_cached_glyphs) glyphs_.clear();
  shape(item);
  const auto quarter_y = static_cast<std::uint8_t>(std::clamp<long>(std::lround(phase_y * 4), 0, 3));

  // Every piece: its coverage and its top-left against the whole origin pixel.
  struct Piece {
    const std::uint8_t* coverage;
    int left, top, width, height;
  };
  std::vector<Piece> pieces;
  whole_runs_.clear();
  float pen = 0;  // CSS px from the text's origin
  for (std::size_t index : order_) {
    const text::win32::GlyphRun& run = runs_[index];
    const float width = run.width();
    const bool plain =
        !run.rtl() && std::all_of(run.offsets.begin(), run.offsets.end(), [](const DWRITE_GLYPH_OFFSET& o) {
          return o.advanceOffset == 0 && o.ascenderOffset == 0;
        });
    if (plain) {
      float x = pen;
      for (std::size_t g = 0; g < run.glyphs.size(); ++g) {
        const float device = scale_x * x + phase_x;
        float whole = std::floor(device);
        long quarter = std::lround((device - whole) * 4);
        if (quarter == 4) quarter = 0, whole += 1;
        const Glyph* cached = glyph(run.face.Get(), run.size, scale_x, scale_y, run.glyphs[g],
                                    static_cast<std::uint8_t>(quarter), quarter_y);
        if (!cached) return false;
        if (!cached->coverage.empty())
          pieces.push_back({cached->coverage.data(), static_cast<int>(whole) + cached->left, cached->top, cached->width,
                            cached->height});
        x += run.advances[g];
      }
    } else if (!run.glyphs.empty()) {
      const DWRITE_GLYPH_RUN glyphs = run.view();
      const DWRITE_MATRIX transform{scale_x, 0, 0, scale_y, phase_x, phase_y};
      RECT bounds{};
      whole_runs_.emplace_back();
      if (!coverage(*factory_.Get(), glyphs, transform, run.rtl() ? pen + width : pen, bounds, whole_runs_.back(),
                    scratch_))
        return false;
      if (!whole_runs_.back().empty())
        pieces.push_back({whole_runs_.back().data(), static_cast<int>(bounds.left), static_cast<int>(bounds.top),
                          static_cast<int>(bounds.right - bounds.left), static_cast<int>(bounds.bottom - bounds.top)});
    }
    pen += width;
  }
  // Pieces point into the cache's entries and whole_runs_' buffers, which
  // stay where they are while their containers grow.

  int left = 0, top = 0, right = 0, bottom = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    left = i ? std::min(left, p.left) : p.left;
    top = i ? std::min(top, p.top) : p.top;
    right = i ? std::max(right, p.left + p.width) : p.left + p.width;
    bottom = i ? std::max(bottom, p.top + p.height) : p.top + p.height;
  }
  out.left = left;
  out.top = top;
  out.width = right - left;
  out.height = bottom - top;
  if (out.width > 4096 || out.height > 4096) return false;
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height * 4, 0);
  const style::Color& c = item.color;
  for (const Piece& p : pieces) {
    for (int row = 0; row < p.height; ++row) {
      const std::uint8_t* from = p.coverage + static_cast<std::size_t>(row) * p.width;
      std::uint8_t* to =
          out.pixels.data() + (static_cast<std::size_t>(p.top - top + row) * out.width + (p.left - left)) * 4;
      for (int col = 0; col < p.width; ++col, ++from, to += 4) {
        // Glyphs that touch (or overlap) keep the stronger coverage.
        const unsigned alpha = std::max<unsigned>(to[3], *from * c.a / 255u);
        to[0] = static_cast<std::uint8_t>(c.b * alpha / 255);
        to[1] = static_cast<std::uint8_t>(c.g * alpha / 255);
        to[2] = static_cast<std::uint8_t>(c.r * alpha / 255);
        to[3] = static_cast<std::uint8_t>(alpha);
      }
    }
  }
  return true;
}

void GlyphTextPainter::draw_text(ID2D1RenderTarget& target, const paint::Item& item, float scale,
                                 ID2D1SolidColorBrush& brush) {
  shape(item);
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
