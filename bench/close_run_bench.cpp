// The close run's decisions for a busy machine: 500 processes running 60
// distinct programs, judged against the built-in lists (signer lookups stubbed).
#include <benchmark/benchmark.h>

#include "process/close_run.h"

namespace {

void BM_DecideFiveHundredProcesses(benchmark::State& state) {
  const vx::process::KeepLists lists = vx::process::builtin_keep_lists();
  std::vector<vx::process::ProcessEntry> entries;
  for (std::uint32_t i = 0; i < 500; ++i) {
    const std::uint32_t program = i % 60;
    // A third are Windows programs the name entries protect, the rest are in program folders.
    std::string path = program % 3 == 0 ? "C:\\Windows\\System32\\svchost.exe"
                                        : "C:\\Program Files\\Vendor " + std::to_string(program) + "\\App\\app" +
                                              std::to_string(program) + ".exe";
    entries.push_back({std::move(path), 1000 + i * 4});
  }
  const vx::process::SignerLookup unsigned_files = [](const std::string&) { return std::string(); };
  for (auto _ : state) {
    const auto decisions = vx::process::decide(entries, 4, lists[vx::process::ListKind::path],
                                               lists[vx::process::ListKind::signer], unsigned_files);
    benchmark::DoNotOptimize(decisions.states.data());
  }
}
BENCHMARK(BM_DecideFiveHundredProcesses)->Unit(benchmark::kMicrosecond);

}  // namespace
