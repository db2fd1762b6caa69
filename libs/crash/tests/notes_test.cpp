#include "crash/notes.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vx::crash;

std::string written(const NotesRing& ring) {
  std::vector<char> area(8192);
  Writer out(area);
  ring.write(out);
  return std::string(out.finish());
}

TEST(CrashNotes, CutAtTheLimitAndKeptOnOneLine) {
  NotesRing ring;
  EXPECT_FALSE(ring.any());
  EXPECT_EQ(written(ring), "");

  ring.add(std::string(200, 'x'));
  ring.add(std::string(159, 'a') + "한");  // the limit falls inside the last character
  ring.add(
      "tab\there\r\nnew line\x01 \x7F"
      "é!");
  ring.add("");
  EXPECT_TRUE(ring.any());
  EXPECT_EQ(written(ring), "  " + std::string(160, 'x') + "\r\n  " + std::string(159, 'a') +
                               "\r\n  tab here  new line  \x7F"
                               "é!\r\n  \r\n");
}

TEST(CrashNotes, NewestThirtyTwoKeptOldestFirst) {
  NotesRing ring;
  for (int i = 1; i <= 40; ++i) ring.add("note " + std::to_string(i));
  std::string expected;
  for (int i = 9; i <= 40; ++i) expected += "  note " + std::to_string(i) + "\r\n";
  EXPECT_EQ(written(ring), expected);
}

TEST(CrashNotes, ConcurrentAddsAndReadsStayWhole) {
  NotesRing ring;
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&ring, t] {
      for (int i = 0; i < 2000; ++i) ring.add("thread " + std::to_string(t) + " note " + std::to_string(i));
    });
  }
  threads.emplace_back([&ring] {
    for (int i = 0; i < 200; ++i) (void)written(ring);
  });
  for (std::thread& t : threads) t.join();

  const std::string text = written(ring);
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string one = text.substr(at, end - at);
    EXPECT_TRUE(one.starts_with("  thread ") && one.find(" note ") != std::string::npos) << one;
    at = end + 2;
    ++count;
  }
  EXPECT_GT(count, 0u);
  EXPECT_LE(count, NotesRing::slot_count);
}

}  // namespace
