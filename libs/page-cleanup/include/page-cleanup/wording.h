// The cleanup page's words for what its jobs report: progress while they run
// and the totals at their end, in the page's language.
#pragma once

#include <string>
#include <string_view>

#include "winapp2/jobs.h"

namespace vx::page_cleanup {

// "Analyzing… 2/5"
std::string analysis_progress(const winapp2::Progress& progress, std::string_view language);
// "3 files · 1 registry items · 2.5 KB"
std::string analysis_done(const winapp2::AnalysisTotals& totals, std::string_view language);
// "Cleaning… 2/5"
std::string cleaning_progress(const winapp2::Progress& progress, std::string_view language);
// "2.5 KB cleaned (3 files, 1 registry items)"
std::string cleaning_done(const winapp2::CleanCounts& counts, std::string_view language);

}  // namespace vx::page_cleanup
