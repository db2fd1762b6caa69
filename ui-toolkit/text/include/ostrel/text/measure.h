// Fonts as layout sees them: a CSS font description, its vertical metrics and
// per-byte advances of UTF-8 text. The platform measurer (DirectWrite) lives
// elsewhere; FakeFont gives every machine the same numbers for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ostrel::text {

struct FontSpec {
  // Priority order as CSS font-family gives them; generic names are "sans-serif",
  // "serif", "monospace" and "system-ui".
  std::span<const std::string> families;
  float size;
  std::uint16_t weight;
  bool italic;
};

// In px for the font's size.
struct FontMetrics {
  float ascent;
  float descent;
  float line_gap;
  // What CSS `line-height: normal` resolves to.
  float normal_line_height() const noexcept { return ascent + descent + line_gap; }
};

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual FontMetrics metrics(const FontSpec& font) = 0;
  // Replaces `out` with one advance per byte of `utf8`: a character's (or
  // cluster's) advance sits at its first byte and continuation bytes hold 0, so
  // any byte range that starts on a character boundary sums to its width.
  // Invalid UTF-8 is measured as U+FFFD.
  virtual void advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) = 0;
  // The sum of advances(); implementations may compute it more directly.
  virtual float width(const FontSpec& font, std::string_view utf8);
};

// Deterministic metrics shaped loosely like a UI font, identical on every
// machine. Every advance is a multiple of 1/64 px, so sums are exact in float.
class FakeFont final : public TextMeasurer {
 public:
  FontMetrics metrics(const FontSpec& font) override;
  void advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) override;
  float width(const FontSpec& font, std::string_view utf8) override;
  // The advance of one code point.
  static float advance(const FontSpec& font, char32_t code_point) noexcept;
};

// Memoises width() per (font, text) in front of another measurer: layout
// measures the same words over and over (thousands of table rows). The cache
// holds at most `capacity` widths and starts over when full; texts longer than
// `max_cached_length` bytes are passed through. Not thread-safe.
class MeasureCache final : public TextMeasurer {
 public:
  static constexpr std::size_t default_capacity = 65536;
  static constexpr std::size_t max_cached_length = 512;

  explicit MeasureCache(TextMeasurer& inner, std::size_t capacity = default_capacity);

  FontMetrics metrics(const FontSpec& font) override;
  void advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) override;
  float width(const FontSpec& font, std::string_view utf8) override;

  void clear() noexcept;
  std::size_t size() const noexcept { return widths_.size(); }
  // Bytes of the cached widths and fonts, estimated.
  std::size_t memory_usage() const noexcept;
  std::size_t hits() const noexcept { return hits_; }
  std::size_t misses() const noexcept { return misses_; }

 private:
  struct Font {
    std::vector<std::string> families;
    std::uint32_t size_bits;
    std::uint16_t weight;
    bool italic;
    std::optional<FontMetrics> metrics;
  };
  struct Key {
    std::uint32_t font;
    std::string text;
  };
  struct KeyView {
    std::uint32_t font;
    std::string_view text;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(const KeyView& k) const noexcept;
    std::size_t operator()(const Key& k) const noexcept { return (*this)(KeyView{k.font, k.text}); }
  };
  struct KeyEq {
    using is_transparent = void;
    static KeyView view(const Key& k) noexcept { return {k.font, k.text}; }
    static KeyView view(const KeyView& k) noexcept { return k; }
    bool operator()(const auto& a, const auto& b) const noexcept {
      return view(a).font == view(b).font && view(a).text == view(b).text;
    }
  };

  std::uint32_t font_index(const FontSpec& font);

  TextMeasurer& inner_;
  std::size_t capacity_;
  std::vector<Font> fonts_;
  std::uint32_t last_font_ = 0;
  std::unordered_map<Key, float, KeyHash, KeyEq> widths_;
  std::size_t hits_ = 0;
  std::size_t misses_ = 0;
};

}  // namespace ostrel::text
