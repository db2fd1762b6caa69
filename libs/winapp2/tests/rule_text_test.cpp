#include "winapp2/rule_text.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/embedded.h"
#include "common/text.h"

VX_EMBEDDED(vx_test_sample_winapp2)

namespace {

using vx::winapp2::builtin_rule_text;

TEST(BuiltinRuleText, IsTheWholeFileByteForByte) {
  const std::string_view text = builtin_rule_text();
  ASSERT_EQ(text.size(), static_cast<std::size_t>(VX_RULE_FILE_SIZE));
  // The embedder appends one NUL past the end, so the text is also a C string.
  EXPECT_EQ(text.data()[text.size()], '\0');
  EXPECT_TRUE(text.starts_with("; Version: "));
  EXPECT_TRUE(text.ends_with("\r\n"));
  EXPECT_TRUE(vx::is_valid_utf8(text));
  if (!VX_RULE_FILE_IS_PUBLIC) {
    EXPECT_EQ(text, vx::embedded_bytes(vx_test_sample_winapp2, vx_test_sample_winapp2_size));
  }
}

TEST(BuiltinRuleText, HoldsThousandsOfEntriesWhenPublic) {
  if (!VX_RULE_FILE_IS_PUBLIC) {
    GTEST_SKIP() << "the public Winapp2.ini was not found at build time; the sample rule file is embedded";
  }
  const std::string_view text = builtin_rule_text();
  const auto sections = std::count(text.begin(), text.end(), '[');
  EXPECT_GT(sections, 3000);
}

TEST(SampleRuleText, HasCrlfLinesAndRealLookingEntries) {
  const std::string_view text = vx::embedded_bytes(vx_test_sample_winapp2, vx_test_sample_winapp2_size);
  // Every LF is preceded by CR, as in the published file.
  for (std::size_t pos = text.find('\n'); pos != std::string_view::npos; pos = text.find('\n', pos + 1)) {
    ASSERT_GT(pos, 0u);
    ASSERT_EQ(text[pos - 1], '\r') << "at byte " << pos;
  }
  for (std::string_view key : {"LangSecRef=", "Detect=", "DetectFile1=", "FileKey1=", "RegKey1=", "ExcludeKey1=",
                               "Section=", "Warning=", "Default=False", "|RECURSE", "|REMOVESELF"}) {
    EXPECT_NE(text.find(key), std::string_view::npos) << key;
  }
}

}  // namespace
