#include "winapp2/win32/system.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <memory>
#include <utility>

#include "common/win32/final_path.h"
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
  if (wide.size() == 2 && wide[1] == L':') wide += L'\\';  // the root, not the drive's current folder
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

using vx::win32::final_path_of;
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

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct HandleInfo {
  DWORD attributes = 0;
  std::uint64_t file = 0;  // the file id on its volume
};

// The attributes and the file id of what a handle holds, from the two cheap
// classes: GetFileInformationByHandle and the file-id class ask for the
// volume's serial number too, which under Wine is a round trip to the mount
// manager (about 0.4 ms) for every file. The volume is asked once per walk
// (volume_of); the final path, checked before anything is deleted, names it.
std::optional<HandleInfo> info_of(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return std::nullopt;
  IO_STATUS_BLOCK io{};
  LARGE_INTEGER index{};  // FILE_INTERNAL_INFORMATION
  constexpr auto file_internal_information = static_cast<FILE_INFORMATION_CLASS>(6);
  if (!NT_SUCCESS(NtQueryInformationFile(handle, &io, &index, sizeof index, file_internal_information)))
    return std::nullopt;
  return HandleInfo{tag.FileAttributes, static_cast<std::uint64_t>(index.QuadPart)};
}

std::optional<std::uint64_t> volume_of(HANDLE handle) {
  FILE_ID_INFO id{};
  if (!GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) return std::nullopt;
  return id.VolumeSerialNumber;
}

// Whether the handle is where the caller expects, compared as Windows
// compares names: ordinal, case ignored. The identity of the handle has been
// checked already and is what decides; where the system cannot name the path
// (Wine gives up past MAX_PATH), it stands alone.
bool final_path_is(HANDLE handle, std::string_view path) {
  const std::optional<std::string> real = final_path_of(handle);
  if (!real) return GetLastError() == ERROR_MORE_DATA;
  const std::wstring a = vx::win32::widen(*real), b = vx::win32::widen(path);
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The entries of an opened folder, read through its handle with their file ids.
std::optional<std::vector<DirEntry>> list_handle(HANDLE folder) {
  constexpr DWORD buffer_size = 64 * 1024;
  thread_local std::unique_ptr<std::byte[]> buffer = std::make_unique<std::byte[]>(buffer_size);
  std::vector<DirEntry> out;
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(folder, kind, buffer.get(), buffer_size)) {
      if (GetLastError() == ERROR_NO_MORE_FILES) return out;
      return std::nullopt;
    }
    for (std::size_t offset = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.get() + offset);
      const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        DirEntry e;
        e.name = vx::win32::narrow(name);
        e.attributes = info->FileAttributes;
        // For a reparse point the extended-attribute size holds its tag.
        e.reparse_tag = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info->EaSize : 0;
        e.size = static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
        e.id = static_cast<std::uint64_t>(info->FileId.QuadPart);
        out.push_back(std::move(e));
      }
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
}

// POSIX semantics and the read-only override, from the Windows 10 SDK.
constexpr ULONG disposition_delete = 0x1, disposition_posix_semantics = 0x2, disposition_ignore_readonly = 0x10;
struct DispositionInfoEx {
  ULONG flags;
};
constexpr int file_disposition_info_ex = 21;  // FileDispositionInfoEx

// Marks what the handle holds for deletion: plainly first (as DeleteFileW
// would); a read-only file with the extended disposition that ignores the
// attribute, or where that is missing (older Windows 10, Wine) with the
// attribute cleared and put back should deleting still fail.
bool delete_through(HANDLE handle, DWORD attributes) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  DispositionInfoEx ex{disposition_delete | disposition_posix_semantics | disposition_ignore_readonly};
  if (SetFileInformationByHandle(handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(file_disposition_info_ex), &ex,
                                 sizeof ex))
    return true;
  if (GetLastError() != ERROR_INVALID_PARAMETER) return false;
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  const DWORD original = basic.FileAttributes;
  basic.FileAttributes =
      (original & ~FILE_ATTRIBUTE_READONLY) ? (original & ~FILE_ATTRIBUTE_READONLY) : FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) return true;
  basic.FileAttributes = original;
  SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
  return false;
}

// Opens what is at the path itself, a link never followed, for deleting.
// Write-attributes access (to clear read-only) is asked for too, but not
// insisted on: deleting needs only DELETE.
UniqueHandle open_for_delete(const std::wstring& path) {
  constexpr DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
  UniqueHandle h{CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                             share_all, nullptr, OPEN_EXISTING, flags, nullptr)};
  if (!h && GetLastError() == ERROR_ACCESS_DENIED)
    h.reset(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share_all, nullptr, OPEN_EXISTING,
                        flags, nullptr));
  return h;
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
  return h && GetFileInformationByHandle(h.get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> Win32FileSystem::final_path(std::string_view path) {
  UniqueHandle h{open_followed(path)};
  if (!h) return std::nullopt;
  return final_path_of(h.get());
}

std::optional<OpenedFolder> Win32FileSystem::open_folder(std::string_view path, Follow follow,
                                                         std::optional<FileId> expected) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow == Follow::never ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  UniqueHandle h{CreateFileW(system_path(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                             share_all, nullptr, OPEN_EXISTING, flags, nullptr)};
  if (!h) return std::nullopt;
  const std::optional<HandleInfo> info = info_of(h.get());
  if (!info || !(info->attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  if (follow == Follow::never && (info->attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return std::nullopt;
  OpenedFolder out;
  if (expected) {
    // Below a walk's root, on the root's volume: where a swap led elsewhere,
    // the file id differs, and the final path checked before deleting names
    // the other volume.
    if (expected->file != info->file) return std::nullopt;
    out.id = *expected;
    out.path = std::string(path);
  } else {
    std::optional<std::string> real = final_path_of(h.get());
    const std::optional<std::uint64_t> volume = volume_of(h.get());
    if (!real || !volume) return std::nullopt;
    out.id = {*volume, info->file};
    out.path = std::move(*real);
  }
  std::optional<std::vector<DirEntry>> entries = list_handle(h.get());
  if (!entries) return std::nullopt;
  out.entries = std::move(*entries);
  return out;
}

namespace {

// What is at `path` itself, opened for deleting, when it is still what was
// found there: a folder or a file as asked, no reparse point, the identity
// `expected` and the final path `path`. Under Wine a link cannot be seen on
// the handle (it opens its target): the identity and the final path tell.
std::optional<std::pair<UniqueHandle, HandleInfo>> open_found(std::string_view path, FileId expected, bool folder) {
  UniqueHandle h = open_for_delete(system_path(path));
  if (!h) return std::nullopt;  // in use without delete sharing, gone, refused
  const std::optional<HandleInfo> info = info_of(h.get());
  if (!info || ((info->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder ||
      (info->attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return std::nullopt;
  if (info->file != expected.file || !final_path_is(h.get(), path)) return std::nullopt;
  return std::pair{std::move(h), *info};
}

}  // namespace

bool Win32FileSystem::delete_file(std::string_view path, FileId expected) {
  const auto found = open_found(path, expected, false);
  return found && delete_through(found->first.get(), found->second.attributes);
}

bool Win32FileSystem::remove_folder(std::string_view path, FileId expected) {
  const auto found = open_found(path, expected, true);
  // Refused while the folder holds anything.
  FILE_DISPOSITION_INFO disposition{TRUE};
  return found && SetFileInformationByHandle(found->first.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

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
  if (!key) return key.error().kind == "not-found";
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
