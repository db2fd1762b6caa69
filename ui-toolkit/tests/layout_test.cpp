#include "layout/box.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "pipeline_fixture.h"

namespace {

using namespace ostrel;

struct Laid : PipelineTest {
  std::string lay(std::string_view html, std::string_view css, float w = 464, float h = 417) {
    load(html, css);
    run(w, h);
    return tree.dump();
  }
};

// Golden layouts: tests/layout/input/NAME.html (its <style> is the sheet) is
// laid out at 464 x 417 with the fake font and compared with expected/NAME.txt.
// OSTREL_REBASELINE=1 rewrites the expected files.
TEST_F(Laid, GoldenDumps) {
  const std::filesystem::path dir = OSTREL_LAYOUT_CASES;
  if (!std::filesystem::exists(dir / "input")) GTEST_SKIP() << "layout cases not found at " << dir;
  const bool rebaseline = std::getenv("OSTREL_REBASELINE") != nullptr;
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "input")) {
    if (entry.path().extension() != ".html") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t open = html.find("<style>"), close = html.find("</style>");
    const std::string css = open != std::string::npos && close != std::string::npos
                                ? html.substr(open + 7, close - open - 7)
                                : std::string();
    const std::string got = lay(html, css);
    const auto expected_path = dir / "expected" / (entry.path().stem().string() + ".txt");
    ++cases;
    if (rebaseline) {
      std::ofstream(expected_path, std::ios::binary) << got;
      continue;
    }
    std::ifstream expected_in(expected_path, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(expected_in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, expected) << "layout of " << entry.path().filename() << " changed";
  }
  EXPECT_GT(cases, 0);
}

}  // namespace
