// The cleanup page's three jobs on worker threads of their own. Each builds
// its own view of the machine and talks to the page only by posting to the
// main window: the receivers run on the window thread, in order.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "winapp2/jobs.h"

namespace vx::app {

void start_load_job(HWND window, std::function<void(winapp2::LoadResult)> loaded);
void start_analysis_job(HWND window, std::vector<winapp2::JobItem> items, winapp2::AnalysisEvents receivers);
void start_clean_job(HWND window, std::vector<winapp2::JobItem> items, winapp2::CleaningEvents receivers);

}  // namespace vx::app
