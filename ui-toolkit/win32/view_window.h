// The Windows side of views: attach() makes a child window of class
// "OstrelUIView" that shows the document with Direct2D and paces its frames.
#pragma once

#include <windows.h>

namespace ostrel {
struct MemoryUsage;
}

namespace ostrel::win32 {

// Makes attach() create real windows. Call once, before the first attach.
void use_windows_views();

// Adds what the view whose window this is holds, by owner (see
// src/memory_usage.h). False when the window is no view's.
bool memory_usage(HWND view_window, MemoryUsage& out);

}  // namespace ostrel::win32
