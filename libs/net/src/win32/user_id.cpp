#include "net/win32/user_id.h"

#include <windows.h>

#include <bcrypt.h>

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
  parts.year = now.wYear;
  parts.month = now.wMonth;
  parts.day = now.wDay;
  parts.hour = now.wHour;
  parts.minute = now.wMinute;
  parts.second = now.wSecond;
  return parts;
}

}  // namespace vx::net::win32
