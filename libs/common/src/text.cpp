#include "common/text.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace vx {
namespace {

struct CaseRange {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint8_t stride;
};
struct SpecialCase {
  char32_t code_point;
  std::uint8_t count;
  char32_t mapping[3];
};
struct CodeRange {
  char32_t first;
  char32_t last;
};

#include "unicode_tables.inc"

template <std::size_t N>
char32_t map_simple(const CaseRange (&table)[N], char32_t cp) noexcept {
  auto it = std::upper_bound(std::begin(table), std::end(table), cp,
                             [](char32_t value, const CaseRange& r) { return value < r.first; });
  if (it == std::begin(table)) return cp;
  const CaseRange& r = *std::prev(it);
  if (cp > r.last || (cp - r.first) % r.stride != 0) return cp;
  return static_cast<char32_t>(static_cast<std::int64_t>(cp) + r.delta);
}

template <std::size_t N>
const SpecialCase* find_special(const SpecialCase (&table)[N], char32_t cp) noexcept {
  auto it = std::lower_bound(std::begin(table), std::end(table), cp,
                             [](const SpecialCase& s, char32_t value) { return s.code_point < value; });
  return it != std::end(table) && it->code_point == cp ? &*it : nullptr;
}

template <bool Lower, std::size_t R, std::size_t S>
std::string map_full(std::string_view text, const CaseRange (&ranges)[R], const SpecialCase (&special)[S]) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {  // ASCII fast path: the tables agree with these.
      const char c = static_cast<char>(byte);
      out.push_back(Lower ? ascii_lower(c) : ascii_upper(c));
      ++pos;
      continue;
    }
    DecodedChar d = decode_utf8(text, pos);
    pos += d.length;
    if (const SpecialCase* s = find_special(special, d.code_point)) {
      for (std::uint8_t i = 0; i < s->count; ++i) append_utf8(out, s->mapping[i]);
    } else {
      append_utf8(out, map_simple(ranges, d.code_point));
    }
  }
  return out;
}

template <class Int>
std::optional<Int> parse_unsigned(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  Int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    Int digit = static_cast<Int>(c - '0');
    if (value > (std::numeric_limits<Int>::max() - digit) / 10) return std::nullopt;
    value = static_cast<Int>(value * 10 + digit);
  }
  return value;
}

constexpr bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

}  // namespace

DecodedChar decode_utf8(std::string_view text, std::size_t pos) noexcept {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const std::size_t avail = text.size() - pos;
  const unsigned char b0 = at(0);
  if (b0 < 0x80) return {b0, 1};

  // Allowed range of the second byte per lead byte (Unicode Table 3-7): this
  // rejects overlong forms, surrogates and values above U+10FFFF up front.
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2, cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3, cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {replacement_character, 1};
  }
  for (std::size_t i = 1; i <= need; ++i) {
    if (i >= avail) return {replacement_character, i};
    const unsigned char b = at(i);
    if (i == 1 ? (b < lo || b > hi) : !is_continuation(b)) return {replacement_character, i};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, need + 1};
}

void append_utf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = replacement_character;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool is_valid_utf8(std::string_view text) noexcept {
  for (std::size_t pos = 0; pos < text.size();) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    DecodedChar d = decode_utf8(text, pos);
    // A genuine U+FFFD is written EF BF BD; any other bytes that decode to it were an error.
    if (d.code_point == replacement_character && text.substr(pos, d.length) != "\xEF\xBF\xBD") return false;
    pos += d.length;
  }
  return true;
}

std::string escape_markup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string sanitize_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    DecodedChar d = decode_utf8(text, pos);
    if (d.code_point < 0x80) {
      out.push_back(static_cast<char>(d.code_point));
    } else if (d.code_point == replacement_character) {
      append_utf8(out, d.code_point);
    } else {
      out.append(text.substr(pos, d.length));  // valid: copy the bytes as they are
    }
    pos += d.length;
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  append_utf8_as_utf16(out, text);
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  append_utf16_as_utf8(out, text);
  return out;
}

char32_t simple_lower(char32_t cp) noexcept { return map_simple(lower_ranges, cp); }
char32_t simple_upper(char32_t cp) noexcept { return map_simple(upper_ranges, cp); }

std::string to_lower(std::string_view text) {
  if (is_ascii(text)) return ascii_lower(text);  // paths mostly: a copy mapped in place
  return map_full<true>(text, lower_ranges, special_lower);
}
std::string to_upper(std::string_view text) { return map_full<false>(text, upper_ranges, special_upper); }

bool is_ascii(std::string_view text) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {  // eight bytes at a time: no high bit in any
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + i, 8);
    if (chunk & 0x8080808080808080u) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

bool iequals_ascii(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

bool starts_with_ascii_ci(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && iequals_ascii(text.substr(0, prefix.size()), prefix);
}

bool is_white_space(char32_t cp) noexcept {
  for (const CodeRange& r : white_space_ranges) {
    if (cp < r.first) return false;
    if (cp <= r.last) return true;
  }
  return false;
}

// ASCII white space is the common case: no decoding needed for it.
constexpr bool is_ascii_white_space(unsigned char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim_start(std::string_view text) noexcept {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) break;
      ++pos;
      continue;
    }
    DecodedChar d = decode_utf8(text, pos);
    if (!is_white_space(d.code_point)) break;
    pos += d.length;
  }
  return text.substr(pos);
}

std::string_view trim_end(std::string_view text) noexcept {
  std::size_t end = text.size();
  while (end > 0) {
    const auto byte = static_cast<unsigned char>(text[end - 1]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) break;
      --end;
      continue;
    }
    // Step back to the start of the last character: at most three continuation bytes.
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
    DecodedChar d = decode_utf8(text, start);
    if (start + d.length != end || !is_white_space(d.code_point)) break;
    end = start;
  }
  return text.substr(0, end);
}

std::optional<std::uint32_t> parse_u32(std::string_view text) noexcept { return parse_unsigned<std::uint32_t>(text); }
std::optional<std::uint64_t> parse_u64(std::string_view text) noexcept { return parse_unsigned<std::uint64_t>(text); }

}  // namespace vx
