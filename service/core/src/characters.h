// Counting text the way the Windows side will see it: by characters, and by
// UTF-16 units for the system's fixed-size buffers.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/text.h"

namespace vx::service {

// The first `count` code points of UTF-8 text (a bad byte counts as one).
inline std::string_view first_characters(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (; pos < text.size() && count > 0; --count) pos += decode_utf8(text, pos).length;
  return text.substr(0, pos);
}

// The longest start of `text` that fits in `max_units` UTF-16 units, never
// splitting a character.
inline std::string_view fit_utf16(std::string_view text, std::size_t max_units) {
  std::size_t pos = 0, units = 0;
  while (pos < text.size()) {
    const DecodedChar d = decode_utf8(text, pos);
    const std::size_t width = d.code_point > 0xFFFF ? 2 : 1;
    if (units + width > max_units) break;
    units += width;
    pos += d.length;
  }
  return text.substr(0, pos);
}

}  // namespace vx::service
