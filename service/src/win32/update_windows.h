// The companion's two update notices, drawn by hand rather than with the
// main program's task dialog: the modal "OUpdateDialog" and the "OUpdateBar"
// that follows a host window of this thread.
#pragma once

#include <windows.h>

#include <string>

#include "net/update_info.h"

namespace vx::service::win32 {

struct UpdateDialogRequest {
  // The window the check reports to: owner, title and icons come from it
  // while it is visible and not minimised; otherwise the dialog has no owner
  // and takes `title`.
  HWND notify = nullptr;
  std::string title;    // the notify window's title, remembered when the check started
  std::string message;  // instruction, content and question, blank lines between
  std::string yes, no;  // the buttons' words
  net::NoticeStyle style = net::NoticeStyle::plain;
  std::string info_text;  // the hold box's or the note link's text
  std::string info_url;   // the note link's page (a web address, else no link)
  bool keep_on_top = false;
};

struct UpdateDialogResult {
  bool accepted = false;     // Yes or Enter; No, Escape and closing give false
  bool hold_ticked = false;  // only for the hold style
};

// Modal, with its own message loop, on the calling thread. A dialog that
// cannot be created counts as No.
UpdateDialogResult show_update_dialog(const UpdateDialogRequest& request);

// The open dialog's window, for tests; none otherwise.
HWND current_update_dialog();

// Shows the bar below `host` (a window of the calling thread, which it
// follows by subclassing it) with `title`, opening `url` (a web address) as
// the desktop user when clicked. A bar already open is closed first. False
// when there is no valid host or the URL is not a web address.
bool show_update_bar(HWND host, const std::string& title, const std::string& url);
void close_update_bar();
HWND current_update_bar();

}  // namespace vx::service::win32
