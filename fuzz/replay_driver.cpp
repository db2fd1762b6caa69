// Runs a libFuzzer target without libFuzzer: every file of the given folders or
// files, then a fixed, seeded set of generated inputs biased towards the bytes
// that matter to text decoders. Used as a regression test in ordinary builds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
        if (entry.is_regular_file()) run_file(entry.path()), ++files;
      }
    } else {
      run_file(arg), ++files;
    }
  }

  static constexpr std::uint8_t interesting[] = {0x00, 0x0A, 0x0D, 0x20, 0x2B, 0x30, 0x39, 0x41, 0x7F,
                                                 0x80, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF,
                                                 0xF0, 0xF4, 0xF5, 0xFF, 0xD8, 0xDC, 0xFE, 0xBB};
  std::mt19937 rng(20261207);
  std::vector<std::uint8_t> input;
  // Targets whose every input is costly (a whole rule file) replay fewer.
#ifdef VX_FUZZ_GENERATED
  constexpr int generated = VX_FUZZ_GENERATED;
#else
  constexpr int generated = 20000;
#endif
  for (int n = 0; n < generated; ++n) {
    input.resize(rng() % 48);
    for (auto& b : input)
      b = (rng() % 4 == 0) ? static_cast<std::uint8_t>(rng()) : interesting[rng() % std::size(interesting)];
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("replayed %zu files and %d generated inputs\n", files, generated);
  return 0;
}
