#include "winutil/win32/icon.h"

#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "winutil/icon.h"
#include "winutil/png.h"

namespace vx::winutil::win32 {
namespace {

using vx::win32::Unique;

using Bitmap = Unique<HBITMAP, [](HBITMAP h) { DeleteObject(h); }>;
using Icon = Unique<HICON, [](HICON h) { DestroyIcon(h); }>;

struct ScreenDc {
  HDC handle = GetDC(nullptr);
  ScreenDc() = default;
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (handle) ReleaseDC(nullptr, handle);
  }
};

constexpr LONG max_icon_side = 256;

// The bitmap as top-down 32-bit rows (B, G, R, A per pixel).
bool read_rows(HDC dc, HBITMAP bitmap, LONG width, LONG height, std::vector<std::uint8_t>& out) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  out.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  return GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), out.data(), &info, DIB_RGB_COLORS) == height;
}

std::optional<std::string> extract_png(const IconKey& key) {
  if (key.path.empty()) return std::nullopt;
  const std::wstring path = vx::win32::widen(key.path);
  // ExtractAssociatedIconW writes the path of the file it took the icon from
  // back into this buffer, which must therefore hold MAX_PATH units.
  wchar_t buffer[MAX_PATH] = {};
  if (path.size() >= MAX_PATH || path.find(L'\0') != std::wstring::npos) return std::nullopt;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
  // The shell takes the index as a WORD; a negative index wraps as it would in C.
  WORD index = static_cast<WORD>(key.index);
  const Icon icon(ExtractAssociatedIconW(nullptr, buffer, &index));
  if (!icon) return std::nullopt;
  return icon_to_png(icon.get());
}

}  // namespace

std::optional<std::string> icon_to_png(HICON icon) {
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return std::nullopt;
  const Bitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP size{};
  if (!colour || GetObjectW(colour.get(), sizeof size, &size) != sizeof size) return std::nullopt;
  const LONG width = size.bmWidth, height = size.bmHeight < 0 ? -size.bmHeight : size.bmHeight;
  if (width < 1 || width > max_icon_side || height < 1 || height > max_icon_side) return std::nullopt;

  const ScreenDc dc;
  if (!dc.handle) return std::nullopt;
  std::vector<std::uint8_t> pixels;
  if (!read_rows(dc.handle, colour.get(), width, height, pixels)) return std::nullopt;
  bool any_alpha = false;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    std::swap(pixels[i], pixels[i + 2]);
    any_alpha = any_alpha || pixels[i + 3] != 0;
  }
  if (!any_alpha) {
    // An icon without an alpha channel: its mask says which pixels show.
    std::vector<std::uint8_t> bits;
    if (!mask || !read_rows(dc.handle, mask.get(), width, height, bits)) return std::nullopt;
    for (std::size_t i = 0; i < pixels.size(); i += 4) pixels[i + 3] = bits[i] == 0 ? 255 : 0;
  }
  std::string png = encode_png_rgba(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), pixels);
  if (png.empty()) return std::nullopt;
  return png;
}

std::optional<std::string> render_icon_image(std::string_view key) {
  const std::optional<IconKey> parsed = parse_icon_key(key);
  if (!parsed) return std::nullopt;
  if (std::optional<std::string> png = extract_png(*parsed)) return png;
  return std::string(fallback_icon_png(parsed->size_class));
}

std::vector<std::pair<std::string, std::string>> render_icon_images(const std::vector<std::string>& keys) {
  std::vector<std::pair<std::string, std::string>> rendered;
  if (keys.empty()) return rendered;
  const vx::win32::ComApartment com;
  for (const std::string& key : keys)
    if (std::optional<std::string> png = render_icon_image(key)) rendered.emplace_back(key, std::move(*png));
  return rendered;
}

}  // namespace vx::winutil::win32
