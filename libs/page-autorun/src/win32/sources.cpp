#include "page-autorun/win32/sources.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <mutex>
#include <set>

#include "common/path_vars.h"
#include "common/text.h"
#include "common/win32/error_text.h"
#include "common/win32/final_path.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "winutil/win32/registry.h"

namespace vx::autorun::win32 {
namespace {

using Microsoft::WRL::ComPtr;
using vx::win32::narrow;
using vx::win32::widen;
using winutil::win32::open_key;

using UniqueService = vx::win32::Unique<SC_HANDLE, &CloseServiceHandle>;

std::string hresult_text(HRESULT hr) { return vx::win32::error_text(static_cast<std::uint32_t>(hr)); }

// A BSTR made from UTF-8, freed when it goes.
class Bstr {
 public:
  explicit Bstr(std::string_view text) : value_(SysAllocString(widen(text).c_str())) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

VARIANT empty_variant() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

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

// The Task Scheduler's root folder, connected to the local service.
Result<ComPtr<ITaskFolder>> task_root() {
  ComPtr<ITaskService> service;
  HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                reinterpret_cast<void**>(service.GetAddressOf()));
  if (FAILED(hr)) return fail("system", "TaskScheduler " + hresult_text(hr));
  hr = service->Connect(empty_variant(), empty_variant(), empty_variant(), empty_variant());
  if (FAILED(hr)) return fail("system", "Connect " + hresult_text(hr));
  ComPtr<ITaskFolder> root;
  const Bstr root_path("\\");
  hr = service->GetFolder(root_path.get(), root.GetAddressOf());
  if (FAILED(hr)) return fail("system", "GetFolder " + hresult_text(hr));
  return root;
}

void add_task_items(std::vector<AutorunItem>& items) {
  const Result<ComPtr<ITaskFolder>> root = task_root();
  if (!root) return;
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  // A failure here ("GetTasks ...") only means the load has no tasks.
  if (FAILED((*root)->GetTasks(0, tasks.GetAddressOf())) || FAILED(tasks->get_Count(&count))) return;
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IRegisteredTask> task;
    BSTR name = nullptr;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    VARIANT index = empty_variant();
    index.vt = VT_I4;
    index.lVal = i;
    if (FAILED(tasks->get_Item(index, task.GetAddressOf())) || FAILED(task->get_Name(&name))) continue;
    task->get_Enabled(&enabled);
    items.push_back(task_item(narrow(name ? name : L""), enabled != VARIANT_FALSE));
    SysFreeString(name);
  }
}

void add_service_items(std::vector<AutorunItem>& items) {
  const UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE)};
  if (!manager) return;
  std::vector<BYTE> buffer(8 * 1024);
  DWORD needed = 0, count = 0, resume = 0;
  for (;;) {
    resume = 0;
    if (EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr))
      break;
    const DWORD error = GetLastError();
    if (error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER) return;
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, buffer.size() + needed));
  }
  const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
  std::vector<BYTE> config_buffer;
  for (DWORD i = 0; i < count; ++i) {
    const UniqueService service{OpenServiceW(manager.get(), services[i].lpServiceName, SERVICE_QUERY_CONFIG)};
    if (!service) continue;
    DWORD size = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &size);
    config_buffer.resize(std::max<DWORD>(size, sizeof(QUERY_SERVICE_CONFIGW)));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config_buffer.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(config_buffer.size()), &size)) continue;
    items.push_back(service_item(
        narrow(services[i].lpServiceName), narrow(services[i].lpDisplayName ? services[i].lpDisplayName : L""),
        narrow(config->lpBinaryPathName ? config->lpBinaryPathName : L""), config->dwStartType));
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

Result<> set_task_enabled(const AutorunItem& item, bool on) {
  const Result<ComPtr<ITaskFolder>> root = task_root();
  if (!root) return std::unexpected(root.error());
  ComPtr<IRegisteredTask> task;
  const Bstr location(item.location);
  HRESULT hr = (*root)->GetTask(location.get(), task.GetAddressOf());
  if (SUCCEEDED(hr)) hr = task->put_Enabled(on ? VARIANT_TRUE : VARIANT_FALSE);
  if (FAILED(hr)) return fail("system", item.location + ": " + hresult_text(hr));
  return {};
}

