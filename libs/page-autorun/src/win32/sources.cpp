#include "page-autorun/win32/sources.h"

#include <windows.h>

#include "common/path_vars.h"
#include "common/text.h"
#include "common/win32/error_text.h"
#include "common/win32/final_path.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "page-autorun/win32/tasks_services.h"
#include "winutil/icon.h"
#include "winutil/win32/registry.h"

namespace vx::autorun::win32 {
namespace {

using vx::win32::narrow;
using vx::win32::widen;
using winutil::win32::open_key;

// The StartupApproved rule for a folder or Run item.
bool approved(const AutorunItem& item) {
  const std::optional<ApprovedValue> where = approved_value(item);
  if (!where) return true;
  const Result<winutil::win32::RegKey> key = open_key(where->hive, where->key, KEY_QUERY_VALUE);
  if (!key) return true;
  const std::optional<winutil::RawValue> value = winutil::win32::query_value(key->get(), where->name);
  if (!value) return true;
  return approved_on(std::span(reinterpret_cast<const std::uint8_t*>(value->bytes.data()), value->bytes.size()));
}

void add_folder_items(std::vector<AutorunItem>& items, KnownFolder kind, Hive hive) {
  const std::optional<std::string> folder = known_folder(kind);
  if (!folder) return;
  WIN32_FIND_DATAW found;
  const vx::win32::UniqueFind find{
      FindFirstFileExW(widen(*folder + "\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0)};
  if (!find) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::optional<std::string> name = vx::win32::narrow_exact(found.cFileName);
    if (!name || !is_startup_file(*name)) continue;
    AutorunItem item = folder_item(*folder, *name, hive, true);
    item.enabled = approved(item);
    items.push_back(std::move(item));
  } while (FindNextFileW(find.get(), &found));
}

void add_run_items(std::vector<AutorunItem>& items, const RunKey& run) {
  const Result<winutil::win32::RegKey> key = open_key(run.hive, run.path, KEY_READ);
  if (!key) return;
  std::wstring buffer(16384, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumValueW(key->get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    // A name that does not convert exactly could not be found again to switch it.
    const std::optional<std::string> name = vx::win32::narrow_exact(std::wstring_view(buffer.data(), length));
    if (!name) break;
    const std::optional<winutil::RawValue> value = winutil::win32::query_value(key->get(), *name);
    AutorunItem item = run_item(run.hive, run.path, *name, value ? winutil::string_of(*value) : std::string(), true);
    item.enabled = approved(item);
    items.push_back(std::move(item));
  }
}

std::string product_name(const std::string& path) {
  const std::wstring wide = widen(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, info.data())) return {};
  void* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translation, &length) || length < 4) return {};
  const auto* pair = static_cast<const WORD*>(translation);
  void* text = nullptr;
  if (!VerQueryValueW(info.data(), widen(product_name_query(pair[0], pair[1])).c_str(), &text, &length) || length == 0)
    return {};
  return narrow(
      std::wstring_view(static_cast<const wchar_t*>(text), wcsnlen(static_cast<const wchar_t*>(text), length)));
}

// The current time as a FILETIME; a clock before 1970 gives the 1970 epoch.
std::uint64_t now_filetime() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const std::uint64_t value = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  constexpr std::uint64_t epoch_1970 = 116444736000000000ull;
  return value < epoch_1970 ? epoch_1970 : value;
}

Result<> write_approved(const AutorunItem& item, bool on) {
  const std::optional<ApprovedValue> where = approved_value(item);
  if (!where) return fail("argument", "no StartupApproved value for " + item.location);
  const auto failure = [&](LSTATUS code) {
    return fail("system", "StartupApproved " + std::string(hive_short_name(where->hive)) + where->key + "\\" +
                              where->name + ": 오류 " + std::to_string(code));
  };
  HKEY raw = nullptr;
  const std::wstring path = widen(std::string_view(where->key).substr(1));
  const LSTATUS created = RegCreateKeyExW(winutil::win32::hive_key(where->hive), path.c_str(), 0, nullptr, 0,
                                          KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr);
  if (created != ERROR_SUCCESS) return failure(created);
  const winutil::win32::RegKey key{raw};
  const std::array<std::uint8_t, 12> bytes = approved_bytes(on, now_filetime());
  const LSTATUS set = RegSetValueExW(key.get(), widen(where->name).c_str(), 0, REG_BINARY, bytes.data(), 12);
  if (set != ERROR_SUCCESS) return failure(set);
  return {};
}

// The program runs elevated and the Startup folders are the user's: the file
// is opened without following a link, judged where its handle really is (in
// the Startup folder the item was listed from) and deleted through that handle.
Result<> delete_folder_item(const AutorunItem& item) {
  const std::wstring path = widen(item.location);
  const std::optional<std::string> folder =
      known_folder(item.hive == Hive::hklm ? KnownFolder::CommonStartup : KnownFolder::Startup);
  const vx::win32::UniqueHandle folder_handle{
      folder ? CreateFileW(widen(*folder).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr)
             : INVALID_HANDLE_VALUE};
  vx::win32::UniqueHandle file{CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      if (const std::optional<ApprovedValue> where = approved_value(item))
        (void)winutil::win32::delete_value(where->hive, where->key, where->name);
      return {};  // gone already
    }
    return fail("system", item.location + ": " + vx::win32::error_text(error));
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const std::optional<std::string> where_file = vx::win32::final_path_of(file.get());
  const std::optional<std::string> where_folder =
      folder_handle ? vx::win32::final_path_of(folder_handle.get()) : std::nullopt;
  const std::size_t slash = where_file ? where_file->find_last_of('\\') : std::string::npos;
  if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !where_folder || slash == std::string::npos ||
      to_lower(std::string_view(*where_file).substr(0, slash)) != to_lower(*where_folder))
    return fail("refused", item.location + ": not a file in the Startup folder");
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    const DWORD error = GetLastError();
    return fail("system", item.location + ": " + vx::win32::error_text(error));
  }
  file.reset();  // the file goes when its last handle closes
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return fail("system", item.location + ": 남아 있음");
  if (const std::optional<ApprovedValue> where = approved_value(item))
    (void)winutil::win32::delete_value(where->hive, where->key, where->name);
  return {};
}

