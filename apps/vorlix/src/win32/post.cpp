#include "post.h"

#include <cstdio>
#include <cstdlib>
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

void spawn_worker(std::function<void()> work) {
  auto box = std::make_unique<std::function<void()>>(std::move(work));
  const auto run = [](void* data) -> DWORD {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(data));
    (*job)();
    return 0;
  };
  HANDLE thread = CreateThread(nullptr, 0, run, box.get(), 0, nullptr);
  if (!thread) {
    std::fputs("failed to spawn thread\n", stderr);
    std::abort();
  }
  box.release();  // the thread owns it now
  CloseHandle(thread);
}

}  // namespace vx::app
