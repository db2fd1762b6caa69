// The crash reporter of the running program: installed once at start-up, it
// turns an unhandled exception or a fatal internal error into a report, sends
// it to the server and tells the user.
#pragma once

#include <chrono>
#include <source_location>
#include <string>
#include <string_view>

#include "common/error.h"

namespace vx::crash::win32 {

struct Settings {
  std::string program;   // "Vorlix"
  std::string version;   // "4.0.1"; reported with ".0"
  std::string language;  // the interface language code
  std::string user_agent;
  std::string origin;  // the server; reports go to origin + "/except.php"
  std::string title;   // the message box's title
  std::chrono::nanoseconds connect_timeout = std::chrono::seconds(10);
  std::chrono::nanoseconds receive_timeout = std::chrono::seconds(30);
  bool message_box = true;
  int panic_limit = 1;  // fatal internal errors reported per process
};

// Once per process. Everything the exception path needs is made here.
Result<> install(const Settings& settings);

// A state the program cannot go on from: reported as a fatal internal error
// (with where it was found), told, and the program ends.
[[noreturn]] void fail_invariant(std::string_view what, std::source_location where = std::source_location::current());

// Raises the test crash: the note "crash test", then an access violation.
[[noreturn]] void crash_test();

}  // namespace vx::crash::win32
