// Jobs posted from worker threads run once on the window thread; a job that
// cannot be posted is freed without running.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "job_window.h"
#include "post.h"

namespace {

TEST(PostToWindow, JobsFromWorkersRunOnceOnTheWindowThreadInOrder) {
  vx::app::testing::JobWindow job_window;
  const HWND window = job_window.get();
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
  HWND gone = nullptr;
  {
    vx::app::testing::JobWindow short_lived;
    gone = short_lived.get();
  }
  auto held = std::make_shared<int>(0);
  EXPECT_FALSE(vx::app::post_to_window(gone, [held] { ++*held; }));
  EXPECT_EQ(held.use_count(), 1) << "the job was not freed";
  EXPECT_EQ(*held, 0);
}

}  // namespace
