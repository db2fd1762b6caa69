// The bench programs' message loop: dispatching the thread's messages for a
// while, or until something holds, so windows and frame workers get on.
#pragma once

#include <windows.h>

namespace vorlix_bench {

// Dispatches the thread's messages for `ms` milliseconds.
inline void pump_for(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

// Pumps until `done` holds; false after `ms` milliseconds.
template <class Done>
bool pump_until(Done done, DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (!done()) {
    if (GetTickCount64() > until) return false;
    pump_for(1);
  }
  return true;
}

}  // namespace vorlix_bench
