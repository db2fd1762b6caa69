#include <windows.h>

#include <dwmapi.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "desktop.h"
#include "notice/texts.h"
#include "update_windows.h"

namespace vx::service::win32 {
namespace {

using vx::win32::widen;
using UniqueFont = vx::win32::Unique<HFONT, &DeleteObject>;
using UniqueIcon = vx::win32::Unique<HICON, &DestroyIcon>;

constexpr wchar_t dialog_class[] = L"OUpdateDialog";
constexpr DWORD dialog_style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int hold_id = 100, link_id = 101;
constexpr COLORREF white = RGB(255, 255, 255), accent = RGB(61, 132, 221), link_colour = RGB(0, 102, 204);
// DWMWA_USE_IMMERSIVE_DARK_MODE: the MinGW headers do not name it yet.
constexpr DWORD dark_title_bar = 20;

std::atomic<HWND> open_dialog{nullptr};

// What sits between the separator and the buttons.
enum class Info { none, hold, link, text };

struct Layout {  // client coordinates at the window's DPI
  RECT top_line, icon, message, separator, info, yes, no;
  SIZE client;
};

struct Dialog {
  explicit Dialog(const UpdateDialogRequest& r) : request(r) {}
  const UpdateDialogRequest& request;
  Info info_kind = Info::none;
  std::wstring message, info;
  HWND owner = nullptr, window = nullptr;
  HWND yes = nullptr, no = nullptr, hold = nullptr, link = nullptr;
  HWND focus = nullptr;  // given back when the dialog is activated again
  UINT dpi = 96;
  UniqueFont font, link_font;
  UniqueIcon warning, small_icon, big_icon;
  Layout layout{};
  bool active = false, done = false;
  UpdateDialogResult result;

  int px(int value) const { return MulDiv(value, static_cast<int>(dpi), 96); }
};

// Selects a GDI object into a DC for as long as it lives.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window's DC, given back when it goes.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { ReleaseDC(window_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

Info info_kind(const UpdateDialogRequest& request, const std::wstring& text) {
  if (text.empty()) return Info::none;
  if (request.style == net::NoticeStyle::hold) return Info::hold;
  if (request.style != net::NoticeStyle::note) return Info::none;
  return notice::is_web_address(request.info_url) ? Info::link : Info::text;
}

HWND usable_owner(HWND notify) {
  return notify && IsWindow(notify) && IsWindowVisible(notify) && !IsIconic(notify) ? notify : nullptr;
}

std::wstring dialog_title(HWND owner, const std::string& fallback) {
  std::wstring text(owner ? GetWindowTextLengthW(owner) + 1 : 0, L'\0');
  if (!text.empty()) text.resize(GetWindowTextW(owner, text.data(), static_cast<int>(text.size())));
  return text.empty() ? widen(fallback) : text;
}

// The window's own icon, else its class's; a copy, so the dialog does not
// depend on the other window keeping it.
HICON copy_icon(HWND from, WPARAM which, int class_index) {
  DWORD_PTR icon = 0;
  SendMessageTimeoutW(from, WM_GETICON, which, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 200, &icon);
  if (!icon) icon = GetClassLongPtrW(from, class_index);
  return icon ? CopyIcon(reinterpret_cast<HICON>(icon)) : nullptr;
}

void copy_icons(Dialog& d) {
  // The companion's notify window is hidden but still carries the program's icons.
  const HWND notify = d.request.notify;
  if (!notify || !IsWindow(notify)) return;
  d.small_icon.reset(copy_icon(notify, ICON_SMALL, GCLP_HICONSM));
  d.big_icon.reset(copy_icon(notify, ICON_BIG, GCLP_HICON));
  if (d.small_icon) SendMessageW(d.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(d.small_icon.get()));
  if (d.big_icon) SendMessageW(d.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(d.big_icon.get()));
}

HICON load_warning_icon(int size) {
  // Only the version 6 common controls have it, and a program without their
  // manifest gets version 5. The copy already loaded is the one the manifest
  // chose; failing that, only System32's is trusted.
  using Load = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto load = [] {
    HMODULE comctl32 = GetModuleHandleW(L"comctl32.dll");
    if (!comctl32) comctl32 = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return comctl32 ? reinterpret_cast<Load>(reinterpret_cast<void*>(GetProcAddress(comctl32, "LoadIconWithScaleDown")))
                    : nullptr;
  }();
  HICON icon = nullptr;
  if (load && SUCCEEDED(load(nullptr, IDI_WARNING, size, size, &icon))) return icon;
  return static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, size, size, 0));
}

