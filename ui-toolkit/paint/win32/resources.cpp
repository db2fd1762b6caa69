#include "paint/win32/resources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel::paint::win32 {
namespace {

bool finite(const Segment& s) {
  for (const Point& p : s.p)
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  return true;
}

D2D1_POINT_2F pt(Point p) { return D2D1::Point2F(p.x, p.y); }

}  // namespace

ComPtr<ID2D1PathGeometry> make_geometry(ID2D1Factory& factory, const Path& path, bool even_odd) {
  if (path.empty() || !std::all_of(path.begin(), path.end(), finite)) return nullptr;
  ComPtr<ID2D1PathGeometry> geometry;
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(factory.CreatePathGeometry(&geometry)) || FAILED(geometry->Open(&sink))) return nullptr;
  sink->SetFillMode(even_odd ? D2D1_FILL_MODE_ALTERNATE : D2D1_FILL_MODE_WINDING);
  bool open = false;
  Point start{0, 0};
  auto begin = [&](Point p) {
    sink->BeginFigure(pt(p), D2D1_FIGURE_BEGIN_FILLED);
    open = true;
  };
  for (const Segment& s : path) {
    switch (s.kind) {
      case SegmentKind::Move:
        if (open) sink->EndFigure(D2D1_FIGURE_END_OPEN);
        start = s.p[0];
        begin(start);
        break;
      case SegmentKind::Line:
        // After a close, drawing goes on from where the closed figure started.
        if (!open) begin(start);
        sink->AddLine(pt(s.p[0]));
        break;
      case SegmentKind::Cubic:
        if (!open) begin(start);
        sink->AddBezier(D2D1::BezierSegment(pt(s.p[0]), pt(s.p[1]), pt(s.p[2])));
        break;
      case SegmentKind::Close:
        if (open) sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        open = false;
        break;
    }
  }
  if (open) sink->EndFigure(D2D1_FIGURE_END_OPEN);
  if (FAILED(sink->Close())) return nullptr;
  return geometry;
}

const ImageEntry* find_image(const Document* document, std::string_view name) {
  if (!document || name.empty()) return nullptr;
  const Atom atom = document->names.find(name);
  if (atom == no_atom) return nullptr;
  const auto it = document->images.find(atom);
  return it == document->images.end() ? nullptr : &it->second;
}

ImageCache::Entry& ImageCache::entry(std::string_view name, const ImageEntry& image) {
  auto it = entries_.find(name);
  if (it == entries_.end()) it = entries_.emplace(std::string(name), Entry{}).first;
  if (it->second.generation != image.generation) {
    it->second = Entry{};
    it->second.generation = image.generation;
  }
  return it->second;
}

bool ImageCache::decode(Entry& e, const ImageEntry& image, PlayStats& stats) {
  if (e.decoded) return true;
  if (e.decode_failed) return false;
  e.decode_failed = true;
  if (image.bytes.empty() || image.bytes.size() > 0xFFFFFFFFu) return false;
  if (!wic_ && FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic_)))) {
    std::fprintf(stderr, "[paint] no WIC imaging factory: images draw nothing\n");
    return false;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  ComPtr<IWICBitmap> pixels;
  UINT w = 0, h = 0;
  // The stream reads the entry's bytes in place; CacheOnLoad below decodes
  // everything before they can change.
  auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(image.bytes.data()));
  if (FAILED(wic_->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(bytes, static_cast<DWORD>(image.bytes.size()))) ||
      FAILED(wic_->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&w, &h)))
    return false;
  if (w == 0 || h == 0 || std::uint64_t{w} * h > max_decoded_pixels) return false;
  if (FAILED(wic_->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeMedianCut)) ||
      FAILED(wic_->CreateBitmapFromSource(converter.Get(), WICBitmapCacheOnLoad, &pixels)))
    return false;
  ++stats.images_decoded;
  e.decoded = pixels;
  e.decode_failed = false;
  return true;
}

