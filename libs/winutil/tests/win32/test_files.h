// Where the Windows tests find their fixtures, and what they run on.
#pragma once

#include <windows.h>

#include <string>

namespace vx::winutil::testing {

// A file in the test program's folder (the build's bin folder, where the
// fixture programs are built too).
inline std::wstring beside_test(const std::wstring& name) {
  wchar_t module[MAX_PATH];
  std::wstring path(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Under Wine some system functions are missing or do nothing.
inline bool running_on_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace vx::winutil::testing
