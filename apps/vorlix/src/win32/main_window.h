// The main window "TFrmVorlix": a fixed-size frame that hosts the document view.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app_context.h"

namespace ostrel {
struct View;
struct Document;
}  // namespace ostrel

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

// Whether the user chose the dark theme for apps (a missing setting means light).
bool system_uses_dark_theme();

// The view the window shows, kept for the window procedure (window thread only).
void set_main_view(ostrel::View* view);

// Called after the view follows a new window size (list tables fit their columns).
void register_resize_callback(std::function<void()> callback);

// Fills in what the document leaves to the program: its built-in images, the
// application context, the cleaner's description and the tabs.
void wire(ostrel::View* view, const UpdateConfig& config, HWND window);

// The document the window shows; null before the wiring and after shutdown.
ostrel::Document* main_document();

// The program's arguments, without its own name.
std::vector<std::string> command_line_arguments();

// A copy of the application context; none before the wiring.
std::optional<AppContext> app_context();

}  // namespace vx::app
