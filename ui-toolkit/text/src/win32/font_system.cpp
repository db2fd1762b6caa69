#include "ostrel/text/win32/font_system.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unordered_map>

#include "../char_class.h"
#include "common/text.h"
#include "font_catalog.h"
#include "text_source.h"

namespace ostrel::text::win32 {
namespace {

using detail::ComPtr;
using detail::Face;
using detail::none;

// Text is analysed in slices of at most this many bytes, so working memory and
// the analyzer's 32-bit lengths stay bounded on any input.
constexpr std::size_t slice_bytes = 1 << 16;
// A cluster map indexes glyphs with 16 bits; runs stay well below that.
constexpr std::size_t max_run_units = 4096;
// Shaped texts are kept for the renderer, which shapes what layout measured.
// Layout measures every row of a long list, the renderer draws the few on
// screen: past this many bytes the cache starts over, rather than hold the
// glyphs of thousands of rows.
constexpr std::size_t max_cached_length = 512;
constexpr std::size_t max_cached_bytes = 1u << 20;

float usable_size(float size) noexcept { return std::isfinite(size) && size > 0 ? size : 0; }

// Controls and format characters: no ink and no advance whatever glyph a font
// maps them to, as FakeFont measures them.
bool invisible(char32_t cp) noexcept {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF ||
         (cp >= 0xE0000 && cp <= 0xE007F);
}

// Right-to-left letters and the controls that open right-to-left embeddings:
// text without any needs no bidi analysis.
bool may_be_rtl(char32_t cp) noexcept {
  return (cp >= 0x0590 && cp <= 0x08FF) || (cp >= 0xFB1D && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFE) ||
         (cp >= 0x10800 && cp <= 0x10FFF) || (cp >= 0x1E800 && cp <= 0x1EFFF) || cp == 0x200F || cp == 0x202B ||
         cp == 0x202E || cp == 0x2067;
}

bool is_low_surrogate(wchar_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// Shaped at the face's design size, so one result serves every font size.
struct ShapedRun {
  std::uint32_t face;
  std::size_t begin;
  std::size_t end;
  std::uint8_t level;
  std::vector<std::uint16_t> glyphs;
  std::vector<float> advances;
  std::vector<DWRITE_GLYPH_OFFSET> offsets;
  std::vector<std::uint32_t> cluster_bytes;  // from `begin`
  std::vector<std::uint32_t> cluster_glyphs;
};
using Shaped = std::vector<ShapedRun>;

// Bytes of a cache entry: its hash node, the key and the runs' arrays.
std::size_t bytes_of(const std::string& key, const Shaped& runs) {
  std::size_t bytes = sizeof(std::string) + sizeof(Shaped) + 2 * sizeof(void*) + runs.capacity() * sizeof(ShapedRun);
  if (key.capacity() > std::string().capacity()) bytes += key.capacity() + 1;
  for (const ShapedRun& r : runs)
    bytes += r.glyphs.capacity() * sizeof(std::uint16_t) + r.advances.capacity() * sizeof(float) +
             r.offsets.capacity() * sizeof(DWRITE_GLYPH_OFFSET) +
             (r.cluster_bytes.capacity() + r.cluster_glyphs.capacity()) * sizeof(std::uint32_t);
  return bytes;
}

// Design units to px on the 1/64 px grid: sums come out the same in any order,
// so width() equals the sum of what the renderer draws.
struct Scale {
  float factor;
  float px(float design) const noexcept { return std::round(design * factor) / 64; }
};
Scale scale_of(const Face& face, float size) noexcept {
  return {usable_size(size) * 64 / static_cast<float>(face.metrics.designUnitsPerEm)};
}

}  // namespace

struct FontSystem::Impl {
  std::unique_ptr<detail::FontCatalog> catalog;
  ComPtr<IDWriteTextAnalyzer> analyzer;

  std::unordered_map<std::string, Shaped> cache;
  std::size_t cache_bytes = 0;  // of the entries, as bytes_of counts them
  std::string key;
  Shaped uncached;

