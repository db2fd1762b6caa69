// The cleanup page's three jobs, each run on a worker thread of its own:
// loading the entries that apply to this machine, analysing the checked ones,
// and cleaning them. They report counts and sizes through callbacks, which the
// program turns into jobs posted to the window thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "winapp2/paths.h"
#include "winapp2/rules.h"
#include "winapp2/selection.h"

namespace vx::winapp2 {

// 1536 -> "1.5 KB": units of 1,024; B whole, KB and MB with one decimal, GB with two.
std::string size_text(std::uint64_t bytes);

// The detected entries of a rule text, the first of each identity key only,
// and the user's saved selection.
struct LoadResult {
  std::uint32_t version = 0;
  std::vector<RuleEntry> entries;
  std::vector<SelectionLine> selection;
  std::chrono::nanoseconds elapsed{};
};
// Writes "[cleanup] Winapp2 <version> 설치 <count>개 <seconds>s", timed from `start`.
LoadResult load_entries(PathContext& context, const RuleText& rules,
                        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());

// The whole load job: the rule text to use, its detected entries and Cleanup.txt.
LoadResult run_load(PathContext& context);

struct JobItem {
  RuleEntry entry;
  std::size_t row = 0;                    // the entry's row on the page
  std::optional<ResolvedEntry> analysis;  // for cleaning: what the analysis found, when it ran
};

// Where a job is: the `index`th of `count` job items, counted from 1.
struct Progress {
  std::size_t index = 0, count = 0;
  friend bool operator==(const Progress&, const Progress&) = default;
};

// What an analysis found in all; a file two entries found counts twice.
struct AnalysisTotals {
  std::size_t files = 0, registry = 0;
  std::uint64_t bytes = 0;
  friend bool operator==(const AnalysisTotals&, const AnalysisTotals&) = default;
};

// The jobs report numbers; the page puts them into words.
struct AnalysisEvents {
  std::function<void(Progress progress, std::size_t row, ResolvedEntry result)> entry;
  std::function<void(AnalysisTotals totals)> done;
};
AnalysisTotals run_analysis(PathContext& context, std::span<const JobItem> items, const AnalysisEvents& events);

// What a cleaning removed: only what really went.
struct CleanCounts {
  std::size_t files = 0, registry = 0;
  std::uint64_t bytes = 0;
  friend bool operator==(const CleanCounts&, const CleanCounts&) = default;
};
struct CleaningEvents {
  std::function<void(Progress progress, std::size_t row)> entry;
  std::function<void(CleanCounts counts)> done;
};
// Deletes what each entry found (resolving it first when it was not
// analysed), writing "[cleanup] <name> 파일 a/b 레지스트리 c/d" per entry.
CleanCounts run_cleaning(PathContext& context, std::span<JobItem> items, const CleaningEvents& events);

// Removes the empty folders at and below a concrete rule path, never a
// protected one, never through a link.
void remove_empty_folders(PathContext& context, const RulePath& folder);

}  // namespace vx::winapp2
