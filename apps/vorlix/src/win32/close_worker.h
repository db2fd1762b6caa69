// The close run's worker: it ends the programs, then hands what it did back
// to the window thread, where the run is finished (the report, the window).
#pragma once

#include <windows.h>

#include <functional>

#include "process/win32/close_job.h"

namespace vx::app {

// Runs `job` on a worker; `finished` then runs on `window`'s thread with the
// outcome. When the post fails, the outcome is dropped and `finished` never runs.
void start_close_worker(HWND window, process::win32::CloseJob job,
                        std::function<void(process::win32::CloseOutcome outcome)> finished);

}  // namespace vx::app
