// Any byte sequence: the conversions never crash and never produce invalid
// UTF-8 or UTF-16, and valid text survives every round trip unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool has_unpaired_surrogate(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string clean = vx::sanitize_utf8(bytes);
  check(vx::is_valid_utf8(clean));
  check(vx::is_valid_utf8(bytes) == (clean == bytes));

  const std::u16string wide = vx::utf8_to_utf16(bytes);
  check(!has_unpaired_surrogate(wide));
  check(vx::utf16_to_utf8(wide) == clean);

  // The same bytes read as UTF-16 code units.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  const std::string narrow = vx::utf16_to_utf8(units);
  check(vx::is_valid_utf8(narrow));
  if (!has_unpaired_surrogate(units)) check(vx::utf8_to_utf16(narrow) == units);

  check(vx::is_valid_utf8(vx::to_lower(bytes)));
  check(vx::is_valid_utf8(vx::to_upper(bytes)));
  const std::string_view trimmed = vx::trim(clean);
  check(vx::is_valid_utf8(trimmed));
  check(trimmed.size() <= clean.size());

  if (const auto n = vx::parse_u64(bytes)) {
    std::string digits = std::to_string(*n);
    std::string_view rest = bytes;
    if (rest.starts_with('+')) rest.remove_prefix(1);
    while (rest.size() > 1 && rest.front() == '0') rest.remove_prefix(1);
    check(rest == digits);
  }
  return 0;
}
