// The pages' native pop-ups: a context menu at the pointer and a Yes/No box.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "ui/dialogs.h"

namespace vx::ui::win32 {

// One menu line: its text and command id; id 0 is a separator.
using MenuItem = std::pair<std::string_view, UINT>;

// Shows the menu at the pointer and returns the chosen id, none when dismissed.
std::optional<UINT> popup_menu(HWND window, std::span<const MenuItem> items);

// A message box on top of everything; true when the user answers Yes.
bool confirm(HWND owner, std::string_view text, std::string_view caption, UINT flags);

// The pages' pop-ups owned by the main window, boxes captioned with the program's title.
class WindowDialogs final : public Dialogs {
 public:
  WindowDialogs(HWND owner, std::string caption) : owner_(owner), caption_(std::move(caption)) {}
  std::optional<unsigned> popup_menu(std::span<const MenuLine> lines) override;
  bool ask_yes_no(std::string_view text, BoxIcon icon, bool no_is_default) override;
  void tell(std::string_view text, BoxIcon icon) override;
  std::optional<std::string> choose_save_file(const SaveFileRequest& request) override;

 private:
  HWND owner_;
  std::string caption_;
};

}  // namespace vx::ui::win32
