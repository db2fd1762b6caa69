// Installed families as the toolkit resolves them: a CSS family list to a
// primary face, a character a face lacks to a fallback face. Faces are made once
// and kept, so a face index stays valid for the catalog's life.
#pragma once

#include <windows.h>

#include <dwrite_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ostrel::text::win32::detail {

using Microsoft::WRL::ComPtr;

inline constexpr std::uint32_t none = 0xFFFFFFFF;

enum class Generic : std::uint8_t { ui, serif, mono };

struct Face {
  std::uint32_t family;
  std::uint16_t weight;
  bool italic;
  ComPtr<IDWriteFontFace> face;
  DWRITE_FONT_METRICS metrics;
  std::uint16_t space_glyph;

  bool has(char32_t cp) const noexcept;
};

class FontCatalog {
 public:
  // Null, with the reason on standard error, when DirectWrite cannot be loaded
  // or no installed family gives a usable face.
  static std::unique_ptr<FontCatalog> create();

  IDWriteFactory* factory() const noexcept { return factory_.Get(); }
  const wchar_t* locale() const noexcept { return locale_.c_str(); }

  // The face a CSS family list starts with; always a valid index.
  std::uint32_t primary(std::span<const std::string> families, std::uint16_t weight, bool italic);
  // A face that has `cp`, in the weight and style of `base`; `none` when no
  // installed family has it.
  std::uint32_t fallback(char32_t cp, std::uint32_t base);
  const Face& face(std::uint32_t index) const noexcept { return faces_[index]; }
  std::string family_name(std::uint32_t family);
  // Bytes of the records, estimated.
  std::size_t memory_usage() const;

 private:
  struct Family {
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteFont> regular;  // coverage checks
    std::wstring name;
    bool loaded = false;
    bool usable = false;
  };
  struct Block {
    std::uint32_t family = none;
    std::uint32_t misses = 0;
  };

  FontCatalog() = default;
  bool load(std::uint32_t family);
  std::uint32_t find(std::string_view name);
  std::uint32_t find_wide(const wchar_t* name);
  std::uint32_t first_installed(std::span<const char* const> names);
  std::uint32_t generic(Generic kind);
  std::uint32_t resolve(std::span<const std::string> families);
  std::uint32_t face_for(std::uint32_t family, std::uint16_t weight, bool italic);
  bool covers(std::uint32_t family, char32_t cp);
  std::uint32_t search(char32_t cp, std::uint32_t base, bool scan);
  std::uint32_t system_fallback(char32_t cp, std::uint32_t base);

  ComPtr<IDWriteFactory> factory_;
  ComPtr<IDWriteFontFallback> system_fallback_;  // absent before Windows 8.1
  ComPtr<IDWriteFontCollection> collection_;
  std::wstring locale_;
  std::vector<Family> families_;
  std::vector<Face> faces_;
  std::unordered_map<std::uint64_t, std::uint32_t> face_index_;  // by family, weight and style
  std::unordered_map<std::string, std::uint32_t> family_by_name_;
  std::uint32_t generic_[3] = {none, none, none};  // families by Generic; the UI one is set by create()
  std::uint32_t ui_face_ = none;

  std::unordered_map<std::string, std::uint32_t> primary_by_list_;
  std::vector<std::string> last_list_;
  std::uint16_t last_weight_ = 0;
  bool last_italic_ = false;
  std::uint32_t last_primary_ = none;

  // Fallback results, by 128-code-point block and by code point.
  std::unordered_map<std::uint32_t, Block> blocks_;
  std::unordered_map<char32_t, std::uint32_t> fallback_family_;
};

}  // namespace ostrel::text::win32::detail
