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

void start_analysis_job(HWND window, std::vector<winapp2::JobItem> items, std::string language,
                        AnalysisReceivers receivers) {
  spawn_worker([window, items = std::move(items), language = std::move(language), receivers = std::move(receivers)] {
    Machine machine;
    winapp2::AnalysisEvents events;
    events.entry = [&](std::string text, std::size_t row, winapp2::ResolvedEntry result) {
      post_to_window(window, [entry = receivers.entry, text = std::move(text), row, result = std::move(result)]() mutable {
        entry(std::move(text), row, std::move(result));
      });
    };
    events.done = [&](std::string text) {
      post_to_window(window, [done = receivers.done, text = std::move(text)]() mutable { done(std::move(text)); });
    };
    winapp2::run_analysis(machine.context, items, language, events);
  });
}

void start_clean_job(HWND window, std::vector<winapp2::JobItem> items, std::string language,
                     CleaningReceivers receivers) {
  spawn_worker([window, items = std::move(items), language = std::move(language), receivers = std::move(receivers)]() mutable {
    Machine machine;
    winapp2::CleaningEvents events;
    events.entry = [&](std::string text, std::size_t row) {
      post_to_window(window, [entry = receivers.entry, text = std::move(text), row]() mutable { entry(std::move(text), row); });
    };
    events.done = [&](std::string text) {
      post_to_window(window, [done = receivers.done, text = std::move(text)]() mutable { done(std::move(text)); });
    };
    winapp2::run_cleaning(machine.context, items, language, events);
  });
}

}  // namespace vx::app