  // Per-slice working memory, kept between calls.
  std::wstring text;
  std::vector<std::size_t> unit_byte;  // slice byte of each UTF-16 unit's character, then the slice size
  std::vector<UINT32> code_points;
  std::vector<UINT32> cp_unit;
  std::vector<UINT16> primary_glyphs;
  std::vector<std::uint32_t> unit_face;
  std::vector<UINT16> cluster_map;
  std::vector<DWRITE_SHAPING_TEXT_PROPERTIES> text_props;
  std::vector<DWRITE_SHAPING_GLYPH_PROPERTIES> glyph_props;
  std::vector<char> blank;

  std::uint32_t primary(const FontSpec& font) { return catalog->primary(font.families, font.weight, font.italic); }
  const Shaped& shaped(std::uint32_t primary, std::string_view utf8);
  void shape_all(std::uint32_t primary, std::string_view utf8, Shaped& out);
  void shape_slice(std::uint32_t primary, std::string_view utf8, std::size_t offset, Shaped& out);
  void assign_faces(std::uint32_t primary);
  void shape_run(const detail::TextSource& source, std::size_t start, std::size_t end, std::size_t offset, Shaped& out);
  bool shape_glyphs(const Face& face, const detail::TextSource& source, std::size_t start, std::size_t length, bool rtl,
                    ShapedRun& run);
  void shape_nominal(const Face& face, std::size_t start, std::size_t length, ShapedRun& run);
};

const Shaped& FontSystem::Impl::shaped(std::uint32_t primary, std::string_view utf8) {
  if (utf8.size() > max_cached_length) {
    shape_all(primary, utf8, uncached);
    return uncached;
  }
  key.assign(reinterpret_cast<const char*>(&primary), sizeof primary);
  key.append(utf8);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  Shaped runs;
  shape_all(primary, utf8, runs);
  const std::size_t bytes = bytes_of(key, runs);
  if (cache_bytes + bytes > max_cached_bytes) {
    cache.clear();
    cache_bytes = 0;
  }
  cache_bytes += bytes;
  return cache.emplace(key, std::move(runs)).first->second;
}

void FontSystem::Impl::shape_all(std::uint32_t primary, std::string_view utf8, Shaped& out) {
  out.clear();
  for (std::size_t start = 0; start < utf8.size();) {
    std::size_t end = std::min(utf8.size(), start + slice_bytes);
    if (end < utf8.size()) {
      // Cut after a space if one is near, else before a lead byte.
      const std::size_t floor = end - std::min<std::size_t>(256, end - start - 1);
      std::size_t cut = end;
      while (cut > floor && utf8[cut - 1] != ' ') --cut;
      if (cut == floor) {
        cut = end;
        while (cut > end - 4 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
      }
      end = cut;
    }
    shape_slice(primary, utf8.substr(start, end - start), start, out);
    start = end;
  }
}

void FontSystem::Impl::shape_slice(std::uint32_t primary, std::string_view utf8, std::size_t offset, Shaped& out) {
  text.clear();
  unit_byte.clear();
  code_points.clear();
  cp_unit.clear();
  bool rtl = false;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const vx::DecodedChar d = text::detail::decode_at(utf8, pos);
    code_points.push_back(d.code_point);
    cp_unit.push_back(static_cast<UINT32>(text.size()));
    vx::append_utf16(text, d.code_point);
    unit_byte.resize(text.size(), pos);
    rtl = rtl || may_be_rtl(d.code_point);
    pos += d.length;
  }
  unit_byte.push_back(utf8.size());
  cp_unit.push_back(static_cast<UINT32>(text.size()));
  assign_faces(primary);

  const auto n = static_cast<UINT32>(text.size());
  detail::TextSource source(text, catalog->locale());
  source.scripts.assign(n, DWRITE_SCRIPT_ANALYSIS{0, DWRITE_SCRIPT_SHAPES_DEFAULT});
  source.levels.assign(n, 0);
  analyzer->AnalyzeScript(source.source(), 0, n, source.sink());
  if (rtl && FAILED(analyzer->AnalyzeBidi(source.source(), 0, n, source.sink()))) source.levels.assign(n, 0);

  // Runs change with the face, the script and the bidi level. Marks, joiners
  // and controls belong to the run they are in, whatever script the analyzer
  // gives them (Wine gives a joiner a script of its own).
  const std::wstring_view units(text);
  for (std::size_t start = 0; start < n;) {
    std::size_t end = start + 1;
    auto same = [&](std::size_t i) {
      if (unit_face[i] != unit_face[start] || source.levels[i] != source.levels[start]) return false;
      return (source.scripts[i].script == source.scripts[start].script &&
              source.scripts[i].shapes == source.scripts[start].shapes) ||
             text::detail::is_zero_width(vx::decode_utf16(units, i).code_point);
    };
    while (end < n && end - start < max_run_units && same(end)) ++end;
    if (end < n && end - start == max_run_units) {
      // Never split a surrogate pair or part a mark from its base.
      std::size_t cut = end;
      while (cut > start + 1 &&
             (is_low_surrogate(text[cut]) || text::detail::is_zero_width(vx::decode_utf16(units, cut).code_point)))
        --cut;
      end = cut;
    }
    shape_run(source, start, end, offset, out);
    start = end;
  }
}

// Each character takes the primary face if it has it, else a fallback face;
// marks, joiners and controls stay with the character before them so that
// clusters are shaped in one face.
void FontSystem::Impl::assign_faces(std::uint32_t primary) {
  const Face& main = catalog->face(primary);
  primary_glyphs.assign(code_points.size(), 0);
  if (!code_points.empty() && FAILED(main.face->GetGlyphIndices(
                                  code_points.data(), static_cast<UINT32>(code_points.size()), primary_glyphs.data())))
    primary_glyphs.assign(code_points.size(), 1);
  unit_face.resize(text.size());
  std::uint32_t current = none;
  for (std::size_t k = 0; k < code_points.size(); ++k) {
    const char32_t cp = code_points[k];
    std::uint32_t face;
    if (current != none && text::detail::is_zero_width(cp)) {
      face = current;
    } else if (primary_glyphs[k] != 0 || text::detail::is_zero_width(cp)) {
      face = primary;
    } else if (current != none && current != primary && catalog->face(current).has(cp)) {
      face = current;
    } else {
      face = catalog->fallback(cp, primary);
      if (face == none) face = primary;
    }
    std::fill(unit_face.begin() + cp_unit[k], unit_face.begin() + cp_unit[k + 1], face);
    current = face;
  }
}

void FontSystem::Impl::shape_run(const detail::TextSource& source, std::size_t start, std::size_t end,
                                 std::size_t offset, Shaped& out) {
  const Face& face = catalog->face(unit_face[start]);
  ShapedRun& run = out.emplace_back();
  run.face = unit_face[start];
  run.begin = offset + unit_byte[start];
  run.end = offset + unit_byte[end];
  run.level = source.levels[start];
  const std::size_t length = end - start;
  if (!shape_glyphs(face, source, start, length, (run.level & 1) != 0, run)) shape_nominal(face, start, length, run);

  for (std::size_t u = 0; u < length; ++u) {
    if (u == 0 || cluster_map[u] != cluster_map[u - 1]) {
      run.cluster_bytes.push_back(static_cast<std::uint32_t>(unit_byte[start + u] - unit_byte[start]));
      run.cluster_glyphs.push_back(cluster_map[u]);
    }
  }
  // Clusters of nothing but controls and format characters become empty space.
  blank.assign(run.cluster_glyphs.size(), 1);
  const std::wstring_view units = std::wstring_view(text).substr(0, end);
  for (std::size_t u = 0, c = 0; u < length;) {
    while (c + 1 < run.cluster_glyphs.size() && cluster_map[u] >= run.cluster_glyphs[c + 1]) ++c;
    const vx::DecodedChar d = vx::decode_utf16(units, start + u);
    if (!invisible(d.code_point)) blank[c] = 0;
    u += d.length;
  }
  for (std::size_t c = 0; c < blank.size(); ++c) {
    if (!blank[c]) continue;
    const std::size_t glyph_end = c + 1 < blank.size() ? run.cluster_glyphs[c + 1] : run.glyphs.size();
    for (std::size_t g = run.cluster_glyphs[c]; g < glyph_end; ++g) {
      run.glyphs[g] = face.space_glyph;
      run.advances[g] = 0;
      run.offsets[g] = {};
    }
  }
}

bool FontSystem::Impl::shape_glyphs(const Face& face, const detail::TextSource& source, std::size_t start,
                                    std::size_t length, bool rtl, ShapedRun& run) {
  const auto len = static_cast<UINT32>(length);
  cluster_map.resize(length);
  text_props.resize(length);
  UINT32 capacity = len * 3 / 2 + 16, count = 0;
  HRESULT hr;
  for (;;) {
    run.glyphs.resize(capacity);
    glyph_props.resize(capacity);
    hr = analyzer->GetGlyphs(text.data() + start, len, face.face.Get(), FALSE, rtl, &source.scripts[start],
                             catalog->locale(), nullptr, nullptr, nullptr, 0, capacity, cluster_map.data(),
                             text_props.data(), run.glyphs.data(), glyph_props.data(), &count);
    if (hr != E_NOT_SUFFICIENT_BUFFER || capacity >= 0xFFFF) break;
    capacity = std::min<UINT32>(0xFFFF, capacity * 2);
  }
  if (FAILED(hr) || count == 0 || count > capacity) return false;
  // Every character must point at a glyph, in order: the per-byte advances
  // and the renderer both rely on it.
  if (cluster_map[0] != 0) return false;
  for (std::size_t u = 1; u < length; ++u)
    if (cluster_map[u] < cluster_map[u - 1] || cluster_map[u] >= count) return false;
  run.glyphs.resize(count);
  run.advances.resize(count);
  run.offsets.resize(count);
  hr = analyzer->GetGlyphPlacements(
      text.data() + start, cluster_map.data(), text_props.data(), len, run.glyphs.data(), glyph_props.data(), count,
      face.face.Get(), static_cast<FLOAT>(face.metrics.designUnitsPerEm), FALSE, rtl, &source.scripts[start],
      catalog->locale(), nullptr, nullptr, 0, run.advances.data(), run.offsets.data());
  return SUCCEEDED(hr);
}

// One glyph per character from the font's cmap, when shaping fails.
void FontSystem::Impl::shape_nominal(const Face& face, std::size_t start, std::size_t length, ShapedRun& run) {
  std::vector<UINT32> cps;
  cluster_map.assign(length, 0);
  for (std::size_t u = 0; u < length;) {
    const vx::DecodedChar d = vx::decode_utf16(std::wstring_view(text), start + u);
    std::fill_n(cluster_map.begin() + u, std::min(d.length, length - u), static_cast<UINT16>(cps.size()));
    cps.push_back(d.code_point);
    u += d.length;
  }
  run.glyphs.assign(cps.size(), 0);
  run.advances.assign(cps.size(), 0);
  run.offsets.assign(cps.size(), DWRITE_GLYPH_OFFSET{});
  std::vector<DWRITE_GLYPH_METRICS> metrics(cps.size());
  if (FAILED(face.face->GetGlyphIndices(cps.data(), static_cast<UINT32>(cps.size()), run.glyphs.data())) ||
      FAILED(
          face.face->GetDesignGlyphMetrics(run.glyphs.data(), static_cast<UINT32>(cps.size()), metrics.data(), FALSE)))
    return;
  for (std::size_t g = 0; g < cps.size(); ++g) run.advances[g] = static_cast<float>(metrics[g].advanceWidth);
}

float GlyphRun::width() const noexcept { return std::accumulate(advances.begin(), advances.end(), 0.0f); }

DWRITE_GLYPH_RUN GlyphRun::view() const noexcept {
  return {face.Get(), size,      static_cast<UINT32>(glyphs.size()), glyphs.data(), advances.data(), offsets.data(),
          FALSE,      bidi_level};
}

void visual_order(std::span<const GlyphRun> runs, std::vector<std::size_t>& order) {
  order.resize(runs.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (runs.empty()) return;
  auto [low, high] = std::minmax_element(
      runs.begin(), runs.end(), [](const GlyphRun& a, const GlyphRun& b) { return a.bidi_level < b.bidi_level; });
  const int lowest_odd = low->bidi_level | 1;
  for (int level = high->bidi_level; level >= lowest_odd; --level) {
    for (std::size_t i = 0; i < order.size();) {
      if (runs[order[i]].bidi_level < level) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < order.size() && runs[order[j]].bidi_level >= level) ++j;
      std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j));
      i = j;
    }
  }
}

