// Registry text is whatever programs wrote: odd sizes, missing terminators,
// broken UTF-16. (Types and sizes against the real registry: win32/registry_test.)
#include "winutil/registry_value.h"

#include <gtest/gtest.h>

namespace {

using namespace vx::winutil;

TEST(RegistryValue, TextStopsAtNulAndToleratesDamage) {
  EXPECT_EQ(utf16le_text(std::string("\x5C\xD5\x00\xAE\x3D\xD8\x00\xDE", 8)), "한글😀") << "no terminator stored";
  EXPECT_EQ(utf16le_text(std::string("a\0b\0\0\0c\0", 8)), "ab");
  EXPECT_EQ(utf16le_text(std::string("a\0b\0c", 5)), "ab") << "odd last byte ignored";
  EXPECT_EQ(utf16le_text(std::string("a\0\x00\xD8", 4)), "a\xEF\xBF\xBD") << "lone surrogate";
  EXPECT_EQ(string_of({reg_type::multi_sz, std::string("a\0\0\0", 4)}), "");
  EXPECT_FALSE(dword_of({reg_type::dword, std::string("\x01\x00\x00", 3)}));
  EXPECT_FALSE(dword_of({reg_type::dword_big_endian, std::string(4, '\0')}));
}

}  // namespace
