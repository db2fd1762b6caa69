#include "page-install/win32/inventory.h"

#include <windows.h>

#include <cstdio>

#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "winutil/icon.h"
#include "winutil/win32/registry.h"

namespace vx::install::win32 {
namespace {

using vx::win32::widen;

class Win32InventorySource final : public InventorySource {
 public:
  std::vector<std::string> subkey_names(Hive hive, std::string_view path) override {
    return winutil::win32::subkey_names(hive, path);
  }
  std::optional<winutil::RawValue> value(Hive hive, std::string_view path, std::string_view name) override {
    // Each entry's values are read one after another: its key stays open meanwhile.
    if (!key_ || hive != hive_ || path != path_) {
      Result<winutil::win32::RegKey> opened = winutil::win32::open_key(hive, path, KEY_QUERY_VALUE);
      key_ = opened ? std::move(*opened) : winutil::win32::RegKey{};
      hive_ = hive;
      path_ = path;
    }
    if (!key_) return std::nullopt;
    return winutil::win32::query_value(key_.get(), name);
  }
  std::optional<std::string> first_file(std::string_view folder) override {
    WIN32_FIND_DATAW found;
    const vx::win32::UniqueFind find{FindFirstFileExW(widen(std::string(folder) + "\\*").c_str(), FindExInfoBasic,
                                                      &found, FindExSearchNameMatch, nullptr, 0)};
    if (!find) return std::nullopt;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return vx::win32::narrow_exact(found.cFileName);
    } while (FindNextFileW(find.get(), &found));
    return std::nullopt;
  }
  std::optional<std::string> modified_date(std::string_view path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME time;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
      return std::nullopt;
    char text[16];
    std::snprintf(text, sizeof text, "%04u%02u%02u", time.wYear, time.wMonth, time.wDay);
    return text;
  }

 private:
  winutil::win32::RegKey key_;
  Hive hive_ = Hive::hklm;
  std::string path_;
};

std::string environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : vx::win32::narrow(std::wstring_view(buffer, n));
}

}  // namespace

std::vector<InstalledProgram> load_programs() {
  Folders folders;
  folders.program_files = environment(L"ProgramW6432");
  if (folders.program_files.empty()) folders.program_files = environment(L"ProgramFiles");
  if (std::string windows = environment(L"WinDir"); !windows.empty()) folders.windows = std::move(windows);
  Win32InventorySource source;
  return collect_programs(source, folders);
}

std::vector<std::string> new_icon_keys(const std::vector<InstalledProgram>& programs) {
  std::vector<std::string> keys;
  for (const InstalledProgram& program : programs) keys.push_back(icon_key(program));
  return winutil::claim_icon_keys(std::move(keys));
}

}  // namespace vx::install::win32