Result<> delete_run_item(const AutorunItem& item) {
  const Result<winutil::win32::RegKey> key = open_key(item.hive, item.key_path, KEY_SET_VALUE);
  const LSTATUS code = key ? RegDeleteValueW(key->get(), widen(item.name).c_str()) : ERROR_ACCESS_DENIED;
  // Gone already (another program removed it) counts as deleted.
  if (winutil::win32::value_exists(item.hive, item.key_path, item.name))
    return fail("system", std::string(hive_short_name(item.hive)) + item.key_path + "\\" + item.name + ": 오류 " +
                              std::to_string(code));
  if (const std::optional<ApprovedValue> where = approved_value(item))
    (void)winutil::win32::delete_value(where->hive, where->key, where->name);
  return {};
}

}  // namespace

std::vector<ListedItem> load_items() {
  std::vector<AutorunItem> items;
  add_folder_items(items, KnownFolder::CommonStartup, Hive::hklm);
  add_folder_items(items, KnownFolder::Startup, Hive::hkcu);
  for (const RunKey& run : run_keys) add_run_items(items, run);
  add_task_items(items, *open_task_library());
  Win32ServiceManager services;
  add_service_items(items, services);
  std::vector<ListedItem> listed;
  listed.reserve(items.size());
  for (AutorunItem& item : items) {
    std::string product;
    if ((item.kind == SourceKind::folder || item.kind == SourceKind::registry) && !item.target.empty() &&
        GetFileAttributesW(widen(item.target).c_str()) != INVALID_FILE_ATTRIBUTES)
      product = product_name(item.target);
    listed.push_back({std::move(item), std::move(product)});
  }
  return listed;
}

std::vector<std::string> new_icon_keys(const std::vector<ListedItem>& items) {
  std::vector<std::string> keys;
  for (const ListedItem& listed : items)
    if (listed.item.kind == SourceKind::folder || listed.item.kind == SourceKind::registry)
      keys.push_back(icon_key(listed.item));
  return winutil::claim_icon_keys(std::move(keys));
}

Result<> set_enabled(const AutorunItem& item, bool on) {
  switch (item.kind) {
    case SourceKind::folder:
    case SourceKind::registry:
      return write_approved(item, on);
    case SourceKind::task:
      return open_task_library()->set_enabled(item.location, on);
    case SourceKind::service: {
      Win32ServiceManager services;
      return set_service_enabled(services, item, on);
    }
  }
  return fail("argument", "unknown kind of item");
}

Result<> delete_item(const AutorunItem& item) {
  Win32ServiceManager services;
  return delete_item(item, services);
}

Result<> delete_item(const AutorunItem& item, ServiceManager& services) {
  switch (item.kind) {
    case SourceKind::folder:
      return delete_folder_item(item);
    case SourceKind::registry:
      return delete_run_item(item);
    case SourceKind::task:
      return open_task_library()->remove(item.location);
    case SourceKind::service:
      return delete_service(services, item);
  }
  return fail("argument", "unknown kind of item");
}

}  // namespace vx::autorun::win32
