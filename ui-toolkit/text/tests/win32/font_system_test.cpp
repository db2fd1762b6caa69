// The DirectWrite measurer against the fonts of the test prefix (Wine's
// system collection: the host's DejaVu, Nanum, Droid and Liberation families,
// and the wine-run replacements that make "Segoe UI" and "Malgun Gothic"
// aliases of NanumGothic). "Tahoma" stands for a Windows family that is missing.
#include "ostrel/text/win32/font_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

using ostrel::text::FontSpec;
using ostrel::text::win32::FontSystem;
using ostrel::text::win32::GlyphRun;

class FontSystemTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { fonts_ = FontSystem::create().release(); }
  static void TearDownTestSuite() {
    delete fonts_;
    fonts_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(fonts_, nullptr) << "DirectWrite did not load"; }

  FontSystem& fonts() { return *fonts_; }

  std::vector<float> advances(const FontSpec& f, std::string_view text) {
    std::vector<float> out{42.0f};  // stale content must go
    fonts_->advances(f, text, out);
    return out;
  }
  std::vector<GlyphRun> shape(const FontSpec& f, std::string_view text) {
    std::vector<GlyphRun> runs(1);  // stale content must go
    fonts_->shape(f, text, runs);
    return runs;
  }
  static float sum(const std::vector<float>& v) { return std::accumulate(v.begin(), v.end(), 0.0f); }

 private:
  static FontSystem* fonts_;
};
FontSystem* FontSystemTest::fonts_ = nullptr;

using List = std::span<const std::string>;
const std::string dejavu_names[] = {"DejaVu Sans"};
const std::string nanum_names[] = {"NanumGothic"};
const std::string droid_names[] = {"Droid Sans Fallback"};
const std::string tahoma_names[] = {"Tahoma"};
const std::string segoe_names[] = {"Segoe UI", "sans-serif"};
const std::string mono_names[] = {"monospace"};
const List dejavu(dejavu_names), nanum(nanum_names), droid(droid_names), tahoma(tahoma_names), segoe(segoe_names),
    mono(mono_names), no_family;

FontSpec font(List families, float size = 16, std::uint16_t weight = 400, bool italic = false) {
  return {families, size, weight, italic};
}

// Runs in logical order must tile the text: no byte drawn twice or lost.
void expect_tiles(const std::vector<GlyphRun>& runs, std::size_t size) {
  std::size_t pos = 0;
  for (const GlyphRun& r : runs) {
    EXPECT_EQ(r.begin, pos);
    EXPECT_LT(r.begin, r.end);
    EXPECT_FALSE(r.glyphs.empty());
    EXPECT_EQ(r.advances.size(), r.glyphs.size());
    EXPECT_EQ(r.offsets.size(), r.glyphs.size());
    EXPECT_NE(r.face.Get(), nullptr);
    pos = r.end;
  }
  EXPECT_EQ(pos, size);
}

TEST_F(FontSystemTest, ResolvesInstalledMissingAndGenericFamilies) {
  EXPECT_EQ(fonts().resolved_family(font(dejavu)), "DejaVu Sans");
  const std::string lower[] = {"  nanumgothic "};
  EXPECT_EQ(fonts().resolved_family(font(lower)), "NanumGothic");
  // An unknown name is skipped, as CSS does; a missing Windows UI family stands
  // for the UI font instead of falling through to the next name.
  const std::string unknown_first[] = {"No Such Family", "DejaVu Sans"};
  EXPECT_EQ(fonts().resolved_family(font(unknown_first)), "DejaVu Sans");
  const std::string ui = fonts().resolved_family(font(no_family));
  EXPECT_FALSE(ui.empty());
  const std::string tahoma_first[] = {"Tahoma", "DejaVu Serif"};
  EXPECT_EQ(fonts().resolved_family(font(tahoma_first)), ui);
  EXPECT_EQ(fonts().resolved_family(font(tahoma)), ui);
  const std::string system_ui[] = {"SYSTEM-UI"};
  EXPECT_EQ(fonts().resolved_family(font(system_ui)), ui);
  EXPECT_FALSE(fonts().resolved_family(font(segoe)).empty());
  for (List list : {tahoma, segoe}) EXPECT_GT(fonts().width(font(list), "Vorlix 4.0"), 20);
}

