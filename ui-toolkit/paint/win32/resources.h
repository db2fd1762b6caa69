// What the Direct2D player keeps between frames: raster images decoded by WIC
// and their bitmaps for the current target, and SVG pictures as geometry.
#pragma once

#include <windows.h>

#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dom/dom.h"
#include "paint/win32/d2d_player.h"
#include "paint/win32/shapes.h"

namespace ostrel::paint::win32 {

using Microsoft::WRL::ComPtr;

// Null when Direct2D refuses the path (out of memory, a coordinate that is not finite).
ComPtr<ID2D1PathGeometry> make_geometry(ID2D1Factory& factory, const Path& path, bool even_odd);

struct PictureShape {
  ComPtr<ID2D1PathGeometry> geometry;
  image::Paint fill, stroke;
  float stroke_width = 1;
  float opacity = 1;
};

// An SVG picture ready to draw: shapes in the picture's user space.
struct Picture {
  float width = 0, height = 0;  // natural size, CSS px
  Box view_box;
  std::vector<PictureShape> shapes;
};

// Largest raster image decoded, in pixels (128 MiB as 32-bit pixels): a
// hostile or careless file must not take the process's memory.
inline constexpr std::uint64_t max_decoded_pixels = std::uint64_t{1} << 25;

// Entries are keyed by image name and hold the generation they were made
// from, so a replaced image is decoded again and an unchanged one never is.
class ImageCache {
 public:
  explicit ImageCache(IWICImagingFactory* wic) : wic_(wic) {}

  // The image as a bitmap of `target`, or null when it is not a raster image
  // or cannot be decoded.
  ID2D1Bitmap* bitmap(std::string_view name, const ImageEntry& image, ID2D1RenderTarget& target, PlayStats& stats);
  // The SVG picture as geometry of `factory`, or null.
  const Picture* picture(std::string_view name, const ImageEntry& image, ID2D1Factory& factory, PlayStats& stats);

  // Bitmaps belong to the target that made them; decoded pixels do not.
  void drop_bitmaps();
  // Geometry belongs to the factory that made it.
  void drop_pictures();
  void clear() { entries_.clear(); }
  // Forgets what `document` no longer holds in the same generation.
  void sweep(const Document* document);
  // Bytes of the decoded pixels and of the bitmaps made from them.
  std::size_t memory_usage() const;

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  struct Entry {
    std::uint64_t generation = 0;
    bool decode_failed = false;
    ComPtr<IWICBitmapSource> decoded;
    ComPtr<ID2D1Bitmap> bitmap;
    bool picture_built = false;
    Picture picture;
  };
  Entry& entry(std::string_view name, const ImageEntry& image);
  bool decode(Entry& e, const ImageEntry& image, PlayStats& stats);

  ComPtr<IWICImagingFactory> wic_;
  std::unordered_map<std::string, Entry, Hash, std::equal_to<>> entries_;
};

// The document's image of that name, or null.
const ImageEntry* find_image(const Document* document, std::string_view name);

}  // namespace ostrel::paint::win32
