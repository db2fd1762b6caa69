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
