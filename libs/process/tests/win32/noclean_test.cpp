// NoClean.txt read from real files of the Wine prefix.
#include "process/win32/noclean.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/path_vars.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::process;

class NoCleanFiles : public ::testing::Test {
 protected:
  fs::path folder = fs::temp_directory_path() / "vorlix-noclean-test";
  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  std::string write(const char* name, std::string_view bytes) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
};

TEST_F(NoCleanFiles, EncodingsAreReadAndEntriesMerged) {
  std::string utf16 = "\xFF\xFE";
  for (const char16_t unit : std::u16string_view(u"tool.exe*\r\n\r\n//notepad.exe*\r\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  const std::string first = write("a.txt", utf16);
  const std::string second = write("b.txt", "\xEF\xBB\xBFTOOL.EXE*\r\nother.exe*\r\n");
  const std::string missing = (folder / "missing.txt").string();

  KeepList list = load_list_text("WmiPrvSE.exe*");
  // The log lines go to standard error: catch them in a file.
  const fs::path log = folder / "log.txt";
  ASSERT_NE(std::freopen(log.string().c_str(), "w", stderr), nullptr);
  win32::merge_noclean_files(list, {first, missing, second});
  std::fflush(stderr);
  std::freopen("CONOUT$", "w", stderr);
  std::ifstream in(log);
  const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(lines, "[clean] NoClean " + first + " +2\n[clean] NoClean " + second + " +1\n");
  EXPECT_EQ(list.raw(), (std::vector<std::string>{"WmiPrvSE.exe*", "tool.exe*", "//notepad.exe*", "other.exe*"}));
  EXPECT_FALSE(matches_path(list.keys(), "C:\\Windows\\notepad.exe")) << "a comment line protects nothing";
}

TEST_F(NoCleanFiles, TooLargeOrMissingFilesAreNotRead) {
  EXPECT_FALSE(win32::read_noclean((folder / "none.txt").string()));
  const std::string big = write("big.txt", std::string(max_list_file_size + 1, 'a'));
  EXPECT_FALSE(win32::read_noclean(big));
  EXPECT_EQ(win32::read_noclean(write("empty.txt", "")), "");
}

TEST(NoCleanPaths, BesideTheProgramThenInRoamingAppData) {
  const std::vector<std::string> paths = win32::noclean_paths();
  ASSERT_EQ(paths.size(), 2u);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path program(self);
  EXPECT_EQ(fs::path(paths[0]), program.parent_path() / "NoClean.txt");
  EXPECT_EQ(paths[1], *vx::known_folder(vx::KnownFolder::RoamingAppData) + "\\Vorlix\\NoClean.txt");
}

}  // namespace
