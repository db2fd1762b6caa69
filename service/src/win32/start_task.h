// The companion's scheduled start in the Task Scheduler's root folder.
#pragma once

#include <string_view>

#include "service/start_task.h"

namespace vx::service::win32 {

// Registers the task, replacing one of the same name. The definition goes in
// as its XML text, so what is registered is exactly what start_task_xml
// gives; it runs with the interactive token of whoever logs on.
bool register_start_task(const StartTask& task);

// Deletes the task when it is there; a missing task counts as success.
bool remove_start_task(std::string_view name);

// True when the root folder holds a task of exactly this name (the Task
// Scheduler itself matches names in any case), hidden ones included.
bool start_task_exists(std::string_view name);

}  // namespace vx::service::win32
