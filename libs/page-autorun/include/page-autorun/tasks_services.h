// Scheduled tasks and Win32 services as startup items: listing, switching and
// deleting them through two narrow views of the system, so the rules (which
// start type means on, which services may be deleted, how long a stop is
// waited for) are the same against the real Task Scheduler and a fake.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "page-autorun/items.h"

namespace vx::autorun {

struct TaskInfo {
  std::string name;
  bool enabled = true;
};

// The task library's root folder. Errors are texts naming the failing step
// ("Connect ...", "GetFolder ...", "GetTasks ...").
class TaskLibrary {
 public:
  virtual ~TaskLibrary() = default;
  // The root folder's tasks by index, hidden ones left out.
  virtual Result<std::vector<TaskInfo>> root_tasks() = 0;
  // `path` is "\" + the task's name.
  virtual Result<> set_enabled(std::string_view path, bool on) = 0;
  virtual Result<> remove(std::string_view path) = 0;
};

struct ServiceInfo {
  std::string name;
  std::string display_name;
  std::string binary_path;
  std::uint32_t start_type = 0;
};

// One service opened to be deleted.
class OpenedService {
 public:
  virtual ~OpenedService() = default;
  virtual Result<std::uint32_t> start_type() = 0;
  // Absent when the status cannot be read.
  virtual std::optional<bool> stopped() = 0;
  virtual void request_stop() = 0;
  // Marks the service for deletion; the system removes it once it has ended.
  virtual Result<> remove() = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Every Win32 service in every state; empty when the manager cannot be reached.
  virtual std::vector<ServiceInfo> services() = 0;
  // Changes only the start type.
  virtual Result<> set_start_type(std::string_view name, std::uint32_t start_type) = 0;
  virtual Result<std::unique_ptr<OpenedService>> open(std::string_view name) = 0;
  // Waits between two status polls while a service stops.
  virtual void pause(std::chrono::milliseconds interval) = 0;
};

// How a stopping service is waited for before it is deleted anyway.
inline constexpr std::chrono::milliseconds service_stop_poll{300};
inline constexpr int service_stop_polls = 30;

// The root folder's tasks as items; nothing when the library cannot be read.
void add_task_items(std::vector<AutorunItem>& items, TaskLibrary& tasks);
void add_service_items(std::vector<AutorunItem>& items, ServiceManager& services);

// On is automatic (2), off disabled (4).
Result<> set_service_enabled(ServiceManager& services, const AutorunItem& item, bool on);
// Only a disabled service; a running one is asked to stop and waited for, then
// deleted even when it has not stopped.
Result<> delete_service(ServiceManager& services, const AutorunItem& item);

}  // namespace vx::autorun
