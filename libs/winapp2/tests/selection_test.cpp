#include "winapp2/selection.h"

#include <gtest/gtest.h>

namespace {

using vx::winapp2::SelectionLine;

TEST(Selection, ReadsSignedLinesAndIgnoresTheRest) {
  const std::string text =
      "\xEF\xBB\xBF+Google Chrome Cache\r\n"
      "-Windows Explorer MRUs|record\r\n"
      "  \xEF\xBB\xBF-Spaced Out  \n"  // a mark after blanks is part of the text
      "\xEF\xBB\xBF\xEF\xBB\xBF +Twice Marked\r\n"
      "+\r\n"
      "-\n"
      "# comment\r\n"
      "Plain line\r\n"
      "\r\n"
      "+Last Without End";
  const std::vector<SelectionLine> want = {{"Google Chrome Cache", true},
                                           {"Windows Explorer MRUs|record", false},
                                           {"Twice Marked", true},
                                           {"Last Without End", true}};
  EXPECT_EQ(vx::winapp2::parse_selection(text), want);
  EXPECT_TRUE(vx::winapp2::parse_selection("").empty());
}

TEST(Selection, WritesWhatItReads) {
  const std::vector<SelectionLine> lines = {{"Firefox Cache", false}, {"Edge|record", true}};
  const std::string text = vx::winapp2::format_selection(lines);
  EXPECT_EQ(text, "-Firefox Cache\r\n+Edge|record\r\n");
  EXPECT_EQ(vx::winapp2::parse_selection(text), lines);
  EXPECT_EQ(vx::winapp2::format_selection({}), "");
}

}  // namespace
