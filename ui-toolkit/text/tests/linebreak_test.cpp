#include "ostrel/text/linebreak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ostrel/text/measure.h"

namespace {

using ostrel::text::break_opportunities;
using ostrel::text::ellipsis_cut;
using ostrel::text::FakeFont;
using ostrel::text::fit_line;
using ostrel::text::FontSpec;
using ostrel::text::LineFit;
using ostrel::text::next_cluster;
using ostrel::text::WhiteSpaceMode;

// The text with "|" before every allowed break and "^" before every mandatory one.
std::string marked(std::string_view text, WhiteSpaceMode mode = WhiteSpaceMode::normal) {
  std::vector<std::uint8_t> breaks{7, 7};
  break_opportunities(text, breaks, mode);
  EXPECT_EQ(breaks.size(), text.size());
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (breaks[i] == 1) out += '|';
    if (breaks[i] == 2) out += '^';
    EXPECT_LE(breaks[i], 2);
    if (breaks[i] != 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
      // Only a stray continuation byte (its own U+FFFD) may start after a break.
      EXPECT_TRUE(i > 0 && static_cast<unsigned char>(text[i - 1]) < 0x80) << "break inside a sequence at " << i;
    }
    out += text[i];
  }
  return out;
}

TEST(BreakOpportunities, EnglishSpacesAndHyphens) {
  EXPECT_EQ(marked("Clean up temp-files  now"), "Clean |up |temp-|files  |now");
  // A hyphen breaks only between letters or digits: not in "-5", "x -y" or "a--b".
  EXPECT_EQ(marked("-5 and e-mail x -y 3-4 a--b"), "-5 |and |e-|mail |x |-y |3-|4 |a--b");
  EXPECT_EQ(marked("co\u2010op 1,000.5 (see below) a/b"), "co\u2010|op |1,000.5 |(see |below) |a/b");
  // No line starts with closing punctuation or ends with an opening one, spaces or not.
  EXPECT_EQ(marked("a ) ( b"), "a ) |( b");
  EXPECT_EQ(marked("say \"hello world\" 'ok'"), "say |\"hello |world\" |'ok'");
  EXPECT_EQ(marked("a\tb\u3000c\u2003d  a"), "a\t|b\u3000|c\u2003|d  |a");
  EXPECT_EQ(marked("  a"), "  |a");
  EXPECT_EQ(marked(""), "");
}

TEST(BreakOpportunities, KoreanBreaksBetweenSyllables) {
  EXPECT_EQ(marked("정리할 파일이 없습니다"), "정|리|할 |파|일|이 |없|습|니|다");
  EXPECT_EQ(marked("Vorlix는 3개 (2.5 MB)"), "Vorlix|는 |3|개 |(2.5 |MB)");
  EXPECT_EQ(marked("파일.txt를"), "파|일.txt|를");
  // Compatibility jamo are standalone letters; decomposed syllables stay whole.
  EXPECT_EQ(marked("ㅋㅋ\u1112\u1161\u11AB\u1100\u1173"), "ㅋ|ㅋ|\u1112\u1161\u11AB|\u1100\u1173");
}

TEST(BreakOpportunities, JapanesePunctuationStaysWithItsText) {
  EXPECT_EQ(marked("ファイルを削除しました。「一時ファイル」（約1.2GB）、完了"),
            "ファ|イ|ル|を|削|除|し|ま|し|た。|「一|時|ファ|イ|ル」|（約|1.2GB）、|完|了");
  // Small kana, the prolonged sound mark and iteration marks never start a line.
  EXPECT_EQ(marked("ちょっとデータ々ゝ"), "ちょっ|と|デー|タ々ゝ");
  EXPECT_EQ(marked("終了。Done"), "終|了。|Done");
  EXPECT_EQ(marked("see「本」…"), "see|「本」…");
}

TEST(BreakOpportunities, NonBreakingAndZeroWidthSpaces) {
  EXPECT_EQ(marked("10\u00A0MB free"), "10\u00A0MB |free");
  EXPECT_EQ(marked("정\u00A0리 a\u202Fb c\u2007d"), "정\u00A0리 |a\u202Fb |c\u2007d");
  // Joiners glue even ideographs; a space before a no-break space still breaks.
  EXPECT_EQ(marked("漢\u2060字\uFEFF字 \u00A0x"), "漢\u2060字\uFEFF字 |\u00A0x");
  EXPECT_EQ(marked("abc\u200Bdef"), "abc\u200B|def");
  EXPECT_EQ(marked("a \u200B  b"), "a \u200B  |b");
}

