#include "winapp2/win32/system.h"

#include <windows.h>

#include "common/win32/text.h"
#include "winutil/win32/registry.h"

namespace vx::winapp2::win32 {
namespace {

// Long paths: an absolute drive path goes to the system with the "\\?\"
// prefix, so folders deeper than MAX_PATH still list.
std::wstring system_path(std::string_view path) {
  std::wstring wide = vx::win32::widen(path);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

struct Find {
  HANDLE handle;
  ~Find() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

struct Handle {
  HANDLE handle;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

DirEntry entry_of(const WIN32_FIND_DATAW& data) {
  DirEntry e;
  e.name = vx::win32::narrow(data.cFileName);
  e.attributes = data.dwFileAttributes;
  e.reparse_tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
  e.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return e;
}

// Opened for reading attributes only, links followed, folders too.
HANDLE open_followed(std::string_view path) {
  return CreateFileW(system_path(path).c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::optional<std::vector<DirEntry>> Win32FileSystem::list(std::string_view folder) {
  std::wstring pattern = system_path(folder);
  if (!pattern.ends_with(L'\\')) pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  Find find{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                             FIND_FIRST_EX_LARGE_FETCH)};
  if (find.handle == INVALID_HANDLE_VALUE) {
    // An empty folder lists as nothing; a missing or closed one cannot be listed.
    return GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(std::vector<DirEntry>{}) : std::nullopt;
  }
  std::vector<DirEntry> out;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    out.push_back(entry_of(data));
  } while (FindNextFileW(find.handle, &data));
  return out;
}

std::optional<FileInfo> Win32FileSystem::info(std::string_view path) {
  // Finding the path itself reports its own attributes and reparse tag, a link not followed.
  WIN32_FIND_DATAW data;
  Find find{FindFirstFileExW(system_path(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0)};
  if (find.handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const DirEntry e = entry_of(data);
  return FileInfo{e.attributes, e.reparse_tag, e.size};
}

bool Win32FileSystem::exists(std::string_view path) {
  Handle h{open_followed(path)};
  return h.handle != INVALID_HANDLE_VALUE;
}

bool Win32FileSystem::is_folder(std::string_view path) {
  Handle h{open_followed(path)};
  BY_HANDLE_FILE_INFORMATION info;
  return h.handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h.handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> Win32FileSystem::final_path(std::string_view path) {
  Handle h{open_followed(path)};
  if (h.handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring buffer(512, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h.handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(n + 1);
  }
  std::wstring_view result = buffer;
  if (result.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + vx::win32::narrow(result.substr(8));
  if (result.starts_with(L"\\\\?\\")) result.remove_prefix(4);
  return vx::win32::narrow(result);
}

bool Win32Registry::key_exists(Hive hive, std::string_view subkey) {
  return winutil::win32::open_key(hive, subkey, KEY_READ).has_value();
}

bool Win32Registry::value_exists(Hive hive, std::string_view subkey, std::string_view name) {
  return winutil::win32::value_exists(hive, subkey, name);
}

std::optional<std::string> Win32Environment::known_folder(KnownFolder kind) { return vx::known_folder(kind); }

std::optional<std::string> Win32Environment::temp_folder() {
  // GetTempPath2W where Windows has it (not in every Windows 10, not in Wine).
  using TempPath = DWORD(WINAPI*)(DWORD, LPWSTR);
  static const auto temp_path_2 = [] {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? reinterpret_cast<TempPath>(reinterpret_cast<void*>(GetProcAddress(kernel32, "GetTempPath2W")))
                    : nullptr;
  }();
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = temp_path_2 ? temp_path_2(MAX_PATH + 1, buffer) : GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  return vx::win32::narrow(std::wstring_view(buffer, n));
}

std::optional<std::string> Win32Environment::variable(std::string_view name) {
  const std::wstring wide = vx::win32::widen(name);
  const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(wide.c_str(), value.data(), size));
  // Not valid UTF-16: no usable value.
  for (std::size_t i = 0; i < value.size(); ++i) {
    const wchar_t c = value[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) ++i;
    else if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
  }
  return vx::win32::narrow(value);
}

}  // namespace vx::winapp2::win32
