// The cleanup page's three jobs on worker threads of their own. Each builds
// its own view of the machine and talks to the page only by posting to the
// main window: the receivers below run on the window thread, in order.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "winapp2/jobs.h"

namespace vx::app {

void start_load_job(HWND window, std::function<void(winapp2::LoadResult)> loaded);

struct AnalysisReceivers {
  std::function<void(winapp2::Progress progress, std::size_t row, winapp2::ResolvedEntry result)> entry;
  std::function<void(winapp2::AnalysisTotals totals)> done;
};
void start_analysis_job(HWND window, std::vector<winapp2::JobItem> items, AnalysisReceivers receivers);

struct CleaningReceivers {
  std::function<void(winapp2::Progress progress, std::size_t row)> entry;
  std::function<void(winapp2::CleanCounts counts)> done;
};
void start_clean_job(HWND window, std::vector<winapp2::JobItem> items, CleaningReceivers receivers);

}  // namespace vx::app
