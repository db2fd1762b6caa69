// The pages' pop-ups, as the pages ask for them: a context menu at the pointer
// and a Yes/No question. Windows shows them as native menus and message boxes;
// the pages' tests answer them with a fake.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::ui {

// One menu line: its text and command id; id 0 is a separator.
using MenuLine = std::pair<std::string_view, unsigned>;

enum class BoxIcon : std::uint8_t { none, warning, information };

// A file-save dialog: its title, its file types (label, pattern), the first
// selected, and the extension added to a name without one.
struct SaveFileRequest {
  std::string title;
  std::vector<std::pair<std::string, std::string>> types;
  std::string default_extension;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The chosen command id; none when the menu was dismissed.
  virtual std::optional<unsigned> popup_menu(std::span<const MenuLine> lines) = 0;
  // A question with Yes and No, on top of everything; true for Yes.
  virtual bool ask_yes_no(std::string_view text, BoxIcon icon, bool no_is_default) = 0;
  // A message with an OK button.
  virtual void tell(std::string_view text, BoxIcon icon) = 0;
  // The path the user chose; none when the dialog was cancelled or failed.
  virtual std::optional<std::string> choose_save_file(const SaveFileRequest& request) = 0;
};

}  // namespace vx::ui
