#include "ostrel/text/measure.h"

#include <bit>
#include <cmath>
#include <functional>

#include "char_class.h"

namespace ostrel::text {
namespace {

// A size the caller got from untrusted CSS: anything but a positive finite
// number measures as zero rather than poisoning every sum.
float usable_size(const FontSpec& font) noexcept { return std::isfinite(font.size) && font.size > 0 ? font.size : 0; }

// Fonts change often in a document but few are alive at once; past this many the
// table starts over rather than slowing every lookup.
constexpr std::size_t max_fonts = 256;

}  // namespace

float TextMeasurer::width(const FontSpec& font, std::string_view utf8) {
  std::vector<float> adv;
  advances(font, utf8, adv);
  float sum = 0;
  for (float a : adv) sum += a;
  return sum;
}

FontMetrics FakeFont::metrics(const FontSpec& font) {
  const float size = usable_size(font);
  return {0.8f * size, 0.2f * size, 0.15f * size};
}

float FakeFont::advance(const FontSpec& font, char32_t cp) noexcept {
  float em;
  if (cp == ' ') {
    em = 0.25f;
  } else if (cp >= '0' && cp <= '9') {
    em = 0.55f;
  } else if (cp > ' ' && cp < 0x7F) {
    switch (cp) {
      case 'i':
      case 'l':
      case 'j':
      case '.':
      case ',':
      case ':':
      case ';':
      case '|':
      case '!':
      case '\'':
        em = 0.25f;
        break;
      case 'm':
      case 'w':
      case 'M':
      case 'W':
        em = 0.8f;
        break;
      default:
        em = 0.5f;
    }
  } else if (detail::is_zero_width(cp)) {
    return 0;
  } else if (detail::is_wide(cp)) {
    em = 1.0f;
  } else {
    em = 0.6f;
  }
  // Float all the way: a huge size overflows to infinity instead of a double to
  // float conversion out of range.
  float px = em * usable_size(font);
  if (font.weight >= 600) px *= 1.1f;
  return std::round(px * 64.0f) / 64.0f;
}

void FakeFont::advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) {
  out.assign(utf8.size(), 0.0f);
  for (std::size_t pos = 0; pos < utf8.size();) {
    const vx::DecodedChar d = detail::decode_at(utf8, pos);
    out[pos] = advance(font, d.code_point);
    pos += d.length;
  }
}

float FakeFont::width(const FontSpec& font, std::string_view utf8) {
  float sum = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const vx::DecodedChar d = detail::decode_at(utf8, pos);
    sum += advance(font, d.code_point);
    pos += d.length;
  }
  return sum;
}

MeasureCache::MeasureCache(TextMeasurer& inner, std::size_t capacity)
    : inner_(inner), capacity_(capacity == 0 ? 1 : capacity) {}

std::size_t MeasureCache::KeyHash::operator()(const KeyView& k) const noexcept {
  const std::size_t h = std::hash<std::string_view>{}(k.text);
  return h ^ (static_cast<std::size_t>(k.font) * 0x9E3779B97F4A7C15ull);
}

std::uint32_t MeasureCache::font_index(const FontSpec& font) {
  // Bit equality: a NaN size must still find its own entry.
  const std::uint32_t size_bits = std::bit_cast<std::uint32_t>(font.size);
  auto same = [&](const Font& f) {
    return f.size_bits == size_bits && f.weight == font.weight && f.italic == font.italic &&
           std::equal(f.families.begin(), f.families.end(), font.families.begin(), font.families.end());
  };
  if (last_font_ < fonts_.size() && same(fonts_[last_font_])) return last_font_;
  for (std::uint32_t i = 0; i < fonts_.size(); ++i) {
    if (same(fonts_[i])) return last_font_ = i;
  }
  // Widths are keyed by font index, so they go with the font table.
  if (fonts_.size() >= max_fonts) clear();
  fonts_.push_back({{font.families.begin(), font.families.end()}, size_bits, font.weight, font.italic, std::nullopt});
  return last_font_ = static_cast<std::uint32_t>(fonts_.size() - 1);
}

FontMetrics MeasureCache::metrics(const FontSpec& font) {
  Font& f = fonts_[font_index(font)];
  if (!f.metrics) f.metrics = inner_.metrics(font);
  return *f.metrics;
}

void MeasureCache::advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) {
  inner_.advances(font, utf8, out);
}

float MeasureCache::width(const FontSpec& font, std::string_view utf8) {
  if (utf8.size() > max_cached_length) return inner_.width(font, utf8);
  const std::uint32_t index = font_index(font);
  if (auto it = widths_.find(KeyView{index, utf8}); it != widths_.end()) {
    ++hits_;
    return it->second;
  }
  ++misses_;
  const float w = inner_.width(font, utf8);
  if (widths_.size() >= capacity_) widths_.clear();
  widths_.emplace(Key{index, std::string(utf8)}, w);
  return w;
}

std::size_t MeasureCache::memory_usage() const noexcept {
  const auto text = [](const std::string& s) { return s.capacity() > std::string().capacity() ? s.capacity() + 1 : 0; };
  // A hash node holds the key, the width, the next pointer and the cached hash.
  std::size_t bytes = widths_.size() * (sizeof(Key) + sizeof(float) + 2 * sizeof(void*)) +
                      widths_.bucket_count() * sizeof(void*) + fonts_.capacity() * sizeof(Font);
  for (const auto& [key, width] : widths_) bytes += text(key.text);
  for (const Font& f : fonts_) {
    bytes += f.families.capacity() * sizeof(std::string);
    for (const std::string& family : f.families) bytes += text(family);
  }
  return bytes;
}

void MeasureCache::clear() noexcept {
  widths_.clear();
  fonts_.clear();
  last_font_ = 0;
}

}  // namespace ostrel::text
