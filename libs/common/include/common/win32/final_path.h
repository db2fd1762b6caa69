// Where an open handle really is: the path of its final target, in UTF-8.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vx::win32 {

// "C:\..." or "\\server\share\..." (the "\\?\" prefix removed); none when
// the system cannot say.
std::optional<std::string> final_path_of(HANDLE handle);

}  // namespace vx::win32
