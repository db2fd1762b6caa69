// The update dialog (a task dialog) and the notification bar under the main
// window: native windows of their own, outside the HTML interface.
#pragma once

#include <windows.h>

#include <string>

#include "common/error.h"
#include "net/update_info.h"

namespace vx::notice::win32 {

struct DialogRequest {
  HWND parent = nullptr;  // none when it is not a window
  std::string title;      // the program's window title
  std::string language;   // the interface language code
  net::NoticeStyle style = net::NoticeStyle::plain;
  std::string hold_text;  // the check box of the hold style
  std::string note_text, note_url;
  bool keep_on_top = false;
};

struct DialogResult {
  bool accepted = false;     // Yes (or OK)
  bool hold_ticked = false;  // the check box was ticked
};

// Modal on the calling thread. Errors: "unsupported", "show_failed".
Result<DialogResult> show_update_dialog(const DialogRequest& request);

struct BarRequest {
  HWND host = nullptr;
  std::string text;  // the bar's title
  std::string url;   // opened when the bar is clicked
};

// Starts the bar on a thread of its own and returns; a bar already open is
// closed first. Errors: "empty_url", "no_host", "spawn_failed".
Result<> show_update_bar(const BarRequest& request);

// The bar's window while one is open (for tests); none otherwise.
HWND current_bar();

}  // namespace vx::notice::win32
