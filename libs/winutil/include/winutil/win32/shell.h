// Web pages opened in the user's browser.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace vx::winutil::win32 {

// Hands an http or https address to the shell (explorer.exe of the Windows
// folder), which opens it in the default browser with the desktop's rights
// rather than ours. Does not wait; the error text says why nothing started.
std::expected<void, std::string> open_url(std::string_view url);

}  // namespace vx::winutil::win32
