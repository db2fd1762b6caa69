// Signer names from a program signed at build time with a throwaway
// certificate (osslsigncode), a signed PKCS #7 file standing in for a catalog,
// and files without a signature.
#include "winutil/win32/sign.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "common/win32/text.h"
#include "test_files.h"

namespace {

using vx::winutil::testing::beside_test;
using vx::winutil::win32::catalog_file;
using vx::winutil::win32::embedded_signer;

constexpr DWORD program_flags = CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED;
constexpr DWORD catalog_flags = CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED;

std::string fixture(const wchar_t* name) { return vx::win32::narrow(beside_test(name)); }

TEST(EmbeddedSigner, NamesWhoSignedTheFileInTheFormAsked) {
#ifndef VX_TEST_SIGNER
  GTEST_SKIP() << "built without openssl and osslsigncode";
#else
  EXPECT_EQ(embedded_signer(fixture(L"winutil_fixture_signed.exe"), program_flags), VX_TEST_SIGNER);
  EXPECT_EQ(embedded_signer(fixture(L"winutil_fixture.p7"), catalog_flags), VX_TEST_SIGNER);
  EXPECT_FALSE(embedded_signer(fixture(L"winutil_fixture_signed.exe"), catalog_flags));
#endif
}

TEST(EmbeddedSigner, UnsignedOrMissingFilesHaveNone) {
  EXPECT_FALSE(embedded_signer(fixture(L"winutil_fixture.exe"), program_flags | catalog_flags));
  EXPECT_FALSE(embedded_signer(fixture(L"winutil_fixture.missing.exe"), program_flags));
  EXPECT_FALSE(embedded_signer("", program_flags));
}

TEST(CatalogFile, SystemProgramsAreSignedThroughTheirCatalog) {
  const auto open = [](const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  const HANDLE fixture_file = open(beside_test(L"winutil_fixture.exe"));
  ASSERT_NE(fixture_file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(catalog_file(fixture_file, "SHA256")) << "no catalog lists our fixture";
  EXPECT_FALSE(catalog_file(fixture_file, std::nullopt));
  CloseHandle(fixture_file);
  EXPECT_FALSE(catalog_file(INVALID_HANDLE_VALUE, "SHA256"));
  if (vx::winutil::testing::running_on_wine())
    GTEST_SKIP() << "Wine has no catalogs and no CryptCATAdminCalcHashFromFileHandle2";

  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const HANDLE notepad = open(std::wstring(system) + L"\\notepad.exe");
  ASSERT_NE(notepad, INVALID_HANDLE_VALUE);
  std::optional<std::string> catalog = catalog_file(notepad, "SHA256");
  if (!catalog) catalog = catalog_file(notepad, std::nullopt);
  CloseHandle(notepad);
  ASSERT_TRUE(catalog);
  EXPECT_NE(embedded_signer(*catalog, catalog_flags).value_or("").find("Microsoft"), std::string::npos) << *catalog;
}

}  // namespace
