// The main window "TFrmVorlix": a fixed-size frame that hosts the document view.
#pragma once

#include <windows.h>

namespace vx::app {

inline constexpr wchar_t main_window_class[] = L"TFrmVorlix";
inline constexpr DWORD main_window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr int client_width_96 = 464;
inline constexpr int client_height_96 = 417;

// Registers the window class; false when registration fails.
bool register_main_window_class(HINSTANCE instance);

// Creates the main window, sized for its DPI and centred in the work area of
// its monitor, with the dark title bar. Null when the window cannot be created.
HWND create_main_window(HINSTANCE instance, const wchar_t* title);

// Client size in device pixels at a DPI: 464 x 417 scaled and truncated.
SIZE client_size_for_dpi(UINT dpi);

}  // namespace vx::app
