// Vorlix.exe: start-up, single instance and the message loop.
#include <windows.h>

#include <objbase.h>

#include "main_window.h"

namespace {

// A second start raises the first window and ends. The mutex handle stays
// open for the life of the first process on purpose.
bool another_instance_running() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Vorlix.SingleInstance");
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (HWND first = FindWindowW(vx::app::main_window_class, nullptr)) {
    if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
  }
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (another_instance_running()) return 0;

  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  if (vx::app::register_main_window_class(instance)) {
    if (HWND window = vx::app::create_main_window(instance, L"Vorlix")) {
      ShowWindow(window, SW_SHOW);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
