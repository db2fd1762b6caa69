#include "page-install/win32/inventory.h"

#include <windows.h>

#include <cstdio>
#include <unordered_map>

#include "common/text.h"
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
    // An entry's values are asked for one after another: they are read in one
    // pass over the key, one call each, instead of two calls per name asked.
    if (hive != hive_ || path != path_) read_values(hive, path);
    const auto found = values_.find(vx::to_lower(name));
    if (found == values_.end()) return std::nullopt;
    return found->second;
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
  void read_values(Hive hive, std::string_view path) {
    hive_ = hive;
    path_ = path;
    values_.clear();
    const Result<winutil::win32::RegKey> key = winutil::win32::open_key(hive, path, KEY_QUERY_VALUE);
    if (!key) return;
    DWORD count = 0, longest_name = 0, largest_data = 0;
    if (RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest_name,
                         &largest_data, nullptr, nullptr) != ERROR_SUCCESS)
      return;
    std::wstring name(longest_name + 1, L'\0');
    std::string data(largest_data, '\0');
    for (DWORD index = 0; index < count; ++index) {
      DWORD name_length = static_cast<DWORD>(name.size()), type = 0, size = static_cast<DWORD>(data.size());
      const LSTATUS status = RegEnumValueW(key->get(), index, name.data(), &name_length, nullptr, &type,
                                           reinterpret_cast<BYTE*>(data.data()), &size);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) continue;  // changed meanwhile: as good as unreadable
      // Names are compared ignoring case, as the registry does.
      values_.insert_or_assign(vx::to_lower(vx::win32::narrow(std::wstring_view(name.data(), name_length))),
                               winutil::RawValue{type, data.substr(0, size)});
    }
  }

  Hive hive_ = Hive::hklm;
  std::string path_ = "\\";  // no key read yet
  std::unordered_map<std::string, winutil::RawValue> values_;
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
