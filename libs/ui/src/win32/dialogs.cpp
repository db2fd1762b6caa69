#include "ui/win32/dialogs.h"

#include <string>
#include <vector>

#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx::ui::win32 {
std::optional<UINT> popup_menu(HWND window, std::span<const MenuItem> items) {
  const vx::win32::UniqueMenu menu{CreatePopupMenu()};
  if (!menu) return std::nullopt;
  for (const auto& [text, id] : items) {
    if (id == 0) {
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      const std::wstring wide = vx::win32::widen(text);
      AppendMenuW(menu.get(), MF_STRING, id, wide.c_str());
    }
  }
  POINT at{};
  GetCursorPos(&at);
  // Without being in front, a click elsewhere would not dismiss the menu.
  SetForegroundWindow(window);
  const BOOL chosen = TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr);
  if (chosen == 0) return std::nullopt;
  return static_cast<UINT>(chosen);
}

bool confirm(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  const std::wstring wide_text = vx::win32::widen(text), wide_caption = vx::win32::widen(caption);
  return MessageBoxW(owner, wide_text.c_str(), wide_caption.c_str(), flags | MB_SETFOREGROUND | MB_TOPMOST) == IDYES;
}

std::optional<unsigned> WindowDialogs::popup_menu(std::span<const MenuLine> lines) {
  std::vector<MenuItem> items(lines.begin(), lines.end());
  return win32::popup_menu(owner_, items);
}

bool WindowDialogs::ask_yes_no(std::string_view text, BoxIcon icon, bool no_is_default) {
  UINT flags = MB_YESNO | (no_is_default ? MB_DEFBUTTON2 : 0u);
  if (icon == BoxIcon::warning) flags |= MB_ICONWARNING;
  if (icon == BoxIcon::information) flags |= MB_ICONINFORMATION;
  return confirm(owner_, text, caption_, flags);
}

}  // namespace vx::ui::win32
