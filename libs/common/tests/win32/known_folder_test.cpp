// The shell's known folders under Wine, and the process table built from them.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/path_vars.h"

namespace {

TEST(KnownFolder, EveryKindHasAPathWithoutTrailingBackslash) {
  for (std::size_t i = 0; i < vx::known_folder_count; ++i) {
    const auto path = vx::known_folder(static_cast<vx::KnownFolder>(i));
    ASSERT_TRUE(path) << "kind " << i;
    EXPECT_GE(path->size(), 3u) << "kind " << i;
    EXPECT_NE(path->back(), '\\') << "kind " << i;
  }
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(vx::expand_path_vars("%windir%\\notepad.exe").size(), wcslen(windows) + 12);
  EXPECT_EQ(vx::contract_path_vars(vx::expand_path_vars("%WinDir%\\x")), "%SystemRoot%\\x");
  EXPECT_TRUE(vx::known_folder(vx::KnownFolder::PublicDocuments)->ends_with("\\Documents"));
}

}  // namespace
