#include "winutil/win32/registry.h"

#include <new>

#include "common/win32/error_text.h"
#include "common/win32/text.h"

namespace vx::winutil::win32 {
using vx::win32::error_text;
namespace {

bool has_nul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// Longest value name plus its NUL, and longest key name plus its NUL.
constexpr DWORD value_name_units = 16384;
constexpr DWORD key_name_units = 256;

// "not-found" when the key or value is not there, "argument" for a path or
// name the registry cannot take, "system" for the rest.
Error registry_error(std::uint32_t code) {
  const char* kind = code == ERROR_FILE_NOT_FOUND      ? "not-found"
                     : code == ERROR_INVALID_PARAMETER ? "argument"
                                                       : "system";
  return {kind, error_text(code)};
}

}  // namespace

HKEY hive_key(Hive hive) noexcept {
  switch (hive) {
    case Hive::hklm:
      return HKEY_LOCAL_MACHINE;
    case Hive::hkcu:
      return HKEY_CURRENT_USER;
    case Hive::hku:
      return HKEY_USERS;
    case Hive::hkcr:
      return HKEY_CLASSES_ROOT;
    case Hive::hkcc:
      return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

Result<RegKey> open_key(Hive hive, std::string_view path, REGSAM access) {
  const HKEY root = hive_key(hive);
  if (!root || has_nul(path)) return std::unexpected(registry_error(ERROR_INVALID_PARAMETER));
  while (path.starts_with('\\')) path.remove_prefix(1);
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(root, vx::win32::widen(path).c_str(), 0, access | KEY_WOW64_64KEY, &key);
  if (status != ERROR_SUCCESS) return std::unexpected(registry_error(static_cast<std::uint32_t>(status)));
  return RegKey(key);
}

std::optional<RawValue> query_value(HKEY key, std::string_view name) {
  if (!key || has_nul(name)) return std::nullopt;
  const std::wstring wide = vx::win32::widen(name);
  // The value may grow between asking its size and reading it: three tries.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    RawValue value;
    try {
      value.bytes.resize(size);
    } catch (const std::bad_alloc&) {
      return std::nullopt;  // a value larger than we can hold is as good as unreadable
    }
    DWORD got = size;
    const LSTATUS status =
        RegQueryValueExW(key, wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.bytes.data()), &got);
    if (status == ERROR_SUCCESS) {
      value.type = type;
      value.bytes.resize(got < size ? got : size);
      return value;
    }
    if (status != ERROR_MORE_DATA) return std::nullopt;
  }
  return std::nullopt;
}

namespace {

std::optional<RawValue> read_value(Hive hive, std::string_view path, std::string_view name) {
  const auto key = open_key(hive, path, KEY_READ);
  if (!key) return std::nullopt;
  return query_value(key->get(), name);
}

}  // namespace

std::string read_string(Hive hive, std::string_view path, std::string_view name) {
  const std::optional<RawValue> value = read_value(hive, path, name);
  return value ? string_of(*value) : std::string();
}

std::optional<std::uint32_t> read_dword(Hive hive, std::string_view path, std::string_view name) {
  const std::optional<RawValue> value = read_value(hive, path, name);
  return value ? dword_of(*value) : std::nullopt;
}

bool value_exists(Hive hive, std::string_view path, std::string_view name) {
  return read_value(hive, path, name).has_value();
}

std::vector<std::string> value_names(Hive hive, std::string_view path) {
  std::vector<std::string> names;
  const auto key = open_key(hive, path, KEY_READ);
  if (!key) return names;
  std::wstring buffer(value_name_units, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = value_name_units;  // in and out: reset for every call
    if (RegEnumValueW(key->get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.push_back(vx::win32::narrow(std::wstring_view(buffer.data(), length < value_name_units ? length : 0)));
  }
  return names;
}

std::vector<std::string> subkey_names(Hive hive, std::string_view path) {
  std::vector<std::string> names;
  const auto key = open_key(hive, path, KEY_READ);
  if (!key) return names;
  wchar_t buffer[key_name_units];
  for (DWORD index = 0;; ++index) {
    DWORD length = key_name_units;
    if (RegEnumKeyExW(key->get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(vx::win32::narrow(std::wstring_view(buffer, length < key_name_units ? length : 0)));
  }
  return names;
}

Result<> delete_value(Hive hive, std::string_view path, std::string_view name) {
  if (has_nul(name)) return std::unexpected(registry_error(ERROR_INVALID_PARAMETER));
  auto key = open_key(hive, path, KEY_SET_VALUE);
  if (!key) return std::unexpected(key.error());
  const LSTATUS status = RegDeleteValueW(key->get(), vx::win32::widen(name).c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    return std::unexpected(registry_error(static_cast<std::uint32_t>(status)));
  return {};
}

}  // namespace vx::winutil::win32
