// Web pages handed to the shell, checked through the test prefix's browser
// stand-in, which appends every address it is given to urls.log.
#include "winutil/win32/shell.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "win32/wine_prefix.h"

namespace {

using vx::winutil::win32::open_url;

using vx::testing::url_was_opened;

TEST(OpenUrl, AddressReachesTheBrowserAsOneArgument) {
  if (!vx::testing::has_url_logger()) GTEST_SKIP() << "not in a prefix prepared by tools/wine-run";
  const std::string key = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  ASSERT_TRUE(open_url("https://vorlix.test/?report=" + key + "&lang=ko"));
  EXPECT_TRUE(url_was_opened("https://vorlix.test/?report=" + key + "&lang=ko"));
  // A quote in a server-supplied key must not end the argument.
  ASSERT_TRUE(open_url("https://vorlix.test/?report=" + key + "\" /select,C:\\windows"));
  EXPECT_TRUE(url_was_opened("https://vorlix.test/?report=" + key + "%22%20/select,C:%5Cwindows"));
}

TEST(OpenUrl, RefusesWhatIsNotAWebAddress) {
  const auto opened = open_url("C:\\windows\\notepad.exe");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().kind, "argument");
  EXPECT_NE(opened.error().message.find("notepad.exe"), std::string::npos) << opened.error().message;
}

}  // namespace
