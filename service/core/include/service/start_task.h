// The scheduled task that starts the companion at every logon. One
// description feeds both the Task Scheduler calls and the task's XML text, so
// what the tests read here is what gets registered.
#pragma once

#include <string>
#include <string_view>

namespace vx::service {

inline constexpr std::string_view start_task_name = "Vorlix";
inline constexpr int start_task_delay_seconds = 60;
// What the task passes; the companion treats it as a normal start.
inline constexpr std::string_view start_task_arguments = "/start";

// The task's delay as an ISO 8601 duration: "PT45S", "PT1M", "PT1M30S", "PT60M"
// for an hour. Empty (no delay) for 0 or less.
std::string delay_text(int seconds);

// Everything the registration sets. Any field left at its default means what
// the companion registers. Registration itself is always "create or update"
// with no user name, password or security descriptor.
struct StartTask {
  std::string folder = "\\";  // the Task Scheduler's root folder
  std::string name{start_task_name};

  // Trigger: one logon trigger, for any user who logs on.
  int delay_seconds = start_task_delay_seconds;

  // Principal: the highest run level the user has (elevated for an
  // administrator). It always runs with the interactive token of the user who
  // logged on, in that user's session.
  bool highest_run_level = true;

  // Action: run the companion from its own folder.
  std::string program;  // full path
  std::string arguments{start_task_arguments};
  std::string working_directory;

  // Settings: catch up on a missed logon, never time out, ignore idling and
  // the power source (the defaults would stop it on batteries).
  bool start_when_available = true;
  std::string execution_time_limit = "PT0S";  // PT0S: no limit
  bool stop_on_idle_end = false;
  bool disallow_start_if_on_batteries = false;
  bool stop_if_going_on_batteries = false;
};

// The companion's own task, for its full path ("C:\...\VorlixService.exe").
StartTask companion_start_task(std::string_view program_path);

// The definition in the Task Scheduler's XML schema (version 1.2), for
// ITaskFolder::RegisterTask or "schtasks /create /xml". Texts are escaped; the
// declaration names no encoding, so the text can be handed over as UTF-16 or
// written out as UTF-8 alike.
std::string start_task_xml(const StartTask& task);

}  // namespace vx::service
