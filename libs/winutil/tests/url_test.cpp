// Addresses reach the shell as one quoted argument; some come from server
// answers, so they must not be able to add arguments or name local programs.
#include "winutil/url.h"

#include <gtest/gtest.h>

namespace {

using vx::winutil::quoted_url_argument;

TEST(UrlArgument, WebAddressesAreQuotedAndCannotLeaveTheQuotes) {
  EXPECT_EQ(quoted_url_argument("HTTPS://vorlix.app/?report=ab&q=카카오%22"),
            "\"HTTPS://vorlix.app/?report=ab&q=카카오%22\"");
  // A report key ending the quote and adding a switch; a trailing backslash
  // that would escape the closing quote; control characters and a NUL.
  EXPECT_EQ(quoted_url_argument("http://a/?r=x\" /select,C:\\cmd.exe"), "\"http://a/?r=x%22%20/select,C:%5Ccmd.exe\"");
  EXPECT_EQ(quoted_url_argument("https://a/\\"), "\"https://a/%5C\"");
  EXPECT_EQ(quoted_url_argument(std::string("https://a/\r\n\t\x7F\0x", 16)), "\"https://a/%0D%0A%09%7F%00x\"");
}

TEST(UrlArgument, OnlyWebAddressesAreOpened) {
  for (const std::string_view url :
       {"", "https://", "C:\\Windows\\System32\\calc.exe", "file:///C:/x.exe", "\\\\server\\share\\x.exe",
        "javascript:alert(1)", "ms-settings:", " https://vorlix.app/", "https:vorlix.app"}) {
    const auto quoted = quoted_url_argument(url);
    ASSERT_FALSE(quoted) << url;
    EXPECT_EQ(quoted.error().kind, "argument");
    EXPECT_FALSE(quoted.error().message.empty());
  }
}

}  // namespace