bool make_fonts(Dialog& d) {
  LOGFONTW font{};
  if (!SystemParametersInfoForDpi(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0, d.dpi)) return false;
  d.font.reset(CreateFontIndirectW(&font));
  font.lfUnderline = TRUE;
  d.link_font.reset(CreateFontIndirectW(&font));
  return d.font && d.link_font;
}

SIZE measure(HWND window, HFONT font, const std::wstring& text, int width, UINT format) {
  RECT box{0, 0, width, 0};
  const WindowDc dc(window);
  const Selection selected(dc.get(), font);
  DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &box, format | DT_CALCRECT | DT_NOPREFIX);
  return {box.right, box.bottom};
}

// Returns the bottom of the info row.
int lay_out_info(const Dialog& d, Layout& l, int top, int width) {
  const int margin = d.px(16), gap = d.px(14);
  l.separator = {margin, top + gap, width - margin, top + gap + 2};  // the etched line's light half is white on white
  const int y = top + gap + 1 + gap, room = width - 2 * margin;
  if (d.info_kind == Info::hold) {
    l.info = {margin, y, margin + room, y + d.px(20)};
  } else {
    const HFONT font = d.info_kind == Info::link ? d.link_font.get() : d.font.get();
    const SIZE text = measure(d.window, font, d.info, room, DT_SINGLELINE);
    // Some fonts (NanumGothic) put the underline below the text's cell.
    l.info = {margin, y, margin + std::min<int>(text.cx, room), y + text.cy + d.px(4)};
  }
  return l.info.bottom;
}

Layout lay_out(const Dialog& d) {
  Layout l{};
  const int margin = d.px(16), icon = d.px(32), text_left = margin + icon + d.px(12), text_width = d.px(360);
  const int width = text_left + text_width + margin;
  l.top_line = {0, 0, width, d.px(2)};
  l.icon = {margin, margin, margin + icon, margin + icon};
  const SIZE text = measure(d.window, d.font.get(), d.message, text_width, DT_WORDBREAK);
  l.message = {text_left, margin, text_left + text_width, margin + text.cy};
  int y = margin + std::max<int>(icon, text.cy);
  if (d.info_kind != Info::none) y = lay_out_info(d, l, y, width);
  y += margin;
  const int button_width = d.px(84), button_height = d.px(26);
  l.no = {width - margin - button_width, y, width - margin, y + button_height};
  l.yes = {l.no.left - d.px(8) - button_width, y, l.no.left - d.px(8), y + button_height};
  l.client = {width, l.no.bottom + margin};
  return l;
}

HWND make_button(const Dialog& d, const std::wstring& text, DWORD style, int id, const RECT& at) {
  // BS_NOTIFY for BN_SETFOCUS: the default button follows the focus.
  const HWND button =
      CreateWindowExW(0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY | style, at.left,
                      at.top, at.right - at.left, at.bottom - at.top, d.window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (button) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(d.font.get()), FALSE);
  return button;
}

// In tab order: the info row, then the buttons.
bool make_controls(Dialog& d) {
  const Layout& l = d.layout;
  if (d.info_kind == Info::hold) d.hold = make_button(d, d.info, BS_AUTOCHECKBOX, hold_id, l.info);
  if (d.info_kind == Info::link) d.link = make_button(d, d.info, BS_OWNERDRAW, link_id, l.info);
  d.yes = make_button(d, widen(d.request.yes), BS_DEFPUSHBUTTON, IDYES, l.yes);
  d.no = make_button(d, widen(d.request.no), BS_PUSHBUTTON, IDNO, l.no);
  d.focus = d.yes;
  return d.yes && d.no && (d.hold || d.info_kind != Info::hold) && (d.link || d.info_kind != Info::link);
}

