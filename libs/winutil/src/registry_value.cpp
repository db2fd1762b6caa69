#include "winutil/registry_value.h"

#include <cstddef>

#include "common/text.h"

namespace vx::winutil {

std::string utf16le_text(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit =
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit == 0) break;
    units.push_back(unit);
  }
  return utf16_to_utf8(units);
}

std::string string_of(const RawValue& value) {
  if (value.type != reg_type::sz && value.type != reg_type::expand_sz) return {};
  return utf16le_text(value.bytes);
}

std::optional<std::uint32_t> dword_of(const RawValue& value) {
  if (value.type != reg_type::dword || value.bytes.size() < 4) return std::nullopt;
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.bytes[i]);
  return number;
}

}  // namespace vx::winutil
