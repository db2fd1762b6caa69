// The test prefix that tools/wine-run prepares, seen from inside Wine.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vx::testing {

// A file of the Linux host as Wine shows it (drive Z:).
inline std::filesystem::path host_file(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return std::filesystem::path("Z:" + path);
}

// The prefix's browser stand-in appends every address it is given to this file.
inline std::filesystem::path opened_urls_log() { return host_file(VORLIX_WINE_ROOT "/urls.log"); }
inline bool has_url_logger() { return std::filesystem::exists(host_file(VORLIX_WINE_ROOT "/url-logger")); }

// True once `url` is in the log: the shell starts the browser in its own time.
inline bool url_was_opened(const std::string& url) {
  for (int i = 0; i < 150; ++i, Sleep(100)) {
    std::ifstream log(opened_urls_log());
    for (std::string got; std::getline(log, got);)
      if (got == url) return true;
  }
  return false;
}

}  // namespace vx::testing
