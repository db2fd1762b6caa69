// A registry round trip in a scratch key of the 64-bit view, removed afterwards:
// proves the Windows test path (Wine prefix, registry, UTF-16 boundary) end to end.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/text.h"

namespace {

class Key {
 public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

class ScratchKey : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\Vorlix.Tests\\registry-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, key_.out(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\Vorlix.Tests", KEY_WOW64_64KEY, 0);  // only when empty
  }
  std::wstring path_;
  Key key_;
};

TEST_F(ScratchKey, StringAndDwordValuesRoundTrip) {
  const std::wstring text = vx::win32::widen("정리 대상: C:\\Temp\\😀");
  ASSERT_EQ(RegSetValueExW(key_.get(), L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const DWORD number = 260828;
  ASSERT_EQ(RegSetValueExW(key_.get(), L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);

  wchar_t buffer[256];
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, path_.c_str(), L"Text", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr,
                         buffer, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(vx::win32::narrow(buffer), "정리 대상: C:\\Temp\\😀");

  DWORD read = 0;
  size = sizeof read;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, path_.c_str(), L"Number", RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr,
                         &read, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(read, number);
}

TEST_F(ScratchKey, DeleteTreeRemovesSubkeysAndValues) {
  Key child;
  ASSERT_EQ(RegCreateKeyExW(key_.get(), L"Child\\Grandchild", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                            child.out(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(child.get(), L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4), ERROR_SUCCESS);
  const std::wstring child_path = path_ + L"\\Child";
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, child_path.c_str()), ERROR_SUCCESS);

  Key gone;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, child_path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, gone.out()),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
