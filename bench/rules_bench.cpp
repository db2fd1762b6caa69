// Parsing the whole built-in rule file, as the cleanup page does on every load.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "winapp2/rule_text.h"
#include "winapp2/rules.h"

namespace {

void BM_ParseBuiltinRules(benchmark::State& state) {
  const std::string_view text = vx::winapp2::builtin_rule_text();
  // glibc's fast bins leave the merging of freed blocks to the next large
  // request, so each parse would pay for freeing the previous one's 60,000
  // strings, at random: off, every free finishes while the timer is paused.
  mallopt(M_MXFAST, 0);
  std::size_t entries = 0;
  for (auto _ : state) {
    auto parsed = vx::winapp2::parse_rules(text);
    entries = parsed.size();
    benchmark::DoNotOptimize(parsed.data());
    // Freeing the entries is the caller's cost, not the parser's.
    state.PauseTiming();
    parsed = {};
    state.ResumeTiming();
  }
  mallopt(M_MXFAST, 64 * sizeof(std::size_t) / 4);  // glibc's default
  state.counters["entries"] = static_cast<double>(entries);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseBuiltinRules)->Unit(benchmark::kMillisecond);

}  // namespace
