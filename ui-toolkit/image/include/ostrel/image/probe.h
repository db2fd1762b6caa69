// Recognises the raster formats the toolkit shows and reads their pixel size
// from the header alone, so layout can reserve space before anything decodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel::image {

enum class RasterFormat { Png, Bmp, Gif, Jpeg };

struct RasterInfo {
  RasterFormat format;
  std::uint32_t width;
  std::uint32_t height;
};

// The format and size of an image file given its first bytes (the whole file
// is fine too). Unknown formats, truncated headers and zero sizes yield nullopt.
std::optional<RasterInfo> probe_raster(std::string_view bytes) noexcept;

}  // namespace ostrel::image
