#include "close_worker.h"

#include "post.h"

namespace vx::app {

void start_close_worker(HWND window, process::win32::CloseJob job,
                        std::function<std::string(const process::win32::CloseOutcome&)> report,
                        std::function<void(process::win32::CloseOutcome outcome, std::string key)> finished) {
  spawn_worker([window, job = std::move(job), report = std::move(report), finished = std::move(finished)]() mutable {
    process::win32::CloseOutcome outcome = process::win32::run_close_job(std::move(job));
    std::string key = report(outcome);
    post_to_window(window, [finished = std::move(finished), outcome = std::move(outcome),
                            key = std::move(key)]() mutable { finished(std::move(outcome), std::move(key)); });
  });
}

}  // namespace vx::app
