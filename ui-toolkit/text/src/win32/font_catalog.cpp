#include "font_catalog.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <type_traits>

#include "common/text.h"
#include "common/win32/text.h"
#include "text_source.h"

namespace ostrel::text::win32::detail {
namespace {

// Windows' UI faces, newest first, then what Linux (and so Wine) usually has.
constexpr const char* ui_families[] = {"Segoe UI",    "Malgun Gothic", "Microsoft YaHei", "Yu Gothic UI",
                                       "NanumGothic", "Noto Sans",     "DejaVu Sans",     "Liberation Sans"};
constexpr const char* serif_families[] = {"Times New Roman", "Cambria",          "Georgia",
                                          "DejaVu Serif",    "Liberation Serif", "Noto Serif"};
constexpr const char* mono_families[] = {"Consolas",         "Cascadia Mono",   "Courier New",   "Lucida Console",
                                         "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"};

// Families tried for a character its own face lacks, after the system fallback:
// Windows' script faces first, then common Linux ones. The scan over every
// installed family comes after these.
constexpr const char* fallback_families[] = {
    "Segoe UI",         "Malgun Gothic",       "Microsoft YaHei", "Yu Gothic UI", "Meiryo",      "Microsoft JhengHei",
    "SimSun",           "Nirmala UI",          "Leelawadee UI",   "Ebrima",       "Gadugi",      "Segoe UI Historic",
    "Segoe UI Symbol",  "Segoe UI Emoji",      "Tahoma",          "Arial",        "NanumGothic", "Noto Sans CJK KR",
    "Noto Sans CJK JP", "Droid Sans Fallback", "DejaVu Sans",     "Noto Sans",    "FreeSans"};

std::optional<Generic> generic_of(std::string_view lower) {
  if (lower == "sans-serif" || lower == "system-ui" || lower == "ui-sans-serif") return Generic::ui;
  if (lower == "serif" || lower == "ui-serif") return Generic::serif;
  if (lower == "monospace" || lower == "ui-monospace") return Generic::mono;
  return std::nullopt;
}

// Windows families a document names that another machine may lack, in lower
// case: each stands for its generic family rather than being skipped.
std::optional<Generic> windows_family_of(std::string_view lower) {
  static constexpr std::string_view ui[] = {
      "segoe ui", "segoe ui variable", "segoe ui variable text", "segoe ui variable display", "tahoma", "ms shell dlg",
      "ms shell dlg 2", "microsoft sans serif", "arial", "verdana", "malgun gothic", "gulim", "dotum",
      "microsoft yahei", "microsoft jhenghei", "yu gothic ui", "yu gothic", "meiryo", "meiryo ui", "ms ui gothic",
      // The names Korean and Chinese Windows show for some of these.
      "맑은 고딕", "굴림", "돋움", "微软雅黑"};
  static constexpr std::string_view serif[] = {"times new roman", "georgia", "cambria"};
  static constexpr std::string_view mono[] = {"consolas", "courier new", "lucida console", "cascadia mono",
                                              "cascadia code"};
  auto in = [&](std::span<const std::string_view> names) { return std::ranges::find(names, lower) != names.end(); };
  if (in(ui)) return Generic::ui;
  if (in(serif)) return Generic::serif;
  if (in(mono)) return Generic::mono;
  return std::nullopt;
}

// Past these sizes a cache starts over rather than grow with hostile input.
constexpr std::size_t max_cached_lists = 1024;
constexpr std::size_t max_cached_names = 4096;
constexpr std::size_t max_cached_chars = 65536;
// A block where this many characters were found in no family is not scanned
// again: every scan asks each installed family.
constexpr std::uint32_t dead_block_misses = 4;

std::wstring family_name_of(IDWriteFontFamily* family) {
  ComPtr<IDWriteLocalizedStrings> names;
  if (FAILED(family->GetFamilyNames(&names)) || names->GetCount() == 0) return {};
  UINT32 index = 0;
  BOOL exists = FALSE;
  if (FAILED(names->FindLocaleName(L"en-us", &index, &exists)) || !exists) index = 0;
  UINT32 length = 0;
  if (FAILED(names->GetStringLength(index, &length))) return {};
  std::wstring name(length + 1, L'\0');
  if (FAILED(names->GetString(index, name.data(), length + 1))) return {};
  name.resize(length);
  return name;
}

}  // namespace

std::size_t FontCatalog::memory_usage() const {
  const auto text = [](const auto& s) {
    return s.capacity() > std::remove_cvref_t<decltype(s)>().capacity() ? (s.capacity() + 1) * sizeof(s[0]) : 0;
  };
  const auto map = [](const auto& m, std::size_t entry) {
    return m.size() * (entry + 2 * sizeof(void*)) + m.bucket_count() * sizeof(void*);
  };
  std::size_t bytes = families_.capacity() * sizeof(Family) + faces_.capacity() * sizeof(Face) + map(face_index_, 16) +
                      map(family_by_name_, sizeof(std::string) + 4) + map(primary_by_list_, sizeof(std::string) + 4) +
                      map(blocks_, 12) + map(fallback_family_, 8);
  for (const Family& f : families_) bytes += text(f.name);
  for (const auto& [name, index] : family_by_name_) bytes += text(name);
  for (const auto& [list, index] : primary_by_list_) bytes += text(list);
  return bytes;
}

bool Face::has(char32_t cp) const noexcept {
  const UINT32 code = cp;
  UINT16 glyph = 0;
  return SUCCEEDED(face->GetGlyphIndices(&code, 1, &glyph)) && glyph != 0;
}

std::unique_ptr<FontCatalog> FontCatalog::create() {
  std::unique_ptr<FontCatalog> c(new FontCatalog);
  HRESULT hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(c->factory_.GetAddressOf()));
  if (FAILED(hr)) {
    std::fprintf(stderr, "[fonts] DirectWrite is unavailable (0x%08lX)\n", static_cast<unsigned long>(hr));
    return nullptr;
  }
  if (ComPtr<IDWriteFactory2> factory2; SUCCEEDED(c->factory_.As(&factory2)))
    factory2->GetSystemFontFallback(&c->system_fallback_);
  hr = c->factory_->GetSystemFontCollection(&c->collection_, FALSE);
  if (FAILED(hr)) {
    std::fprintf(stderr, "[fonts] no system font collection (0x%08lX)\n", static_cast<unsigned long>(hr));
    return nullptr;
  }
  c->families_.resize(c->collection_->GetFontFamilyCount());

  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  c->locale_ = GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) > 0 ? locale : L"en-us";

  // The face dialogs use is the UI font; Wine names a face it does not have.
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  std::uint32_t ui = none;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
    ui = c->find_wide(ncm.lfMessageFont.lfFaceName);
  if (ui == none) ui = c->first_installed(ui_families);
  // Then any family that can write Latin, then any at all.
  for (std::uint32_t i = 0; ui == none && i < c->families_.size(); ++i)
    if (c->covers(i, U'a')) ui = i;
  for (std::uint32_t i = 0; ui == none && i < c->families_.size(); ++i)
    if (c->load(i)) ui = i;
  if (ui != none) c->ui_face_ = c->face_for(ui, DWRITE_FONT_WEIGHT_NORMAL, false);
  if (c->ui_face_ == none) {
    std::fprintf(stderr, "[fonts] no installed font family can be used (%zu families)\n", c->families_.size());
    return nullptr;
  }
  c->generic_[0] = ui;
  return c;
}

