#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "ostrel/text/linebreak.h"

namespace {

using ostrel::text::collapse_white_space;
using ostrel::text::WhiteSpaceMode;

struct Node {
  std::string text;
  bool ends_with_space;
};

// Runs the texts of one block through collapse_white_space in order, the way
// layout walks the text nodes of an inline formatting context.
std::vector<Node> block(std::initializer_list<std::string_view> texts, WhiteSpaceMode mode) {
  bool flag = true;
  std::vector<Node> out;
  for (std::string_view t : texts) {
    std::string s = collapse_white_space(t, mode, flag);
    out.push_back({std::move(s), flag});
  }
  return out;
}

std::string collapsed(std::string_view text, WhiteSpaceMode mode, bool flag = false) {
  return collapse_white_space(text, mode, flag);
}

bool operator==(const Node& a, const Node& b) { return a.text == b.text && a.ends_with_space == b.ends_with_space; }
void PrintTo(const Node& n, std::ostream* os) { *os << '"' << n.text << "\" " << n.ends_with_space; }

TEST(CollapseWhiteSpace, NormalCollapsesRunsAcrossNodes) {
  for (WhiteSpaceMode mode : {WhiteSpaceMode::normal, WhiteSpaceMode::nowrap}) {
    EXPECT_EQ(block({"  Hello \t\n  world  ", " again", "", "   ", "x", "   "}, mode),
              (std::vector<Node>{
                  {"Hello world ", true}, {"again", false}, {"", false}, {" ", true}, {"x", false}, {" ", true}}));
    // A node of only white space after a space vanishes and keeps the flag.
    EXPECT_EQ(block({"a ", " \n\t "}, mode), (std::vector<Node>{{"a ", true}, {"", true}}));
  }
  EXPECT_EQ(collapsed("a\r\nb\rc", WhiteSpaceMode::normal), "a b c");
  // No-break spaces and ideographic spaces are not collapsible white space.
  EXPECT_EQ(collapsed("a\u00A0\u00A0 \u3000 b", WhiteSpaceMode::normal), "a\u00A0\u00A0 \u3000 b");
}

TEST(CollapseWhiteSpace, SegmentBreaksBetweenChineseOrJapaneseVanish) {
  EXPECT_EQ(collapsed("日本語の\n  テキスト", WhiteSpaceMode::normal), "日本語のテキスト");
  EXPECT_EQ(collapsed("全角！\nＡ", WhiteSpaceMode::normal), "全角！Ａ");
  // Korean uses spaces between words, and a plain space between CJK stays.
  EXPECT_EQ(collapsed("정리\n파일", WhiteSpaceMode::normal), "정리 파일");
  EXPECT_EQ(collapsed("日本 語", WhiteSpaceMode::normal), "日本 語");
  EXPECT_EQ(collapsed("Vorlix\n日本\nend", WhiteSpaceMode::normal), "Vorlix 日本 end");
  EXPECT_EQ(collapsed("a\u200B\nb\n\u200Bc", WhiteSpaceMode::normal), "a\u200Bb\u200Bc");
  // Nothing known after the text's end: keep the space for the next node.
  EXPECT_EQ(collapsed("日本\n", WhiteSpaceMode::normal), "日本 ");
}

TEST(CollapseWhiteSpace, PreservingModesKeepEverything) {
  const std::string text = "  a \t\r\n b  \n";
  for (WhiteSpaceMode mode : {WhiteSpaceMode::pre, WhiteSpaceMode::pre_wrap, WhiteSpaceMode::break_spaces}) {
    // Preserved spaces are not collapsible: the next normal node keeps its space.
    bool flag = true;
    EXPECT_EQ(collapse_white_space(text, mode, flag), text);
    EXPECT_FALSE(flag);
    EXPECT_EQ(collapse_white_space(" x", WhiteSpaceMode::normal, flag), " x");
    flag = true;
    EXPECT_EQ(collapse_white_space("", mode, flag), "");
    EXPECT_TRUE(flag);
  }
}

TEST(CollapseWhiteSpace, PreLineKeepsLineFeedsOnly) {
  EXPECT_EQ(block({"  a   b  \n   c\r\n\n d ", " e\n", " f"}, WhiteSpaceMode::pre_line),
            (std::vector<Node>{{"a b\nc\n\nd ", true}, {"e\n", true}, {"f", false}}));
  // Leading line feeds survive even at the start of a block.
  EXPECT_EQ(block({"\n a"}, WhiteSpaceMode::pre_line), (std::vector<Node>{{"\na", false}}));
  EXPECT_EQ(collapsed("日本\n語", WhiteSpaceMode::pre_line), "日本\n語");
}

TEST(CollapseWhiteSpace, BytesOtherThanWhiteSpacePassThrough) {
  EXPECT_EQ(collapsed("\xFF  \xE3\x81 \t\xC0\xAF", WhiteSpaceMode::normal), "\xFF \xE3\x81 \xC0\xAF");
  // A truncated sequence before a line feed is no East Asian character.
  EXPECT_EQ(collapsed("\xE6\x97\n日", WhiteSpaceMode::normal), "\xE6\x97 日");
  const std::string korean = "  정리할   파일이\n없습니다  ";
  const std::string out = collapsed(korean, WhiteSpaceMode::normal, true);
  EXPECT_EQ(out, "정리할 파일이 없습니다 ");
  EXPECT_TRUE(vx::is_valid_utf8(out));
}

}  // namespace
