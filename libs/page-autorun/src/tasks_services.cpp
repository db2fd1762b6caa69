#include "page-autorun/tasks_services.h"

namespace vx::autorun {

void add_task_items(std::vector<AutorunItem>& items, TaskLibrary& tasks) {
  // A library that cannot be listed only means this load has no tasks.
  const Result<std::vector<TaskInfo>> listed = tasks.root_tasks();
  if (!listed) return;
  for (const TaskInfo& task : *listed) items.push_back(task_item(task.name, task.enabled));
}

void add_service_items(std::vector<AutorunItem>& items, ServiceManager& services) {
  for (const ServiceInfo& service : services.services())
    items.push_back(service_item(service.name, service.display_name, service.binary_path, service.start_type));
}

Result<> set_service_enabled(ServiceManager& services, const AutorunItem& item, bool on) {
  return services.set_start_type(item.location, service_start_type(on));
}

Result<> delete_service(ServiceManager& services, const AutorunItem& item) {
  Result<std::unique_ptr<OpenedService>> service = services.open(item.location);
  if (!service) return std::unexpected(service.error());
  const Result<std::uint32_t> start = (*service)->start_type();
  if (!start) return std::unexpected(start.error());
  if (*start != service_start_type(false)) return fail("refused", item.location + ": 사용 안 함이 아님");
  std::optional<bool> stopped = (*service)->stopped();
  if (stopped && !*stopped) {
    (*service)->request_stop();
    for (int poll = 0; poll < service_stop_polls && stopped && !*stopped; ++poll) {
      services.pause(service_stop_poll);
      stopped = (*service)->stopped();
    }
  }
  return (*service)->remove();
}

}  // namespace vx::autorun