bool FontCatalog::load(std::uint32_t index) {
  Family& f = families_[index];
  if (f.loaded) return f.usable;
  f.loaded = true;
  if (FAILED(collection_->GetFontFamily(index, &f.family))) return false;
  f.name = family_name_of(f.family.Get());
  f.usable = SUCCEEDED(f.family->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                                      DWRITE_FONT_STYLE_NORMAL, &f.regular));
  return f.usable;
}

std::uint32_t FontCatalog::find_wide(const wchar_t* name) {
  UINT32 index = 0;
  BOOL exists = FALSE;
  if (FAILED(collection_->FindFamilyName(name, &index, &exists)) || !exists || index >= families_.size()) return none;
  return load(index) ? index : none;
}

std::uint32_t FontCatalog::find(std::string_view name) {
  std::string key = vx::ascii_lower(vx::trim(name));
  if (auto it = family_by_name_.find(key); it != family_by_name_.end()) return it->second;
  const std::uint32_t index = key.empty() ? none : find_wide(vx::win32::widen(key).c_str());
  if (family_by_name_.size() >= max_cached_names) family_by_name_.clear();
  family_by_name_.emplace(std::move(key), index);
  return index;
}

std::uint32_t FontCatalog::first_installed(std::span<const char* const> names) {
  for (const char* name : names)
    if (const std::uint32_t f = find(name); f != none) return f;
  return none;
}

