// Starts the real Vorlix.exe next to this test, finds its window and closes it
// the way a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring program_path() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"Vorlix.exe";
}

struct Process {
  PROCESS_INFORMATION info{};
  ~Process() {
    if (info.hProcess) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
  bool start(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + exe + L"\"";
    return CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info);
  }
  DWORD wait_exit(DWORD ms) {
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
  }
};

HWND wait_for_window(DWORD pid, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (GetTickCount64() < deadline) {
    for (HWND w = FindWindowW(L"TFrmVorlix", nullptr); w; w = FindWindowExW(nullptr, w, L"TFrmVorlix", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    Sleep(20);
  }
  return nullptr;
}

TEST(VorlixExe, OpensItsFixedSizeWindowAndClosesCleanly) {
  Process app;
  ASSERT_TRUE(app.start(program_path())) << "CreateProcess failed: " << GetLastError();
  HWND window = wait_for_window(app.info.dwProcessId, 20000);
  ASSERT_NE(window, nullptr) << "no TFrmVorlix window appeared";

  RECT client{};
  GetClientRect(window, &client);
  const UINT dpi = GetDpiForWindow(window);
  EXPECT_EQ(client.right, MulDiv(464, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(417, dpi, 96));
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0) << "the window must not be resizable";
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.wait_exit(10000), 0u);
}

// The colour of one pixel of a window as the screen shows it, 0xRRGGBB.
COLORREF pixel(HWND window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return RGB(GetBValue(c), GetGValue(c), GetRValue(c));
}

TEST(VorlixExe, ShowsItsDocumentAndATabClickShowsThatTab) {
  Process app;
  ASSERT_TRUE(app.start(program_path()));
  HWND window = wait_for_window(app.info.dwProcessId, 20000);
  ASSERT_NE(window, nullptr);
  HWND view = FindWindowExW(window, nullptr, L"OstrelUIView", nullptr);
  ASSERT_NE(view, nullptr) << "no document view in the window";
  RECT client{}, shown{};
  GetClientRect(window, &client);
  GetClientRect(view, &shown);
  EXPECT_EQ(shown.right, client.right);
  EXPECT_EQ(shown.bottom, client.bottom) << "the view fills the client area";
  if (GetDpiForWindow(window) == 96) {
    constexpr COLORREF active = 0x3D84DD;  // the selected tab's background
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (pixel(view, 14, 14) != active && GetTickCount64() < deadline) Sleep(50);
    EXPECT_EQ(pixel(view, 14, 14), active) << "the home tab starts selected";
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(115, 17));
    PostMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(115, 17));
    Sleep(500);
    EXPECT_EQ(pixel(view, 100, 14), active) << "the startup tab is selected";
    EXPECT_NE(pixel(view, 14, 14), active);
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.wait_exit(10000), 0u);
}

TEST(VorlixExe, SecondStartEndsAndLeavesTheFirstRunning) {
  Process first;
  ASSERT_TRUE(first.start(program_path()));
  HWND window = wait_for_window(first.info.dwProcessId, 20000);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_MINIMIZE);

  Process second;
  ASSERT_TRUE(second.start(program_path()));
  EXPECT_EQ(second.wait_exit(10000), 0u);
  EXPECT_EQ(wait_for_window(second.info.dwProcessId, 200), nullptr) << "the second start made a window";
  EXPECT_FALSE(IsIconic(window)) << "the first window was not restored";
  EXPECT_EQ(first.wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.wait_exit(10000), 0u);
}

}  // namespace
