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

}  // namespace

void start_load_job(HWND window, std::function<void(winapp2::LoadResult)> loaded) {
  spawn_worker([window, loaded = std::move(loaded)] {
    winapp2::LoadResult result;
    {
      Machine machine;
      result = winapp2::run_load(machine.context);
    }  // the listing cache goes before the result travels
    post_to_window(window, [loaded, result = std::move(result)]() mutable { loaded(std::move(result)); });
  });
}

void start_analysis_job(HWND window, std::vector<winapp2::JobItem> items, AnalysisReceivers receivers) {
  spawn_worker([window, items = std::move(items), receivers = std::move(receivers)] {
    Machine machine;
    winapp2::AnalysisEvents events;
    events.entry = [&](winapp2::Progress progress, std::size_t row, winapp2::ResolvedEntry result) {
      post_to_window(window, [entry = receivers.entry, progress, row, result = std::move(result)]() mutable {
        entry(progress, row, std::move(result));
      });
    };
    events.done = [&](winapp2::AnalysisTotals totals) {
      post_to_window(window, [done = receivers.done, totals] { done(totals); });
    };
    winapp2::run_analysis(machine.context, items, events);
  });
}

void start_clean_job(HWND window, std::vector<winapp2::JobItem> items, CleaningReceivers receivers) {
  spawn_worker([window, items = std::move(items), receivers = std::move(receivers)]() mutable {
    Machine machine;
    winapp2::CleaningEvents events;
    events.entry = [&](winapp2::Progress progress, std::size_t row) {
      post_to_window(window, [entry = receivers.entry, progress, row] { entry(progress, row); });
    };
    events.done = [&](winapp2::CleanCounts counts) {
      post_to_window(window, [done = receivers.done, counts] { done(counts); });
    };
    winapp2::run_cleaning(machine.context, items, events);
  });
}

}  // namespace vx::app
