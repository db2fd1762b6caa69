// System error codes as the program's messages show them.
#pragma once

#include <cstdint>
#include <string>

namespace vx::win32 {

// The system's message for a Win32 error code, then the code as an HRESULT
// ("Access is denied (0x80070005)"); the HRESULT alone when the system has no
// text for it.
std::string error_text(std::uint32_t code);

}  // namespace vx::win32
