// The Direct2D player: draws a display list onto a render target it is given
// (the view's window target, or a WIC bitmap target in tests).
//
// CSS pixels become device pixels by the view's scale (DPI / 96). Boxes,
// borders and clips that stay axis-aligned are snapped to whole device
// pixels, so a 1px border is one sharp device pixel at 96 DPI and two at 192.
// Opacity and clips that are not plain device rectangles (rounded, or turned by
// a transform) are drawn through offscreen bitmaps rather than Direct2D
// layers, which Wine ignores.
//
// Text is drawn by an injected TextPainter; images come from the document's
// image table, decoded once per name and generation.
//
// Include with WIDL_EXPLICIT_AGGREGATE_RETURNS defined (the library's users get
// it from CMake): MinGW's d2d1.h otherwise declares the methods that return
// structures (GetSize, GetPixelSize) as returning them by value and leaves the
// convention to the compiler; the explicit form passes the result's address,
// as d2d1.dll expects.
#pragma once

#include <windows.h>

#include <d2d1.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "paint/display_list.h"

namespace ostrel {
struct Document;
}

namespace ostrel::paint::win32 {

// Draws text items. The DirectWrite font system implements it.
class TextPainter {
 public:
  virtual ~TextPainter() = default;
  // On entry `target`'s transform maps the item's CSS pixels to the target's
  // pixels (scale, layer transforms and any offscreen offset included), and
  // `brush` carries the item's colour. `scale` is the view's device pixels per
  // CSS pixel, for hinting. Draws the underline too. Must leave the target's
  // clip and layer stack as it found them.
  virtual void draw_text(ID2D1RenderTarget& target, const Item& text, float scale, ID2D1SolidColorBrush& brush) = 0;

  // The text in its colour as premultiplied BGRA pixels, for the player's
  // text cache: `scale_x`, `scale_y` map CSS to device pixels, and the
  // baseline origin lies (`phase_x`, `phase_y`) device pixels past a whole
  // pixel. `left`, `top` place the picture against that whole pixel. False
  // when the painter cannot (the player then draws through Direct2D).
  struct Picture {
    std::vector<std::uint8_t> pixels;  // rows of width * 4 bytes
    int left = 0, top = 0, width = 0, height = 0;
  };
  virtual bool rasterize(const Item&, float /*scale_x*/, float /*scale_y*/, float /*phase_x*/, float /*phase_y*/,
                         Picture&) {
    return false;
  }
};

enum class PlayResult : std::uint8_t {
  ok,
  // The device was lost: the target was dropped with everything made for it.
  // Create a new target, hand it over with set_target and draw the whole view.
  recreate_target,
  failed,     // EndDraw failed otherwise; the frame may be incomplete
  no_target,  // nothing to draw on
};

// Counters for tests and diagnostics.
struct PlayStats {
  std::uint64_t frames = 0;
  std::uint64_t images_decoded = 0;    // WIC decodes: once per image name and generation
  std::uint64_t bitmaps_uploaded = 0;  // decoded images turned into bitmaps of a target
  std::uint64_t pictures_built = 0;    // SVG pictures turned into Direct2D geometry
  std::uint64_t image_failures = 0;    // missing, undecodable or oversized images (each time asked)
  std::uint64_t offscreen_groups = 0;  // opacity and shaped clips drawn through a bitmap
};

class D2DPlayer final : public Player {
 public:
  // `wic` decodes raster images; null creates one on first use (COM must be
  // initialised on the drawing thread).
  explicit D2DPlayer(IWICImagingFactory* wic = nullptr);
  ~D2DPlayer() override;
  D2DPlayer(const D2DPlayer&) = delete;
  D2DPlayer& operator=(const D2DPlayer&) = delete;

  // The player keeps a reference. Its DPI is set to 96 so that one DIP is one
  // pixel: the player scales by itself. A different target drops the bitmaps
  // made for the previous one (decoded images and geometry are kept).
  void set_target(ID2D1RenderTarget* target);
  void set_scale(float device_pixels_per_css_pixel);
  // Where image items find their images; may be null (images draw nothing).
  // The document must outlive the player or be replaced first.
  void set_document(const Document* document);
  void set_text_painter(TextPainter* painter);
  // What the region is cleared to when the list has no opaque canvas rect first.
  void set_background(style::Color color);

  // Draws the part of the list that intersects `region` (CSS pixels); pixels
  // outside it are left as they are. Calls BeginDraw and EndDraw itself.
  PlayResult draw(const DisplayList& list, const Rect& region);
  // draw() in three steps, so that EndDraw (where Direct2D does most of the
  // work) can run on another thread: record() makes every drawing call and
  // says whether EndDraw is due (else `result` is the frame's result);
  // end_draw() may then run on any thread, while nothing else touches the
  // player or its target; finish() takes its result back on this thread.
  bool record(const DisplayList& list, const Rect& region, PlayResult& result);
  HRESULT end_draw();
  PlayResult finish(HRESULT end_draw_result);
  // Player: draw(), with the result kept in last_result().
  void play(const DisplayList& list, const Rect& region) override;
  PlayResult last_result() const { return last_result_; }

  const PlayStats& stats() const;

  // Bytes of what the player keeps between frames, as pixels (the graphics
  // stack may hold more per bitmap): texts drawn before, images, offscreen
  // group bitmaps.
  struct Usage {
    std::size_t text_bitmaps = 0, texts = 0;  // bytes, and how many texts
    std::size_t image_bitmaps = 0, offscreen = 0;
  };
  Usage memory_usage() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  PlayResult last_result_ = PlayResult::ok;
};

}  // namespace ostrel::paint::win32
