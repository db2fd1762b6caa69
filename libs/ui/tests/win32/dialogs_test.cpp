// The native menu and message box, answered from timers while their own modal
// loops run on this thread.
#include "ui/win32/dialogs.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

// Keys for the open menu, posted one per timer tick where the menu's loop reads them.
std::deque<WORD> pending_keys;

void CALLBACK press_next_key(HWND, UINT, UINT_PTR id, DWORD) {
  if (pending_keys.empty()) {
    KillTimer(nullptr, id);
    return;
  }
  const WORD key = pending_keys.front();
  pending_keys.pop_front();
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
}

// Ends a menu the keys did not end, so a fault cannot hang the test.
void CALLBACK end_menu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

struct Owner {
  HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
  Owner() { SetFocus(window); }
  ~Owner() { DestroyWindow(window); }
};

std::optional<UINT> choose_with_keys(HWND owner, std::span<const vx::ui::win32::MenuItem> items,
                                     std::initializer_list<WORD> keys) {
  pending_keys.assign(keys);
  SetTimer(nullptr, 0, 150, press_next_key);
  const UINT_PTR guard = SetTimer(nullptr, 0, 5000, end_menu);
  const std::optional<UINT> chosen = vx::ui::win32::popup_menu(owner, items);
  KillTimer(nullptr, guard);
  return chosen;
}

TEST(PopupMenu, ReturnsTheChosenIdAndNoneWhenDismissed) {
  Owner owner;
  ASSERT_NE(owner.window, nullptr);
  const vx::ui::win32::MenuItem items[] = {{"첫째", 10}, {"", 0}, {"Second", 20}};
  // The first Down highlights the first item; the second skips the separator.
  EXPECT_EQ(choose_with_keys(owner.window, items, {VK_DOWN, VK_DOWN, VK_RETURN}), 20u);
  EXPECT_EQ(choose_with_keys(owner.window, items, {VK_DOWN, VK_RETURN}), 10u);
  EXPECT_EQ(choose_with_keys(owner.window, items, {VK_ESCAPE}), std::nullopt);
}

// The answer the open message box is given by the next timer tick.
WPARAM pending_answer = 0;

void CALLBACK answer_box(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = GetActiveWindow();
  wchar_t cls[16] = {};
  if (!box || !GetClassNameW(box, cls, 16) || std::wstring_view(cls) != L"#32770") return;  // not up yet
  KillTimer(nullptr, id);
  PostMessageW(box, WM_COMMAND, pending_answer, 0);
}

bool answer_with(HWND owner, WPARAM answer) {
  pending_answer = answer;
  SetTimer(nullptr, 0, 100, answer_box);
  return vx::ui::win32::confirm(owner, "지울까요?", "Vorlix", MB_YESNO | MB_ICONQUESTION);
}

TEST(Confirm, TrueOnlyForYes) {
  Owner owner;
  EXPECT_TRUE(answer_with(owner.window, IDYES));
  EXPECT_FALSE(answer_with(owner.window, IDNO));
}

}  // namespace
