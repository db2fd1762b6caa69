#include "paint/win32/d2d_player.h"

#include <d2d1.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "dom/dom.h"
#include "paint/win32/resources.h"
#include "paint/win32/shapes.h"

namespace ostrel::paint::win32 {
namespace {

// Below this a layer's pixels round to nothing in 8 bits.
constexpr float invisible_opacity = 1.0f / 512;
// Sweeping the image cache against the document every frame would cost a
// lookup per image per frame; this often is enough to let replaced ones go.
constexpr std::uint64_t sweep_interval = 64;
// MinGW spells the code as an unsigned constant.
const HRESULT device_lost = static_cast<HRESULT>(D2DERR_RECREATE_TARGET);

D2D1_COLOR_F color_f(style::Color c, float opacity = 1) {
  return D2D1::ColorF(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f * opacity);
}

D2D1_RECT_F rect_f(const Box& b) { return D2D1::RectF(b.left, b.top, b.right, b.bottom); }

Box css_box(const Rect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

Box round_out(const Box& b) { return {std::floor(b.left), std::floor(b.top), std::ceil(b.right), std::ceil(b.bottom)}; }

Box path_bounds(const Path& path) {
  Box out{1e30f, 1e30f, -1e30f, -1e30f};
  for (const Segment& s : path) {
    const int points = s.kind == SegmentKind::Cubic ? 3 : s.kind == SegmentKind::Close ? 0 : 1;
    for (int i = 0; i < points; ++i) {
      out.left = std::min(out.left, s.p[i].x);
      out.top = std::min(out.top, s.p[i].y);
      out.right = std::max(out.right, s.p[i].x);
      out.bottom = std::max(out.bottom, s.p[i].y);
    }
  }
  return out;
}

Radii radii_of(const float r[4], float sx, float sy) {
  Radii out;
  for (int i = 0; i < 4; ++i) {
    out.x[i] = std::max(0.0f, r[i]) * sx;
    out.y[i] = std::max(0.0f, r[i]) * sy;
  }
  return out;
}

Affine affine_of(const style::Transform& t) { return {t.a, t.b, t.c, t.d, t.e, t.f}; }

}  // namespace

struct D2DPlayer::Impl {
  explicit Impl(IWICImagingFactory* wic) : images(wic) {}

  // Where drawing goes: the target, or an offscreen bitmap for a group. Both
  // are addressed in the target's device pixels; `origin` is where the
  // surface's pixel (0, 0) lies.
  struct Surface {
    ID2D1RenderTarget* rt;
    float ox, oy;
  };
  // Offscreen bitmaps, one per group depth, kept between frames.
  struct Pooled {
    ComPtr<ID2D1BitmapRenderTarget> rt;
    ComPtr<ID2D1Bitmap> bitmap;
    ComPtr<ID2D1BitmapBrush> brush;
    UINT width = 0, height = 0;
    bool used = false;  // this frame
  };
  enum class FrameKind : std::uint8_t { axis_clip, group, transform };
  struct Frame {
    FrameKind kind;
    Affine prior_matrix;
    Box prior_clip;
    // Groups.
    Box bounds;
    std::size_t depth = 0;
    float opacity = 1;
    Path mask;  // device pixels; empty: the whole bounds
  };

  ComPtr<ID2D1RenderTarget> target;
  ComPtr<ID2D1Factory> factory;
  ComPtr<ID2D1SolidColorBrush> brush;
  std::vector<Pooled> pool;
  ImageCache images;
  PlayStats stats;
  float scale = 1;
  const Document* document = nullptr;
  TextPainter* text = nullptr;
  style::Color background{255, 255, 255, 255};

  // One frame's state.
  Affine matrix;  // CSS px to device px
  Box clip;       // bounds of what can still show, device px
  std::vector<Surface> surfaces;
  std::vector<Frame> frames;
  std::size_t groups = 0;
  int skipping = 0;  // depth inside a clip or layer that shows nothing
  bool lost = false;

  ID2D1RenderTarget& rt() { return *surfaces.back().rt; }

  // Device-pixel coordinates on the current surface.
  void device_transform() {
    const Surface& s = surfaces.back();
    s.rt->SetTransform(D2D1::Matrix3x2F::Translation(-s.ox, -s.oy));
  }
  void css_transform(const Affine& m) {
    const Surface& s = surfaces.back();
    s.rt->SetTransform(D2D1::Matrix3x2F(m.a, m.b, m.c, m.d, m.e - s.ox, m.f - s.oy));
  }

