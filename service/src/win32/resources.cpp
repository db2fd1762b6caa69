#include "resources.h"

#include <windows.h>

#include <vector>

#include "common/win32/text.h"

namespace vx::service::win32 {
namespace {

constexpr USHORT xpress_huffman = 4;  // COMPRESSION_FORMAT_XPRESS_HUFF

// ntdll's decompressor, looked up: Wine does not export it.
std::optional<std::string> decompress(std::string_view packed, std::size_t size) {
  using WorkSpaceSize = LONG(NTAPI*)(USHORT, PULONG, PULONG);
  using Decompress = LONG(NTAPI*)(USHORT, PUCHAR, ULONG, PUCHAR, ULONG, PULONG, PVOID);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto work_space_size =
      reinterpret_cast<WorkSpaceSize>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetCompressionWorkSpaceSize")));
  const auto unpack =
      reinterpret_cast<Decompress>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDecompressBufferEx")));
  if (!work_space_size || !unpack || size > 64 * 1024 * 1024 || packed.size() > 0xFFFFFFFFu) return std::nullopt;
  ULONG buffer_size = 0, fragment_size = 0;
  if (work_space_size(xpress_huffman, &buffer_size, &fragment_size) < 0) return std::nullopt;
  std::vector<unsigned char> work(buffer_size);
  std::string text(size, '\0');
  ULONG written = 0;
  const LONG status = unpack(xpress_huffman, reinterpret_cast<PUCHAR>(text.data()), static_cast<ULONG>(size),
                             reinterpret_cast<PUCHAR>(const_cast<char*>(packed.data())),
                             static_cast<ULONG>(packed.size()), &written, work.data());
  if (status < 0 || written != size) return std::nullopt;
  return text;
}

}  // namespace

TranslationTable load_translation_table() {
  const HMODULE self = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(self, L"TRANSLATE", MAKEINTRESOURCEW(10));  // RT_RCDATA
  const HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return TranslationTable::from_resource(std::string_view(static_cast<const char*>(bytes), SizeofResource(self, found)),
                                         decompress);
}

std::string file_version(const std::string& path) {
  const std::wstring wide = vx::win32::widen(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  void* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
    return {};
  const auto* version = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  return std::to_string(HIWORD(version->dwFileVersionMS)) + "." + std::to_string(LOWORD(version->dwFileVersionMS)) +
         "." + std::to_string(HIWORD(version->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(version->dwFileVersionLS));
}

std::string own_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) return vx::win32::narrow(std::wstring_view(path.data(), n));
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace vx::service::win32
