#include <windows.h>

#include <dwmapi.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "common/win32/text.h"
#include "notice/texts.h"
#include "notice/win32/notice.h"
#include "winutil/win32/shell.h"

namespace vx::notice::win32 {
namespace {

constexpr wchar_t bar_class[] = L"OrvanUpdateBar";
constexpr UINT close_message = WM_APP + 1;

std::atomic<HWND> open_bar{nullptr};

// Windows 11's rounded corners (DWMWA_WINDOW_CORNER_PREFERENCE, DWMWCP_ROUND);
// older systems ignore the request. The MinGW headers do not name them yet.
constexpr DWORD corner_preference = 33, corner_round = 2;

// SetThreadDescription is Windows 10 1607 and later, and absent from the
// MinGW import libraries: looked up where it is.
void name_this_thread(const wchar_t* name) {
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto describe = reinterpret_cast<Describe>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (describe) describe(GetCurrentThread(), name);
}

struct Bar {
  HWND host = nullptr;
  HWND window = nullptr;
  std::wstring text;
  std::string url;
  UINT dpi = 96;
  HFONT font = nullptr;
  HBRUSH background = nullptr, frame = nullptr;
  HWINEVENTHOOK moved = nullptr, shown = nullptr;
};

// Event hooks carry no data of their own; they run on the bar's thread.
thread_local Bar* this_thread_bar = nullptr;

int scaled(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

// Just below the host's visible frame, or above it when below would leave the
// work area; hidden with the host, gone with it.
void place(Bar& bar) {
  if (!IsWindow(bar.host)) {
    DestroyWindow(bar.window);
    return;
  }
  if (!IsWindowVisible(bar.host) || IsIconic(bar.host)) {
    ShowWindow(bar.window, SW_HIDE);
    return;
  }
  RECT host{};
  if (FAILED(DwmGetWindowAttribute(bar.host, DWMWA_EXTENDED_FRAME_BOUNDS, &host, sizeof host)))
    GetWindowRect(bar.host, &host);
  const int gap = scaled(6, bar.dpi), height = scaled(28, bar.dpi);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(bar.host, MONITOR_DEFAULTTONEAREST), &monitor);
  int top = host.bottom + gap;
  if (top + height > monitor.rcWork.bottom) top = host.top - height - gap;
  RECT now{};
  GetWindowRect(bar.window, &now);
  if (IsWindowVisible(bar.window) && now.left == host.left && now.top == top && now.right == host.right &&
      now.bottom == top + height)
    return;  // already there
  SetWindowPos(bar.window, HWND_TOP, host.left, top, host.right - host.left, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CALLBACK on_host_event(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
  if (this_thread_bar && window == this_thread_bar->host && object == OBJID_WINDOW) place(*this_thread_bar);
}

void paint(Bar& bar) {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(bar.window, &ps);
  RECT area;
  GetClientRect(bar.window, &area);
  FillRect(dc, &area, bar.background);
  FrameRect(dc, &area, bar.frame);
  const HGDIOBJ old = SelectObject(dc, bar.font);
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, bar.text.c_str(), static_cast<int>(bar.text.size()), &area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  EndPaint(bar.window, &ps);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Bar* bar = reinterpret_cast<Bar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
      break;
    case WM_PAINT:
      if (bar) {
        paint(*bar);
        return 0;
      }
      break;
    case WM_TIMER:
      if (bar) place(*bar);
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_LBUTTONUP:
      if (bar) {
        const std::string url = bar->url;
        DestroyWindow(window);
        (void)winutil::win32::open_url(url);
        return 0;
      }
      break;
    case close_message:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      if (bar) {
        if (bar->moved) UnhookWinEvent(bar->moved);
        if (bar->shown) UnhookWinEvent(bar->shown);
        DeleteObject(bar->font);
        DeleteObject(bar->background);
        DeleteObject(bar->frame);
        HWND expected = window;
        open_bar.compare_exchange_strong(expected, nullptr);
      }
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void run_bar(Bar bar) {
  name_this_thread(L"orvan-update-bar");
  static const ATOM registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = bar_class;
    return RegisterClassExW(&wc);
  }();
  if (!registered) return;
  bar.dpi = std::max<UINT>(GetDpiForWindow(bar.host), 96);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, bar.dpi);
  bar.font = CreateFontIndirectW(&metrics.lfMessageFont);
  bar.background = CreateSolidBrush(RGB(255, 255, 255));
  bar.frame = CreateSolidBrush(RGB(204, 204, 204));
  bar.window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, bar_class, bar.text.c_str(), WS_POPUP, 0, 0, 100,
                               scaled(28, bar.dpi), bar.host, nullptr, GetModuleHandleW(nullptr), &bar);
  if (!bar.window) {
    DeleteObject(bar.font);
    DeleteObject(bar.background);
    DeleteObject(bar.frame);
    return;
  }
  open_bar.store(bar.window);
  const DWORD round = corner_round;
  DwmSetWindowAttribute(bar.window, corner_preference, &round, sizeof round);
  this_thread_bar = &bar;
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(bar.host, &process);
  bar.moved = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr, on_host_event, process,
                              thread, WINEVENT_OUTOFCONTEXT);
  bar.shown = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE, nullptr, on_host_event, process, thread,
                              WINEVENT_OUTOFCONTEXT);
  // Where the system sends no events for the host (Wine sends none for
  // minimising), a quiet look every quarter second keeps the bar with it.
  SetTimer(bar.window, 1, 250, nullptr);
  place(bar);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  this_thread_bar = nullptr;
}

}  // namespace

Result<> show_update_bar(const BarRequest& request) {
  if (request.url.empty()) return fail("empty_url", "알림 바에 URL 이 없습니다.");
  if (!request.host || !IsWindow(request.host)) return fail("no_host", "알림 바는 호스트 창 핸들을 요구합니다.");
  // Only a web page is ever opened from a server's notice.
  if (!is_web_address(request.url)) return fail("empty_url", "알림 바에 URL 이 없습니다.");
  if (const HWND old = open_bar.load()) PostMessageW(old, close_message, 0, 0);
  Bar bar;
  bar.host = request.host;
  bar.text = vx::win32::widen(plain_text(request.text));
  bar.url = request.url;
  try {
    std::thread(run_bar, std::move(bar)).detach();
  } catch (const std::system_error& error) {
    return fail("spawn_failed", std::string("바 스레드를 만들지 못했습니다: ") + error.what());
  }
  return {};
}

HWND current_bar() { return open_bar.load(); }

}  // namespace vx::notice::win32
