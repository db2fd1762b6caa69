#include "winutil/hive.h"

namespace vx::winutil {

std::string_view hive_short_name(Hive hive) noexcept {
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

}  // namespace vx::winutil
