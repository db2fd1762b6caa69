// The installed programs of this machine.
#pragma once

#include <string>
#include <vector>

#include "page-install/inventory.h"

namespace vx::install::win32 {

// The Uninstall keys' programs, newest first (see collect_programs).
std::vector<InstalledProgram> load_programs();

// The icon keys of these programs not handed out before in this process.
std::vector<std::string> new_icon_keys(const std::vector<InstalledProgram>& programs);

}  // namespace vx::install::win32
