// Text throughput on the real rule file (about 1.8 MB of UTF-8).
#include <benchmark/benchmark.h>

#include "common/text.h"
#include "winapp2/rule_text.h"

namespace {

void BM_Utf8Validate(benchmark::State& state) {
  const std::string_view text = vx::winapp2::builtin_rule_text();
  for (auto _ : state) benchmark::DoNotOptimize(vx::is_valid_utf8(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8Validate);

void BM_Utf8Decode(benchmark::State& state) {
  const std::string_view text = vx::winapp2::builtin_rule_text();
  for (auto _ : state) {
    std::uint32_t sum = 0;
    for (std::size_t pos = 0; pos < text.size();) {
      const vx::DecodedChar d = vx::decode_utf8(text, pos);
      sum += d.code_point;
      pos += d.length;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8Decode);

void BM_Utf8ToUtf16(benchmark::State& state) {
  const std::string_view text = vx::winapp2::builtin_rule_text();
  for (auto _ : state) benchmark::DoNotOptimize(vx::utf8_to_utf16(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8ToUtf16);

void BM_ToLower(benchmark::State& state) {
  const std::string_view text = vx::winapp2::builtin_rule_text();
  for (auto _ : state) benchmark::DoNotOptimize(vx::to_lower(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ToLower);

}  // namespace
