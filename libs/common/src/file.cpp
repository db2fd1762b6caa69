#include "common/file.h"

#include <filesystem>
#include <fstream>

namespace vx {
namespace {

std::filesystem::path native(const std::string& path) {
  // The path is UTF-8; a u8 path makes the library use the platform's own text.
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::optional<std::string> read_file(const std::string& path, std::uint64_t max_bytes) {
  std::ifstream in(native(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    // Counted as it comes: a file that grows while it is read cannot get past the limit.
    if (bytes.size() + static_cast<std::uint64_t>(in.gcount()) > max_bytes) return std::nullopt;
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace vx
