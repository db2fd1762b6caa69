// The scheduled start: its delay text and what the definition sets.
#include "service/start_task.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using namespace vx::service;

TEST(StartTask, DelayIsWrittenInWholeMinutesAndSeconds) {
  const std::pair<int, const char*> cases[] = {{0, ""},         {-60, ""},       {1, "PT1S"},
                                               {45, "PT45S"},   {59, "PT59S"},   {60, "PT1M"},
                                               {90, "PT1M30S"}, {3600, "PT60M"}, {INT_MAX, "PT35791394M7S"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(delay_text(seconds), text) << seconds;
}

TEST(StartTask, StartsTheCompanionElevatedAMinuteAfterAnyLogonWhateverThePower) {
  const StartTask task = companion_start_task("C:\\R&D <x>\\VorlixService.exe");
  EXPECT_EQ(task.folder, "\\");
  EXPECT_EQ(task.name, "Vorlix");
  const std::string xml = start_task_xml(task);
  std::size_t at = 0;
  for (const char* part :
       {"<LogonTrigger>", "<Delay>PT1M</Delay>", "</LogonTrigger>", "<LogonType>InteractiveToken</LogonType>",
        "<RunLevel>HighestAvailable</RunLevel>", "<DisallowStartIfOnBatteries>false<", "<StopIfGoingOnBatteries>false<",
        "<StartWhenAvailable>true<", "<StopOnIdleEnd>false<", "<ExecutionTimeLimit>PT0S<",
        "<Command>C:\\R&amp;D &lt;x&gt;\\VorlixService.exe</Command>", "<Arguments>/start<",
        "<WorkingDirectory>C:\\R&amp;D &lt;x&gt;</WorkingDirectory>"}) {
    at = xml.find(part, at);
    ASSERT_NE(at, std::string::npos) << part << " in order in\n" << xml;
  }
  StartTask now = task;
  now.delay_seconds = 0;
  EXPECT_EQ(start_task_xml(now).find("<Delay>"), std::string::npos);
}

}  // namespace
