#include "ui/win32/dialogs.h"

#include <string>

#include "common/win32/text.h"

namespace vx::ui::win32 {
namespace {

struct Menu {
  HMENU handle = CreatePopupMenu();
  ~Menu() {
    if (handle) DestroyMenu(handle);
  }
};

}  // namespace

std::optional<UINT> popup_menu(HWND window, std::span<const MenuItem> items) {
  Menu menu;
  if (!menu.handle) return std::nullopt;
  for (const auto& [text, id] : items) {
    if (id == 0) {
      AppendMenuW(menu.handle, MF_SEPARATOR, 0, nullptr);
    } else {
      const std::wstring wide = vx::win32::widen(text);
      AppendMenuW(menu.handle, MF_STRING, id, wide.c_str());
    }
  }
  POINT at{};
  GetCursorPos(&at);
  // Without being in front, a click elsewhere would not dismiss the menu.
  SetForegroundWindow(window);
  const BOOL chosen = TrackPopupMenuEx(menu.handle, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr);
  if (chosen == 0) return std::nullopt;
  return static_cast<UINT>(chosen);
}

bool confirm(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  const std::wstring wide_text = vx::win32::widen(text), wide_caption = vx::win32::widen(caption);
  return MessageBoxW(owner, wide_text.c_str(), wide_caption.c_str(), flags | MB_SETFOREGROUND | MB_TOPMOST) == IDYES;
}

}  // namespace vx::ui::win32