TEST(BreakOpportunities, MandatoryBreaks) {
  EXPECT_EQ(marked("one\ntwo\r\nthree\rfour\u2028five"), "one\n^two\r\n^three\r^four\u2028^five");
  EXPECT_EQ(marked("a \n b\n\n"), "a \n^ |b\n^\n");
  EXPECT_EQ(marked("\n\u0301"), "\n^\u0301");
}

TEST(BreakOpportunities, CombiningMarksStayOnTheirBase) {
  EXPECT_EQ(marked("e\u0301 x\u0301\u0302y"), "e\u0301 |x\u0301\u0302y");
  EXPECT_EQ(marked("가\u0301나\u20DD다か\u3099き"), "가\u0301|나\u20DD|다|か\u3099|き");
  // A mark after a space has no base and stands alone.
  EXPECT_EQ(marked("a \u0301b"), "a |\u0301b");
  // ZWJ sequences are not split, even between ideographs.
  EXPECT_EQ(marked("漢\u200D字"), "漢\u200D字");
}

TEST(BreakOpportunities, InvalidBytesActAsLetters) {
  EXPECT_EQ(marked("ab\xFF\xFE"
                   "cd ef"),
            "ab\xFF\xFE"
            "cd |ef");
  EXPECT_EQ(marked("a \x80\xBF 漢\xE3\x81"), "a |\x80\xBF |漢|\xE3\x81");
  EXPECT_EQ(marked("\xC0\xAF-x"), "\xC0\xAF-|x");
}

TEST(BreakOpportunities, ModesDecideWrapping) {
  EXPECT_EQ(marked("a b-c\n정리", WhiteSpaceMode::nowrap), "a b-c\n^정리");
  EXPECT_EQ(marked("a b", WhiteSpaceMode::pre_wrap), "a |b");
  EXPECT_EQ(marked("a  b  \nc", WhiteSpaceMode::break_spaces), "a | |b | \n^c");
}

const std::string sans[] = {"sans-serif"};
const FontSpec ten{sans, 10, 400, false};  // "a" 5, space 2.5, Hangul 10

struct Lines {
  std::vector<std::string> text;
  std::vector<float> widths;
  std::vector<bool> forced;
};

Lines wrap(std::string_view text, float available, WhiteSpaceMode mode = WhiteSpaceMode::normal) {
  std::vector<float> adv;
  FakeFont().advances(ten, text, adv);
  std::vector<std::uint8_t> breaks;
  break_opportunities(text, breaks, mode);
  Lines out;
  for (std::size_t start = 0; start < text.size();) {
    const LineFit fit =
        fit_line(text, adv, breaks, start, available, ostrel::text::allows_wrap(mode), ostrel::text::spaces_hang(mode));
    EXPECT_GT(fit.end, start);
    if (fit.end <= start) break;
    out.text.emplace_back(text.substr(start, fit.end - start));
    out.widths.push_back(fit.width);
    out.forced.push_back(fit.forced);
    start = fit.end;
  }
  return out;
}

using Strings = std::vector<std::string>;
using Floats = std::vector<float>;

TEST(FitLine, TakesTheLongestPrefixThatFits) {
  EXPECT_EQ(wrap("aaa bbb", 100).widths, Floats{32.5f});
  const Lines two = wrap("aaa bbb ccc", 40);
  EXPECT_EQ(two.text, (Strings{"aaa bbb ", "ccc"}));
  EXPECT_EQ(two.widths, (Floats{32.5f, 15}));

  // Exactly full counts as fitting.
  EXPECT_EQ(wrap("aaa bbb ccc", 32.5f).text, (Strings{"aaa bbb ", "ccc"}));
  EXPECT_EQ(wrap("정리할 파일이 없습니다", 35).text, (Strings{"정리할 ", "파일이 ", "없습니", "다"}));
}

TEST(FitLine, TrailingSpacesHangExceptInBreakSpaces) {
  const Lines hang = wrap("aaa     bbb", 15, WhiteSpaceMode::pre_wrap);
  EXPECT_EQ(hang.text, (Strings{"aaa     ", "bbb"}));
  EXPECT_EQ(hang.widths, (Floats{15, 15}));

  const Lines room = wrap("aa    bb", 15, WhiteSpaceMode::break_spaces);
  EXPECT_EQ(room.text, (Strings{"aa  ", "  bb"}));
  EXPECT_EQ(room.widths, (Floats{15, 15}));
}

TEST(FitLine, LongWordsOverflowToTheirEnd) {
  const Lines first = wrap("aaaaaaaa bb", 20);
  EXPECT_EQ(first.text, (Strings{"aaaaaaaa ", "bb"}));
  EXPECT_EQ(first.widths, (Floats{40, 10}));
  EXPECT_EQ(wrap("aa bbbbbbbbbbbb cc", 20).text, (Strings{"aa ", "bbbbbbbbbbbb ", "cc"}));
  // Without any opportunity the whole text is one line.
  EXPECT_EQ(wrap("C:\\Users\\Public\\Documents", 20).text, Strings{"C:\\Users\\Public\\Documents"});
}