  void drop_target_resources() {
    brush.Reset();
    pool.clear();
    images.drop_bitmaps();
    texts.clear();
    pages.clear();
    own_pixels = 0;
    own_count = 0;
  }

  // Texts drawn once and copied from then on: where Direct2D rasterises a
  // glyph run on every call (under Wine, some 50 us a glyph) a list that
  // redraws its rows pays for every letter again. Keyed by everything that
  // changes the pixels, the position's fraction of a device pixel included,
  // so a copy looks exactly like a fresh drawing.
  struct TextKey {
    std::string text, family;
    float size, scale_x, scale_y;  // CSS to device pixels, transforms included
    std::uint16_t weight;
    bool italic, underline;
    std::uint32_t color;
    std::uint8_t phase_x, phase_y;  // quarters of a device pixel
    friend bool operator==(const TextKey&, const TextKey&) = default;
  };
  struct TextKeyHash {
    std::size_t operator()(const TextKey& k) const noexcept {
      std::size_t h = std::hash<std::string>()(k.text);
      auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
      mix(std::hash<std::string>()(k.family));
      for (const float f : {k.size, k.scale_x, k.scale_y}) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        mix(bits);
      }
      mix(k.color);
      mix(static_cast<std::size_t>(k.weight) << 16 | k.italic << 8 | k.underline << 9 | k.phase_x << 4 | k.phase_y);
      return h;
    }
  };
  static constexpr std::uint32_t no_page = 0xFFFFFFFF;
  struct CachedText {
    // A picture the painter rasterised lies in a page of the atlas; a text
    // drawn through Direct2D (or too large for a page) has a bitmap of its
    // own. Neither: blank, or it could not be made, and is drawn directly.
    std::uint32_t page = no_page;
    UINT x = 0, y = 0;  // its place in the page
    ComPtr<ID2D1Bitmap> own;
    float left, top;  // its top-left against the text's whole-pixel origin
    UINT width, height;
  };
  std::unordered_map<TextKey, CachedText, TextKeyHash> texts;
  TextPainter::Picture picture_scratch;

  // The atlas: pages that many texts' pictures share, because under Wine
  // every Direct2D bitmap costs some 30 KB of the graphics stack whatever its
  // size, more than most texts' pixels, and what it takes is not given back.
  // A page is filled shelf by shelf, each shelf a row of texts of about one
  // height. The pages together hold some three views' worth of pixels; when
  // none has room the page drawn from longest ago is emptied and used again.
  static constexpr UINT page_width = 1024, page_height = 256;
  struct Shelf {
    UINT y, height, used;
  };
  struct Page {
    ComPtr<ID2D1Bitmap> bitmap;
    std::vector<Shelf> shelves;
    std::uint64_t drawn = 0;  // the last frame that drew from it
  };
  std::vector<Page> pages;
  // Bitmaps of their own are few (underlined texts, painters that cannot
  // rasterise); past these the cache of them starts over.
  static constexpr std::size_t max_own_pixels = 1u << 20, max_own_count = 256;
  std::size_t own_pixels = 0, own_count = 0;

  std::size_t max_pages() const {
    const D2D1_SIZE_U size = target->GetPixelSize();
    const std::size_t view = std::size_t{size.width} * size.height, page = std::size_t{page_width} * page_height;
    return std::clamp<std::size_t>((3 * view + page - 1) / page, 2, 32);
  }

  static bool place_in(Page& p, UINT w, UINT h, UINT& x, UINT& y) {
    const UINT height = (h + 3) & ~3u;  // near heights share a shelf
    for (Shelf& s : p.shelves) {
      if (s.height >= height && s.height <= height + 8 && page_width - s.used >= w) {
        x = s.used, y = s.y;
        s.used += w;
        return true;
      }
    }
    const UINT top = p.shelves.empty() ? 0 : p.shelves.back().y + p.shelves.back().height;
    if (page_height - top < height) return false;
    p.shelves.push_back({top, height, w});
    x = 0, y = top;
    return true;
  }

