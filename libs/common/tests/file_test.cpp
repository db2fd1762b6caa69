#include "common/file.h"
#include "common/replace_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

struct Files : ::testing::Test {
  const fs::path dir = fs::path(testing::TempDir()) / "vorlix-files";
  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string path(const char* name) const { return (dir / name).string(); }
  static std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(Files, ReadsTheWholeFileWithinTheLimitOnly) {
  const std::string bytes = std::string("a\0b\r\n", 5) + std::string(200000, 'x');
  std::ofstream(path("bytes.bin"), std::ios::binary) << bytes;

  EXPECT_EQ(vx::read_file(path("bytes.bin"), bytes.size()), bytes);
  EXPECT_EQ(vx::read_file(path("bytes.bin"), bytes.size() - 1), std::nullopt);
  EXPECT_EQ(vx::read_file(path("missing"), 100), std::nullopt);
  EXPECT_EQ(vx::read_file(dir.string(), 100), std::nullopt);  // a folder is no file
}

TEST_F(Files, ReplacingWritesTheWholeFileAndMakesItsFolder) {
  const std::string target = (dir / "new" / "deeper" / "list.txt").string();
  ASSERT_TRUE(vx::replace_file(target, "+a\r\n-b\r\n"));
  EXPECT_EQ(contents(target), "+a\r\n-b\r\n");
  ASSERT_TRUE(vx::replace_file(target, "-c\r\n")) << "a shorter text leaves nothing of the longer one";
  EXPECT_EQ(contents(target), "-c\r\n");
  ASSERT_TRUE(vx::replace_file(target, ""));
  EXPECT_EQ(contents(target), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "new" / "deeper"), fs::directory_iterator{}), 1)
      << "no temporary file stays behind";
}

TEST_F(Files, AFailedReplaceSaysWhyAndKeepsTheOldFile) {
  std::ofstream(path("plain"), std::ios::binary) << "x";
  const vx::Result<> under_a_file = vx::replace_file((dir / "plain" / "list.txt").string(), "y");
  ASSERT_FALSE(under_a_file);
  EXPECT_EQ(under_a_file.error().kind, "system");
  EXPECT_NE(under_a_file.error().message, "");

  const std::string target = path("kept.txt");
  ASSERT_TRUE(vx::replace_file(target, "old"));
  ASSERT_FALSE(vx::replace_file(dir.string(), "folder")) << "a folder is not replaced by a file";
  EXPECT_EQ(contents(target), "old");
}

#ifdef _WIN32
TEST_F(Files, ReadsAFileAnEditorHoldsOpenForWriting) {
  std::ofstream(path("open.txt"), std::ios::binary) << "kept open";
  // How Notepad holds a file it has open: writing, others may read.
  const HANDLE editor = CreateFileW((dir / "open.txt").wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(editor, INVALID_HANDLE_VALUE);
  EXPECT_EQ(vx::read_file(path("open.txt"), 100), "kept open");
  CloseHandle(editor);
}
#endif

}  // namespace
