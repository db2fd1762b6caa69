#include "settings.h"

#include <gtest/gtest.h>

namespace {

TEST(Settings, ServerListsJoinTheBuiltInOnesOnce) {
  vx::process::KeepLists lists = vx::process::builtin_keep_lists();
  vx::app::SettingsRecord record;
  record.lists[0] = {"fresh.exe*", "svchost.exe*"};
  record.lists[2] = {"Some Plug-in"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(vx::app::merge_server_lists(lists, record), 2u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[lists] 서버 목록 +2\n");
  EXPECT_EQ(lists[vx::process::ListKind::path].size(), 259u) << "the built-in 258 and one new";
  EXPECT_EQ(lists[vx::process::ListKind::bundle].raw().back(), "Some Plug-in");
  testing::internal::CaptureStderr();
  EXPECT_EQ(vx::app::merge_server_lists(lists, record), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[lists] 서버 목록 +0\n");
}

}  // namespace
