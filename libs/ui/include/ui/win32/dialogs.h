// The pages' native pop-ups: a context menu at the pointer and a Yes/No box.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace vx::ui::win32 {

// One menu line: its text and command id; id 0 is a separator.
using MenuItem = std::pair<std::string_view, UINT>;

// Shows the menu at the pointer and returns the chosen id, none when dismissed.
std::optional<UINT> popup_menu(HWND window, std::span<const MenuItem> items);

// A message box on top of everything; true when the user answers Yes.
bool confirm(HWND owner, std::string_view text, std::string_view caption, UINT flags);

}  // namespace vx::ui::win32