ID2D1Bitmap* ImageCache::bitmap(std::string_view name, const ImageEntry& image, ID2D1RenderTarget& target,
                                PlayStats& stats) {
  if (image.is_svg) return nullptr;
  Entry& e = entry(name, image);
  if (e.bitmap) return e.bitmap.Get();
  if (!decode(e, image, stats)) {
    ++stats.image_failures;
    return nullptr;
  }
  ComPtr<IWICBitmapSource> source = e.decoded;
  UINT w = 0, h = 0;
  e.decoded->GetSize(&w, &h);
  // A bitmap larger than the device allows is shrunk to fit rather than dropped.
  const UINT limit = std::max<UINT>(1, target.GetMaximumBitmapSize());
  if (w > limit || h > limit) {
    const double s = std::min(static_cast<double>(limit) / w, static_cast<double>(limit) / h);
    ComPtr<IWICBitmapScaler> scaler;
    if (FAILED(wic_->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(e.decoded.Get(), std::max<UINT>(1, static_cast<UINT>(w * s)),
                                  std::max<UINT>(1, static_cast<UINT>(h * s)), WICBitmapInterpolationModeFant))) {
      ++stats.image_failures;
      return nullptr;
    }
    source = scaler;
  }
  const D2D1_BITMAP_PROPERTIES props =
      D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96, 96);
  if (FAILED(target.CreateBitmapFromWicBitmap(source.Get(), &props, &e.bitmap))) {
    ++stats.image_failures;
    return nullptr;
  }
  ++stats.bitmaps_uploaded;
  return e.bitmap.Get();
}

const Picture* ImageCache::picture(std::string_view name, const ImageEntry& image, ID2D1Factory& factory,
                                   PlayStats& stats) {
  if (!image.is_svg || !image.picture) {
    ++stats.image_failures;
    return nullptr;
  }
  Entry& e = entry(name, image);
  if (!e.picture_built) {
    const image::SvgPicture& svg = *image.picture;
    Picture& p = e.picture;
    p.width = svg.width;
    p.height = svg.height;
    p.view_box = svg.has_view_box ? Box{svg.view_box[0], svg.view_box[1], svg.view_box[0] + svg.view_box[2],
                                        svg.view_box[1] + svg.view_box[3]}
                                  : Box{0, 0, svg.width, svg.height};
    for (const image::SvgShape& shape : svg.shapes) {
      if ((shape.fill.none && shape.stroke.none) || !(shape.opacity > 0)) continue;
      PictureShape out;
      out.geometry = make_geometry(factory, shape.path, shape.even_odd);
      if (!out.geometry) continue;
      out.fill = shape.fill;
      out.stroke = shape.stroke;
      out.stroke_width = shape.stroke_width;
      out.opacity = shape.opacity;
      p.shapes.push_back(std::move(out));
    }
    e.picture_built = true;
    ++stats.pictures_built;
  }
  return &e.picture;
}

void ImageCache::drop_bitmaps() {
  for (auto& [name, e] : entries_) e.bitmap.Reset();
}

void ImageCache::drop_pictures() {
  for (auto& [name, e] : entries_) {
    e.picture = Picture{};
    e.picture_built = false;
  }
}

void ImageCache::sweep(const Document* document) {
  std::erase_if(entries_, [&](const auto& kv) {
    const ImageEntry* image = find_image(document, kv.first);
    return !image || image->generation != kv.second.generation;
  });
}

std::size_t ImageCache::memory_usage() const {
  std::size_t bytes = 0;
  for (const auto& [name, e] : entries_) {
    UINT w = 0, h = 0;
    if (e.decoded && SUCCEEDED(e.decoded->GetSize(&w, &h))) bytes += std::size_t{w} * h * 4;
    if (e.bitmap) {
      const D2D1_SIZE_U size = e.bitmap->GetPixelSize();
      bytes += std::size_t{size.width} * size.height * 4;
    }
    bytes += e.picture.shapes.capacity() * sizeof(PictureShape);
  }
  return bytes;
}

}  // namespace ostrel::paint::win32
