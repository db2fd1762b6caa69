#include "common/win32/text.h"

#include <windows.h>

#include <shellapi.h>

#include <climits>

#include "common/text.h"

namespace vx::win32 {

std::wstring widen(std::string_view utf8) {
  std::wstring out;
  append_utf8_as_utf16(out, utf8);
  return out;
}

std::string narrow(std::wstring_view utf16) {
  std::string out;
  append_utf16_as_utf8(out, utf16);
  return out;
}

std::optional<std::string> narrow_exact(std::wstring_view utf16) {
  for (std::size_t i = 0; i < utf16.size();) {
    const DecodedChar c = decode_utf16(utf16, i);
    if (c.code_point == replacement_character && utf16[i] != replacement_character) return std::nullopt;
    i += c.length;
  }
  return narrow(utf16);
}

std::optional<std::string> decode_code_page(std::string_view bytes, unsigned code_page) {
  if (bytes.empty()) return std::string();
  if (bytes.size() > INT_MAX) return std::nullopt;
  const int in_len = static_cast<int>(bytes.size());
  const int wide_len = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in_len, nullptr, 0);
  if (wide_len <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_len), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in_len, wide.data(), wide_len) != wide_len)
    return std::nullopt;
  return narrow(wide);
}

std::vector<std::string> command_line_arguments() {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(narrow(argv[i]));
    LocalFree(argv);
  }
  return args;
}

}  // namespace vx::win32
