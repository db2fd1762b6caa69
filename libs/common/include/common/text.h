// Text helpers shared by every module. Text inside the program is UTF-8 in
// std::string; UTF-16 appears only at the edges (Win32 calls, UTF-16 files).
// Nothing here throws on bad input: invalid sequences become U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

inline constexpr char32_t replacement_character = 0xFFFD;

// One code point decoded from `text` at `pos` (pos < text.size()). An invalid
// sequence yields U+FFFD and consumes its maximal valid prefix (at least one
// byte), the way browsers and the Unicode standard recommend.
struct DecodedChar {
  char32_t code_point;
  std::size_t length;
};
DecodedChar decode_utf8(std::string_view text, std::size_t pos) noexcept;

// The same for UTF-16 (char16_t, or wchar_t on Windows): an unpaired surrogate
// yields U+FFFD and length 1.
template <class Char>
constexpr DecodedChar decode_utf16(std::basic_string_view<Char> text, std::size_t pos) noexcept {
  static_assert(sizeof(Char) == 2);
  const char32_t u = static_cast<char16_t>(text[pos]);
  if (u < 0xD800 || u > 0xDFFF) return {u, 1};
  if (u <= 0xDBFF && pos + 1 < text.size()) {
    const char32_t v = static_cast<char16_t>(text[pos + 1]);
    if (v >= 0xDC00 && v <= 0xDFFF) return {0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00), 2};
  }
  return {replacement_character, 1};
}

// Appends a code point; surrogates and values above U+10FFFF become U+FFFD.
void append_utf8(std::string& out, char32_t code_point);
template <class String>
void append_utf16(String& out, char32_t cp) {
  using Char = typename String::value_type;
  static_assert(sizeof(Char) == 2);
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = replacement_character;
  if (cp < 0x10000) {
    out.push_back(static_cast<Char>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<Char>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<Char>(0xDC00 + (cp & 0x3FF)));
  }
}

bool is_valid_utf8(std::string_view text) noexcept;
// `text` with every invalid sequence replaced by U+FFFD.
std::string sanitize_utf8(std::string_view text);
// & < > " as entities, so a text shows as it is inside HTML or XML markup
// (element text or a double-quoted attribute).
std::string escape_markup(std::string_view text);

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

// The conversion loops behind those two, for any 16-bit string type (wchar_t
// strings on Windows). They append to `out`.
template <class String>
void append_utf8_as_utf16(String& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    DecodedChar d = decode_utf8(text, pos);
    append_utf16(out, d.code_point);
    pos += d.length;
  }
}
template <class Char>
void append_utf16_as_utf8(std::string& out, std::basic_string_view<Char> text) {
  out.reserve(out.size() + text.size() + text.size() / 2);
  for (std::size_t pos = 0; pos < text.size();) {
    DecodedChar d = decode_utf16(text, pos);
    append_utf8(out, d.code_point);
    pos += d.length;
  }
}

// Full Unicode case mapping (UnicodeData plus the unconditional SpecialCasing
// rules: "ß" upper-cases to "SS", "İ" lower-cases to "i̇"). No locale rules.
std::string to_lower(std::string_view text);
std::string to_upper(std::string_view text);
// Single code point, simple mapping only (one code point in, one out).
char32_t simple_lower(char32_t code_point) noexcept;
char32_t simple_upper(char32_t code_point) noexcept;

// ASCII-only case helpers: bytes outside A-Z / a-z are left as they are, so
// they are safe on UTF-8 and on file-format keywords.
constexpr char ascii_lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char ascii_upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
// Whether every byte is below 0x80.
bool is_ascii(std::string_view text) noexcept;
std::string ascii_lower(std::string_view text);
std::string ascii_upper(std::string_view text);
bool iequals_ascii(std::string_view a, std::string_view b) noexcept;
bool starts_with_ascii_ci(std::string_view text, std::string_view prefix) noexcept;

// Unicode White_Space property.
bool is_white_space(char32_t code_point) noexcept;
// Trimming of Unicode white space at either end of UTF-8 text.
std::string_view trim_start(std::string_view text) noexcept;
std::string_view trim_end(std::string_view text) noexcept;
inline std::string_view trim(std::string_view text) noexcept {
  // Most text starts and ends with a visible ASCII character: nothing to trim.
  const auto plain = [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x80;
  };
  if (text.empty() || (plain(text.front()) && plain(text.back()))) return text;
  return trim_end(trim_start(text));
}

// Unsigned decimal numbers as the program's files and answers write them: an
// optional leading "+", then one or more ASCII digits and nothing else; a value
// that does not fit is no number.
std::optional<std::uint32_t> parse_u32(std::string_view text) noexcept;
std::optional<std::uint64_t> parse_u64(std::string_view text) noexcept;

}  // namespace vx
