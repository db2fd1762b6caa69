// Web pages opened in the user's browser.
#pragma once

#include <string>
#include <string_view>
#include "common/error.h"

namespace vx::winutil::win32 {

// Hands an http or https address to the shell (explorer.exe of the Windows
// folder), which opens it in the default browser with the desktop's rights
// rather than ours. Does not wait; the error says why nothing started
// ("argument": not a web address; "system": the shell could not be started).
Result<> open_url(std::string_view url);

// Starts a program through the desktop's shell (ShellWindows, the desktop
// view's IShellDispatch2::ShellExecute), so it runs with the user's normal
// rights and as the shell's child even when this program runs elevated. The
// error names the step that failed. Joins the calling thread to COM
// (apartment-threaded) for the call.
Result<> start_as_desktop_user(std::string_view program, std::string_view arguments);

// Starts a program with ShellExecuteEx ("open", shown normally): with our own
// rights, for when the desktop's shell cannot be reached.
Result<> start_directly(std::string_view program, std::string_view arguments);

}  // namespace vx::winutil::win32
