// Web pages handed to the shell, checked through the test prefix's browser
// stand-in, which appends every address it is given to urls.log.
#include "winutil/win32/shell.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using vx::winutil::win32::open_url;

// A file of the Linux host as Wine shows it.
std::filesystem::path host_file(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return std::filesystem::path("Z:" + path);
}

// True once `line` is in the log: the shell starts the browser in its own time.
bool logged(const std::string& line) {
  for (int i = 0; i < 150; ++i, Sleep(100)) {
    std::ifstream log(host_file(VORLIX_WINE_ROOT "/urls.log"));
    for (std::string got; std::getline(log, got);)
      if (got == line) return true;
  }
  return false;
}

TEST(OpenUrl, AddressReachesTheBrowserAsOneArgument) {
  if (!std::filesystem::exists(host_file(VORLIX_WINE_ROOT "/url-logger")))
    GTEST_SKIP() << "not in a prefix prepared by tools/wine-run";
  const std::string key = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  ASSERT_TRUE(open_url("https://vorlix.test/?report=" + key + "&lang=ko"));
  EXPECT_TRUE(logged("https://vorlix.test/?report=" + key + "&lang=ko"));
  // A quote in a server-supplied key must not end the argument.
  ASSERT_TRUE(open_url("https://vorlix.test/?report=" + key + "\" /select,C:\\windows"));
  EXPECT_TRUE(logged("https://vorlix.test/?report=" + key + "%22%20/select,C:%5Cwindows"));
}

TEST(OpenUrl, RefusesWhatIsNotAWebAddress) {
  const auto opened = open_url("C:\\windows\\notepad.exe");
  ASSERT_FALSE(opened);
  EXPECT_NE(opened.error().find("notepad.exe"), std::string::npos) << opened.error();
}

}  // namespace
