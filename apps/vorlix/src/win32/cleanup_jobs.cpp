#include "cleanup_jobs.h"

#include "post.h"
#include "winapp2/win32/system.h"

namespace vx::app {
namespace {

// The machine as one job sees it; its path context (and listing cache) lives
// as long as the job.
struct Machine {
  Machine() = default;
  Machine(const Machine&) = delete;  // the context points into it
  Machine& operator=(const Machine&) = delete;

  winapp2::win32::Win32FileSystem fs;
  winapp2::win32::Win32Registry registry;
  winapp2::win32::Win32Environment environment;
  winapp2::PathContext context = winapp2::build_path_context(fs, registry, environment);
};

// A callback for the worker that hands its values to `receiver` on the window thread.
template <class... Args>
std::function<void(Args...)> on_window(HWND window, std::function<void(Args...)> receiver) {
  return [window, receiver = std::move(receiver)](Args... args) {
    post_to_window(window, [receiver, ... args = std::move(args)]() mutable { receiver(std::move(args)...); });
  };
}

}  // namespace

void start_load_job(HWND window, std::function<void(winapp2::LoadResult)> loaded) {
  spawn_worker([loaded = on_window(window, std::move(loaded))] {
    winapp2::LoadResult result;
    {
      Machine machine;
      result = winapp2::run_load(machine.context);
    }  // the listing cache goes before the result travels
    loaded(std::move(result));
  });
}

void start_analysis_job(HWND window, std::vector<winapp2::JobItem> items, winapp2::AnalysisEvents receivers) {
  const winapp2::AnalysisEvents events{on_window(window, std::move(receivers.entry)),
                                       on_window(window, std::move(receivers.done))};
  spawn_worker([items = std::move(items), events] {
    Machine machine;
    winapp2::run_analysis(machine.context, items, events);
  });
}

void start_clean_job(HWND window, std::vector<winapp2::JobItem> items, winapp2::CleaningEvents receivers) {
  const winapp2::CleaningEvents events{on_window(window, std::move(receivers.entry)),
                                       on_window(window, std::move(receivers.done))};
  spawn_worker([items = std::move(items), events]() mutable {
    Machine machine;
    winapp2::run_cleaning(machine.context, items, events);
  });
}

}  // namespace vx::app
