#include "common/win32/error_text.h"

#include <windows.h>

#include <cstdio>

#include "common/win32/text.h"

namespace vx::win32 {

std::string error_text(std::uint32_t code) {
  wchar_t* message = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text(message ? message : L"", message ? length : 0);
  if (message) LocalFree(message);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  char hresult[16];
  // HRESULT_FROM_WIN32: codes that are HRESULTs already, and success, stay as they are.
  const std::uint32_t as_hresult = code == 0 || (code & 0x80000000u) ? code : 0x80070000u | (code & 0xFFFF);
  std::snprintf(hresult, sizeof hresult, "0x%08lX", static_cast<unsigned long>(as_hresult));
  return text.empty() ? std::string(hresult) : vx::win32::narrow(text) + " (" + hresult + ")";
}

}  // namespace vx::win32
