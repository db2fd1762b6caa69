// Text at the Win32 boundary: UTF-16 wide strings in, UTF-8 out, and text in
// the system's ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// The same, but absent for text that is not valid UTF-16 (an unpaired
// surrogate): a name or path that could not be given back to Windows.
std::optional<std::string> narrow_exact(std::wstring_view utf16);

// Bytes in a Windows code page (CP_ACP, the system's ANSI code page, by
// default) as UTF-8; absent when the bytes are not valid in that code page.
std::optional<std::string> decode_code_page(std::string_view bytes, unsigned code_page = 0 /* CP_ACP */);

}  // namespace vx::win32
