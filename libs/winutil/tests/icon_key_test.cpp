// Icon image names as the pages build them from registry and shortcut data,
// which may hold anything.
#include "winutil/icon.h"

#include <gtest/gtest.h>

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
