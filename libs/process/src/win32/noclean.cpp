#include "process/win32/noclean.h"

#include <windows.h>

#include <cstdio>

#include "common/file.h"
#include "common/path_vars.h"
#include "common/win32/text.h"

namespace vx::process::win32 {
std::optional<std::string> read_noclean(const std::string& path) {
  const std::optional<std::string> bytes = read_file(path, max_list_file_size);
  if (!bytes) return std::nullopt;
  return decode_list_file(*bytes, [](std::string_view raw) { return vx::win32::decode_code_page(raw); });
}

std::vector<std::string> noclean_paths() {
  std::vector<std::string> paths;
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0) break;
    if (n < module.size()) {
      module.resize(n);
      const std::size_t slash = module.find_last_of(L'\\');
      if (slash != std::wstring::npos) paths.push_back(vx::win32::narrow(module.substr(0, slash)) + "\\NoClean.txt");
      break;
    }
    module.resize(module.size() * 2);
  }
  if (const std::optional<std::string> roaming = known_folder(KnownFolder::RoamingAppData))
    paths.push_back(*roaming + "\\Vorlix\\NoClean.txt");
  return paths;
}

void merge_noclean_files(KeepList& path_list, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::optional<std::string> text = read_noclean(path);
    if (!text) continue;
    const std::size_t added = merge_lines(path_list, *text);
    std::fprintf(stderr, "[clean] NoClean %s +%zu\n", path.c_str(), added);
  }
}

}  // namespace vx::process::win32
