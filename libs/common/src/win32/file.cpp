// Whole files on Windows. The program runs elevated and these files sit in the
// user's own profile, so a link planted at their names is never written through.
#include <windows.h>

#include <shlobj.h>

#include "common/file.h"
#include "common/replace_file.h"
#include "common/win32/error_text.h"
#include "common/win32/final_path.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx {
namespace {

Result<> system_failure(std::string_view what, const std::string& path) {
  return fail("system", std::string(what) + " " + path + ": " + win32::error_text(GetLastError()));
}

}  // namespace

std::optional<std::string> read_file(const std::string& path, std::uint64_t max_bytes) {
  // Shared for writing and deleting too: the user may have the file open in an editor.
  const win32::UniqueHandle file{CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;  // a folder fails here
    if (got == 0) return bytes;
    // Counted as it comes: a file that grows while it is read cannot get past the limit.
    if (bytes.size() + got > max_bytes) return std::nullopt;
    bytes.append(buffer, got);
  }
}

Result<> replace_file(const std::string& path, std::string_view bytes) {
  const std::wstring target = win32::widen(path);
  const std::size_t slash = target.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == target.size()) return fail("argument", "not a file path: " + path);
  const std::wstring folder = target.substr(0, slash);
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
    SetLastError(static_cast<DWORD>(made));
    return system_failure("cannot create the folder of", path);
  }
  const DWORD folder_attributes = GetFileAttributesW(folder.c_str());
  if (folder_attributes == INVALID_FILE_ATTRIBUTES) return system_failure("cannot reach the folder of", path);
  if (folder_attributes & FILE_ATTRIBUTE_REPARSE_POINT) return fail("refused", "the folder of " + path + " is a link");

  // A fresh name of our own: CREATE_NEW never opens what is already there, a link included.
  std::wstring temporary;
  win32::UniqueHandle file;
  for (unsigned attempt = 0; attempt < 16 && !file; ++attempt) {
    temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) +
                L"-" + std::to_wstring(attempt) + L".new";
    file.reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS) return system_failure("cannot write", path);
  }
  if (!file) return system_failure("cannot write", path);
  std::size_t written = 0;
  while (written < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 20));
    if (!WriteFile(file.get(), bytes.data() + written, chunk, &n, nullptr) || n == 0) {
      Result<> failure = system_failure("cannot write", path);
      file.reset();
      DeleteFileW(temporary.c_str());
      return failure;
    }
    written += n;
  }
  const bool flushed = FlushFileBuffers(file.get());
  file.reset();
  // Renaming over the old name replaces whatever is there, a link itself rather than its target.
  if (!flushed || !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Result<> failure = system_failure("cannot replace", path);
    DeleteFileW(temporary.c_str());
    return failure;
  }
  return {};
}

namespace win32 {

std::optional<std::string> final_path_of(HANDLE handle) {
  std::wstring buffer(512, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(n + 1);
  }
  std::wstring_view result = buffer;
  if (result.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + narrow(result.substr(8));
  if (result.starts_with(L"\\\\?\\")) result.remove_prefix(4);
  return narrow(result);
}

}  // namespace win32
}  // namespace vx
