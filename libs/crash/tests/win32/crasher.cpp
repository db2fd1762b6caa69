// A program that crashes on purpose with the reporter installed, for the
// reporter's tests: crasher.exe ORIGIN av|divide-thread|second
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "crash/notes.h"
#include "crash/win32/reporter.h"

namespace {

volatile int zero = 0, seven = 7;

[[noreturn]] void divide() {
  volatile int result = seven / zero;  // both unknown to the compiler: a real division
  (void)result;
  std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  vx::crash::win32::Settings settings;
  settings.program = "Crasher";
  settings.version = "1.2.3";
  settings.language = "en";
  settings.user_agent = "crasher";
  settings.origin = argv[1];
  settings.title = "Crasher";
  settings.message_box = false;
  if (const vx::Result<> installed = vx::crash::win32::install(settings); !installed) {
    std::fprintf(stderr, "crasher: %s\n", installed.error().message.c_str());
    return 3;
  }
  vx::crash::add_note("before\tthe crash");
  if (std::strcmp(argv[2], "av") == 0) vx::crash::win32::crash_test();
  if (std::strcmp(argv[2], "throw") == 0) throw std::runtime_error("boom\nnext line");
  if (std::strcmp(argv[2], "invariant") == 0) vx::crash::win32::fail_invariant("the list lost a row");
  if (std::strcmp(argv[2], "divide-thread") == 0) {
    std::thread(divide).join();
  } else if (std::strcmp(argv[2], "second") == 0) {
    // The first fault is still being reported when the second comes.
    std::thread([] {
      Sleep(1000);
      divide();
    }).detach();
    vx::crash::win32::crash_test();
  }
  return 0;
}
