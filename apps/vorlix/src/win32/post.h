// The way back to the window thread: a worker boxes a job and posts it to the
// main window, whose procedure runs it once and frees it.
#pragma once

#include <windows.h>

#include <functional>

namespace vx::app {

inline constexpr UINT job_message = WM_APP + 1;  // lParam: the boxed job

// Posts `job` to `window`; false when the post fails, and the job is then
// dropped without running.
bool post_to_window(HWND window, std::function<void()> job);

// For the window procedure on job_message: runs the boxed job once and frees it.
void run_posted_job(LPARAM box);

// Runs `work` on a new thread of its own. A thread that cannot be made is a
// fault the program cannot go on from: it says so and stops.
void spawn_worker(std::function<void()> work);

}  // namespace vx::app