  // A place for a w x h picture: in a page with room, a new page, or the
  // page drawn from longest ago, emptied. None when no page can be made.
  bool place(UINT w, UINT h, CachedText& out) {
    for (std::uint32_t i = 0; i < pages.size(); ++i) {
      if (place_in(pages[i], w, h, out.x, out.y)) {
        out.page = i;
        return true;
      }
    }
    if (pages.size() < max_pages()) {
      Page p;
      if (SUCCEEDED(target->CreateBitmap(
              D2D1::SizeU(page_width, page_height), nullptr, 0,
              D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
              &p.bitmap))) {
        pages.push_back(std::move(p));
        out.page = static_cast<std::uint32_t>(pages.size() - 1);
        return place_in(pages.back(), w, h, out.x, out.y);
      }
    }
    if (pages.empty()) return false;
    const auto oldest =
        std::min_element(pages.begin(), pages.end(), [](const Page& a, const Page& b) { return a.drawn < b.drawn; });
    const auto index = static_cast<std::uint32_t>(oldest - pages.begin());
    // This frame drew from it: what it drew must be done before the page changes.
    if (oldest->drawn == stats.frames)
      for (const Surface& s : surfaces) s.rt->Flush();
    std::erase_if(texts, [&](const auto& kv) { return kv.second.page == index; });
    oldest->shelves.clear();
    out.page = index;
    return place_in(*oldest, w, h, out.x, out.y);
  }

  const CachedText* cached_text(const Item& it, float origin_x, float origin_y, std::uint8_t phase_x,
                                std::uint8_t phase_y) {
    TextKey key{it.text,
                it.font_family,
                it.font_size,
                matrix.a,
                matrix.d,
                it.font_weight,
                it.italic,
                it.underline,
                static_cast<std::uint32_t>(it.color.r) << 24 | it.color.g << 16 | it.color.b << 8 | it.color.a,
                phase_x,
                phase_y};
    if (auto found = texts.find(key); found != texts.end()) return &found->second;
    // Rasterised on the CPU where the painter can: under Wine, Direct2D draws
    // a glyph run as outlines, about a millisecond for a short name.
    if (text->rasterize(it, matrix.a, matrix.d, phase_x / 4.0f, phase_y / 4.0f, picture_scratch)) {
      CachedText made{no_page,
                      0,
                      0,
                      nullptr,
                      static_cast<float>(picture_scratch.left),
                      static_cast<float>(picture_scratch.top),
                      static_cast<UINT>(picture_scratch.width),
                      static_cast<UINT>(picture_scratch.height)};
      // A picture with no pixels (blank text) draws nothing; kept so it is not asked again.
      if (made.width == 0 || made.height == 0) return &texts.emplace(std::move(key), std::move(made)).first->second;
      if (made.width <= page_width && made.height <= page_height && place(made.width, made.height, made)) {
        const D2D1_RECT_U to{made.x, made.y, made.x + made.width, made.y + made.height};
        if (SUCCEEDED(pages[made.page].bitmap->CopyFromMemory(&to, picture_scratch.pixels.data(), made.width * 4)))
          return &texts.emplace(std::move(key), std::move(made)).first->second;
        made.page = no_page;
      }
      target->CreateBitmap(
          D2D1::SizeU(made.width, made.height), picture_scratch.pixels.data(), made.width * 4,
          D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
          &made.own);
      if (made.own) return keep_own(std::move(key), std::move(made));
    }
    // Room for glyphs that reach past the line box: accents, descenders, overhangs.
    const float pad = std::ceil(std::max(1.0f, it.font_size * matrix.a));
    const float left = -pad, top = -std::ceil((it.baseline - it.bounds.y) * matrix.d) - pad;
    const float w = std::ceil(it.bounds.width * matrix.a) + 2 * pad,
                h = std::ceil(it.bounds.height * matrix.d) + 2 * pad;
    CachedText made{no_page, 0, 0, nullptr, left, top, static_cast<UINT>(w), static_cast<UINT>(h)};
    ComPtr<ID2D1BitmapRenderTarget> canvas;
    if (w > 0 && h > 0 && w <= 4096 && h <= 4096 &&
        SUCCEEDED(target->CreateCompatibleRenderTarget(
            D2D1::SizeF(w, h), D2D1::SizeU(made.width, made.height),
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
            D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &canvas))) {
      canvas->SetDpi(96, 96);
      canvas->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
      canvas->BeginDraw();
      canvas->Clear(D2D1::ColorF(0, 0, 0, 0));
      // The text's origin lands at (-left, -top) plus its fraction of a pixel.
      const float shift_x = -left + phase_x / 4.0f - origin_x, shift_y = -top + phase_y / 4.0f - origin_y;
      canvas->SetTransform(D2D1::Matrix3x2F(matrix.a, 0, 0, matrix.d, shift_x, shift_y));
      brush->SetColor(color_f(it.color));
      text->draw_text(*canvas.Get(), it, scale, *brush.Get());
      if (SUCCEEDED(canvas->EndDraw())) canvas->GetBitmap(&made.own);
    }
    return keep_own(std::move(key), std::move(made));
  }

