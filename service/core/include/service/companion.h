// The companion's start-up decisions that need no system: its command line,
// its language, where the main program is, its tray tip and its exit codes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vx::service {

// Exit codes: 1 only when "/inst" or "/uninst" could not change the
// scheduled task.
inline constexpr int exit_ok = 0;
inline constexpr int exit_task_failed = 1;

struct CommandLine {
  bool install = false;    // "/inst": register the scheduled start, then show the main program
  bool uninstall = false;  // "/uninst": remove the scheduled start and exit, nothing else
  bool scheduled = false;  // "/start": the task started us; a normal start
  // "/lang=xx": the language asked for, already cut and lower-cased ("en" for
  // an empty value). Absent: the user's locale decides.
  std::optional<std::string> language;
};

// The arguments after the program's own name, in any order and any case;
// unknown ones are ignored, and the last "/lang=" wins. The language is the
// first two characters of the value, ASCII lower-cased.
CommandLine parse_command_line(std::span<const std::string> args);

// The language code: the command line's, else the locale's language name
// (ISO 639, from the system, empty when it cannot be read) in lower case,
// else "en".
std::string choose_language(const CommandLine& command_line, const std::function<std::string()>& locale_language);

// The folder of a Windows path, without the final separator except for a
// drive's root ("C:\"); empty when the path has no folder.
std::string folder_of(std::string_view path);
// "Vorlix.exe" in the companion's own folder.
std::string main_program_path(std::string_view companion_path);

// "<product> <version>" for the tray icon's tip, the version up to its last
// dot (4.0.1.0 shows as 4.0.1), cut to the 127 UTF-16 units the tip holds.
std::string tray_tip(std::string_view product, std::string_view file_version);
inline constexpr std::size_t max_tray_tip = 127;

}  // namespace vx::service
