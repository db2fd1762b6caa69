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

}  // namespace vx::winutil::win32
