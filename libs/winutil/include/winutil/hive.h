// The registry roots the program reads, in the numbering the pages store.
#pragma once

#include <cstdint>
#include <string_view>

namespace vx::winutil {

enum class Hive : std::uint8_t { hklm, hkcu, hku, hkcr, hkcc };

// "HKLM", "HKCU", "HKU", "HKCR", "HKCC"; empty for a value outside the enumeration.
std::string_view hive_short_name(Hive hive) noexcept;

}  // namespace vx::winutil