RECT centred_in_work_area(const Dialog& d, SIZE size) {
  RECT around{};
  if (d.owner) {
    GetWindowRect(d.owner, &around);
  } else {
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
    around = primary.rcWork;
  }
  const int left = (around.left + around.right - size.cx) / 2, top = (around.top + around.bottom - size.cy) / 2;
  RECT at{left, top, left + size.cx, top + size.cy};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromRect(&at, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  OffsetRect(&at, std::min<LONG>(0, work.right - at.right), std::min<LONG>(0, work.bottom - at.bottom));
  OffsetRect(&at, std::max<LONG>(0, work.left - at.left), std::max<LONG>(0, work.top - at.top));
  return at;
}

void size_and_place(const Dialog& d) {
  RECT frame{0, 0, d.layout.client.cx, d.layout.client.cy};
  AdjustWindowRectExForDpi(&frame, GetWindowLongW(d.window, GWL_STYLE), FALSE, GetWindowLongW(d.window, GWL_EXSTYLE),
                           d.dpi);
  const RECT at = centred_in_work_area(d, {frame.right - frame.left, frame.bottom - frame.top});
  SetWindowPos(d.window, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool build(Dialog& d) {
  d.dpi = GetDpiForWindow(d.window) ? GetDpiForWindow(d.window) : 96;
  if (!make_fonts(d)) return false;
  d.warning.reset(load_warning_icon(d.px(32)));
  d.layout = lay_out(d);
  if (!make_controls(d)) return false;
  copy_icons(d);
  const BOOL dark = TRUE;
  DwmSetWindowAttribute(d.window, dark_title_bar, &dark, sizeof dark);
  size_and_place(d);
  return true;
}

void paint(const Dialog& d) {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(d.window, &ps);
  const Layout& l = d.layout;
  SetDCBrushColor(dc, d.active ? accent : GetSysColor(COLOR_GRAYTEXT));
  FillRect(dc, &l.top_line, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  if (d.warning)
    DrawIconEx(dc, l.icon.left, l.icon.top, d.warning.get(), l.icon.right - l.icon.left, l.icon.bottom - l.icon.top, 0,
               nullptr, DI_NORMAL);
  const Selection selected(dc, d.font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  RECT box = l.message;
  DrawTextW(dc, d.message.c_str(), static_cast<int>(d.message.size()), &box, DT_WORDBREAK | DT_NOPREFIX);
  if (d.info_kind != Info::none) {
    RECT line = l.separator;
    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
  }
  if (d.info_kind == Info::text) {
    box = l.info;
    DrawTextW(dc, d.info.c_str(), static_cast<int>(d.info.size()), &box, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  EndPaint(d.window, &ps);
}

void draw_link(const Dialog& d, const DRAWITEMSTRUCT& item) {
  FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const Selection selected(item.hDC, d.link_font.get());
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, link_colour);
  RECT box = item.rcItem;
  DrawTextW(item.hDC, d.info.c_str(), static_cast<int>(d.info.size()), &box,
            DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(item.hDC, &item.rcItem);
}

// The default button's frame shows which button Enter presses.
void follow_focus(const Dialog& d) {
  const bool on_no = GetFocus() == d.no;
  SendMessageW(d.yes, BM_SETSTYLE, BS_NOTIFY | (on_no ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON), TRUE);
  SendMessageW(d.no, BM_SETSTYLE, BS_NOTIFY | (on_no ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), TRUE);
}

// GetMessage handles sent messages without returning: an answer that came in
// one (BM_CLICK from another thread) must wake the loop to be seen.
void end_loop(Dialog& d) {
  d.done = true;
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

// Enter presses the focused No or follows the focused link; anywhere else it means Yes.
int enter_target(const Dialog& d) {
  const HWND focus = GetFocus();
  if (focus && focus == d.no) return IDNO;
  if (focus && focus == d.link) return link_id;
  return IDYES;
}

void finish(Dialog& d, bool accepted) {
  if (d.done) return;
  d.result.accepted = accepted;
  d.result.hold_ticked = d.hold && SendMessageW(d.hold, BM_GETCHECK, 0, 0) == BST_CHECKED;
  end_loop(d);
}

void on_command(Dialog& d, int id, int code) {
  if (code == BN_SETFOCUS) follow_focus(d);
  if (code != BN_CLICKED) return;
  if (id == IDYES || id == IDOK) finish(d, true);
  if (id == IDNO || id == IDCANCEL) finish(d, false);
  if (id == link_id && notice::is_web_address(d.request.info_url)) (void)open_as_desktop_user(d.request.info_url);
}

void on_activate(Dialog& d, bool active) {
  d.active = active;
  const HWND focus = GetFocus();
  if (!active && focus && IsChild(d.window, focus)) d.focus = focus;
  if (active) SetFocus(d.focus);
  InvalidateRect(d.window, &d.layout.top_line, FALSE);
}

LRESULT handle(Dialog& d, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return build(d) ? 0 : -1;
    case WM_PAINT:
      paint(d);
      return 0;
    case WM_ACTIVATE:
      on_activate(d, LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wparam), white);
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_DRAWITEM:
      if (!d.link || reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)->hwndItem != d.link) break;
      draw_link(d, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_SETCURSOR:
      if (!d.link || reinterpret_cast<HWND>(wparam) != d.link) break;
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case DM_GETDEFID:  // IsDialogMessage asks which button Enter presses
      return MAKELRESULT(enter_target(d), DC_HASDEFID);
    case WM_COMMAND:
      on_command(d, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      finish(d, false);
      return 0;
    case WM_DESTROY:
      end_loop(d);  // destroyed with its owner
      break;
  }
  return DefWindowProcW(d.window, message, wparam, lparam);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* d = static_cast<Dialog*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    d->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d));
  }
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  auto* d = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return d ? handle(*d, message, wparam, lparam) : DefWindowProcW(window, message, wparam, lparam);
}

bool register_class() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = dialog_class;
    return RegisterClassExW(&wc);
  }();
  return atom != 0;
}

HWND create(Dialog& d) {
  const DWORD ex_style = WS_EX_DLGMODALFRAME | (d.request.keep_on_top ? WS_EX_TOPMOST : 0);
  // Created over its owner, so that it gets that monitor's DPI.
  RECT owner{};
  if (d.owner) GetWindowRect(d.owner, &owner);
  const std::wstring title = dialog_title(d.owner, d.request.title);
  return CreateWindowExW(ex_style, dialog_class, title.c_str(), dialog_style, (owner.left + owner.right) / 2,
                         (owner.top + owner.bottom) / 2, 0, 0, d.owner, nullptr, GetModuleHandleW(nullptr), &d);
}

void run_modal(Dialog& d) {
  MSG msg{};
  while (!d.done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
      return;
    }
    if (IsDialogMessageW(d.window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

UpdateDialogResult show_update_dialog(const UpdateDialogRequest& request) {
  if (!register_class()) return {};
  Dialog d(request);
  d.owner = usable_owner(request.notify);
  d.message = widen(request.message);
  d.info = widen(notice::plain_text(request.info_text));
  d.info_kind = info_kind(request, d.info);
  if (!create(d)) return {};
  open_dialog = d.window;
  const bool disabled_owner = d.owner && !EnableWindow(d.owner, FALSE);
  ShowWindow(d.window, SW_SHOW);
  SetForegroundWindow(d.window);
  run_modal(d);
  const bool was_active = GetActiveWindow() == d.window;
  // The owner is enabled before the dialog goes, so that Windows gives it the activation.
  if (disabled_owner) EnableWindow(d.owner, TRUE);
  if (IsWindow(d.window)) DestroyWindow(d.window);
  if (was_active && disabled_owner) SetActiveWindow(d.owner);
  open_dialog = nullptr;
  return d.result;
}

HWND current_update_dialog() { return open_dialog.load(); }

}  // namespace vx::service::win32
