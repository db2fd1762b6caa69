#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

const std::string fffd = "\xEF\xBF\xBD";

TEST(Utf8, ValidTextRoundTripsThroughUtf16) {
  for (std::string_view s : {""sv, "plain ascii"sv, "정리할 파일이 없습니다"sv, "Ærøskøbing ß İ ı"sv,
                             "emoji \xF0\x9F\x98\x80 and \xF4\x8F\xBF\xBF"sv, "\0nul inside"sv}) {
    EXPECT_TRUE(vx::is_valid_utf8(s)) << s;
    EXPECT_EQ(vx::utf16_to_utf8(vx::utf8_to_utf16(s)), s);
    EXPECT_EQ(vx::sanitize_utf8(s), s);
  }
  EXPECT_EQ(vx::utf8_to_utf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(vx::utf8_to_utf16("한글"), u"한글");
}

TEST(Utf8, InvalidSequencesBecomeOneReplacementPerMaximalSubpart) {
  struct Case {
    std::string_view in;
    std::string out;
  };
  const Case cases[] = {
      {"\xC0\x80", fffd + fffd},                        // overlong NUL: C0 is never a lead byte
      {"\xE0\x80\xAF", fffd + fffd + fffd},             // overlong three-byte form
      {"\xED\xA0\x80", fffd + fffd + fffd},             // UTF-8 encoded surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\xF5\x80", fffd + fffd},
      {"\xE2\x82", fffd},         // truncated at the end: one replacement
      {"\xE2\x82x", fffd + "x"},  // truncated before ASCII keeps the ASCII
      {"\xF0\x9F\x98", fffd},
      {"a\x80"
       "b",
       "a" + fffd + "b"},  // stray continuation byte
      {"\xFF\xFE", fffd + fffd},
      {"\xC3\xA9\xC3", "\xC3\xA9" + fffd},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(vx::is_valid_utf8(c.in));
    EXPECT_EQ(vx::sanitize_utf8(c.in), c.out);
    EXPECT_EQ(vx::utf16_to_utf8(vx::utf8_to_utf16(c.in)), c.out);
  }
  // A genuine U+FFFD in the input is valid text.
  EXPECT_TRUE(vx::is_valid_utf8("a" + fffd));
}

TEST(Utf16, UnpairedSurrogatesBecomeReplacements) {
  const std::u16string lone_high =
      u"a\xD83D"
      u"b";
  const std::u16string lone_low = u"\xDE00";
  const std::u16string reversed = u"\xDE00\xD83D";
  EXPECT_EQ(vx::utf16_to_utf8(lone_high), "a" + fffd + "b");
  EXPECT_EQ(vx::utf16_to_utf8(lone_low), fffd);
  EXPECT_EQ(vx::utf16_to_utf8(reversed), fffd + fffd);
  EXPECT_EQ(vx::utf16_to_utf8(u"\xD83D"), fffd);  // high surrogate at the very end
  EXPECT_EQ(vx::utf16_to_utf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST(Utf8, AppendingInvalidCodePointsWritesReplacement) {
  std::string out;
  vx::append_utf8(out, 0xD800);
  vx::append_utf8(out, 0x110000);
  EXPECT_EQ(out, fffd + fffd);
  std::u16string wide;
  vx::append_utf16(wide, 0xDFFF);
  EXPECT_EQ(wide, u"\xFFFD");
}

TEST(CaseMapping, FullMappingsIncludingSpecialCasing) {
  EXPECT_EQ(vx::to_upper("straße"), "STRASSE");
  EXPECT_EQ(vx::to_lower("İstanbul"), "i\xCC\x87stanbul");  // İ -> i + combining dot above
  EXPECT_EQ(vx::to_upper("ıi"), "II");                      // dotless i upper-cases to plain I
  EXPECT_EQ(vx::to_lower("ΑΣ"), "ασ");                      // final-sigma rule is contextual: not applied
  EXPECT_EQ(vx::to_upper("ﬁ"), "FI");                       // ligature expands
  EXPECT_EQ(vx::to_upper("\u0390"), "\u0399\u0308\u0301");  // one code point to three
  EXPECT_EQ(vx::to_lower("ÀÉÎÕÜ ЖЁЛТЫЙ"), "àéîõü жёлтый");
  EXPECT_EQ(vx::to_upper("àéîõü жёлтый"), "ÀÉÎÕÜ ЖЁЛТЫЙ");
  EXPECT_EQ(vx::to_lower("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");  // Deseret, outside the BMP
  EXPECT_EQ(vx::to_lower("Ǆ"), "ǆ");
  EXPECT_EQ(vx::to_upper("ǅ"), "Ǆ");    // title-case digraph
  EXPECT_EQ(vx::to_lower("Ａ"), "ａ");  // full-width
}

TEST(CaseMapping, KoreanDigitsAndInvalidBytesPassThrough) {
  EXPECT_EQ(vx::to_lower("정리 123 ABC"), "정리 123 abc");
  EXPECT_EQ(vx::to_upper("정리 123 abc"), "정리 123 ABC");
  EXPECT_EQ(vx::to_lower("A\xFF"
                         "B"),
            "a" + fffd + "b");  // output is always valid UTF-8
  EXPECT_EQ(vx::to_lower(""), "");
}

TEST(CaseMapping, SimpleMappingsOfSingleCodePoints) {
  EXPECT_EQ(vx::simple_lower(U'A'), U'a');
  EXPECT_EQ(vx::simple_upper(U'ß'), U'ß');  // no single-code-point upper form
  EXPECT_EQ(vx::simple_upper(U'ÿ'), U'Ÿ');
  EXPECT_EQ(vx::simple_lower(U'Ā'), U'ā');  // alternating upper/lower block
  EXPECT_EQ(vx::simple_lower(U'ā'), U'ā');
  EXPECT_EQ(vx::simple_upper(U'ā'), U'Ā');
  EXPECT_EQ(vx::simple_lower(U'K'), U'k');  // Kelvin sign
  EXPECT_EQ(vx::simple_lower(U'가'), U'가');
  EXPECT_EQ(vx::simple_lower(0x10FFFF), char32_t(0x10FFFF));
}

TEST(AsciiCase, LeavesNonAsciiBytesAlone) {
  EXPECT_EQ(vx::ascii_lower("VERSION: Ä"), "version: Ä");
  EXPECT_EQ(vx::ascii_upper("remove\xC3\xA9self"), "REMOVE\xC3\xA9SELF");
  EXPECT_TRUE(vx::iequals_ascii("RECURSE", "recurse"));
  EXPECT_FALSE(vx::iequals_ascii("Ä", "ä"));
  EXPECT_FALSE(vx::iequals_ascii("abc", "abcd"));
  EXPECT_TRUE(vx::starts_with_ascii_ci("Version: 1", "VERSION:"));
  EXPECT_FALSE(vx::starts_with_ascii_ci("Ver", "VERSION:"));
}

TEST(Trim, UnicodeWhiteSpaceAtBothEnds) {
  EXPECT_EQ(vx::trim("  a b \t\r\n"), "a b");
  EXPECT_EQ(vx::trim("\xC2\xA0\xE3\x80\x80값\xE2\x80\x83"), "값");  // NBSP, ideographic space, em space
  EXPECT_EQ(vx::trim("\xC2\x85x\xE2\x80\xA8"), "x");                // NEL, line separator
  EXPECT_EQ(vx::trim(""), "");
  EXPECT_EQ(vx::trim(" \t\xE3\x80\x80 "), "");
  // U+FEFF and U+200B are not white space.
  EXPECT_EQ(vx::trim("\xEF\xBB\xBFx"), "\xEF\xBB\xBFx");
  EXPECT_EQ(vx::trim("x\xE2\x80\x8B"), "x\xE2\x80\x8B");
  // A broken sequence at the edge is not white space and stays.
  EXPECT_EQ(vx::trim(" x\xA0"), "x\xA0");
  EXPECT_EQ(vx::trim("\x80 "), "\x80");
  EXPECT_EQ(vx::trim_start("  x  "), "x  ");
  EXPECT_EQ(vx::trim_end("  x  "), "  x");
  EXPECT_TRUE(vx::is_white_space(U'\u3000'));
  EXPECT_FALSE(vx::is_white_space(U'\u200B'));
  EXPECT_FALSE(vx::is_white_space(0x110000));
}

TEST(ParseDecimal, OptionalPlusThenDigitsOnlyWithoutOverflow) {
  EXPECT_EQ(vx::parse_u32("0"), 0u);
  EXPECT_EQ(vx::parse_u32("+260828"), 260828u);
  EXPECT_EQ(vx::parse_u32("007"), 7u);
  EXPECT_EQ(vx::parse_u32("4294967295"), 4294967295u);
  EXPECT_EQ(vx::parse_u32("4294967296"), std::nullopt);
  EXPECT_EQ(vx::parse_u32("99999999999999999999"), std::nullopt);
  EXPECT_EQ(vx::parse_u64("18446744073709551615"), 18446744073709551615ull);
  EXPECT_EQ(vx::parse_u64("18446744073709551616"), std::nullopt);
  for (std::string_view bad :
       {""sv, "+"sv, "-"sv, "-1"sv, "++1"sv, " 1"sv, "1 "sv, "1a"sv, "0x10"sv, "１"sv, "1.0"sv}) {
    EXPECT_EQ(vx::parse_u32(bad), std::nullopt) << bad;
  }
}

}  // namespace
