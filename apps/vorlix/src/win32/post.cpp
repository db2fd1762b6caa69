#include "post.h"

#include <memory>

namespace vx::app {

bool post_to_window(HWND window, std::function<void()> job) {
  auto box = std::make_unique<std::function<void()>>(std::move(job));
  if (!PostMessageW(window, job_message, 0, reinterpret_cast<LPARAM>(box.get()))) return false;
  box.release();  // the window procedure owns it now
  return true;
}

void run_posted_job(LPARAM box) {
  std::unique_ptr<std::function<void()>> job(reinterpret_cast<std::function<void()>*>(box));
  if (job && *job) (*job)();
}

}  // namespace vx::app