Result<> set_service_start(const AutorunItem& item, bool on) {
  const UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager) return fail("system", "OpenSCManager " + vx::win32::error_text(GetLastError()));
  const UniqueService service{OpenServiceW(manager.get(), widen(item.location).c_str(), SERVICE_CHANGE_CONFIG)};
  if (!service) return fail("system", item.location + ": " + vx::win32::error_text(GetLastError()));
  if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, service_start_type(on), SERVICE_NO_CHANGE, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return fail("system", item.location + ": " + vx::win32::error_text(GetLastError()));
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

Result<> delete_task_item(const AutorunItem& item) {
  const Result<ComPtr<ITaskFolder>> root = task_root();
  if (!root) return std::unexpected(root.error());
  const Bstr location(item.location);
  const HRESULT hr = (*root)->DeleteTask(location.get(), 0);
  if (FAILED(hr)) return fail("system", item.location + ": " + hresult_text(hr));
  return {};
}

Result<> delete_service_item(const AutorunItem& item) {
  const UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager) return fail("system", "OpenSCManager " + vx::win32::error_text(GetLastError()));
  const UniqueService service{OpenServiceW(manager.get(), widen(item.location).c_str(),
                                           DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG)};
  if (!service) return fail("system", item.location + ": " + vx::win32::error_text(GetLastError()));
  DWORD size = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &size);
  std::vector<BYTE> buffer(std::max<DWORD>(size, sizeof(QUERY_SERVICE_CONFIGW)));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &size))
    return fail("system", item.location + ": " + vx::win32::error_text(GetLastError()));
  if (config->dwStartType != SERVICE_DISABLED) return fail("refused", item.location + ": 사용 안 함이 아님");
  SERVICE_STATUS status{};
  if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    // A service that will not stop is still deleted: the system removes it once it ends.
    for (int poll = 0; poll < 30 && status.dwCurrentState != SERVICE_STOPPED; ++poll) {
      Sleep(300);
      if (!QueryServiceStatus(service.get(), &status)) break;
    }
  }
  if (!DeleteService(service.get()))
    return fail("system", item.location + ": " + vx::win32::error_text(GetLastError()));
  return {};
}

}  // namespace

std::vector<ListedItem> load_items() {
  std::vector<AutorunItem> items;
  add_folder_items(items, KnownFolder::CommonStartup, Hive::hklm);
  add_folder_items(items, KnownFolder::Startup, Hive::hkcu);
  for (const RunKey& run : run_keys) add_run_items(items, run);
  {
    const vx::win32::ComApartment com;
    add_task_items(items);
  }
  add_service_items(items);
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
  static std::mutex mutex;
  static std::set<std::string> handed_out;
  std::vector<std::string> keys;
  const std::lock_guard lock(mutex);
  for (const ListedItem& listed : items) {
    if (listed.item.kind != SourceKind::folder && listed.item.kind != SourceKind::registry) continue;
    std::string key = icon_key(listed.item);
    if (key.starts_with("exe") && handed_out.insert(key).second) keys.push_back(std::move(key));
  }
  return keys;
}

Result<> set_enabled(const AutorunItem& item, bool on) {
  switch (item.kind) {
    case SourceKind::folder:
    case SourceKind::registry:
      return write_approved(item, on);
    case SourceKind::task: {
      const vx::win32::ComApartment com;
      return set_task_enabled(item, on);
    }
    case SourceKind::service:
      return set_service_start(item, on);
  }
  return fail("argument", "unknown kind of item");
}

Result<> delete_item(const AutorunItem& item) {
  switch (item.kind) {
    case SourceKind::folder:
      return delete_folder_item(item);
    case SourceKind::registry:
      return delete_run_item(item);
    case SourceKind::task: {
      const vx::win32::ComApartment com;
      return delete_task_item(item);
    }
    case SourceKind::service:
      return delete_service_item(item);
  }
  return fail("argument", "unknown kind of item");
}

}  // namespace vx::autorun::win32
