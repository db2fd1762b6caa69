#include "window_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vx::app::Cell;

TEST(WindowStateCell, MadeOnFirstUseAndLentForOneCall) {
  Cell<std::string> text;
  EXPECT_EQ(text.with([](std::string& s) { return s.size(); }), 0u);
  text.with([](std::string& s) { s = "kept"; });
  EXPECT_EQ(text.with([](std::string& s) { return s; }), "kept");
  // Another cell may be used while one is lent; the same one again after the call.
  Cell<int> other;
  text.with([&](std::string& s) { other.with([&](int& n) { n = static_cast<int>(s.size()); }); });
  EXPECT_EQ(other.with([](int& n) { return n; }), 4);
}

TEST(WindowStateCellDeathTest, UsingACellAgainWhileItIsLentStopsTheProgram) {
  Cell<int> cell;
  EXPECT_DEATH(cell.with([&](int&) { cell.with([](int&) {}); }), "window state used again while in use");
}

}  // namespace

namespace {

TEST(WindowState, EachPageOpensOnItsFirstVisitOnly) {
  vx::app::WindowState state;
  using vx::app::Page;
  EXPECT_TRUE(vx::app::first_visit(state, Page::startup));
  EXPECT_FALSE(vx::app::first_visit(state, Page::startup)) << "a second click builds nothing";
  EXPECT_TRUE(vx::app::first_visit(state, Page::bundle)) << "pages keep their own flags";
  EXPECT_TRUE(vx::app::first_visit(state, Page::cleanup));
}

TEST(WindowState, TheContextIsAbsentUntilStoredAndReadAsACopy) {
  vx::app::WindowState state;
  EXPECT_FALSE(vx::app::context_of(state));
  vx::app::AppContext stored;
  stored.language = "ja";
  state.context.with([&](auto& context) { context = stored; });
  auto copy = vx::app::context_of(state);
  ASSERT_TRUE(copy);
  copy->language = "ko";
  EXPECT_EQ(vx::app::context_of(state)->language, "ja");
}

}  // namespace

namespace {

TEST(WindowState, ServerListsJoinTheBuiltInOnesOnce) {
  vx::app::WindowState state;
  vx::app::SettingsRecord record;
  record.lists[0] = {"fresh.exe*", "svchost.exe*"};
  record.lists[2] = {"Some Plug-in"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(vx::app::merge_server_lists(state, record), 2u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[lists] 서버 목록 +2\n");
  state.keep_lists.with([](vx::app::SharedKeepLists& shared) {
    EXPECT_EQ(shared.lists[vx::process::ListKind::path].size(), 259u) << "the built-in 258 and one new";
    EXPECT_EQ(shared.lists[vx::process::ListKind::bundle].raw().back(), "Some Plug-in");
  });
  testing::internal::CaptureStderr();
  EXPECT_EQ(vx::app::merge_server_lists(state, record), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[lists] 서버 목록 +0\n");
}

}  // namespace
