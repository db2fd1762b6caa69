#include "desktop.h"

#include <windows.h>

#include "common/win32/unique.h"
#include "winutil/win32/shell.h"

namespace vx::service::win32 {

bool running_elevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const vx::win32::UniqueHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(raw, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
}

Result<> open_as_desktop_user(std::string_view target, std::string_view arguments) {
  if (running_elevated() && winutil::win32::start_as_desktop_user(target, arguments)) return {};
  return winutil::win32::start_directly(target, arguments);
}

}  // namespace vx::service::win32
