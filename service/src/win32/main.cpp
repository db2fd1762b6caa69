// VorlixService.exe: the tray companion. The test build's copy differs only
// in its Setup: a short pause between attempts and a server it can be pointed at.
#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/text.h"
#include "program.h"

namespace {

vx::service::win32::Setup setup() {
  vx::service::win32::Setup setup;
  setup.report_origin = VORLIX_SERVER_ORIGIN;
  setup.web_site = "https://vorlix.app/";
#ifdef VORLIX_COMPANION_TEST_PAUSE_MS
  setup.retry_pause = std::chrono::milliseconds(VORLIX_COMPANION_TEST_PAUSE_MS);
  wchar_t origin[512];
  const DWORD n = GetEnvironmentVariableW(L"VORLIX_TEST_ORIGIN", origin, 512);
  if (n > 0 && n < 512) setup.report_origin = vx::win32::narrow(std::wstring_view(origin, n));
#endif
  return setup;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::string> args = vx::win32::command_line_arguments();
  vx::service::win32::Program program(setup());
  return program.run(args);
}
