// Text at the Win32 boundary: UTF-16 wide strings in, UTF-8 out, and text in
// the system's ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// The same, but absent for text that is not valid UTF-16 (an unpaired
// surrogate): a name or path that could not be given back to Windows.
std::optional<std::string> narrow_exact(std::wstring_view utf16);

// Bytes in a Windows code page (CP_ACP, the system's ANSI code page, by
// default) as UTF-8; absent when the bytes are not valid in that code page.
std::optional<std::string> decode_code_page(std::string_view bytes, unsigned code_page = 0 /* CP_ACP */);

// This process's arguments after the program's own name, as UTF-8.
std::vector<std::string> command_line_arguments();

}  // namespace vx::win32
