// Character properties shared by the fake font and the line breaker: small
// hand-made tables covering the scripts the program shows, not full Unicode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/text.h"

namespace ostrel::text::detail {

// Line breaking classes, folded: `cl` covers closing punctuation, infix
// separators, exclamation and non-starters (small kana, ー); `sp` every
// breakable space; `bk` the mandatory breaks except CR; `sot` no character yet.
enum class BreakClass : std::uint8_t { al, id, sp, gl, wj, zw, hy, op, cl, qu, cm, bk, cr, sot };

BreakClass break_class(char32_t cp) noexcept;

// East Asian wide or fullwidth, as the fake font measures 1 em.
bool is_wide(char32_t cp) noexcept;
// Drawn with no advance: combining marks, conjoining vowel/final jamo, format
// and control characters.
bool is_zero_width(char32_t cp) noexcept;
// Wide, fullwidth or halfwidth but not Hangul: segment breaks between two of
// these vanish instead of becoming a space.
bool is_east_asian_non_hangul(char32_t cp) noexcept;

// decode_utf8 with the ASCII case inline.
inline vx::DecodedChar decode_at(std::string_view text, std::size_t pos) noexcept {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte < 0x80) return {byte, 1};
  return vx::decode_utf8(text, pos);
}

}  // namespace ostrel::text::detail
