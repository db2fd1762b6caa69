#include "win32/clipboard.h"

#include <cstring>

#include "common/win32/text.h"

namespace ostrel::win32 {
namespace {

// Far more than a one-line box can use; a huge clipboard must not stall typing.
constexpr std::size_t max_units = 1 << 20;

// Another program may hold the clipboard for a moment: try a few times.
bool open_clipboard(HWND owner) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(10);
  }
  return false;
}

struct ClipboardCloser {
  ~ClipboardCloser() { CloseClipboard(); }
};

}  // namespace

std::optional<std::string> SystemClipboard::text() {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !open_clipboard(owner_)) return std::nullopt;
  ClipboardCloser closer;
  const HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return std::nullopt;
  const auto* units = static_cast<const wchar_t*>(GlobalLock(data));
  if (!units) return std::nullopt;
  // The block need not end in a NUL: never read past its size.
  const std::size_t limit = std::min(GlobalSize(data) / sizeof(wchar_t), max_units);
  std::size_t length = 0;
  while (length < limit && units[length]) ++length;
  std::string text = vx::win32::narrow(std::wstring_view(units, length));
  GlobalUnlock(data);
  return text;
}

bool SystemClipboard::set_text(std::string_view utf8) {
  const std::wstring units = vx::win32::widen(utf8);
  const std::size_t bytes = (units.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!block) return false;
  if (void* to = GlobalLock(block)) {
    std::memcpy(to, units.c_str(), bytes);
    GlobalUnlock(block);
  } else {
    GlobalFree(block);
    return false;
  }
  if (!open_clipboard(owner_)) {
    GlobalFree(block);
    return false;
  }
  ClipboardCloser closer;
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, block)) {
    GlobalFree(block);  // still ours when the clipboard did not take it
    return false;
  }
  return true;
}

}  // namespace ostrel::win32
