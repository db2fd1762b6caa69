#include "common/replace_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vx {

Result<> replace_file(const std::string& path, std::string_view bytes) {
  const std::filesystem::path target = std::filesystem::path(std::u8string(path.begin(), path.end()));
  std::error_code error;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  if (error) return fail("system", error.message());
  std::filesystem::path temporary = target;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return fail("system", std::strerror(errno));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, error);
      return fail("system", "write failed");
    }
  }
  std::filesystem::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return fail("system", error.message());
  }
  return {};
}

}  // namespace vx
