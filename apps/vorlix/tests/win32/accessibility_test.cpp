// What a screen reader gets from the running Vorlix.exe, read by a11y-dump
// from another process as any client reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "vorlix_process.h"

namespace {

using namespace vx::testing;

struct Dump {
  DWORD exit_code = STILL_ACTIVE;
  std::string out;
};

// Runs a11y-dump with these arguments and returns what it printed.
Dump a11y_dump(const std::wstring& arguments) {
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "a11y-dump.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file =
      CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  const std::wstring exe = beside_tests(L"a11y-dump.exe");
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION info{};
  Dump dump;
  if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &info)) {
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0)
      GetExitCodeProcess(info.hProcess, &dump.exit_code);
    else
      TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  CloseHandle(file);
  dump.out = read_text(out);
  return dump;
}

// One command-line argument, quoted as the C runtime reads it back.
std::wstring quoted(const std::string& text) {
  std::wstring out = L"\"";
  for (const char c : text) {
    if (c == '"') out += L'\\';
    out += static_cast<wchar_t>(static_cast<unsigned char>(c));  // the names used here are ASCII
  }
  return out + L"\"";
}

// The line of the first shown node whose text (after its indent) begins
// with `start`; hidden panels are in the tree too, as invisible.
std::string line_of(const std::string& dump, const std::string& start) {
  for (std::size_t at = 0; at < dump.size();) {
    const std::size_t end = dump.find('\n', at);
    const std::string line = dump.substr(at, end - at);
    const std::size_t text = line.find_first_not_of(' ');
    if (text != std::string::npos && line.compare(text, start.size(), start) == 0 &&
        line.find("invisible]") == std::string::npos)
      return line.substr(text);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

TEST(VorlixExe, ScreenReadersReadTheTabsTheHomePageAndTheCleanupList) {
  RunningVorlix app;
  ASSERT_TRUE(app.drawn);
  const std::wstring pid = L"--pid " + std::to_wstring(app.process.info.dwProcessId);

  const Dump home = a11y_dump(pid);
  ASSERT_EQ(home.exit_code, 0u) << home.out;
  EXPECT_EQ(line_of(home.out, "client ").substr(0, 15), "client \"Vorlix\"") << home.out;
  EXPECT_NE(line_of(home.out, "page tab list"), "") << home.out;
  EXPECT_NE(line_of(home.out, "page tab \"Home\" [selected focusable selectable]"), "") << home.out;
  for (const char* tab : {"Startup", "Cleanup", "Bundle"})
    EXPECT_NE(line_of(home.out, "page tab \"" + std::string(tab) + "\" [focusable selectable]"), "") << home.out;
  EXPECT_NE(line_of(home.out, "push button \"Clean\" [focusable]"), "") << home.out;
  EXPECT_NE(line_of(home.out, "graphic \"Vorlix\""), "") << "the logo, named by its title";

  // The cleanup tab through its default action; its categories come once the rules are read.
  const Dump cleanup =
      a11y_dump(pid + L" --act " + quoted("page tab \"Cleanup\"") + L" --wait-for " + quoted("[collapsed]"));
  ASSERT_EQ(cleanup.exit_code, 0u) << cleanup.out;
  EXPECT_NE(line_of(cleanup.out, "page tab \"Cleanup\" [selected"), "") << cleanup.out;
  EXPECT_NE(line_of(cleanup.out, "page tab \"Home\" [focusable selectable]"), "") << "no longer selected";
  // "check box" on Windows, "check button" under Wine.
  const std::string box = line_of(cleanup.out, "check b");
  ASSERT_NE(box, "") << cleanup.out;
  const std::string label = box.substr(box.find('"'), box.find("\" [") + 1 - box.find('"'));
  EXPECT_NE(line_of(cleanup.out, "row " + label + " [collapsed]"), "") << "its category row, closed: " << cleanup.out;
  // A category's box: a click checks all its entries unless all are checked.
  const auto state = [](const std::string& line) -> std::string {
    const std::string states = line.substr(line.find("\" [") + 2);
    return states.find(" mixed") != std::string::npos || states.find("[mixed") != std::string::npos ? "mixed"
           : states.find("checked") != std::string::npos                                            ? "checked"
                                                                                                    : "clear";
  };
  const std::string name = box.substr(0, box.find("\" [") + 1);

  // Its default action through the tree works the page.
  const Dump acted = a11y_dump(pid + L" --act " + quoted(name) + L" --dump");
  ASSERT_EQ(acted.exit_code, 0u) << acted.out;
  const std::string after = line_of(acted.out, name);
  EXPECT_EQ(state(after), state(box) == "checked" ? "clear" : "checked") << box << " became " << after;
  EXPECT_EQ(app.close(), 0u);
}

}  // namespace