TEST_F(FontSystemTest, MonospaceResolvesToAFixedPitchFamily) {
  EXPECT_NE(fonts().resolved_family(font(mono)), fonts().resolved_family(font(no_family)));
  EXPECT_EQ(fonts().width(font(mono), "iiii"), fonts().width(font(mono), "MMMM"));
  EXPECT_LT(fonts().width(font(dejavu), "iiii"), fonts().width(font(dejavu), "MMMM"));
}

TEST_F(FontSystemTest, LatinTextHasPlausibleMetricsAndWidths) {
  for (List list : {dejavu, nanum}) {
    const auto m = fonts().metrics(font(list, 20));
    EXPECT_GT(m.ascent, 12) << list[0];
    EXPECT_GT(m.descent, 2);
    EXPECT_GE(m.line_gap, 0);
    EXPECT_GT(m.normal_line_height(), 20);
    EXPECT_LT(m.normal_line_height(), 32);
    // Each letter between 0.3 and 0.8 em, and width proportional to size up to
    // the 1/64 px grid of each advance.
    const float w = fonts().width(font(list, 20), "Hello");
    EXPECT_GT(w, 5 * 0.3f * 20);
    EXPECT_LT(w, 5 * 0.8f * 20);
    EXPECT_NEAR(fonts().width(font(list, 40), "Hello"), 2 * w, 5.0f / 64);
    EXPECT_LT(fonts().width(font(list, 20), "Hell"), w);
  }
  EXPECT_NE(fonts().width(font(dejavu), "Hello"), fonts().width(font(nanum), "Hello"));
}

TEST_F(FontSystemTest, AdvancesSitOnFirstBytesOnTheSixtyFourthGrid) {
  const std::string text = "Vorlix는 \xF0\x9F\x98\x80 e\u0301 파일 3.5 GB тест";
  for (List list : {dejavu, nanum, segoe}) {
    for (float size : {9.0f, 13.3f, 27.1f}) {
      const FontSpec f = font(list, size, 700);
      const std::vector<float> adv = advances(f, text);
      ASSERT_EQ(adv.size(), text.size());
      for (std::size_t i = 0; i < adv.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
          EXPECT_EQ(adv[i], 0) << i;
        }
        EXPECT_EQ(adv[i] * 64, std::round(adv[i] * 64)) << i;
      }
      EXPECT_GT(adv[text.find("는")], 0);
      EXPECT_GT(adv[text.find("\xF0")], 0);  // no font has the emoji: the primary face's empty box
      EXPECT_EQ(fonts().width(f, text), sum(adv));
    }
  }
  // Controls and format characters take no room, wherever they are.
  EXPECT_EQ(fonts().width(font(dejavu), "\u200B\u200D\u00AD\n\t\u202E"), 0);
  EXPECT_EQ(fonts().width(font(dejavu), "a\u200Bb"), fonts().width(font(dejavu), "ab"));
}

