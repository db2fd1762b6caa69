// Jobs posted from worker threads run once on the window thread; a job that
// cannot be posted is freed without running.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "post.h"

namespace {

LRESULT CALLBACK job_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == vx::app::job_message) {
    vx::app::run_posted_job(lparam);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST(PostToWindow, JobsFromWorkersRunOnceOnTheWindowThreadInOrder) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = job_window_procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VorlixJobTest";
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, L"VorlixJobTest", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  const DWORD window_thread = GetCurrentThreadId();
  std::vector<int> ran;
  std::vector<DWORD> threads;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(vx::app::post_to_window(window, [&, i] {
        ran.push_back(i);
        threads.push_back(GetCurrentThreadId());
      }));
  });
  worker.join();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
  for (DWORD t : threads) EXPECT_EQ(t, window_thread);

  // A window that is gone: the post fails and the job, unrun, is freed.
  DestroyWindow(window);
  auto held = std::make_shared<int>(0);
  EXPECT_FALSE(vx::app::post_to_window(window, [held] { ++*held; }));
  EXPECT_EQ(held.use_count(), 1) << "the job was not freed";
  EXPECT_EQ(*held, 0);
}

}  // namespace
