// The lookup a test may put in place of the shell's known folders.
#pragma once

#include "common/path_vars.h"

namespace vx {

FolderLookup& installed_folder_lookup();

}  // namespace vx
