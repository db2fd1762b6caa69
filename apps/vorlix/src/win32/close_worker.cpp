#include "close_worker.h"

#include "post.h"

namespace vx::app {

void start_close_worker(HWND window, process::win32::CloseJob job,
                        std::function<void(process::win32::CloseOutcome outcome)> finished) {
  spawn_worker([window, job = std::move(job), finished = std::move(finished)]() mutable {
    process::win32::CloseOutcome outcome = process::win32::run_close_job(std::move(job));
    post_to_window(window, [finished = std::move(finished), outcome = std::move(outcome)]() mutable {
      finished(std::move(outcome));
    });
  });
}

}  // namespace vx::app
