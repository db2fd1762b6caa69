// Registry values, always in the 64-bit view: KEY_WOW64_64KEY is added to every
// access, so Wow6432Node keys are reached only through their explicit paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/win32/unique.h"
#include "winutil/hive.h"
#include "winutil/registry_value.h"

namespace vx::winutil::win32 {

// An open key, closed when the value goes away.
using RegKey = vx::win32::UniqueKey;

// The predefined key of a hive; nullptr for a value outside the enumeration.
HKEY hive_key(Hive hive) noexcept;

// Opens `path` (leading backslashes ignored) with `access` | KEY_WOW64_64KEY;
// the system error code when it cannot. A path or name holding a NUL character
// is refused with ERROR_INVALID_PARAMETER throughout: Win32 would silently cut
// it there and act on another key or value.
Result<RegKey> open_key(Hive hive, std::string_view path, REGSAM access);

// The value's type and data; absent when it cannot be read.
std::optional<RawValue> query_value(HKEY key, std::string_view name);

// Text of a REG_SZ or REG_EXPAND_SZ value, unexpanded; empty otherwise.
std::string read_string(Hive hive, std::string_view path, std::string_view name);
// A REG_DWORD value of at least four bytes.
std::optional<std::uint32_t> read_dword(Hive hive, std::string_view path, std::string_view name);
bool value_exists(Hive hive, std::string_view path, std::string_view name);

// Names in enumeration order; empty when the key cannot be opened.
std::vector<std::string> value_names(Hive hive, std::string_view path);
std::vector<std::string> subkey_names(Hive hive, std::string_view path);

// Success also when the value does not exist.
Result<> delete_value(Hive hive, std::string_view path, std::string_view name);

}  // namespace vx::winutil::win32
