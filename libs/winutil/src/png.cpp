#include "winutil/png.h"

#include <array>
#include <cstddef>
#include <limits>

namespace vx::winutil {
namespace {

constexpr std::array<std::uint32_t, 256> crc_table = [] {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}();

void put_u32(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

void put_chunk(std::string& out, std::string_view type, std::string_view data) {
  put_u32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type);
  out.append(data);
  put_u32(out, crc32(std::string_view(out).substr(start)));
}

// Largest deflate block without compression.
constexpr std::size_t stored_block_max = 65535;
// A chunk's length field must stay below 2^31.
constexpr std::uint64_t chunk_max = 0x7FFFFFFF;

}  // namespace

std::uint32_t crc32(std::string_view bytes, std::uint32_t previous) noexcept {
  std::uint32_t c = ~previous;
  for (const char b : bytes) c = crc_table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
  return ~c;
}

std::uint32_t adler32(std::string_view bytes, std::uint32_t previous) noexcept {
  constexpr std::uint32_t mod = 65521;
  // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
  constexpr std::size_t run = 5552;
  std::uint32_t a = previous & 0xFFFF, b = previous >> 16;
  while (!bytes.empty()) {
    const std::size_t n = bytes.size() < run ? bytes.size() : run;
    for (std::size_t i = 0; i < n; ++i) {
      a += static_cast<unsigned char>(bytes[i]);
      b += a;
    }
    a %= mod;
    b %= mod;
    bytes.remove_prefix(n);
  }
  return b << 16 | a;
}

std::string encode_png_rgba(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
  // Bounds first, so the size arithmetic below cannot wrap.
  if (width == 0 || height == 0 || width > chunk_max / 4 || height > chunk_max) return {};
  const std::uint64_t row = 1 + std::uint64_t{width} * 4;  // filter byte, then the pixels
  const std::uint64_t raw_size = row * height;
  const std::uint64_t blocks = (raw_size + stored_block_max - 1) / stored_block_max;
  const std::uint64_t zlib_size = 2 + raw_size + blocks * 5 + 4;
  if (std::uint64_t{width} * height * 4 != rgba.size() || zlib_size > chunk_max ||
      zlib_size > std::numeric_limits<std::size_t>::max() / 2)
    return {};

  std::string raw;
  raw.reserve(static_cast<std::size_t>(raw_size));
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
  for (std::size_t y = 0; y < height; ++y) {
    raw.push_back('\0');  // filter type None
    raw.append(reinterpret_cast<const char*>(rgba.data()) + y * row_bytes, row_bytes);
  }

  std::string zlib;
  zlib.reserve(static_cast<std::size_t>(zlib_size));
  zlib += "\x78\x01";  // deflate, 32 KiB window, no preset dictionary, fastest level
  for (std::size_t at = 0; at < raw.size(); at += stored_block_max) {
    const std::size_t n = raw.size() - at < stored_block_max ? raw.size() - at : stored_block_max;
    const bool last = at + n == raw.size();
    zlib.push_back(last ? '\x01' : '\x00');  // BFINAL, BTYPE 00 (stored)
    const auto len = static_cast<std::uint16_t>(n);
    const auto nlen = static_cast<std::uint16_t>(~len);
    zlib.push_back(static_cast<char>(len & 0xFF));
    zlib.push_back(static_cast<char>(len >> 8));
    zlib.push_back(static_cast<char>(nlen & 0xFF));
    zlib.push_back(static_cast<char>(nlen >> 8));
    zlib.append(raw, at, n);
  }
  put_u32(zlib, adler32(raw));

  std::string header;
  put_u32(header, width);
  put_u32(header, height);
  header += std::string_view("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace

  std::string png("\x89PNG\r\n\x1A\n", 8);
  png.reserve(8 + 25 + zlib.size() + 12 + 12);
  put_chunk(png, "IHDR", header);
  put_chunk(png, "IDAT", zlib);
  put_chunk(png, "IEND", {});
  return png;
}

}  // namespace vx::winutil
