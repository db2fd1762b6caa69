#include "winapp2/win32/system.h"

#include <windows.h>

#include "common/win32/text.h"
#include "common/win32/unique.h"
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

using vx::win32::UniqueFind;
using vx::win32::UniqueHandle;

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
  UniqueFind find{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                             FIND_FIRST_EX_LARGE_FETCH)};
  if (!find) {
    // An empty folder lists as nothing; a missing or closed one cannot be listed.
    return GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(std::vector<DirEntry>{}) : std::nullopt;
  }
  std::vector<DirEntry> out;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    out.push_back(entry_of(data));
  } while (FindNextFileW(find.get(), &data));
  return out;
}

bool Win32FileSystem::exists(std::string_view path) {
  UniqueHandle h{open_followed(path)};
  return static_cast<bool>(h);
}

bool Win32FileSystem::is_folder(std::string_view path) {
  UniqueHandle h{open_followed(path)};
  BY_HANDLE_FILE_INFORMATION info;
  return h && GetFileInformationByHandle(h.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> Win32FileSystem::final_path(std::string_view path) {
  UniqueHandle h{open_followed(path)};
  if (!h) return std::nullopt;
  std::wstring buffer(512, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
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

// POSIX semantics and the read-only override, from the Windows 10 SDK.
constexpr ULONG disposition_delete = 0x1, disposition_posix_semantics = 0x2, disposition_ignore_readonly = 0x10;
struct DispositionInfoEx {
  ULONG flags;
};
constexpr int file_disposition_info_ex = 21;  // FileDispositionInfoEx

bool Win32FileSystem::delete_file(std::string_view path) {
  const std::wstring wide = system_path(path);
  if (DeleteFileW(wide.c_str())) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;  // in use, gone: left as it is
  // Access denied is most often the read-only attribute. Open the file itself
  // (a link is never followed) and mark it for deletion ignoring that.
  UniqueHandle h{CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (!h) return false;
  DispositionInfoEx ex{disposition_delete | disposition_posix_semantics | disposition_ignore_readonly};
  if (SetFileInformationByHandle(h.get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(file_disposition_info_ex), &ex,
                                 sizeof ex))
    return true;
  if (GetLastError() != ERROR_INVALID_PARAMETER) return false;
  // Older Windows 10 and Wine lack the extended disposition: clear read-only,
  // delete, and put the attribute back when deleting still fails.
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic)) return false;
  const DWORD original = basic.FileAttributes;
  if (!(original & FILE_ATTRIBUTE_READONLY)) return false;
  basic.FileAttributes = (original & ~FILE_ATTRIBUTE_READONLY) ? (original & ~FILE_ATTRIBUTE_READONLY) : FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic)) return false;
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(h.get(), FileDispositionInfo, &disposition, sizeof disposition)) return true;
  basic.FileAttributes = original;
  SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic);
  return false;
}

bool Win32FileSystem::remove_folder(std::string_view path) { return RemoveDirectoryW(system_path(path).c_str()); }

bool Win32Registry::key_exists(Hive hive, std::string_view subkey) {
  return winutil::win32::open_key(hive, subkey, KEY_READ).has_value();
}

bool Win32Registry::value_exists(Hive hive, std::string_view subkey, std::string_view name) {
  return winutil::win32::value_exists(hive, subkey, name);
}

std::vector<std::string> Win32Registry::value_names(Hive hive, std::string_view subkey) {
  return winutil::win32::value_names(hive, subkey);
}

std::vector<std::string> Win32Registry::subkey_names(Hive hive, std::string_view subkey) {
  return winutil::win32::subkey_names(hive, subkey);
}

bool Win32Registry::delete_value(Hive hive, std::string_view subkey, std::string_view name) {
  return winutil::win32::delete_value(hive, subkey, name).has_value();
}

bool Win32Registry::delete_tree(Hive hive, std::string_view subkey) {
  while (!subkey.empty() && subkey.back() == '\\') subkey.remove_suffix(1);
  while (!subkey.empty() && subkey.front() == '\\') subkey.remove_prefix(1);
  if (subkey.empty()) return false;  // a whole hive never goes
  const std::size_t slash = subkey.rfind('\\');
  const std::string_view parent = slash == std::string_view::npos ? std::string_view() : subkey.substr(0, slash);
  const std::string_view last = slash == std::string_view::npos ? subkey : subkey.substr(slash + 1);
  auto key = winutil::win32::open_key(hive, parent, DELETE | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS);
  if (!key) return key.error() == ERROR_FILE_NOT_FOUND;
  const std::wstring name = vx::win32::widen(last);
  const LSTATUS status = RegDeleteTreeW(key->get(), name.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
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
  return vx::win32::narrow_exact(value);  // not valid UTF-16: no usable value
}

}  // namespace vx::winapp2::win32
