// A PNG writer for small RGBA pictures (icons): no compression and no
// filtering, which keeps it simple and fast, and any PNG reader accepts it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vx::winutil {

// `rgba` holds height rows of width pixels, top row first, 4 bytes each (red,
// green, blue, alpha). Empty when the size is zero, `rgba` does not hold
// exactly width × height pixels, or the picture is too large for one PNG chunk.
std::string encode_png_rgba(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba);

// The checksums the format needs: CRC-32 (PNG/zlib polynomial) of chunks and
// Adler-32 of the zlib stream. `previous` continues a running value.
std::uint32_t crc32(std::string_view bytes, std::uint32_t previous = 0) noexcept;
std::uint32_t adler32(std::string_view bytes, std::uint32_t previous = 1) noexcept;

}  // namespace vx::winutil
