// Authenticode signer names: from the file itself or from the system catalog
// that lists it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace vx::winutil::win32 {

// The simple display name of the first signer's certificate. `content_flags`
// is CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED for a program file and
// CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED for a catalog file. Absent when the
// file is not signed that way or cannot be read. The signature is not
// verified: this names who signed, not whether to trust it.
std::optional<std::string> embedded_signer(std::string_view path, DWORD content_flags);

// The path of the first system catalog whose entries include the file's hash,
// computed with the named algorithm ("SHA256"), or with the system's default
// (SHA-1) when none is given. Absent when no catalog lists the file or the
// system lacks the catalog functions (Wine exports no
// CryptCATAdminCalcHashFromFileHandle2).
std::optional<std::string> catalog_file(HANDLE file, std::optional<std::string_view> algorithm);

}  // namespace vx::winutil::win32
