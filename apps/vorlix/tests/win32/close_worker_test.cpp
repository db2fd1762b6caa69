// The close run hands its outcome back to the window thread, and only then
// is the window closed.
#include "close_worker.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "job_window.h"

namespace {

using vx::app::testing::JobWindow;
using namespace vx::process;

TEST(CloseWorker, TheOutcomeAndTheReportKeyReachTheWindowThreadBeforeTheWindowCloses) {
  JobWindow window;
  ASSERT_NE(window.get(), nullptr);
  std::vector<std::string> events;
  window.on_message = [&](UINT message) {
    if (message == WM_CLOSE) events.push_back("close");
  };
  win32::CloseJob job;
  job.mode = RunMode{RunMode::dry_run, ""};  // decides everything, ends nothing
  std::optional<win32::CloseOutcome> outcome;
  DWORD finished_on = 0, reported_on = 0;
  std::string got_key;
  const auto report = [&](const win32::CloseOutcome& result) {
    reported_on = GetCurrentThreadId();
    return "k" + std::to_string(result.processes.size());
  };
  vx::app::start_close_worker(window.get(), std::move(job), report, [&](win32::CloseOutcome result, std::string key) {
    finished_on = GetCurrentThreadId();
    events.push_back("outcome");
    outcome = std::move(result);
    got_key = std::move(key);
    PostMessageW(window.get(), WM_CLOSE, 0, 0);
  });
  ASSERT_TRUE(JobWindow::pump_until([&] { return std::ranges::find(events, "close") != events.end(); }));
  EXPECT_EQ(events, (std::vector<std::string>{"outcome", "close"}));
  EXPECT_EQ(finished_on, GetCurrentThreadId());
  EXPECT_NE(reported_on, GetCurrentThreadId()) << "the report is sent from the worker";
  ASSERT_TRUE(outcome);
  EXPECT_EQ(got_key, "k" + std::to_string(outcome->processes.size()));
  EXPECT_FALSE(outcome->processes.empty()) << "the snapshot travels with it";
  EXPECT_EQ(outcome->states.size(), outcome->processes.size());
  EXPECT_TRUE(std::ranges::none_of(outcome->states, [](ProcessState s) { return s == ProcessState::closed; }));
}

}  // namespace
