// Registry data as read from a key, and what the program makes of it. Portable,
// so the pages' fakes hand out the same values the real registry does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::winutil {

// The registry's type numbers (winnt.h), for code that does not see <windows.h>.
namespace reg_type {
inline constexpr std::uint32_t none = 0, sz = 1, expand_sz = 2, binary = 3, dword = 4, dword_big_endian = 5, link = 6,
                               multi_sz = 7, qword = 11;
}

struct RawValue {
  std::uint32_t type = reg_type::none;
  std::string bytes;
  bool operator==(const RawValue&) const = default;
};

// UTF-16 little-endian bytes as UTF-8, up to the first NUL or the end; an odd
// last byte is ignored and unpaired surrogates become U+FFFD.
std::string utf16le_text(std::string_view bytes);

// The text of a REG_SZ or REG_EXPAND_SZ value (environment variables left as
// written); empty for any other type.
std::string string_of(const RawValue& value);

// The number of a REG_DWORD value with at least four bytes; absent otherwise.
std::optional<std::uint32_t> dword_of(const RawValue& value);

}  // namespace vx::winutil
