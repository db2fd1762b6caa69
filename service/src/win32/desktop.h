// Opening things for the user the companion runs for.
#pragma once

#include <string_view>

#include "common/error.h"

namespace vx::service::win32 {

// Starts `target` (a program, a file or a web address) with the shell's
// "open" verb. When the companion runs elevated it asks the desktop's shell
// to start it, so it runs with the user's normal rights; when it does not,
// or the desktop cannot be reached, it opens it directly.
Result<> open_as_desktop_user(std::string_view target, std::string_view arguments = {});

// True when this process's token is elevated.
bool running_elevated();

}  // namespace vx::service::win32
