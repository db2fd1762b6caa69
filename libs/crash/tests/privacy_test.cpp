#include "crash/privacy.h"

#include <gtest/gtest.h>

namespace {

using namespace vx::crash;
using Names = std::vector<std::string>;

TEST(CrashPrivacy, PathsAndRemainingOccurrences) {
  EXPECT_EQ(hide_user("C:\\Users\\bob\\AppData\\x.dll | c:\\users\\BOB\\y.dll | /home/bob/z | bob and Bob | "
                      "\\Users\\bobcat\\ | /home/BOB/q",
                      {"bob"}),
            "C:\\Users\\%USER%\\AppData\\x.dll | c:\\users\\%USER%\\y.dll | /home/%USER%/z | %USER% and Bob | "
            "\\Users\\%USER%cat\\ | /home/BOB/q");
  EXPECT_EQ(hide_user("C:\\Users\\bobby\\a bobby bob", {"bob", "bobby"}), "C:\\Users\\%USER%\\a %USER% %USER%")
      << "the longer name goes first";
}

TEST(CrashPrivacy, EmptyAndOneLetterNamesChangeNothing) {
  const std::string report = "C:\\Users\\a\\x.dll at 0000000000000000\r\n";
  EXPECT_EQ(hide_user(report, {"", "a", "0"}), report);
  EXPECT_EQ(hide_user(report, {}), report);
}

TEST(CrashPrivacy, NamesFromTheThreeVariables) {
  EXPECT_EQ(user_names("C:\\Users\\Bob.CORP", "/home/bob/", "Bob.CORP"), (Names{"Bob.CORP", "bob"}));
  EXPECT_EQ(user_names("C:\\Users\\ann\\\\", std::nullopt, "bob"), (Names{"ann", "bob"}));
  EXPECT_EQ(user_names("C:\\", "/", ""), Names{}) << "a profile at a drive's root names nobody";
  EXPECT_EQ(user_names(std::nullopt, std::nullopt, std::nullopt), Names{});
}

}  // namespace