std::uint32_t FontCatalog::generic(Generic kind) {
  const auto k = static_cast<std::size_t>(kind);
  if (generic_[k] == none) {
    generic_[k] = first_installed(kind == Generic::serif ? std::span<const char* const>(serif_families)
                                                         : std::span<const char* const>(mono_families));
    if (generic_[k] == none) generic_[k] = generic_[0];
  }
  return generic_[k];
}

std::uint32_t FontCatalog::resolve(std::span<const std::string> families) {
  for (const std::string& name : families) {
    const std::string lower = vx::ascii_lower(vx::trim(name));
    if (const auto g = generic_of(lower)) return generic(*g);
    if (const std::uint32_t f = find(lower); f != none) return f;
    if (const auto g = windows_family_of(lower)) return generic(*g);
  }
  return generic_[0];
}

std::uint32_t FontCatalog::primary(std::span<const std::string> families, std::uint16_t weight, bool italic) {
  weight = std::clamp<std::uint16_t>(weight, 1, 999);
  if (last_primary_ != none && weight == last_weight_ && italic == last_italic_ &&
      std::equal(families.begin(), families.end(), last_list_.begin(), last_list_.end()))
    return last_primary_;

  // Length-prefixed names: a family name may contain any byte.
  std::string key;
  for (const std::string& name : families) {
    key += std::to_string(name.size());
    key += ':';
    key += name;
  }
  key += static_cast<char>(weight >> 8);
  key += static_cast<char>(weight & 0xFF);
  key += italic ? 'i' : 'n';
  std::uint32_t face;
  if (auto it = primary_by_list_.find(key); it != primary_by_list_.end()) {
    face = it->second;
  } else {
    face = face_for(resolve(families), weight, italic);
    if (face == none) face = face_for(generic_[0], weight, italic);
    if (face == none) face = ui_face_;
    if (primary_by_list_.size() >= max_cached_lists) primary_by_list_.clear();
    primary_by_list_.emplace(std::move(key), face);
  }
  last_list_.assign(families.begin(), families.end());
  last_weight_ = weight;
  last_italic_ = italic;
  return last_primary_ = face;
}

