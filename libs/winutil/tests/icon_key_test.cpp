// Icon image names as the pages build them from registry and shortcut data,
// which may hold anything.
#include "winutil/icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using vx::winutil::parse_icon_key;

void expect_key(std::string_view key, unsigned size_class, std::string_view path, std::int32_t index) {
  SCOPED_TRACE(key);
  const auto parsed = parse_icon_key(key);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->size_class, size_class);
  EXPECT_EQ(parsed->path, path);
  EXPECT_EQ(parsed->index, index);
}

TEST(IconKey, ClassMustBeDigitsBelowFour) {
  expect_key("exe3:C:\\a.exe", 3, "C:\\a.exe", 0);
  expect_key("exe01:C:\\a.exe", 1, "C:\\a.exe", 0);
  for (const char* key : {"exe4:C:\\a.exe", "exe7:C:\\a.exe", "exeA:C:\\a.exe", "exe:C:\\a.exe", "exe1", "exe+1:x",
                          "exe18446744073709551617:x", "EXE1:x", ""})
    EXPECT_FALSE(parse_icon_key(key)) << key;
}

TEST(IconKey, SourceSplitsIntoPathAndIndex) {
  expect_key("exe1:C:\\Program Files\\App\\app.exe,-101", 1, "C:\\Program Files\\App\\app.exe", -101);
  expect_key("exe0:C:\\a,b\\app.exe, +2 ", 0, "C:\\a,b\\app.exe", 2);  // the last comma separates
  // Anything but a number counts as index 0; the path still ends at the comma.
  expect_key("exe1:C:\\app.exe,x", 1, "C:\\app.exe", 0);
  expect_key("exe1:C:\\app.exe,99999999999", 1, "C:\\app.exe", 0);
  expect_key("exe1:\"C:\\한글,폴더\\앱.exe\",-5", 1, "C:\\한글,폴더\\앱.exe", -5);
  expect_key("exe1:\"C:\\a,b\\app.exe", 1, "", 0);  // unterminated quote: no usable path
}

}  // namespace

namespace {

TEST(IconKey, EachFileIconIsClaimedOncePerProcessWhateverThePageOrThread) {
  const std::vector<std::string> first = vx::winutil::claim_icon_keys(
      {"exe1:C:\\claim\\a.exe", "vx-1.png", "exe1:C:\\claim\\a.exe", "exe0:C:\\claim\\b.exe"});
  EXPECT_EQ(first, (std::vector<std::string>{"exe1:C:\\claim\\a.exe", "exe0:C:\\claim\\b.exe"}));
  std::vector<std::string> again[4];
  std::vector<std::thread> threads;
  for (auto& claimed : again)
    threads.emplace_back([&claimed] {
      claimed = vx::winutil::claim_icon_keys({"exe0:C:\\claim\\b.exe", "exe0:C:\\claim\\c.exe"});
    });
  for (std::thread& thread : threads) thread.join();
  std::size_t c_claims = 0;
  for (const auto& claimed : again) {
    EXPECT_EQ(std::ranges::count(claimed, "exe0:C:\\claim\\b.exe"), 0);
    c_claims += std::ranges::count(claimed, "exe0:C:\\claim\\c.exe");
  }
  EXPECT_EQ(c_claims, 1u) << "one thread renders it, the others leave it";
}

}  // namespace