  // Keeps a text with a bitmap of its own; past the budget those start over
  // (a whole new set of texts), rather than tracking ages.
  const CachedText* keep_own(TextKey key, CachedText made) {
    const std::size_t pixels = made.own ? std::size_t{made.width} * made.height : 0;
    if (own_pixels + pixels > max_own_pixels || own_count >= max_own_count) {
      std::erase_if(texts, [](const auto& kv) { return kv.second.page == no_page; });
      own_pixels = 0;
      own_count = 0;
    }
    own_pixels += pixels;
    ++own_count;
    return &texts.emplace(std::move(key), std::move(made)).first->second;
  }

  bool shows(const Box& css, float margin = 0) const {
    const Box grown{css.left - margin, css.top - margin, css.right + margin, css.bottom + margin};
    return !intersect(matrix.map_bounds(grown), clip).empty();
  }

  void fill(const Path& device_path, bool even_odd, style::Color color, bool crisp) {
    ComPtr<ID2D1PathGeometry> g = make_geometry(*factory.Get(), device_path, even_odd);
    if (!g) return;
    brush->SetColor(color_f(color));
    device_transform();
    rt().SetAntialiasMode(crisp ? D2D1_ANTIALIAS_MODE_ALIASED : D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    rt().FillGeometry(g.Get(), brush.Get());
  }

  void draw_rect(const Item& it) {
    const Box css = css_box(it.bounds);
    if (it.color.transparent() || css.empty() || !shows(css)) return;
    if (matrix.keeps_boxes()) {
      const Box dev = snap(matrix.map_bounds(css));
      if (dev.empty()) return;
      const Radii r = radii_of(it.radii, matrix.a, matrix.d);
      if (r.any()) {
        Path p;
        add_rounded_box(p, dev, r);
        fill(p, false, it.color, false);
        return;
      }
      brush->SetColor(color_f(it.color));
      device_transform();
      rt().SetAntialiasMode(D2D1_ANTIALIAS_MODE_ALIASED);
      rt().FillRectangle(rect_f(dev), brush.Get());
      return;
    }
    Path p;
    add_rounded_box(p, css, radii_of(it.radii, 1, 1));
    transform_path(p, matrix);
    fill(p, false, it.color, false);
  }

  void draw_border(const Item& it) {
    const Box css = css_box(it.bounds);
    bool any = false;
    for (int i = 0; i < 4; ++i) any = any || (it.widths[i] > 0 && !it.side_colors[i].transparent());
    if (!any || css.empty() || !shows(css)) return;
    const bool boxes = matrix.keeps_boxes();
    Box outer = css;
    Radii r = radii_of(it.radii, 1, 1);
    float w[4];
    for (int i = 0; i < 4; ++i) w[i] = std::max(0.0f, it.widths[i]);
    if (boxes) {
      outer = snap(matrix.map_bounds(css));
      r = radii_of(it.radii, matrix.a, matrix.d);
      for (int i = 0; i < 4; ++i) w[i] = snap_width(w[i] * (i % 2 ? matrix.a : matrix.d));
      if (outer.empty()) return;
    }
    const bool crisp = boxes && !r.any();
    // One colour: the ring in one piece, so no seams show where sides meet.
    const style::Color* shared = nullptr;
    bool uniform = true;
    for (int i = 0; i < 4 && uniform; ++i) {
      if (!(w[i] > 0)) continue;
      if (it.side_colors[i].transparent() || (shared && !(*shared == it.side_colors[i]))) uniform = false;
      shared = &it.side_colors[i];
    }
    if (uniform && shared) {
      Path p;
      add_rounded_box(p, outer, r);
      const Box in = inset(outer, w);
      if (!in.empty()) add_rounded_box(p, in, inner_radii(fit_radii(outer, r), w));
      if (!boxes) transform_path(p, matrix);
      fill(p, true, *shared, crisp);
      return;
    }
    for (int side = 0; side < 4; ++side) {
      if (!(w[side] > 0) || it.side_colors[side].transparent()) continue;
      Path p = border_piece(outer, r, w, side);
      if (!boxes) transform_path(p, matrix);
      fill(p, false, it.side_colors[side], crisp);
    }
  }

  void draw_text(const Item& it) {
    if (!text || it.text.empty() || it.color.transparent()) return;
    // Glyphs reach past their line box (accents, descenders, italic overhang).
    if (!shows(css_box(it.bounds), std::max(0.0f, it.font_size))) return;
    if (matrix.keeps_boxes()) {
      // Device pixels of the text's origin (its left end on the baseline).
      const float x = matrix.a * it.bounds.x + matrix.e, y = matrix.d * it.baseline + matrix.f;
      float whole_x = std::floor(x), whole_y = std::floor(y);
      auto phase_x = static_cast<std::uint8_t>(std::lround((x - whole_x) * 4));
      auto phase_y = static_cast<std::uint8_t>(std::lround((y - whole_y) * 4));
      if (phase_x == 4) phase_x = 0, whole_x += 1;
      if (phase_y == 4) phase_y = 0, whole_y += 1;
      const CachedText* cached = cached_text(it, it.bounds.x * matrix.a, it.baseline * matrix.d, phase_x, phase_y);
      ID2D1Bitmap* bitmap = cached->own.Get();
      float from_x = 0, from_y = 0;
      if (cached->page != no_page) {
        Page& page = pages[cached->page];
        page.drawn = stats.frames;
        bitmap = page.bitmap.Get();
        from_x = static_cast<float>(cached->x), from_y = static_cast<float>(cached->y);
      }
      if (bitmap) {
        device_transform();
        const float left = whole_x + cached->left, top = whole_y + cached->top;
        const float w = static_cast<float>(cached->width), h = static_cast<float>(cached->height);
        rt().DrawBitmap(bitmap, D2D1::RectF(left, top, left + w, top + h), 1.0f,
                        D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                        D2D1::RectF(from_x, from_y, from_x + w, from_y + h));
        return;
      }
    }
    brush->SetColor(color_f(it.color));
    css_transform(matrix);
    rt().SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    text->draw_text(rt(), it, scale, *brush.Get());
  }

  void draw_image(const Item& it) {
    const Box bounds = css_box(it.bounds);
    if (bounds.empty() || !shows(bounds)) return;
    const ImageEntry* image = find_image(document, it.image);
    if (!image) {
      ++stats.image_failures;
      return;
    }
    if (image->is_svg) {
      draw_picture(it, bounds, *image);
      return;
    }
    ID2D1Bitmap* bitmap = images.bitmap(it.image, *image, *target.Get(), stats);
    if (!bitmap) return;
    const Box dest = fit_image(bounds, static_cast<float>(image->width), static_cast<float>(image->height), it.fit);
    const Box seen = intersect(dest, bounds);
    if (seen.empty()) return;
    // The bitmap may be smaller than the natural size (shrunk to the device's limit).
    const D2D1_SIZE_U size = bitmap->GetPixelSize();
    const float kx = size.width / dest.width(), ky = size.height / dest.height();
    const D2D1_RECT_F source = D2D1::RectF((seen.left - dest.left) * kx, (seen.top - dest.top) * ky,
                                           (seen.right - dest.left) * kx, (seen.bottom - dest.top) * ky);
    if (matrix.keeps_boxes()) {
      const Box dev = snap(matrix.map_bounds(seen));
      if (dev.empty()) return;
      // Pixel for pixel stays sharp; anything else is filtered.
      const bool exact = std::abs(dev.width() - (source.right - source.left)) < 0.01f &&
                         std::abs(dev.height() - (source.bottom - source.top)) < 0.01f;
      device_transform();
      rt().DrawBitmap(bitmap, rect_f(dev), 1,
                      exact ? D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR : D2D1_BITMAP_INTERPOLATION_MODE_LINEAR,
                      &source);
      return;
    }
    css_transform(matrix);
    rt().DrawBitmap(bitmap, rect_f(seen), 1, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, &source);
  }

  void draw_picture(const Item& it, const Box& bounds, const ImageEntry& image) {
    const Picture* picture = images.picture(it.image, image, *factory.Get(), stats);
    if (!picture) return;
    const Box dest = fit_image(bounds, picture->width, picture->height, it.fit);
    const Box& vb = picture->view_box;
    if (dest.empty() || !(vb.width() > 0 && vb.height() > 0)) return;
    // The view box goes into the picture's box as preserveAspectRatio's
    // default (xMidYMid meet) puts it.
    const float s = std::min(dest.width() / vb.width(), dest.height() / vb.height());
    const float tx = dest.left + (dest.width() - vb.width() * s) / 2 - vb.left * s;
    const float ty = dest.top + (dest.height() - vb.height() * s) / 2 - vb.top * s;
    const Affine to_dest{s, 0, 0, s, tx, ty};
    const bool overflows =
        dest.left < bounds.left || dest.top < bounds.top || dest.right > bounds.right || dest.bottom > bounds.bottom;
    if (overflows && !push_clip(bounds, Radii{})) return;
    const Affine m = to_dest.then(matrix);
    for (const PictureShape& shape : picture->shapes) {
      css_transform(m);
      rt().SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
      for (const bool stroke : {false, true}) {
        const image::Paint& paint = stroke ? shape.stroke : shape.fill;
        if (paint.none) continue;
        // currentColor is the element's colour; the paint keeps only its opacity.
        const style::Color c = paint.current_color
                                   ? style::Color{it.color.r, it.color.g, it.color.b, paint.color.a}
                                   : style::Color{paint.color.r, paint.color.g, paint.color.b, paint.color.a};
        brush->SetColor(color_f(c, shape.opacity));
        if (stroke)
          rt().DrawGeometry(shape.geometry.Get(), brush.Get(), shape.stroke_width);
        else
          rt().FillGeometry(shape.geometry.Get(), brush.Get());
      }
    }
    if (overflows) pop();
  }

  // Returns false when nothing inside can show; the caller then skips to the
  // matching pop.
  bool push_clip(const Box& css, const Radii& css_radii) {
    if (matrix.keeps_boxes()) {
      const Box dev = snap(matrix.map_bounds(css));
      const Radii r = radii_of(css_radii.x, matrix.a, matrix.d);
      if (!r.any()) {
        const Box seen = intersect(clip, dev);
        if (seen.empty()) return false;
        frames.push_back({FrameKind::axis_clip, matrix, clip, {}, 0, 1, {}});
        device_transform();
        rt().PushAxisAlignedClip(rect_f(dev), D2D1_ANTIALIAS_MODE_ALIASED);
        clip = seen;
        return true;
      }
      Path mask;
      add_rounded_box(mask, dev, r);
      return begin_group(std::move(mask), 1);
    }
    // Turned by a transform: the clip is a shape, not a device rectangle.
    Path mask;
    add_rounded_box(mask, css, css_radii);
    transform_path(mask, matrix);
    return begin_group(std::move(mask), 1);
  }

  bool push_layer(const Item& it) {
    if (!(it.opacity > invisible_opacity)) return false;
    const Affine next = affine_of(it.transform).then(matrix);
    if (next.degenerate()) return false;
    if (it.opacity < 1) {
      if (!begin_group({}, it.opacity)) return false;
    } else {
      frames.push_back({FrameKind::transform, matrix, clip, {}, 0, 1, {}});
    }
    matrix = next;
    return true;
  }

  // What follows draws into an offscreen bitmap covering what can still show,
  // later put onto the surface below with `opacity`, through `mask` if given.
  bool begin_group(Path mask, float opacity) {
    Box bounds = clip;
    if (!mask.empty()) bounds = intersect(bounds, path_bounds(mask));
    bounds = round_out(bounds);
    if (bounds.empty()) return false;
    const UINT w = static_cast<UINT>(bounds.width()), h = static_cast<UINT>(bounds.height());
    if (pool.size() <= groups) pool.resize(groups + 1);
    Pooled& p = pool[groups];
    if (!p.rt || p.width < w || p.height < h) {
      const UINT pw = std::max(p.width, w), ph = std::max(p.height, h);
      p = Pooled{};
      if (FAILED(target->CreateCompatibleRenderTarget(
              D2D1::SizeF(static_cast<float>(pw), static_cast<float>(ph)), D2D1::SizeU(pw, ph),
              D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
              D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &p.rt)) ||
          FAILED(p.rt->GetBitmap(&p.bitmap)) || FAILED(target->CreateBitmapBrush(p.bitmap.Get(), &p.brush))) {
        p = Pooled{};
        return false;
      }
      p.width = pw, p.height = ph;
      p.rt->SetDpi(96, 96);
      // ClearType needs an opaque background to blend against.
      p.rt->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    } else if (p.used) {
      // The surface below may still hold a pending draw of this bitmap.
      rt().Flush();
    }
    p.rt->BeginDraw();
    p.rt->SetTransform(D2D1::Matrix3x2F::Identity());
    p.rt->Clear(D2D1::ColorF(0, 0, 0, 0));
    frames.push_back({FrameKind::group, matrix, clip, bounds, groups, opacity, std::move(mask)});
    surfaces.push_back({p.rt.Get(), bounds.left, bounds.top});
    clip = bounds;
    ++groups;
    ++stats.offscreen_groups;
    return true;
  }

  void end_group(const Frame& f) {
    --groups;
    Pooled& p = pool[f.depth];
    surfaces.pop_back();
    const HRESULT hr = p.rt->EndDraw();
    p.used = true;
    if (FAILED(hr)) {
      lost = lost || hr == device_lost;
      return;
    }
    const float w = f.bounds.width(), h = f.bounds.height();
    device_transform();
    if (f.mask.empty()) {
      rt().DrawBitmap(p.bitmap.Get(), rect_f(f.bounds), f.opacity, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                      D2D1::RectF(0, 0, w, h));
      return;
    }
    ComPtr<ID2D1PathGeometry> g = make_geometry(*factory.Get(), f.mask, false);
    if (!g) return;
    p.brush->SetInterpolationMode(D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
    p.brush->SetTransform(D2D1::Matrix3x2F::Translation(f.bounds.left, f.bounds.top));
    p.brush->SetOpacity(f.opacity);
    rt().SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    rt().FillGeometry(g.Get(), p.brush.Get());
  }

  void pop() {
    if (frames.empty()) return;  // a pop without its push
    const Frame f = std::move(frames.back());
    frames.pop_back();
    switch (f.kind) {
      case FrameKind::axis_clip:
        rt().PopAxisAlignedClip();
        break;
      case FrameKind::group:
        end_group(f);
        break;
      case FrameKind::transform:
        break;
    }
    matrix = f.prior_matrix;
    clip = f.prior_clip;
  }

  void item(const Item& it) {
    const bool push = it.kind == ItemKind::push_clip || it.kind == ItemKind::push_layer;
    const bool pop_item = it.kind == ItemKind::pop_clip || it.kind == ItemKind::pop_layer;
    if (skipping > 0) {
      if (push) ++skipping;
      if (pop_item) --skipping;
      return;
    }
    switch (it.kind) {
      case ItemKind::rect:
        draw_rect(it);
        break;
      case ItemKind::border:
        draw_border(it);
        break;
      case ItemKind::text:
        draw_text(it);
        break;
      case ItemKind::image:
        draw_image(it);
        break;
      case ItemKind::check_mark:
      case ItemKind::drop_arrow: {
        const Box css = css_box(it.bounds);
        if (it.color.transparent() || css.empty() || !shows(css)) break;
        Path p = it.kind == ItemKind::check_mark ? check_mark(css) : drop_arrow(css);
        transform_path(p, matrix);
        fill(p, false, it.color, false);
        break;
      }
      case ItemKind::push_clip:
        if (!push_clip(css_box(it.bounds), radii_of(it.radii, 1, 1))) skipping = 1;
        break;
      case ItemKind::push_layer:
        if (!push_layer(it)) skipping = 1;
        break;
      case ItemKind::pop_clip:
      case ItemKind::pop_layer:
        pop();
        break;
    }
  }

  // BeginDraw and every drawing call; true when EndDraw is due.
  bool record(const DisplayList& list, const Rect& region, PlayResult& result) {
    result = PlayResult::ok;
    if (!target) {
      result = PlayResult::no_target;
      return false;
    }
    ++stats.frames;
    const D2D1_SIZE_U size = target->GetPixelSize();
    const Box whole{0, 0, static_cast<float>(size.width), static_cast<float>(size.height)};
    const Box area = intersect(whole, round_out(Affine::scale(scale).map_bounds(css_box(region))));
    if (area.empty()) return false;
    if (!brush && FAILED(target->CreateSolidColorBrush(D2D1::ColorF(0, 0, 0, 1), &brush))) {
      result = PlayResult::failed;
      return false;
    }

    target->BeginDraw();
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    target->PushAxisAlignedClip(rect_f(area), D2D1_ANTIALIAS_MODE_ALIASED);
    // The canvas rect comes first and covers the view: clearing to it paints it.
    std::size_t first = 0;
    style::Color canvas = background;
    if (!list.items.empty()) {
      const Item& it = list.items.front();
      const bool radii = it.radii[0] > 0 || it.radii[1] > 0 || it.radii[2] > 0 || it.radii[3] > 0;
      if (it.kind == ItemKind::rect && it.color.a == 255 && !radii && it.bounds.x <= 0 && it.bounds.y <= 0 &&
          it.bounds.x + it.bounds.width >= list.width && it.bounds.y + it.bounds.height >= list.height) {
        canvas = it.color;
        first = 1;
      }
    }
    target->Clear(color_f(canvas));

    matrix = Affine::scale(scale);
    clip = area;
    surfaces.assign(1, {target.Get(), 0, 0});
    frames.clear();
    groups = 0;
    skipping = 0;
    lost = false;
    for (Pooled& p : pool) p.used = false;
    for (std::size_t i = first; i < list.items.size(); ++i) item(list.items[i]);
    while (!frames.empty()) pop();  // a list that ends inside a clip or layer

    target->PopAxisAlignedClip();
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    target->SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    return true;
  }

  // After EndDraw: a lost device drops the target and what was made for it.
  PlayResult finish(HRESULT hr) {
    surfaces.clear();
    if (hr == device_lost || lost) {
      drop_target_resources();
      target.Reset();
      return PlayResult::recreate_target;
    }
    if (stats.frames % sweep_interval == 0) images.sweep(document);
    return FAILED(hr) ? PlayResult::failed : PlayResult::ok;
  }

  PlayResult draw(const DisplayList& list, const Rect& region) {
    PlayResult result;
    return record(list, region, result) ? finish(target->EndDraw()) : result;
  }
};

D2DPlayer::D2DPlayer(IWICImagingFactory* wic) : impl_(std::make_unique<Impl>(wic)) {}

D2DPlayer::~D2DPlayer() = default;

void D2DPlayer::set_target(ID2D1RenderTarget* target) {
  Impl& s = *impl_;
  if (target == s.target.Get()) {
    if (target) target->SetDpi(96, 96);
    return;
  }
  s.drop_target_resources();
  s.target = target;
  if (!target) return;
  target->SetDpi(96, 96);
  ComPtr<ID2D1Factory> factory;
  target->GetFactory(&factory);
  if (factory.Get() != s.factory.Get()) s.images.drop_pictures();
  s.factory = factory;
}

void D2DPlayer::set_scale(float device_pixels_per_css_pixel) {
  const float s = device_pixels_per_css_pixel;
  impl_->scale = std::isfinite(s) && s > 0 ? s : 1;
}

void D2DPlayer::set_document(const Document* document) {
  if (document != impl_->document) impl_->images.clear();
  impl_->document = document;
}

void D2DPlayer::set_text_painter(TextPainter* painter) { impl_->text = painter; }

void D2DPlayer::set_background(style::Color color) { impl_->background = color; }

PlayResult D2DPlayer::draw(const DisplayList& list, const Rect& region) { return impl_->draw(list, region); }

bool D2DPlayer::record(const DisplayList& list, const Rect& region, PlayResult& result) {
  return impl_->record(list, region, result);
}

HRESULT D2DPlayer::end_draw() { return impl_->target->EndDraw(); }

PlayResult D2DPlayer::finish(HRESULT end_draw_result) { return impl_->finish(end_draw_result); }

void D2DPlayer::play(const DisplayList& list, const Rect& region) { last_result_ = draw(list, region); }

const PlayStats& D2DPlayer::stats() const { return impl_->stats; }

D2DPlayer::Usage D2DPlayer::memory_usage() const {
  const Impl& s = *impl_;
  Usage out;
  out.text_bitmaps = (s.pages.size() * Impl::page_width * Impl::page_height + s.own_pixels) * 4;
  out.texts = s.texts.size();
  out.image_bitmaps = s.images.memory_usage();
  for (const Impl::Pooled& p : s.pool) out.offscreen += std::size_t{p.width} * p.height * 4;
  return out;
}

}  // namespace ostrel::paint::win32