std::uint32_t FontCatalog::face_for(std::uint32_t family, std::uint16_t weight, bool italic) {
  if (family >= families_.size()) return none;
  const std::uint64_t key = (std::uint64_t{family} << 17) | (std::uint64_t{weight} << 1) | (italic ? 1 : 0);
  if (auto it = face_index_.find(key); it != face_index_.end()) return it->second;
  std::uint32_t index = none;
  // DirectWrite picks the nearest weight and style and simulates bold or
  // oblique when the family has no such face.
  ComPtr<IDWriteFont> font;
  ComPtr<IDWriteFontFace> face;
  if (load(family) &&
      SUCCEEDED(families_[family].family->GetFirstMatchingFont(
          static_cast<DWRITE_FONT_WEIGHT>(weight), DWRITE_FONT_STRETCH_NORMAL,
          italic ? DWRITE_FONT_STYLE_ITALIC : DWRITE_FONT_STYLE_NORMAL, &font)) &&
      SUCCEEDED(font->CreateFontFace(&face))) {
    Face f{family, weight, italic, face, {}, 0};
    face->GetMetrics(&f.metrics);
    const UINT32 space = U' ';
    if (FAILED(face->GetGlyphIndices(&space, 1, &f.space_glyph))) f.space_glyph = 0;
    // A broken font without units per em would scale every advance to infinity.
    if (f.metrics.designUnitsPerEm > 0) {
      index = static_cast<std::uint32_t>(faces_.size());
      faces_.push_back(std::move(f));
    }
  }
  face_index_.emplace(key, index);
  return index;
}

bool FontCatalog::covers(std::uint32_t family, char32_t cp) {
  if (!load(family) || families_[family].regular->IsSymbolFont()) return false;
  BOOL exists = FALSE;
  return SUCCEEDED(families_[family].regular->HasCharacter(cp, &exists)) && exists;
}

std::uint32_t FontCatalog::fallback(char32_t cp, std::uint32_t base) {
  const std::uint16_t weight = faces_[base].weight;
  const bool italic = faces_[base].italic;
  Block& block = blocks_[cp >> 7];
  if (block.family != none) {
    const std::uint32_t f = face_for(block.family, weight, italic);
    if (f != none && faces_[f].has(cp)) return f;
  }
  std::uint32_t family;
  if (auto it = fallback_family_.find(cp); it != fallback_family_.end()) {
    family = it->second;
  } else {
    family = search(cp, base, block.misses < dead_block_misses);
    if (family == none) {
      ++block.misses;
    } else if (block.family == none) {
      block.family = family;
    }
    if (fallback_family_.size() >= max_cached_chars) fallback_family_.clear();
    fallback_family_.emplace(cp, family);
  }
  return family == none ? none : face_for(family, weight, italic);
}

std::uint32_t FontCatalog::search(char32_t cp, std::uint32_t base, bool scan) {
  if (const std::uint32_t f = system_fallback(cp, base); f != none) return f;
  for (const char* name : fallback_families)
    if (const std::uint32_t f = find(name); f != none && covers(f, cp)) return f;
  for (std::uint32_t f = 0; scan && f < families_.size(); ++f)
    if (covers(f, cp)) return f;
  return none;
}

std::uint32_t FontCatalog::system_fallback(char32_t cp, std::uint32_t base) {
  if (!system_fallback_) return none;
  std::wstring text;
  vx::append_utf16(text, cp);
  TextSource source(text, locale_.c_str());
  const Face& b = faces_[base];
  UINT32 mapped_length = 0;
  ComPtr<IDWriteFont> font;
  FLOAT scale = 1;
  if (FAILED(system_fallback_->MapCharacters(
          source.source(), 0, static_cast<UINT32>(text.size()), collection_.Get(), families_[b.family].name.c_str(),
          static_cast<DWRITE_FONT_WEIGHT>(b.weight), b.italic ? DWRITE_FONT_STYLE_ITALIC : DWRITE_FONT_STYLE_NORMAL,
          DWRITE_FONT_STRETCH_NORMAL, &mapped_length, &font, &scale)) ||
      !font)
    return none;
  // The answer is checked: a mapping may name a font without the character.
  BOOL exists = FALSE;
  ComPtr<IDWriteFontFamily> family;
  if (FAILED(font->HasCharacter(cp, &exists)) || !exists || FAILED(font->GetFontFamily(&family))) return none;
  const std::wstring name = family_name_of(family.Get());
  return name.empty() ? none : find_wide(name.c_str());
}

std::string FontCatalog::family_name(std::uint32_t family) {
  return load(family) ? vx::win32::narrow(families_[family].name) : std::string();
}

}  // namespace ostrel::text::win32::detail
