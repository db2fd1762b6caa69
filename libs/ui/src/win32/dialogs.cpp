#include "ui/win32/dialogs.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx::ui::win32 {
std::optional<UINT> popup_menu(HWND window, std::span<const MenuItem> items) {
  const vx::win32::UniqueMenu menu{CreatePopupMenu()};
  if (!menu) return std::nullopt;
  for (const auto& [text, id] : items) {
    if (id == 0) {
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      const std::wstring wide = vx::win32::widen(text);
      AppendMenuW(menu.get(), MF_STRING, id, wide.c_str());
    }
  }
  POINT at{};
  GetCursorPos(&at);
  // Without being in front, a click elsewhere would not dismiss the menu.
  SetForegroundWindow(window);
  const BOOL chosen = TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr);
  if (chosen == 0) return std::nullopt;
  return static_cast<UINT>(chosen);
}

bool confirm(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  const std::wstring wide_text = vx::win32::widen(text), wide_caption = vx::win32::widen(caption);
  return MessageBoxW(owner, wide_text.c_str(), wide_caption.c_str(), flags | MB_SETFOREGROUND | MB_TOPMOST) == IDYES;
}

std::optional<unsigned> WindowDialogs::popup_menu(std::span<const MenuLine> lines) {
  std::vector<MenuItem> items(lines.begin(), lines.end());
  return win32::popup_menu(owner_, items);
}

namespace {

UINT icon_flags(BoxIcon icon) {
  if (icon == BoxIcon::warning) return MB_ICONWARNING;
  if (icon == BoxIcon::information) return MB_ICONINFORMATION;
  return 0;
}

}  // namespace

bool WindowDialogs::ask_yes_no(std::string_view text, BoxIcon icon, bool no_is_default) {
  return confirm(owner_, text, caption_, MB_YESNO | (no_is_default ? MB_DEFBUTTON2 : 0u) | icon_flags(icon));
}

void WindowDialogs::tell(std::string_view text, BoxIcon icon) {
  const std::wstring wide_text = vx::win32::widen(text), wide_caption = vx::win32::widen(caption_);
  MessageBoxW(owner_, wide_text.c_str(), wide_caption.c_str(), MB_OK | icon_flags(icon));
}

std::optional<std::string> WindowDialogs::choose_save_file(const SaveFileRequest& request) {
  const vx::win32::ComApartment com;
  Microsoft::WRL::ComPtr<IFileSaveDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
    return std::nullopt;
  FILEOPENDIALOGOPTIONS options = 0;
  if (SUCCEEDED(dialog->GetOptions(&options))) dialog->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM);
  dialog->SetTitle(vx::win32::widen(request.title).c_str());
  std::vector<std::wstring> texts;
  for (const auto& [label, pattern] : request.types) {
    texts.push_back(vx::win32::widen(label));
    texts.push_back(vx::win32::widen(pattern));
  }
  std::vector<COMDLG_FILTERSPEC> types;
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) types.push_back({texts[i].c_str(), texts[i + 1].c_str()});
  if (!types.empty()) {
    dialog->SetFileTypes(static_cast<UINT>(types.size()), types.data());
    dialog->SetFileTypeIndex(1);
  }
  if (!request.default_extension.empty())
    dialog->SetDefaultExtension(vx::win32::widen(request.default_extension).c_str());
  if (FAILED(dialog->Show(owner_))) return std::nullopt;  // cancelled, or the dialog failed
  Microsoft::WRL::ComPtr<IShellItem> item;
  PWSTR path = nullptr;
  if (FAILED(dialog->GetResult(&item)) || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
  std::string chosen = vx::win32::narrow(path);
  CoTaskMemFree(path);
  return chosen;
}

}  // namespace vx::ui::win32
