// Our UTF conversions must agree with Windows' own for valid text, and the
// code-page decoder must report bytes the code page cannot read.
#include "common/win32/text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/text.h"

namespace {

std::wstring windows_widen(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

TEST(Win32Text, WidenAndNarrowAgreeWithWindowsOnValidText) {
  for (const std::string s : {"", "C:\\Users\\김철수\\AppData", "Ærøskøbing ß İ", "\xF0\x9F\x98\x80 emoji",
                              "日本語のテキスト", "Привет", "مرحبا"}) {
    const std::wstring wide = vx::win32::widen(s);
    EXPECT_EQ(wide, windows_widen(s));
    EXPECT_EQ(vx::win32::narrow(wide), s);
  }
}

TEST(Win32Text, NarrowReplacesLoneSurrogatesAndNarrowExactRefusesThem) {
  EXPECT_EQ(vx::win32::narrow(std::wstring(L"a\xD800"
                                           L"b")),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_FALSE(
      vx::win32::narrow_exact(std::wstring(L"a\xD800"
                                           L"b")));
  EXPECT_FALSE(vx::win32::narrow_exact(std::wstring(L"a\xDC00")));
  EXPECT_EQ(vx::win32::narrow_exact(std::wstring(L"\xFFFD\xD83D\xDE00")), "\xEF\xBF\xBD\xF0\x9F\x98\x80")
      << "a real replacement character and a pair are fine";
}

TEST(Win32Text, DecodesCodePages) {
  EXPECT_EQ(vx::win32::decode_code_page("\xC7\xD1\xB1\xDB", 949), "한글");
  EXPECT_EQ(vx::win32::decode_code_page("caf\xE9", 1252), "café");
  EXPECT_EQ(vx::win32::decode_code_page("", 949), "");
  EXPECT_EQ(vx::win32::decode_code_page("plain"), "plain");  // the system's ANSI code page
  // A lead byte without its trail byte is not CP949 text.
  EXPECT_EQ(vx::win32::decode_code_page("ab\xC7", 949), std::nullopt);
}

}  // namespace
