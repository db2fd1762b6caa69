// The registry roots the program reads, in the numbering the pages store, and
// the names rule files and stored items give them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/text.h"

namespace vx {

enum class Hive : std::uint8_t { hklm, hkcu, hku, hkcr, hkcc };

// "HKLM", "HKCU", "HKU", "HKCR", "HKCC"; empty for a value outside the enumeration.
constexpr std::string_view hive_short_name(Hive hive) noexcept {
  switch (hive) {
    case Hive::hklm:
      return "HKLM";
    case Hive::hkcu:
      return "HKCU";
    case Hive::hku:
      return "HKU";
    case Hive::hkcr:
      return "HKCR";
    case Hive::hkcc:
      return "HKCC";
  }
  return {};  // a byte read from elsewhere may hold any value
}

// A short or long hive name, ASCII case ignored (HKCU, HKEY_CURRENT_USER, ...).
inline std::optional<Hive> parse_hive(std::string_view name) noexcept {
  static constexpr std::pair<std::string_view, std::string_view> names[] = {{"HKLM", "HKEY_LOCAL_MACHINE"},
                                                                            {"HKCU", "HKEY_CURRENT_USER"},
                                                                            {"HKU", "HKEY_USERS"},
                                                                            {"HKCR", "HKEY_CLASSES_ROOT"},
                                                                            {"HKCC", "HKEY_CURRENT_CONFIG"}};
  for (std::size_t i = 0; i < std::size(names); ++i)
    if (iequals_ascii(name, names[i].first) || iequals_ascii(name, names[i].second)) return static_cast<Hive>(i);
  return std::nullopt;
}

}  // namespace vx
