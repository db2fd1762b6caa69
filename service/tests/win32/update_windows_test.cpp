// The companion's update notices on a real (virtual) screen: where the bar
// goes and what a click does, and how the dialog answers the keyboard, its
// owner and the work area.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/win32/text.h"
#include "update_windows.h"
#include "win32/screen.h"
#include "win32/wine_prefix.h"

namespace {

using namespace vx::service::win32;
using vx::win32::widen;

// A top-level window of the test thread, with icons of its class.
class Host {
 public:
  explicit Host(bool visible = true, RECT at = {100, 100, 500, 400}) {
    static const ATOM registered = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hIcon = wc.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
      wc.lpszClassName = L"OUpdateTestHost";
      return RegisterClassExW(&wc);
    }();
    window = CreateWindowExW(0, L"OUpdateTestHost", L"Vorlix 호스트", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                             at.left, at.top, at.right - at.left, at.bottom - at.top, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    (void)registered;
  }
  ~Host() { DestroyWindow(window); }
  HWND window = nullptr;
};

// Lets the test thread's windows handle input for up to `ms`, or until `done`.
bool pump_until(const std::function<bool()>& done, unsigned ms = 5000) {
  for (const ULONGLONG until = GetTickCount64() + ms; !done(); Sleep(20)) {
    if (GetTickCount64() > until) return false;
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
  }
  return true;
}

RECT rect_of(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

RECT work_area(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcWork;
}

int scaled(HWND window, int value) { return MulDiv(value, static_cast<int>(GetDpiForWindow(window)), 96); }

bool save_screenshot(HWND window, const wchar_t* name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);  // the X server shows what was drawn
  return vx::testing::save_artifact(vx::testing::capture(window), name);
}

// Where the bar should be under a shown host.
void expect_below(HWND bar, HWND host) {
  const RECT b = rect_of(bar), h = rect_of(host);
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(b.left, h.left);
  EXPECT_EQ(b.right, h.right);
  EXPECT_EQ(b.top, h.bottom + scaled(host, 6));
  EXPECT_EQ(b.bottom - b.top, scaled(host, 28));
}

TEST(CompanionUpdateBar, FollowsItsHostBelowAndGoesWithIt) {
  auto host = std::make_unique<Host>();
  ASSERT_TRUE(show_update_bar(host->window, "새 버전이 있습니다. 여기를 눌러 설치하세요.", "https://vorlix.test/bar"));
  const HWND bar = current_update_bar();
  ASSERT_NE(bar, nullptr);
  expect_below(bar, host->window);
  EXPECT_TRUE(save_screenshot(bar, L"companion-update-bar.png"));

  SetWindowPos(host->window, nullptr, 300, 150, 500, 200, SWP_NOZORDER);
  expect_below(bar, host->window);
  const RECT work = work_area(host->window);
  SetWindowPos(host->window, nullptr, 300, work.bottom - 100, 500, 100, SWP_NOZORDER);
  expect_below(bar, host->window);  // below even off the work area: never above

  ShowWindow(host->window, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(bar)) << "hidden with the host";
  ShowWindow(host->window, SW_SHOW);
  expect_below(bar, host->window);
  ShowWindow(host->window, SW_MINIMIZE);
  EXPECT_FALSE(IsWindowVisible(bar)) << "hidden while the host is minimised";
  ShowWindow(host->window, SW_RESTORE);
  expect_below(bar, host->window);

  host.reset();
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_EQ(current_update_bar(), nullptr);
}

TEST(CompanionUpdateBar, UnderAHostNeverShownSitsInTheCornerOfTheWorkArea) {
  Host tray(false);
  ASSERT_TRUE(show_update_bar(tray.window, "Update available", "https://vorlix.test/corner"));
  const HWND bar = current_update_bar();
  const RECT b = rect_of(bar), work = work_area(tray.window);
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(b.right, work.right - scaled(tray.window, 6));
  EXPECT_EQ(b.bottom, work.bottom - scaled(tray.window, 6));
  EXPECT_EQ(b.right - b.left, scaled(tray.window, 360));
  EXPECT_EQ(b.bottom - b.top, scaled(tray.window, 28));
  EXPECT_TRUE(GetWindowLongW(bar, GWL_EXSTYLE) & WS_EX_TOPMOST) << "above the programs the user is looking at";

  ShowWindow(tray.window, SW_SHOW);
  expect_below(bar, tray.window);
  ShowWindow(tray.window, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(bar)) << "a host once seen takes the bar with it";
  close_update_bar();
  EXPECT_FALSE(IsWindow(bar));
}

TEST(CompanionUpdateBar, RefusesWhatItCannotShowOrOpenAndOneReplacesAnother) {
  Host first, second(true, {600, 100, 900, 300});
  EXPECT_FALSE(show_update_bar(nullptr, "x", "https://vorlix.test"));
  EXPECT_FALSE(show_update_bar(reinterpret_cast<HWND>(0x1234), "x", "https://vorlix.test"));
  EXPECT_FALSE(show_update_bar(first.window, "x", "file:///C:/Windows/notepad.exe"));
  EXPECT_EQ(current_update_bar(), nullptr);

  ASSERT_TRUE(show_update_bar(first.window, "one", "https://vorlix.test/1"));
  const HWND one = current_update_bar();
  EXPECT_FALSE(show_update_bar(first.window, "x", "ftp://vorlix.test"));
  EXPECT_EQ(current_update_bar(), one) << "a refused request leaves the open bar";
  ASSERT_TRUE(show_update_bar(second.window, "two", "https://vorlix.test/2"));
  const HWND two = current_update_bar();
  EXPECT_FALSE(IsWindow(one));
  EXPECT_NE(two, one);
  expect_below(two, second.window);
  close_update_bar();
  EXPECT_EQ(current_update_bar(), nullptr);
}

void send_mouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

TEST(CompanionUpdateBar, AClickOpensThePageAndClosesTheBarWithoutTakingActivation) {
  Host host;
  SetForegroundWindow(host.window);
  const std::string url = "https://vorlix.test/click?" + std::to_string(GetTickCount64());
  ASSERT_TRUE(show_update_bar(host.window, "눌러 주세요", url));
  const HWND bar = current_update_bar();
  EXPECT_EQ(GetActiveWindow(), host.window);

  const RECT b = rect_of(bar);
  SetCursorPos((b.left + b.right) / 2, (b.top + b.bottom) / 2);
  send_mouse(MOUSEEVENTF_LEFTDOWN);
  pump_until([] { return false; }, 300);
  EXPECT_NE(GetForegroundWindow(), bar);
  EXPECT_EQ(GetActiveWindow(), host.window);
  send_mouse(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(pump_until([&] { return !IsWindow(bar); }));
  EXPECT_EQ(current_update_bar(), nullptr);
  if (!vx::testing::has_url_logger()) GTEST_SKIP() << "no URL logger in this prefix";
  EXPECT_TRUE(vx::testing::url_was_opened(url));
}

HWND focus_in(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

// The dialog's loop holds this thread: a second thread finds the dialog,
// acts on it and makes sure it goes (so that a fault fails instead of hanging).
UpdateDialogResult answer(const UpdateDialogRequest& request, const std::function<void(HWND)>& act) {
  bool closed_by_act = false;
  std::thread driver([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 250 && !(IsWindowVisible(dialog) && IsChild(dialog, focus_in(dialog))); ++i, Sleep(20))
      dialog = FindWindowW(L"OUpdateDialog", nullptr);
    if (!IsWindowVisible(dialog)) return;
    EXPECT_EQ(current_update_dialog(), dialog);
    act(dialog);
    for (int i = 0; i < 250 && IsWindow(dialog); ++i) Sleep(20);
    closed_by_act = !IsWindow(dialog);
    if (!closed_by_act) PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  const UpdateDialogResult result = show_update_dialog(request);
  driver.join();
  EXPECT_TRUE(closed_by_act) << "the dialog did not appear, or did not go";
  EXPECT_EQ(current_update_dialog(), nullptr);
  return result;
}

void press(HWND dialog, WPARAM key) {
  const HWND focus = focus_in(dialog);
  PostMessageW(focus ? focus : dialog, WM_KEYDOWN, key, 1);
  PostMessageW(focus ? focus : dialog, WM_KEYUP, key, 0xC0000001);
}

// Presses Tab until `target` has the focus; the posted keys take a moment.
bool tab_to(HWND dialog, HWND target) {
  for (int presses = 0; presses < 4; ++presses) {
    press(dialog, VK_TAB);
    for (int i = 0; i < 50 && focus_in(dialog) != target; ++i) Sleep(20);
    if (focus_in(dialog) == target) return true;
  }
  return false;
}

HWND button(HWND dialog, const std::string& text) {
  return FindWindowExW(dialog, nullptr, L"Button", widen(text).c_str());
}

UpdateDialogRequest request(HWND notify = nullptr) {
  UpdateDialogRequest r;
  r.notify = notify;
  r.title = "Vorlix 업데이트";
  r.message = "업데이트가 있습니다.\n\n새 버전을 설치할까요?";
  r.yes = "예";
  r.no = "아니요";
  return r;
}

TEST(CompanionUpdateDialog, EnterAcceptsAndEscapeNoOrClosingRefuses) {
  const auto key = [](WPARAM pressed) { return [pressed](HWND dialog) { press(dialog, pressed); }; };
  const auto click = [](const char* word) {
    return [word](HWND dialog) { SendMessageW(button(dialog, word), BM_CLICK, 0, 0); };
  };
  const auto tab_then_enter = [](HWND dialog) {
    EXPECT_EQ(focus_in(dialog), button(dialog, "예")) << "Yes starts with the focus";
    EXPECT_TRUE(tab_to(dialog, button(dialog, "아니요")));
    press(dialog, VK_RETURN);
  };
  const struct {
    const char* what;
    std::function<void(HWND)> act;
    bool accepted;
  } cases[] = {
      {"Enter", key(VK_RETURN), true},
      {"Escape", key(VK_ESCAPE), false},
      {"Yes", click("예"), true},
      {"No", click("아니요"), false},
      {"closing", [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }, false},
      {"Enter on the focused No", tab_then_enter, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(answer(request(), c.act).accepted, c.accepted);
  }
}

TEST(CompanionUpdateDialog, HoldBoxIsAnsweredWithEitherButton) {
  UpdateDialogRequest hold = request();
  hold.style = vx::net::NoticeStyle::hold;
  hold.info_text = "이 버전은 다시 묻지 않기";
  const UpdateDialogResult ticked = answer(hold, [&](HWND dialog) {
    const HWND box = button(dialog, hold.info_text);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(save_screenshot(dialog, L"companion-update-dialog-hold.png"));
    SendMessageW(box, BM_CLICK, 0, 0);
    SendMessageW(button(dialog, "예"), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(ticked.accepted);
  EXPECT_TRUE(ticked.hold_ticked);

  const UpdateDialogResult ticked_no = answer(hold, [&](HWND dialog) {
    SendMessageW(button(dialog, hold.info_text), BM_CLICK, 0, 0);
    press(dialog, VK_ESCAPE);
  });
  EXPECT_FALSE(ticked_no.accepted);
  EXPECT_TRUE(ticked_no.hold_ticked);
  EXPECT_FALSE(answer(hold, [](HWND dialog) { press(dialog, VK_RETURN); }).hold_ticked);
}

// True when one row of the picture is mostly `colour`.
bool has_underline(const vx::testing::Capture& picture, std::uint32_t colour) {
  for (int y = 0; y < picture.height; ++y) {
    int count = 0;
    for (int x = 0; x < picture.width; ++x) count += picture.at(x, y) == colour;
    if (count > picture.width * 3 / 4) return true;
  }
  return false;
}

TEST(CompanionUpdateDialog, NoteLinkOpensOnlyAWebPage) {
  UpdateDialogRequest note = request();
  note.message = "A new version of Vorlix is ready.\n\nInstall it now?";
  note.yes = "Yes";
  note.no = "No";
  note.style = vx::net::NoticeStyle::note;
  note.info_text = "What is new in this version";
  note.info_url = "https://vorlix.test/notes?" + std::to_string(GetTickCount64());
  answer(note, [&](HWND dialog) {
    const HWND link = button(dialog, note.info_text);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(save_screenshot(dialog, L"companion-update-dialog-note.png"));
    EXPECT_TRUE(has_underline(vx::testing::capture(link), 0x0066CCu)) << "fonts may draw it below the text";
    EXPECT_TRUE(tab_to(dialog, link)) << "the link can be reached from the keyboard";
    press(dialog, VK_RETURN);
    if (vx::testing::has_url_logger()) {
      EXPECT_TRUE(vx::testing::url_was_opened(note.info_url));
    }
    EXPECT_TRUE(IsWindow(dialog)) << "the link leaves the question open";
    press(dialog, VK_ESCAPE);
  });

  note.info_url = "file:///C:/Windows/notepad.exe";
  answer(note, [&](HWND dialog) {
    EXPECT_EQ(button(dialog, note.info_text), nullptr) << "shown as plain text";
    press(dialog, VK_ESCAPE);
  });
}

std::wstring title_of(HWND window) {
  wchar_t title[64]{};
  GetWindowTextW(window, title, 64);
  return title;
}

TEST(CompanionUpdateDialog, AVisibleNotifyWindowOwnsItAHiddenOneLendsOnlyItsIcons) {
  const RECT work = work_area(nullptr);
  // Centred on this host, the dialog would leave the work area at the bottom right.
  Host host(true, {work.right - 150, work.bottom - 100, work.right + 250, work.bottom + 200});
  UpdateDialogRequest top = request(host.window);
  top.keep_on_top = true;
  answer(top, [&](HWND dialog) {
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host.window);
    EXPECT_FALSE(IsWindowEnabled(host.window));
    EXPECT_EQ(title_of(dialog), L"Vorlix 호스트");
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const RECT d = rect_of(dialog);
    EXPECT_TRUE(d.left >= work.left && d.top >= work.top && d.right <= work.right && d.bottom <= work.bottom);
    press(dialog, VK_RETURN);
  });
  EXPECT_TRUE(IsWindowEnabled(host.window));
  EXPECT_EQ(GetActiveWindow(), host.window);

  Host tray(false);
  answer(request(tray.window), [&](HWND dialog) {
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    EXPECT_EQ(title_of(dialog), L"Vorlix 업데이트");
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    press(dialog, VK_ESCAPE);
  });
}

TEST(CompanionUpdateDialog, TopLineIsBlueWhileActiveAndGreyOtherwise) {
  answer(request(), [](HWND dialog) {
    const auto top_line = [&] {
      RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      Sleep(200);
      const vx::testing::Capture picture = vx::testing::capture(dialog);
      return picture.width ? picture.at(picture.width / 2, 0) : 0u;
    };
    EXPECT_EQ(top_line(), 0x3D84DDu);
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                       nullptr, nullptr);
    SetForegroundWindow(other);
    Sleep(200);
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    EXPECT_EQ(top_line(), static_cast<std::uint32_t>(GetRValue(grey) << 16 | GetGValue(grey) << 8 | GetBValue(grey)));
    DestroyWindow(other);
    SetForegroundWindow(dialog);
    press(dialog, VK_ESCAPE);
  });
}

}  // namespace
