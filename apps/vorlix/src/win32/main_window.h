// The main window "TFrmVorlix": a fixed-size frame that hosts the document view.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vx::app {

inline constexpr wchar_t main_window_class[] = L"TFrmVorlix";
inline constexpr DWORD main_window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr int client_width_96 = 464;
inline constexpr int client_height_96 = 417;

// Registers the window class with its procedure; false when registration fails.
bool register_main_window_class(HINSTANCE instance, WNDPROC procedure);

// Creates the main window, sized for its DPI and centred in the work area of
// its monitor, with the dark title bar. Null when the window cannot be created.
HWND create_main_window(HINSTANCE instance, const wchar_t* title);

// Client size in device pixels at a DPI: 464 x 417 scaled and truncated.
SIZE client_size_for_dpi(UINT dpi);

// Whether the user chose the dark theme for apps (a missing setting means light).
bool system_uses_dark_theme();

}  // namespace vx::app