TEST_F(FontSystemTest, EveryScriptGetsGlyphsThroughFallback) {
  for (List list : {dejavu, nanum, tahoma}) {
    for (std::string_view text : {"가나다", "日本語のテキスト", "中文文本", "Русский текст", "مرحبا", "Ελληνικά"}) {
      const auto runs = shape(font(list), text);
      expect_tiles(runs, text.size());
      for (const GlyphRun& r : runs)
        for (std::uint16_t g : r.glyphs) EXPECT_NE(g, 0) << list[0] << ": " << text;
      // At least a quarter em per character on average: no empty or collapsed glyphs.
      const std::size_t characters = std::count_if(
          text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
      EXPECT_GT(fonts().width(font(list), text), 16 * 0.25f * characters) << list[0] << ": " << text;
    }
    // Each syllable measures on its own first byte.
    const std::vector<float> adv = advances(font(list), "가나다");
    for (std::size_t i = 0; i < adv.size(); ++i) EXPECT_EQ(adv[i] > 0, i % 3 == 0) << list[0] << " " << i;
  }
  // DejaVu Sans has no Hangul: 가나다 comes from another face, in one run.
  const auto hangul = shape(font(dejavu), "가나다");
  ASSERT_EQ(hangul.size(), 1u);
  EXPECT_NE(hangul[0].face.Get(), shape(font(dejavu), "abc")[0].face.Get());
}

TEST_F(FontSystemTest, MixedTextShapesIntoRunsThatSumToWidth) {
  const std::string text = "abc 한국어 текст";
  for (List list : {dejavu, nanum}) {
    for (float size : {11.0f, 16.0f}) {
      const FontSpec f = font(list, size);
      const auto runs = shape(f, text);
      EXPECT_GE(runs.size(), 3u);  // Latin, Hangul, Cyrillic at least
      expect_tiles(runs, text.size());
      float total = 0;
      for (const GlyphRun& r : runs) {
        EXPECT_EQ(r.size, size);
        EXPECT_FALSE(r.rtl());
        total += r.width();
        // What a run draws is what its bytes measure.
        const std::vector<float> adv = advances(f, text);
        EXPECT_EQ(r.width(), std::accumulate(adv.begin() + r.begin, adv.begin() + r.end, 0.0f));
      }
      EXPECT_EQ(total, fonts().width(f, text));
      EXPECT_EQ(total, sum(advances(f, text)));
    }
  }
}

TEST_F(FontSystemTest, MarksAndJoinersStayWithTheirBase) {
  // U+0301 is in DejaVu Sans, but on a fallback syllable it must not start a
  // run of its own: the cluster is shaped in one face.
  const std::string text = "가\u0301나\u200D다";
  const auto runs = shape(font(dejavu), text);
  ASSERT_EQ(runs.size(), 1u);
  const std::vector<float> adv = advances(font(dejavu), text);
  EXPECT_EQ(adv[3], 0);  // the mark's first byte
}

TEST_F(FontSystemTest, BoldIsAtLeastAsWideAndSimulatedWhenMissing) {
  for (List list : {dejavu, nanum, droid}) {
    const std::string text = "Vorlix 정리 Bold";
    const float regular = fonts().width(font(list, 16, 400), text);
    EXPECT_GE(fonts().width(font(list, 16, 700), text), regular) << list[0];
    EXPECT_GT(fonts().width(font(list, 16, 400, true), text), 0);
  }
  // Droid Sans Fallback (ideographs, no Latin) has one weight only: its bold is simulated.
  const auto bold = shape(font(droid, 16, 700), "日本語");
  ASSERT_EQ(bold.size(), 1u);
  EXPECT_TRUE(bold[0].face->GetSimulations() & DWRITE_FONT_SIMULATIONS_BOLD);
  EXPECT_FALSE(shape(font(droid, 16, 400), "日本語")[0].face->GetSimulations() & DWRITE_FONT_SIMULATIONS_BOLD);
}

TEST_F(FontSystemTest, ArabicComesOutRightToLeftAndJoined) {
  const std::string word = "مرحبا";
  for (List list : {dejavu, nanum}) {
    const auto runs = shape(font(list), word);
    ASSERT_EQ(runs.size(), 1u) << list[0];
    EXPECT_TRUE(runs[0].rtl());
    // Joined forms are other glyphs than the letters' own ones.
    const UINT32 letters[] = {0x0645, 0x0631, 0x062D, 0x0628, 0x0627};
    UINT16 nominal[5] = {};
    ASSERT_TRUE(SUCCEEDED(runs[0].face->GetGlyphIndices(letters, 5, nominal)));
    EXPECT_NE(runs[0].glyphs, std::vector<std::uint16_t>(nominal, nominal + 5));
  }
  // In Latin text only the word itself goes right to left.
  const std::string mixed = "abc " + word + " def";
  for (const GlyphRun& r : shape(font(dejavu), mixed)) {
    const std::string_view bytes = std::string_view(mixed).substr(r.begin, r.end - r.begin);
    EXPECT_EQ(r.rtl(), bytes == word) << bytes;
  }
}

TEST(VisualOrder, ReversesRunsByLevel) {
  auto order_of = [](std::initializer_list<std::uint8_t> levels) {
    std::vector<GlyphRun> runs;
    for (std::uint8_t l : levels) runs.emplace_back().bidi_level = l;
    std::vector<std::size_t> order{7, 7, 7, 7, 7, 7, 7, 7};
    ostrel::text::win32::visual_order(runs, order);
    return order;
  };
  EXPECT_EQ(order_of({}), std::vector<std::size_t>{});
  EXPECT_EQ(order_of({0, 0}), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(order_of({1, 1, 1}), (std::vector<std::size_t>{2, 1, 0}));
  // Latin inside Arabic inside Latin: the inner run keeps its place in the reversed middle.
  EXPECT_EQ(order_of({0, 1, 1, 2, 1, 0}), (std::vector<std::size_t>{0, 4, 3, 2, 1, 5}));
  EXPECT_EQ(order_of({2, 2}), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(order_of({1, 2, 2, 1}), (std::vector<std::size_t>{3, 1, 2, 0}));
}

TEST_F(FontSystemTest, HostileInputIsMeasuredNotTrusted) {
  for (std::string_view text : {std::string_view(), std::string_view("")}) {
    EXPECT_EQ(fonts().width(font(dejavu), text), 0);
    EXPECT_TRUE(advances(font(dejavu), text).empty());
    EXPECT_TRUE(shape(font(dejavu), text).empty());
  }
  // Truncated, overlong and surrogate sequences: one U+FFFD per maximal prefix, each with an advance.
  const std::string bad =
      "\xE3\x81"
      "a\xC0\xAF\xED\xA0\x80\xFF";
  const std::vector<float> adv = advances(font(nanum), bad);
  ASSERT_EQ(adv.size(), bad.size());
  EXPECT_GT(adv[0], 0);
  EXPECT_EQ(adv[1], 0);
  for (std::size_t i = 2; i < bad.size(); ++i) EXPECT_GT(adv[i], 0) << i;
  expect_tiles(shape(font(nanum), bad), bad.size());
  EXPECT_EQ(fonts().width(font(nanum), bad), sum(adv));

  for (float size : {std::nanf(""), -4.0f, 0.0f, std::numeric_limits<float>::infinity()}) {
    EXPECT_EQ(fonts().width(font(dejavu, size), "abc 정리"), 0);
    EXPECT_EQ(fonts().metrics(font(dejavu, size)).normal_line_height(), 0);
  }
  // Odd family lists and weights still measure.
  const std::string odd[] = {"", "\xFF\xFE", std::string(300, 'x'), "serif"};
  EXPECT_GT(fonts().width(font(odd, 16, 0), "abc"), 0);
  EXPECT_GT(fonts().width(font(odd, 16, 65535), "abc"), 0);
}

TEST_F(FontSystemTest, HugeTextIsShapedInBoundedPieces) {
  const std::string unit = "Vorlix 정리 مرحبا текст\u0301 ";
  std::string text;
  for (int i = 0; i < 6000; ++i) text += unit;  // ~250 KB, several analysis slices
  const std::string unbroken(100000, 'x');      // no space to cut at
  for (std::string_view t : {std::string_view(text), std::string_view(unbroken)}) {
    const auto runs = shape(font(dejavu), t);
    expect_tiles(runs, t.size());
    const std::vector<float> adv = advances(font(dejavu), t);
    const float w = fonts().width(font(dejavu), t);
    EXPECT_NEAR(w, sum(adv), w * 1e-5f);
  }
  // Summed exactly, the pieces add up to the parts: no byte lost or measured twice at a cut.
  auto exact_width = [&](std::string_view t) {
    const std::vector<float> adv = advances(font(dejavu), t);
    return std::accumulate(adv.begin(), adv.end(), 0.0);
  };
  EXPECT_DOUBLE_EQ(exact_width(text), 6000 * exact_width(unit));
  EXPECT_DOUBLE_EQ(exact_width(unbroken), 100000 * exact_width("x"));
}

TEST_F(FontSystemTest, CachedResultsDoNotLeakBetweenFontsOrTexts) {
  const float a = fonts().width(font(dejavu), "cache check");
  const float b = fonts().width(font(nanum), "cache check");
  for (int i = 0; i < 20000; ++i) fonts().width(font(i % 2 ? dejavu : nanum, 16, i % 3 ? 400 : 700), std::to_string(i));
  EXPECT_EQ(fonts().width(font(dejavu), "cache check"), a);
  EXPECT_EQ(fonts().width(font(nanum), "cache check"), b);
  EXPECT_EQ(fonts().width(font(dejavu, 32), "cache check"), fonts().width(font(dejavu, 32), "cache check"));
  EXPECT_NE(fonts().width(font(dejavu, 32), "cache check"), a);
}

}  // namespace

namespace {

// Layout measures every row of a long list, the renderer shapes the few on
// screen: the shaped texts kept for it stay within their budget however many
// rows there are, and a text measured again after the cache started over
// measures the same.
TEST_F(FontSystemTest, ShapedTextsKeptForTheRendererStayWithinTheirBudget) {
  const FontSpec row = font(dejavu, 12);
  const float first = fonts().width(row, "Row 0 of a long list, with a name");
  for (int i = 0; i < 20000; ++i) fonts().width(row, "Row " + std::to_string(i) + " of a long list, with a name");
  EXPECT_LT(fonts().memory_usage().shaped, std::size_t{2} << 20);
  EXPECT_EQ(fonts().width(row, "Row 0 of a long list, with a name"), first);
}

}  // namespace
