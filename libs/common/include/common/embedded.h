// Access to data linked into the program with vorlix_embed() (cmake/Embed.cmake).
#pragma once

#include <cstdint>
#include <string_view>

// Declares the symbols of one embedded file at namespace scope.
#define VX_EMBEDDED(symbol)                \
  extern "C" const unsigned char symbol[]; \
  extern "C" const std::uint64_t symbol##_size;

namespace vx {

inline std::string_view embedded_bytes(const unsigned char* data, std::uint64_t size) noexcept {
  return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)};
}

}  // namespace vx
