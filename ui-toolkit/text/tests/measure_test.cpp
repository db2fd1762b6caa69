#include "ostrel/text/measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

using ostrel::text::FakeFont;
using ostrel::text::FontMetrics;
using ostrel::text::FontSpec;
using ostrel::text::MeasureCache;
using ostrel::text::TextMeasurer;

const std::string sans[] = {"Segoe UI", "sans-serif"};

FontSpec font(float size, std::uint16_t weight = 400, bool italic = false) { return {sans, size, weight, italic}; }

std::vector<float> advances_of(std::string_view text, float size = 16) {
  std::vector<float> out{99.0f};  // stale content must go
  FakeFont().advances(font(size), text, out);
  return out;
}
float width(std::string_view text, float size = 16, std::uint16_t weight = 400) {
  return FakeFont().width(font(size, weight), text);
}

TEST(FakeFont, AdvancesByScript) {
  // At 16 px: narrow 4, m/W 12.8 and digits 8.8 rounded to 1/64, other ASCII 8.
  EXPECT_EQ(advances_of("il mW0a?"), (std::vector<float>{4, 4, 4, 12.796875f, 12.796875f, 8.796875f, 8, 8}));
  EXPECT_EQ(advances_of("정리"), (std::vector<float>{16, 0, 0, 16, 0, 0}));
  EXPECT_EQ(width("ファ削Ａ\u3000"), 80);  // kana, ideograph, fullwidth, ideographic space
  EXPECT_EQ(width("ｱЖ", 10), 12);          // halfwidth katakana and Cyrillic: 0.6 em
  EXPECT_EQ(advances_of("e\u0301\u20DD"), (std::vector<float>{8, 0, 0, 0, 0, 0}));
  // Decomposed 한 is as wide as the precomposed syllable.
  EXPECT_EQ(width("\u1112\u1161\u11AB"), width("한"));
  EXPECT_EQ(width("\u200B\u200D\uFE0F\u00AD\n"), 0);
  EXPECT_EQ(width("a", 10, 600), 5.5f);
  EXPECT_EQ(width("a", 10, 599), 5.0f);
}

TEST(FakeFont, InvalidBytesMeasureAsReplacementCharacters) {
  const float fffd = 9.59375f;  // 0.6 em at 16 px, on the 1/64 grid
  // A truncated sequence is one U+FFFD; an overlong "/" and a lone surrogate are one per byte.
  EXPECT_EQ(advances_of("\xE3\x81"
                        "a"),
            (std::vector<float>{fffd, 0, 8}));
  EXPECT_EQ(advances_of("\xC0\xAF"), (std::vector<float>{fffd, fffd}));
  EXPECT_EQ(advances_of("\xED\xA0\x80"), (std::vector<float>{fffd, fffd, fffd}));
}

TEST(FakeFont, AdvancesSitAtFirstBytesAndSumExactly) {
  const std::string text = "Vorlix는 \xF0\x9F\x98\x80 e\u0301 \xE3\x81 파일 3.5 GB";
  for (float size : {9.0f, 13.3f, 27.1f}) {
    const FontSpec f = font(size, 700);
    std::vector<float> adv;
    FakeFont().advances(f, text, adv);
    ASSERT_EQ(adv.size(), text.size());
    for (std::size_t i = 0; i < adv.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
        EXPECT_EQ(adv[i], 0) << i;
      }
      EXPECT_EQ(adv[i] * 64, std::round(adv[i] * 64)) << i;
    }
    EXPECT_EQ(FakeFont().width(f, text), std::accumulate(adv.begin(), adv.end(), 0.0f));
    EXPECT_EQ(FakeFont().width(f, text.substr(6, 9)), std::accumulate(adv.begin() + 6, adv.begin() + 15, 0.0f));
  }
}

TEST(FakeFont, MetricsAndHostileSizes) {
  EXPECT_FLOAT_EQ(FakeFont().metrics(font(20)).normal_line_height(), 23);
  // Sizes from hostile CSS measure as nothing instead of spreading NaN.
  for (float bad : {std::nanf(""), -4.0f, std::numeric_limits<float>::infinity()}) {
    EXPECT_EQ(width("abc 정리", bad), 0);
    EXPECT_EQ(FakeFont().metrics(font(bad)).normal_line_height(), 0);
  }
  EXPECT_FALSE(std::isnan(width("W정", 3e38f, 900)));
}

// Counts calls; width() is the default one, summing advances.
class CountingMeasurer : public TextMeasurer {
 public:
  FontMetrics metrics(const FontSpec& f) override {
    ++metrics_calls;
    return FakeFont().metrics(f);
  }
  void advances(const FontSpec& f, std::string_view text, std::vector<float>& out) override {
    ++advance_calls;
    FakeFont().advances(f, text, out);
  }
  int metrics_calls = 0;
  int advance_calls = 0;
};

TEST(MeasureCache, RepeatedWordsHitAndEveryFontPropertyCounts) {
  CountingMeasurer inner;
  MeasureCache cache(inner);
  EXPECT_EQ(cache.width(font(10), "file 정"), 27.5f);
  EXPECT_EQ(cache.width(font(10), "file 정"), 27.5f);
  // The same families in other storage are the same font.
  const std::vector<std::string> copy(std::begin(sans), std::end(sans));
  cache.width({copy, 10, 400, false}, "file 정");
  EXPECT_EQ(inner.advance_calls, 1);
  EXPECT_EQ(cache.hits(), 2u);

  const std::string first_only[] = {"Segoe UI"};
  cache.width(font(11), "file 정");
  cache.width(font(10, 700), "file 정");
  cache.width(font(10, 400, true), "file 정");
  cache.width({first_only, 10, 400, false}, "file 정");
  EXPECT_EQ(cache.misses(), 5u);
  EXPECT_EQ(cache.width(font(10, 700), "file 정"), 30.25f);

  // A NaN size still finds its own entry.
  cache.width(font(std::nanf("")), "x");
  cache.width(font(std::nanf("")), "x");
  EXPECT_EQ(cache.hits(), 4u);

  EXPECT_EQ(cache.metrics(font(20)).ascent, 16);
  EXPECT_EQ(cache.metrics(font(20)).ascent, 16);
  EXPECT_EQ(inner.metrics_calls, 1);
}

TEST(MeasureCache, StaysBounded) {
  CountingMeasurer inner;
  MeasureCache cache(inner, 3);
  for (std::string_view word : {"a", "b", "c"}) cache.width(font(10), word);
  EXPECT_EQ(cache.size(), 3u);
  cache.width(font(10), "d");  // full: starts over
  EXPECT_EQ(cache.size(), 1u);
  cache.width(font(10), "a");
  cache.width(font(10), "d");
  EXPECT_EQ(cache.hits(), 1u);

  const std::string long_text(MeasureCache::max_cached_length + 1, 'x');
  EXPECT_EQ(cache.width(font(10), long_text), 5.0f * static_cast<float>(long_text.size()));
  EXPECT_EQ(cache.size(), 2u);

  // Many fonts: the font table starts over too.
  for (int i = 0; i < 1000; ++i) cache.width(font(static_cast<float>(i)), "a");
  EXPECT_LE(cache.size(), 3u);
  EXPECT_EQ(cache.width(font(10), "a"), 5.0f);
}

}  // namespace
