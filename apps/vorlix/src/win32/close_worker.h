// The close run's worker: it ends the programs and sends the activity report,
// then hands both back to the window thread, where the run is finished.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "process/win32/close_job.h"

namespace vx::app {

// Runs `job`, then `report` with its outcome, on a worker; `finished` then runs
// on `window`'s thread with the outcome and the report's key. When the post
// fails, both are dropped and `finished` never runs.
void start_close_worker(HWND window, process::win32::CloseJob job,
                        std::function<std::string(const process::win32::CloseOutcome&)> report,
                        std::function<void(process::win32::CloseOutcome outcome, std::string key)> finished);

}  // namespace vx::app
