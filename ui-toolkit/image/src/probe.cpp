#include "ostrel/image/probe.h"

#include <cstddef>
#include <cstdint>

namespace ostrel::image {
namespace {

std::uint32_t byte_at(std::string_view b, std::size_t i) { return static_cast<unsigned char>(b[i]); }
std::uint32_t be16(std::string_view b, std::size_t i) { return byte_at(b, i) << 8 | byte_at(b, i + 1); }
std::uint32_t be32(std::string_view b, std::size_t i) { return be16(b, i) << 16 | be16(b, i + 2); }
std::uint32_t le16(std::string_view b, std::size_t i) { return byte_at(b, i) | byte_at(b, i + 1) << 8; }
std::uint32_t le32(std::string_view b, std::size_t i) { return le16(b, i) | le16(b, i + 2) << 16; }

std::optional<RasterInfo> sized(RasterFormat format, std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0) return std::nullopt;
  return RasterInfo{format, width, height};
}

std::optional<RasterInfo> probe_png(std::string_view b) {
  // IHDR must be the first chunk and is always 13 bytes long.
  if (b.size() < 24 || be32(b, 8) != 13 || b.substr(12, 4) != "IHDR") return std::nullopt;
  const std::uint32_t width = be32(b, 16);
  const std::uint32_t height = be32(b, 20);
  // PNG limits both to 2^31 - 1; larger values mean a damaged file.
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
  return sized(RasterFormat::Png, width, height);
}

std::optional<RasterInfo> probe_bmp(std::string_view b) {
  if (b.size() < 18) return std::nullopt;
  const std::uint32_t header_size = le32(b, 14);
  if (header_size == 12) {
    // OS/2 1.x core header: unsigned 16-bit sizes, bottom-up only.
    if (b.size() < 22) return std::nullopt;
    return sized(RasterFormat::Bmp, le16(b, 18), le16(b, 20));
  }
  switch (header_size) {
    case 16:  // OS/2 2.x, short form
    case 40:  // BITMAPINFOHEADER
    case 52:
    case 56:
    case 64:  // OS/2 2.x, full
    case 108:
    case 124:
      break;
    default:
      return std::nullopt;
  }
  if (b.size() < 26) return std::nullopt;
  const std::uint32_t raw_width = le32(b, 18);
  const std::uint32_t raw_height = le32(b, 22);
  if (raw_width & 0x80000000u) return std::nullopt;  // negative width has no meaning
  // A negative height marks a top-down bitmap; negate in unsigned arithmetic so
  // INT32_MIN stays defined.
  const std::uint32_t height = (raw_height & 0x80000000u) ? 0u - raw_height : raw_height;
  return sized(RasterFormat::Bmp, raw_width, height);
}

std::optional<RasterInfo> probe_gif(std::string_view b) {
  if (b.size() < 10 || (b.substr(0, 6) != "GIF87a" && b.substr(0, 6) != "GIF89a")) return std::nullopt;
  return sized(RasterFormat::Gif, le16(b, 6), le16(b, 8));
}

bool is_frame_marker(std::uint32_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

std::optional<RasterInfo> probe_jpeg(std::string_view b) {
  std::size_t pos = 2;  // after SOI
  while (pos < b.size()) {
    if (byte_at(b, pos) != 0xFF) return std::nullopt;
    // Any number of 0xFF fill bytes may precede a marker code.
    while (pos + 1 < b.size() && byte_at(b, pos + 1) == 0xFF) ++pos;
    if (pos + 1 >= b.size()) return std::nullopt;
    const std::size_t at = pos;  // the 0xFF just before the marker code
    const std::uint32_t marker = byte_at(b, at + 1);
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      pos = at + 2;
      continue;
    }
    // Stuffed zero, a second SOI, EOI or scan data before any frame header:
    // there is no size to find.
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return std::nullopt;
    if (at + 4 > b.size()) return std::nullopt;
    const std::size_t length = be16(b, at + 2);
    if (length < 2 || at + 2 + length > b.size()) return std::nullopt;
    if (is_frame_marker(marker)) {
      // precision, height, width, component count
      if (length < 8) return std::nullopt;
      return sized(RasterFormat::Jpeg, be16(b, at + 7), be16(b, at + 5));
    }
    pos = at + 2 + length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<RasterInfo> probe_raster(std::string_view bytes) noexcept {
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return probe_png(bytes);
  if (bytes.starts_with("BM")) return probe_bmp(bytes);
  if (bytes.starts_with("GIF8")) return probe_gif(bytes);
  if (bytes.starts_with("\xFF\xD8")) return probe_jpeg(bytes);
  return std::nullopt;
}

}  // namespace ostrel::image