TEST(FitLine, MandatoryBreaksEndLines) {
  const Lines l = wrap("aa  \nbb\n\ncc", 100, WhiteSpaceMode::pre_wrap);
  EXPECT_EQ(l.text, (Strings{"aa  \n", "bb\n", "\n", "cc"}));
  EXPECT_EQ(l.widths, (Floats{10, 10, 0, 10}));
  EXPECT_EQ(l.forced, (std::vector<bool>{true, true, true, false}));
  // pre keeps lines whole however narrow.
  EXPECT_EQ(wrap("aaa bbb\nc", 1, WhiteSpaceMode::pre).text, (Strings{"aaa bbb\n", "c"}));
  // A break that fits beats a mandatory one that does not.
  EXPECT_EQ(wrap("aa bbbbbb\ncc", 20).text, (Strings{"aa ", "bbbbbb\n", "cc"}));
}

TEST(FitLine, NoRoomStillProgresses) {
  EXPECT_EQ(wrap("a b 정리", 0).text, (Strings{"a ", "b ", "정", "리"}));
  EXPECT_EQ(wrap("   ", 0).text, Strings{"   "});
  EXPECT_EQ(wrap("a b", -5).text, (Strings{"a ", "b"}));
  EXPECT_EQ(wrap("a b", std::nanf("")).text, (Strings{"a ", "b"}));

  // Missing advances measure 0, missing breaks mean none.
  const std::string text = "ab cd";
  const LineFit no_adv = fit_line(text, {}, std::vector<std::uint8_t>{0, 0, 0, 1, 0}, 0, 1, true);
  EXPECT_EQ(no_adv.end, 5u);
  EXPECT_EQ(no_adv.width, 0);
  const std::vector<float> adv(5, 5.0f);
  EXPECT_EQ(fit_line(text, adv, {}, 0, 1, true).end, 5u);
  EXPECT_EQ(fit_line(text, adv, {}, 5, 1, true).end, 5u);
  EXPECT_EQ(fit_line(text, adv, {}, 9, 1, true).end, 9u);
}

TEST(EllipsisCut, WholeClustersThatLeaveRoomForTheEllipsis) {
  auto cut = [](std::string_view text, float available) {
    std::vector<float> adv;
    FakeFont().advances(ten, text, adv);
    return ellipsis_cut(adv, text, available, 6);
  };
  EXPECT_EQ(cut("abcdef", 20), 2u);
  EXPECT_EQ(cut("abcdef", 21), 3u);  // 15 + 6 exactly
  EXPECT_EQ(cut("abcdef", 10.9f), 0u);
  EXPECT_EQ(cut("abcdef", 5), 0u);
  EXPECT_EQ(cut("abcdef", std::nanf("")), 0u);
  EXPECT_EQ(cut("", 1000), 0u);
  EXPECT_EQ(cut("정리할", 26), 6u);
  // Marks stay with their base: 5 bytes or nothing, never 1 or 3.
  EXPECT_EQ(cut("e\u0301\u0302x", 11), 5u);
  EXPECT_EQ(cut("e\u0301\u0302x", 10), 0u);
  // An emoji ZWJ sequence is one cluster.
  const std::string woman_technologist = "\xF0\x9F\x91\xA9\u200D\xF0\x9F\x92\xBB";
  EXPECT_EQ(cut(woman_technologist + "x", 1000), woman_technologist.size() + 1);
  EXPECT_EQ(cut(woman_technologist + "x", 17.5f), 0u);  // 6 + 6 of emoji + 6 of ellipsis
  EXPECT_EQ(cut(woman_technologist + "x", 18), woman_technologist.size());
  EXPECT_EQ(cut("\xE3\x81x", 12), 2u);
}

TEST(NextCluster, Boundaries) {
  const std::string text =
      "e\u0301\u20DD\r\n\n\xE3\x81"
      "a \u0301\u200D";
  std::vector<std::size_t> ends;
  for (std::size_t pos = 0; pos < text.size(); pos = ends.back()) ends.push_back(next_cluster(text, pos));
  EXPECT_EQ(ends, (std::vector<std::size_t>{6, 8, 9, 11, 12, 18}));
  EXPECT_EQ(next_cluster(text, 99), text.size());
  EXPECT_EQ(next_cluster("a\u200D\nb", 0), 4u);  // a joiner does not swallow a line feed
}

}  // namespace
