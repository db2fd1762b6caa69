#include "net/win32/user_id.h"

#include <windows.h>

#include <bcrypt.h>
#include <objbase.h>

#include "common/win32/error_text.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "winutil/registry_value.h"

namespace vx::net::win32 {
namespace {

constexpr wchar_t key_path[] = L"Software\\Ostrelnet";
constexpr wchar_t value_name[] = L"OUID";

Result<vx::win32::UniqueKey> open_store() {
  vx::win32::UniqueKey key;
  const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                         nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS) return fail("registry", vx::win32::error_text(static_cast<std::uint32_t>(status)));
  return key;
}

std::uint32_t random_u32() {
  std::uint32_t value = 0;
  // The system's cryptographic generator; a failure leaves the numbers to the clock.
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    value = static_cast<std::uint32_t>(GetTickCount64() * 2654435761u);
  return value;
}

void stamp(IdParts& parts, const SYSTEMTIME& at) {
  parts.year = at.wYear;
  parts.month = at.wMonth;
  parts.day = at.wDay;
  parts.hour = at.wHour;
  parts.minute = at.wMinute;
  parts.second = at.wSecond;
}

}  // namespace

vx::Result<std::optional<std::string>> RegistryUserIdStore::read() {
  Result<vx::win32::UniqueKey> key = open_store();
  if (!key) return std::unexpected(key.error());
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key->get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size > 4096)
    return std::optional<std::string>();
  std::string bytes(size, '\0');
  if (RegQueryValueExW(key->get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
      ERROR_SUCCESS)
    return std::optional<std::string>();
  bytes.resize(size);
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::optional<std::string>();
  return std::optional(winutil::utf16le_text(bytes));
}

vx::Result<> RegistryUserIdStore::write(const std::string& id) {
  Result<vx::win32::UniqueKey> key = open_store();
  if (!key) return std::unexpected(key.error());
  const std::wstring wide = vx::win32::widen(id);
  const LSTATUS status = RegSetValueExW(key->get(), value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                        static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) return fail("registry", vx::win32::error_text(static_cast<std::uint32_t>(status)));
  return {};
}

IdParts RegistryUserIdStore::fresh_parts() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  IdParts parts;
  parts.first = random_u32();
  parts.middle = static_cast<std::uint16_t>(random_u32());
  parts.last = random_u32();
  stamp(parts, now);
  return parts;
}

vx::Result<std::optional<std::string>> CompanionUserIdStore::read() {
  Result<vx::win32::UniqueKey> key = open_store();
  if (!key) return std::unexpected(key.error());
  wchar_t text[64] = {};
  DWORD size = sizeof text - sizeof(wchar_t), type = 0;
  if (RegQueryValueExW(key->get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::optional<std::string>();
  return std::optional(vx::win32::narrow(std::wstring_view(text, wcsnlen(text, size / sizeof(wchar_t)))));
}

IdParts CompanionUserIdStore::fresh_parts() {
  GUID guid{};
  IdParts parts;
  if (SUCCEEDED(CoCreateGuid(&guid))) {
    parts.first = guid.Data1;
    parts.middle = guid.Data2;
    parts.last =
        static_cast<std::uint32_t>(guid.Data3) << 16 | static_cast<std::uint32_t>(guid.Data4[0]) << 8 | guid.Data4[1];
  } else {
    parts.first = random_u32();
    parts.middle = static_cast<std::uint16_t>(random_u32());
    parts.last = random_u32();
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  stamp(parts, now);
  return parts;
}

}  // namespace vx::net::win32
