#include <windows.h>

#include <commctrl.h>
#include <dwmapi.h>

#include <memory>

#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "desktop.h"
#include "notice/texts.h"
#include "update_windows.h"

namespace vx::service::win32 {
namespace {

using UniqueFont = vx::win32::Unique<HFONT, &DeleteObject>;

constexpr wchar_t bar_class[] = L"OUpdateBar";
constexpr wchar_t font_property[] = L"OUpdateFont";
constexpr UINT_PTR hook_id = 1;

HWND open_bar = nullptr;

struct Bar {
  HWND host = nullptr;
  std::wstring text;
  std::string url;
  UINT dpi = 96;
  // A host that has not been seen on the screen (the companion's tray window
  // never is) leaves the bar in the corner of its monitor, where it can be seen.
  bool host_seen = false;
};

Bar* bar_of(HWND window) { return reinterpret_cast<Bar*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

int scaled(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

RECT host_frame(HWND host) {
  RECT frame{};
  if (FAILED(DwmGetWindowAttribute(host, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof frame)))
    GetWindowRect(host, &frame);
  return frame;
}

RECT below_host(const Bar& bar) {
  const RECT frame = host_frame(bar.host);
  const int top = frame.bottom + scaled(6, bar.dpi);
  return {frame.left, top, frame.right, top + scaled(28, bar.dpi)};
}

RECT in_corner(const Bar& bar) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(bar.host, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const int gap = scaled(6, bar.dpi);
  const int right = monitor.rcWork.right - gap, bottom = monitor.rcWork.bottom - gap;
  return {right - scaled(360, bar.dpi), bottom - scaled(28, bar.dpi), right, bottom};
}

void move_to(HWND window, const RECT& to, HWND z_order) {
  // One move of the host brings WM_MOVE, WM_SIZE and WM_WINDOWPOSCHANGED.
  RECT now{};
  GetWindowRect(window, &now);
  const bool topmost = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  if (IsWindowVisible(window) && EqualRect(&now, &to) && topmost == (z_order == HWND_TOPMOST)) return;
  SetWindowPos(window, z_order, to.left, to.top, to.right - to.left, to.bottom - to.top,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// `host_shown` is passed in because WM_SHOWWINDOW arrives before the host's
// visibility changes.
void place(HWND window, bool host_shown) {
  Bar* found = bar_of(window);
  if (!found) return;  // on its way out
  Bar& bar = *found;
  if (host_shown) bar.host_seen = true;
  if (host_shown && !IsIconic(bar.host))
    move_to(window, below_host(bar), HWND_NOTOPMOST);
  else if (!host_shown && !bar.host_seen)
    move_to(window, in_corner(bar),
            HWND_TOPMOST);  // with no visible owner and no taskbar button, a covered bar is lost
  else
    ShowWindow(window, SW_HIDE);
}

LRESULT CALLBACK follow_host(HWND host, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id, DWORD_PTR data) {
  const HWND window = reinterpret_cast<HWND>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(host, follow_host, id);
    DestroyWindow(window);
    return DefSubclassProc(host, message, wparam, lparam);
  }
  const LRESULT result = DefSubclassProc(host, message, wparam, lparam);
  switch (message) {
    case WM_MOVE:
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
      place(window, IsWindowVisible(host));
      break;
    case WM_SHOWWINDOW:
      place(window, wparam != FALSE);
      break;
  }
  return result;
}

HFONT make_font(HWND host) {
  LOGFONTW font{};
  if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0)) return nullptr;
  // The system gives the font at the system DPI; the host may be on a monitor of another.
  font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(GetDpiForWindow(host)), static_cast<int>(GetDpiForSystem()));
  return CreateFontIndirectW(&font);
}

void paint(HWND window, const Bar& bar) {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(window, &ps);
  RECT area;
  GetClientRect(window, &area);
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetDCBrushColor(dc, RGB(204, 204, 204));
  FrameRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const HGDIOBJ old = SelectObject(dc, GetPropW(window, font_property));
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  InflateRect(&area, -scaled(8, bar.dpi), 0);
  DrawTextW(dc, bar.text.c_str(), static_cast<int>(bar.text.size()), &area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  EndPaint(window, &ps);
}

// From here on the window owns the font: WM_NCDESTROY deletes it.
bool give_font(HWND window, HFONT font) {
  if (font && SetPropW(window, font_property, font)) return true;
  if (font) DeleteObject(font);
  return false;
}

void detach(HWND window) {
  const std::unique_ptr<Bar> bar(bar_of(window));
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  UniqueFont font(static_cast<HFONT>(RemovePropW(window, font_property)));
  if (bar && IsWindow(bar->host)) RemoveWindowSubclass(bar->host, follow_host, hook_id);
  if (open_bar == window) open_bar = nullptr;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const Bar* bar = bar_of(window);
  switch (message) {
    case WM_PAINT:
      if (!bar) break;
      paint(window, *bar);
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_LBUTTONUP: {
      if (!bar) break;
      const std::string url = bar->url;
      DestroyWindow(window);
      (void)open_as_desktop_user(url);
      return 0;
    }
    case WM_NCDESTROY:
      detach(window);
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool register_class() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = bar_class;
    return RegisterClassExW(&wc);
  }();
  return atom != 0;
}

}  // namespace

bool show_update_bar(HWND host, const std::string& title, const std::string& url) {
  // Subclassing works only on the window's own thread.
  if (!host || !IsWindow(host) || GetWindowThreadProcessId(host, nullptr) != GetCurrentThreadId()) return false;
  if (!notice::is_web_address(url) || !register_class()) return false;
  close_update_bar();
  auto bar = std::make_unique<Bar>(
      Bar{host, vx::win32::widen(notice::plain_text(title)), url, GetDpiForWindow(host) ? GetDpiForWindow(host) : 96});
  const HWND window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, bar_class, bar->text.c_str(), WS_POPUP, 0, 0,
                                      0, 0, host, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return false;
  // The window owns the Bar from here on and frees it on WM_NCDESTROY.
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bar.release()));
  if (!give_font(window, make_font(host)) ||
      !SetWindowSubclass(host, follow_host, hook_id, reinterpret_cast<DWORD_PTR>(window))) {
    DestroyWindow(window);
    return false;
  }
  open_bar = window;
  place(window, IsWindowVisible(host));
  return true;
}

void close_update_bar() {
  if (open_bar && IsWindow(open_bar)) DestroyWindow(open_bar);
  open_bar = nullptr;
}

HWND current_update_bar() { return open_bar; }

}  // namespace vx::service::win32
