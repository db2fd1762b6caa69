#include "page-autorun/win32/tasks_services.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <algorithm>

#include "common/win32/bstr.h"
#include "common/win32/error_text.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx::autorun::win32 {
namespace {

using Microsoft::WRL::ComPtr;
using vx::win32::narrow;
using vx::win32::widen;

using UniqueService = vx::win32::Unique<SC_HANDLE, &CloseServiceHandle>;

std::string hresult_text(HRESULT hr) { return vx::win32::error_text(static_cast<std::uint32_t>(hr)); }
std::string last_error_text() { return vx::win32::error_text(GetLastError()); }

using vx::win32::Bstr;

VARIANT empty_variant() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

class Win32TaskLibrary final : public TaskLibrary {
 public:
  Result<std::vector<TaskInfo>> root_tasks() override {
    const Result<ITaskFolder*> root = connect();
    if (!root) return std::unexpected(root.error());
    ComPtr<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    HRESULT hr = (*root)->GetTasks(0, tasks.GetAddressOf());  // 0: hidden tasks are not listed
    if (SUCCEEDED(hr)) hr = tasks->get_Count(&count);
    if (FAILED(hr)) return fail("system", "GetTasks " + hresult_text(hr));
    std::vector<TaskInfo> listed;
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<IRegisteredTask> task;
      BSTR name = nullptr;
      VARIANT_BOOL enabled = VARIANT_FALSE;
      VARIANT index = empty_variant();
      index.vt = VT_I4;
      index.lVal = i;
      if (FAILED(tasks->get_Item(index, task.GetAddressOf())) || FAILED(task->get_Name(&name))) continue;
      task->get_Enabled(&enabled);
      listed.push_back({narrow(name ? name : L""), enabled != VARIANT_FALSE});
      SysFreeString(name);
    }
    return listed;
  }

  Result<> set_enabled(std::string_view path, bool on) override {
    const Result<ITaskFolder*> root = connect();
    if (!root) return std::unexpected(root.error());
    ComPtr<IRegisteredTask> task;
    const Bstr location(path);
    HRESULT hr = (*root)->GetTask(location.get(), task.GetAddressOf());
    if (SUCCEEDED(hr)) hr = task->put_Enabled(on ? VARIANT_TRUE : VARIANT_FALSE);
    if (FAILED(hr)) return fail("system", std::string(path) + ": " + hresult_text(hr));
    return {};
  }

  Result<> remove(std::string_view path) override {
    const Result<ITaskFolder*> root = connect();
    if (!root) return std::unexpected(root.error());
    const Bstr location(path);
    const HRESULT hr = (*root)->DeleteTask(location.get(), 0);
    if (FAILED(hr)) return fail("system", std::string(path) + ": " + hresult_text(hr));
    return {};
  }

 private:
  // The root folder of the local service, connected without credentials.
  Result<ITaskFolder*> connect() {
    if (root_) return root_.Get();
    ComPtr<ITaskService> service;
    HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                  reinterpret_cast<void**>(service.GetAddressOf()));
    if (FAILED(hr)) return fail("system", "TaskScheduler " + hresult_text(hr));
    hr = service->Connect(empty_variant(), empty_variant(), empty_variant(), empty_variant());
    if (FAILED(hr)) return fail("system", "Connect " + hresult_text(hr));
    const Bstr root_path("\\");
    hr = service->GetFolder(root_path.get(), root_.GetAddressOf());
    if (FAILED(hr)) return fail("system", "GetFolder " + hresult_text(hr));
    return root_.Get();
  }

  vx::win32::ComApartment com_;  // first, so it outlives the pointers below
  ComPtr<ITaskFolder> root_;
};

// The configuration of an open service, in a buffer of the size it needs.
std::optional<std::vector<BYTE>> service_config(SC_HANDLE service) {
  DWORD size = 0;
  QueryServiceConfigW(service, nullptr, 0, &size);
  std::vector<BYTE> buffer(std::max<DWORD>(size, sizeof(QUERY_SERVICE_CONFIGW)));
  if (!QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &size))
    return std::nullopt;
  return buffer;
}

class Win32OpenedService final : public OpenedService {
 public:
  Win32OpenedService(UniqueService manager, UniqueService service, std::string name)
      : manager_(std::move(manager)), service_(std::move(service)), name_(std::move(name)) {}

  Result<std::uint32_t> start_type() override {
    const std::optional<std::vector<BYTE>> config = service_config(service_.get());
    if (!config) return fail("system", name_ + ": " + last_error_text());
    return reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config->data())->dwStartType;
  }
  std::optional<bool> stopped() override {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service_.get(), &status)) return std::nullopt;
    return status.dwCurrentState == SERVICE_STOPPED;
  }
  void request_stop() override {
    SERVICE_STATUS status{};
    ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
  }
  Result<> remove() override {
    if (!DeleteService(service_.get())) return fail("system", name_ + ": " + last_error_text());
    return {};
  }

 private:
  UniqueService manager_, service_;
  std::string name_;
};

}  // namespace

std::unique_ptr<TaskLibrary> open_task_library() { return std::make_unique<Win32TaskLibrary>(); }

std::vector<ServiceInfo> Win32ServiceManager::services() {
  const UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE)};
  if (!manager) return {};
  std::vector<BYTE> buffer(8 * 1024);
  DWORD needed = 0, count = 0, resume = 0;
  for (;;) {
    resume = 0;
    if (EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr))
      break;
    const DWORD error = GetLastError();
    if (error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER) return {};
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, buffer.size() + needed));
  }
  const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
  std::vector<ServiceInfo> listed;
  for (DWORD i = 0; i < count; ++i) {
    const UniqueService service{OpenServiceW(manager.get(), services[i].lpServiceName, SERVICE_QUERY_CONFIG)};
    if (!service) continue;
    const std::optional<std::vector<BYTE>> config = service_config(service.get());
    if (!config) continue;
    const auto* settings = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config->data());
    listed.push_back({narrow(services[i].lpServiceName),
                      narrow(services[i].lpDisplayName ? services[i].lpDisplayName : L""),
                      narrow(settings->lpBinaryPathName ? settings->lpBinaryPathName : L""), settings->dwStartType});
  }
  return listed;
}

Result<> Win32ServiceManager::set_start_type(std::string_view name, std::uint32_t start_type) {
  const UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager) return fail("system", "OpenSCManager " + last_error_text());
  const UniqueService service{OpenServiceW(manager.get(), widen(name).c_str(), SERVICE_CHANGE_CONFIG)};
  if (!service) return fail("system", std::string(name) + ": " + last_error_text());
  if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr))
    return fail("system", std::string(name) + ": " + last_error_text());
  return {};
}

Result<std::unique_ptr<OpenedService>> Win32ServiceManager::open(std::string_view name) {
  UniqueService manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (!manager) return fail("system", "OpenSCManager " + last_error_text());
  UniqueService service{OpenServiceW(manager.get(), widen(name).c_str(),
                                     DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG)};
  if (!service) return fail("system", std::string(name) + ": " + last_error_text());
  return std::make_unique<Win32OpenedService>(std::move(manager), std::move(service), std::string(name));
}

void Win32ServiceManager::pause(std::chrono::milliseconds interval) { Sleep(static_cast<DWORD>(interval.count())); }

}  // namespace vx::autorun::win32
