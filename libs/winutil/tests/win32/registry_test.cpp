// The registry helpers against a scratch key of the prefix's real registry.
#include "winutil/win32/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/win32/text.h"

namespace {

using namespace vx::winutil;
using namespace vx::winutil::win32;

constexpr std::string_view not_found = "not-found", invalid = "argument";

class ScratchKey : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, vx::win32::widen(path_).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    key_ = RegKey(key);
  }
  void TearDown() override {
    key_ = RegKey();
    RegDeleteTreeW(HKEY_CURRENT_USER, vx::win32::widen(path_).c_str());
  }
  void set(const wchar_t* name, DWORD type, const void* data, std::size_t size) {
    ASSERT_EQ(RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void set_dword(const wchar_t* name, DWORD value) { set(name, REG_DWORD, &value, sizeof value); }

  const std::string path_ = "Software\\Vorlix.Tests.winutil-" + std::to_string(GetCurrentProcessId());
  RegKey key_;
};

TEST_F(ScratchKey, KeysOpenWithOrWithoutLeadingBackslash) {
  set_dword(L"Marker", 7);
  for (const std::string& path : {path_, "\\" + path_, "\\\\" + path_}) {
    const auto key = open_key(Hive::hkcu, path, KEY_READ);
    ASSERT_TRUE(key) << path;
    EXPECT_EQ(dword_of(query_value(key->get(), "Marker").value_or(RawValue{})), 7u) << path;
  }
  EXPECT_EQ(open_key(Hive::hkcu, path_ + "\\Missing", KEY_READ).error().kind, not_found);
  // Win32 would stop at the NUL and open the parent.
  EXPECT_EQ(open_key(Hive::hkcu, path_ + std::string("\0\\Missing", 9), KEY_READ).error().kind, invalid);
  EXPECT_EQ(open_key(static_cast<Hive>(9), path_, KEY_READ).error().kind, invalid);
}

TEST_F(ScratchKey, ValuesReadByType) {
  const std::wstring run = L"C:\\한글\\앱.exe /background", expand = L"%ProgramFiles%\\App\\app.exe";
  set(L"Run", REG_SZ, run.c_str(), run.size() * 2);  // stored without its NUL
  set(L"Expand", REG_EXPAND_SZ, expand.c_str(), expand.size() * 2 + 2);
  set_dword(L"Number", 0xDEADBEEF);
  set(L"Binary", REG_BINARY, "\x01\x00\x00\x00", 4);
  set(L"Empty", 0x12345, nullptr, 0);
  EXPECT_EQ(read_string(Hive::hkcu, path_, "Run"), "C:\\한글\\앱.exe /background");
  EXPECT_EQ(read_string(Hive::hkcu, path_, "Expand"), "%ProgramFiles%\\App\\app.exe");
  EXPECT_EQ(read_string(Hive::hkcu, path_, "Number"), "");
  EXPECT_EQ(read_string(Hive::hkcu, path_ + "\\Missing", "Run"), "");
  EXPECT_EQ(read_dword(Hive::hkcu, path_, "Number"), 0xDEADBEEFu);
  EXPECT_FALSE(read_dword(Hive::hkcu, path_, "Binary"));
  EXPECT_EQ(query_value(key_.get(), "Empty"), (RawValue{0x12345, ""}));
  EXPECT_TRUE(value_exists(Hive::hkcu, path_, "Empty"));
  EXPECT_FALSE(value_exists(Hive::hkcu, path_, "Missing"));
  EXPECT_FALSE(value_exists(Hive::hkcu, path_, std::string("Run\0x", 5))) << "not the value named \"Run\"";

  std::string big(3 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  set(L"Big", REG_BINARY, big.data(), big.size());
  EXPECT_EQ(query_value(key_.get(), "Big"), (RawValue{REG_BINARY, big}));
}

TEST_F(ScratchKey, NamesAreListedWholeIncludingTheLongestAllowed) {
  const std::wstring longest_value(16383, L'v'), longest_key(255, L'k');
  set_dword(L"카카오톡", 1);
  set_dword(longest_value.c_str(), 1);
  for (const std::wstring& name : {std::wstring(L"하위 키"), longest_key}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key_.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  std::vector<std::string> values = value_names(Hive::hkcu, path_), keys = subkey_names(Hive::hkcu, path_);
  std::ranges::sort(values);
  std::ranges::sort(keys);
  EXPECT_EQ(values, (std::vector<std::string>{std::string(16383, 'v'), "카카오톡"}));
  EXPECT_EQ(keys, (std::vector<std::string>{std::string(255, 'k'), "하위 키"}));
  EXPECT_TRUE(value_names(Hive::hkcu, path_ + "\\Missing").empty());
  EXPECT_TRUE(subkey_names(Hive::hkcu, path_ + "\\Missing").empty());
}

TEST_F(ScratchKey, DeleteValueRemovesOnlyTheNamedValue) {
  set_dword(L"Remove", 1);
  set_dword(L"Keep", 2);
  EXPECT_TRUE(delete_value(Hive::hkcu, path_, "Remove"));
  EXPECT_FALSE(value_exists(Hive::hkcu, path_, "Remove"));
  EXPECT_TRUE(delete_value(Hive::hkcu, "\\" + path_, "Remove")) << "already gone counts as success";
  EXPECT_EQ(delete_value(Hive::hkcu, path_ + "\\Missing", "Keep").error().kind, not_found);
  // Win32 would stop reading the name at the NUL and delete "Keep".
  EXPECT_EQ(delete_value(Hive::hkcu, path_, std::string("Keep\0Other", 10)).error().kind, invalid);
  EXPECT_EQ(read_dword(Hive::hkcu, path_, "Keep"), 2u);
}

}  // namespace
