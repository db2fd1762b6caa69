// The system clipboard's text, for text boxes.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "src/text_box.h"

namespace ostrel::win32 {

class SystemClipboard final : public Clipboard {
 public:
  // `owner` becomes the clipboard's owner when text is put on it.
  explicit SystemClipboard(HWND owner) : owner_(owner) {}
  std::optional<std::string> text() override;
  bool set_text(std::string_view utf8) override;

 private:
  HWND owner_;
};

}  // namespace ostrel::win32