FontSystem::FontSystem(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FontSystem::~FontSystem() = default;

std::unique_ptr<FontSystem> FontSystem::create() {
  try {
    auto impl = std::make_unique<Impl>();
    impl->catalog = detail::FontCatalog::create();
    if (!impl->catalog) return nullptr;
    if (const HRESULT hr = impl->catalog->factory()->CreateTextAnalyzer(&impl->analyzer); FAILED(hr)) {
      std::fprintf(stderr, "[fonts] no DirectWrite text analyzer (0x%08lX)\n", static_cast<unsigned long>(hr));
      return nullptr;
    }
    return std::unique_ptr<FontSystem>(new FontSystem(std::move(impl)));
  } catch (...) {
    std::fprintf(stderr, "[fonts] out of memory loading fonts\n");
    return nullptr;
  }
}

FontMetrics FontSystem::metrics(const FontSpec& font) {
  try {
    const DWRITE_FONT_METRICS& m = impl_->catalog->face(impl_->primary(font)).metrics;
    const float scale = usable_size(font.size) / static_cast<float>(m.designUnitsPerEm);
    return {m.ascent * scale, m.descent * scale, static_cast<float>(m.lineGap) * scale};
  } catch (...) {
    return {0, 0, 0};
  }
}

void FontSystem::advances(const FontSpec& font, std::string_view utf8, std::vector<float>& out) {
  try {
    out.assign(utf8.size(), 0.0f);
    for (const ShapedRun& run : impl_->shaped(impl_->primary(font), utf8)) {
      const Scale scale = scale_of(impl_->catalog->face(run.face), font.size);
      for (std::size_t c = 0; c < run.cluster_glyphs.size(); ++c) {
        const std::size_t glyph_end = c + 1 < run.cluster_glyphs.size() ? run.cluster_glyphs[c + 1] : run.glyphs.size();
        float sum = 0;
        for (std::size_t g = run.cluster_glyphs[c]; g < glyph_end; ++g) sum += scale.px(run.advances[g]);
        out[run.begin + run.cluster_bytes[c]] = sum;
      }
    }
  } catch (...) {
    std::fill(out.begin(), out.end(), 0.0f);
  }
}

float FontSystem::width(const FontSpec& font, std::string_view utf8) {
  try {
    float sum = 0;
    for (const ShapedRun& run : impl_->shaped(impl_->primary(font), utf8)) {
      const Scale scale = scale_of(impl_->catalog->face(run.face), font.size);
      for (const float a : run.advances) sum += scale.px(a);
    }
    return sum;
  } catch (...) {
    return 0;
  }
}

void FontSystem::shape(const FontSpec& font, std::string_view utf8, std::vector<GlyphRun>& out) {
  try {
    out.clear();
    const float size = usable_size(font.size);
    for (const ShapedRun& run : impl_->shaped(impl_->primary(font), utf8)) {
      const Face& face = impl_->catalog->face(run.face);
      const Scale scale = scale_of(face, font.size);
      const float offset_scale = size / static_cast<float>(face.metrics.designUnitsPerEm);
      GlyphRun& g = out.emplace_back();
      g.face = face.face;
      g.size = size;
      g.glyphs = run.glyphs;
      g.advances.reserve(run.advances.size());
      for (const float a : run.advances) g.advances.push_back(scale.px(a));
      g.offsets.reserve(run.offsets.size());
      for (const DWRITE_GLYPH_OFFSET& o : run.offsets)
        g.offsets.push_back({o.advanceOffset * offset_scale, o.ascenderOffset * offset_scale});
      g.begin = run.begin;
      g.end = run.end;
      g.bidi_level = run.level;
    }
  } catch (...) {
    out.clear();
  }
}

FontSystem::Usage FontSystem::memory_usage() const {
  Usage out;
  out.catalog = impl_->catalog->memory_usage();
  out.shaped = impl_->cache_bytes + impl_->cache.bucket_count() * sizeof(void*);
  return out;
}

std::string FontSystem::resolved_family(const FontSpec& font) {
  try {
    return impl_->catalog->family_name(impl_->catalog->face(impl_->primary(font)).family);
  } catch (...) {
    return {};
  }
}

}  // namespace ostrel::text::win32
