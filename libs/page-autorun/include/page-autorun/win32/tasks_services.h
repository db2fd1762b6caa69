// The Task Scheduler and the service control manager of this machine.
#pragma once

#include <memory>

#include "page-autorun/tasks_services.h"

namespace vx::autorun::win32 {

// Joins the calling thread to a single-threaded COM apartment for as long as
// it lives, and connects to the local Task Scheduler on first use.
std::unique_ptr<TaskLibrary> open_task_library();

class Win32ServiceManager : public ServiceManager {
 public:
  std::vector<ServiceInfo> services() override;
  Result<> set_start_type(std::string_view name, std::uint32_t start_type) override;
  Result<std::unique_ptr<OpenedService>> open(std::string_view name) override;
  void pause(std::chrono::milliseconds interval) override;
};

}  // namespace vx::autorun::win32
