#include "winutil/win32/sign.h"

#include <wincrypt.h>

// mscat.h uses wincrypt.h's types without including it.
#include <mscat.h>

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx::winutil::win32 {
namespace {

using vx::win32::Unique;

using Store = Unique<HCERTSTORE, [](HCERTSTORE h) { CertCloseStore(h, 0); }>;
using Message = Unique<HCRYPTMSG, [](HCRYPTMSG h) { CryptMsgClose(h); }>;
using Certificate = Unique<PCCERT_CONTEXT, [](PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }>;
using CatalogAdmin = Unique<HCATADMIN, [](HCATADMIN h) { CryptCATAdminReleaseContext(h, 0); }>;

// Bytes for a structure that points into itself (CMSG_SIGNER_INFO): allocated
// with the alignment of any object, which a byte vector does not promise.
struct AlignedBuffer {
  std::unique_ptr<std::max_align_t[]> storage;
  bool allocate(DWORD size) {
    storage.reset(new (std::nothrow) std::max_align_t[size / sizeof(std::max_align_t) + 1]);
    return storage != nullptr;
  }
  void* data() const { return storage.get(); }
};

}  // namespace

std::optional<std::string> embedded_signer(std::string_view path, DWORD content_flags) {
  const std::wstring wide = vx::win32::widen(path);
  if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return std::nullopt;
  Store store;
  Message message;
  DWORD encoding = 0, content_type = 0, format_type = 0;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, wide.c_str(), content_flags, CERT_QUERY_FORMAT_FLAG_BINARY, 0,
                        &encoding, &content_type, &format_type, store.out(), message.out(), nullptr) ||
      !store || !message)
    return std::nullopt;

  DWORD size = 0;
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size < sizeof(CMSG_SIGNER_INFO))
    return std::nullopt;
  AlignedBuffer buffer;
  if (!buffer.allocate(size) || !CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size))
    return std::nullopt;
  const auto* signer = static_cast<const CMSG_SIGNER_INFO*>(buffer.data());

  CERT_INFO wanted{};
  wanted.Issuer = signer->Issuer;
  wanted.SerialNumber = signer->SerialNumber;
  const Certificate certificate(CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                           CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
  if (!certificate) return std::nullopt;

  // The count includes the terminating NUL; 1 means an empty name.
  const DWORD units = CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (units <= 1) return std::nullopt;
  std::wstring name(units, L'\0');
  const DWORD got =
      CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), units);
  if (got <= 1) return std::nullopt;
  name.resize(wcsnlen(name.c_str(), got < units ? got : units));
  return vx::win32::narrow(name);
}

namespace {

// Both are missing from older systems and from Wine, and from MinGW's import
// library: looked up at run time so the program still starts there.
using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*, const CERT_STRONG_SIGN_PARA*, DWORD);
using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

template <class Function>
Function wintrust_function(const char* name) {
  // wintrust.dll is loaded already: the program imports its other catalog functions.
  const HMODULE module = GetModuleHandleW(L"wintrust.dll");
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct CatalogEntry {
  HCATADMIN admin;
  HCATINFO handle;
  CatalogEntry(HCATADMIN a, HCATINFO h) : admin(a), handle(h) {}
  CatalogEntry(const CatalogEntry&) = delete;
  CatalogEntry& operator=(const CatalogEntry&) = delete;
  ~CatalogEntry() {
    if (handle) CryptCATAdminReleaseCatalogContext(admin, handle, 0);
  }
};

}  // namespace

std::optional<std::string> catalog_file(HANDLE file, std::optional<std::string_view> algorithm) {
  if (!file || file == INVALID_HANDLE_VALUE) return std::nullopt;
  static const auto acquire = wintrust_function<AcquireContext2>("CryptCATAdminAcquireContext2");
  static const auto calc_hash = wintrust_function<CalcHash2>("CryptCATAdminCalcHashFromFileHandle2");
  if (!acquire || !calc_hash) return std::nullopt;

  const std::wstring algorithm_name = algorithm ? vx::win32::widen(*algorithm) : std::wstring();
  CatalogAdmin admin;
  if (!acquire(admin.out(), nullptr, algorithm ? algorithm_name.c_str() : nullptr, nullptr, 0) || !admin)
    return std::nullopt;

  // Asking for the size succeeds on some systems and fails with
  // ERROR_INSUFFICIENT_BUFFER on others; both report it.
  DWORD size = 0;
  SetLastError(ERROR_SUCCESS);
  if (!calc_hash(admin.get(), file, &size, nullptr, 0) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return std::nullopt;
  if (size == 0 || size > 1024) return std::nullopt;
  std::vector<BYTE> hash(size);
  // Some implementations hash from the current file position, not the start.
  const LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
  if (!calc_hash(admin.get(), file, &size, hash.data(), 0) || size == 0 || size > hash.size()) return std::nullopt;

  const CatalogEntry entry(admin.get(), CryptCATAdminEnumCatalogFromHash(admin.get(), hash.data(), size, 0, nullptr));
  if (!entry.handle) return std::nullopt;
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (!CryptCATCatalogInfoFromContext(entry.handle, &info, 0)) return std::nullopt;
  const std::size_t length = wcsnlen(info.wszCatalogFile, MAX_PATH);
  if (length == 0) return std::nullopt;
  return vx::win32::narrow(std::wstring_view(info.wszCatalogFile, length));
}

}  // namespace vx::winutil::win32
