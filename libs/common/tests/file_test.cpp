#include "common/file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

TEST(ReadFile, WholeFileWithinTheLimitOnly) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "vorlix-read-file";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "bytes.bin").string();
  const std::string bytes = std::string("a\0b\r\n", 5) + std::string(200000, 'x');
  std::ofstream(path, std::ios::binary) << bytes;

  EXPECT_EQ(vx::read_file(path, bytes.size()), bytes);
  EXPECT_EQ(vx::read_file(path, bytes.size() - 1), std::nullopt);
  EXPECT_EQ(vx::read_file((dir / "missing").string(), 100), std::nullopt);
  EXPECT_EQ(vx::read_file(dir.string(), 100), std::nullopt);  // a folder is no file
  std::filesystem::remove_all(dir);
}

}  // namespace
