// Any bytes as a raster header: probing never reads out of bounds, and a
// successful answer is consistent with the bytes it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ostrel/image/probe.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel::image;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto info = probe_raster(bytes);
  if (!info) return 0;
  check(info->width > 0 && info->height > 0);
  switch (info->format) {
    case RasterFormat::Png:
      check(bytes.starts_with("\x89PNG") && size >= 24);
      break;
    case RasterFormat::Bmp:
      check(bytes.starts_with("BM") && size >= 22);
      break;
    case RasterFormat::Gif:
      check(bytes.starts_with("GIF8") && size >= 10 && info->width <= 0xFFFF && info->height <= 0xFFFF);
      break;
    case RasterFormat::Jpeg:
      check(bytes.starts_with("\xFF\xD8") && info->width <= 0xFFFF && info->height <= 0xFFFF);
      break;
  }
  // Bytes after a complete header never change the answer.
  const auto again = probe_raster(std::string(bytes) + "\xFF\xD9");
  check(again && again->format == info->format && again->width == info->width && again->height == info->height);
  return 0;
}
