// Text layout on a table of the size the cleaner shows: 4,100 short cells of
// paths, sizes and Korean/Japanese/English descriptions.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/text/linebreak.h"
#include "ostrel/text/measure.h"

namespace {

using namespace ostrel::text;

constexpr int cell_count = 4100;

const std::vector<std::string>& cells() {
  static const std::vector<std::string> texts = [] {
    static const char* const names[] = {"Internet Explorer cache", "임시 파일",       "一時ファイル（キャッシュ）",
                                        "Windows Update 로그",     "Thumbnail cache", "最近使ったファイル"};
    std::vector<std::string> out;
    out.reserve(cell_count);
    for (int i = 0; i < cell_count; ++i) {
      switch (i % 4) {
        case 0:
          out.push_back("C:\\Users\\Public\\AppData\\Local\\Temp\\file-" + std::to_string(i) + ".tmp");
          break;
        case 1:
          out.push_back(std::to_string(i % 977) + "." + std::to_string(i % 10) + " MB");
          break;
        case 2:
          out.push_back(std::string(names[i % 6]) + " " + std::to_string(i % 50) + "개 파일");
          break;
        default:
          out.push_back(names[(i / 4) % 6]);
      }
    }
    return out;
  }();
  return texts;
}

const std::string families[] = {"Segoe UI", "Malgun Gothic", "sans-serif"};
const FontSpec cell_font{families, 13, 400, false};

void BM_BreakAndFitCells(benchmark::State& state) {
  FakeFont font;
  std::vector<std::vector<float>> advances(cells().size());
  for (std::size_t i = 0; i < cells().size(); ++i) font.advances(cell_font, cells()[i], advances[i]);
  std::vector<std::uint8_t> breaks;
  for (auto _ : state) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < cells().size(); ++i) {
      const std::string& text = cells()[i];
      break_opportunities(text, breaks);
      for (std::size_t start = 0; start < text.size(); ++lines) {
        start = fit_line(text, advances[i], breaks, start, 120.0f, true).end;
      }
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetItemsProcessed(state.iterations() * cell_count);
}
BENCHMARK(BM_BreakAndFitCells);

void BM_FakeFontWidthCells(benchmark::State& state) {
  FakeFont font;
  for (auto _ : state) {
    float sum = 0;
    for (const std::string& text : cells()) sum += font.width(cell_font, text);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * cell_count);
}
BENCHMARK(BM_FakeFontWidthCells);

void BM_MeasureCacheHits(benchmark::State& state) {
  FakeFont font;
  MeasureCache cache(font);
  for (const std::string& text : cells()) cache.width(cell_font, text);
  for (auto _ : state) {
    float sum = 0;
    for (const std::string& text : cells()) sum += cache.width(cell_font, text);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * cell_count);
}
BENCHMARK(BM_MeasureCacheHits);

}  // namespace
