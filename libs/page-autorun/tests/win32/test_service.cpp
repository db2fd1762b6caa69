// A Win32 service for the startup items' tests: it runs until it is asked to
// stop, or with --stubborn ignores that request and runs until it is ended.
#include <windows.h>

#include <cstring>

namespace {

SERVICE_STATUS_HANDLE status_handle = nullptr;
HANDLE stop_event = nullptr;
bool stubborn = false;

void report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(status_handle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP && !stubborn) SetEvent(stop_event);
  return NO_ERROR;
}

void WINAPI service_main(DWORD, wchar_t**) {
  status_handle = RegisterServiceCtrlHandlerExW(L"", handler, nullptr);
  if (!status_handle) return;
  report(SERVICE_RUNNING);
  WaitForSingleObject(stop_event, INFINITE);
  report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) stubborn = stubborn || std::strcmp(argv[i], "--stubborn") == 0;
  stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t name[] = L"";
  const SERVICE_TABLE_ENTRYW table[] = {{name, service_main}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
