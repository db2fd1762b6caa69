// The home page's button under Wine: Vorlix.exe closes what nothing protects,
// says what it did on standard error, and ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "vorlix_process.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::testing;

constexpr wchar_t sleeper_name[] = L"vorlix-test-sleeper.exe";

std::unique_ptr<Process> start_program(const std::wstring& path) {
  auto process = std::make_unique<Process>();
  return process->start(path) ? std::move(process) : nullptr;
}

// Notepad, minimised: the tests read Vorlix's window from the screen.
std::unique_ptr<Process> start_notepad() {
  wchar_t folder[MAX_PATH];
  GetSystemDirectoryW(folder, MAX_PATH);
  const std::wstring path = std::wstring(folder) + L"\\notepad.exe";
  std::wstring command = L"\"" + path + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWMINNOACTIVE;
  auto process = std::make_unique<Process>();
  if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process->info))
    return nullptr;
  WaitForInputIdle(process->info.hProcess, 5000);
  return process;
}

// The file's text with its line ends as "\n" (the program writes in text mode).
std::string read_lines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::erase(text, '\r');
  return text;
}

fs::path roaming_noclean() {
  wchar_t roaming[MAX_PATH];
  GetEnvironmentVariableW(L"APPDATA", roaming, MAX_PATH);
  return fs::path(roaming) / "Vorlix" / "NoClean.txt";
}

class CloseRun : public ::testing::Test {
 protected:
  fs::path log = fs::temp_directory_path() / "vorlix-close-run.log";
  std::unique_ptr<Process> first = start_program(beside_tests(sleeper_name));
  std::unique_ptr<Process> second = start_program(beside_tests(sleeper_name));
  std::unique_ptr<Process> notepad = start_notepad();

  void SetUp() override { ASSERT_TRUE(first && second && notepad); }
  void TearDown() override { fs::remove_all(roaming_noclean().parent_path()); }

  // Starts Vorlix.exe, presses its button and returns what it wrote.
  std::string press_clean(const std::wstring& arguments) {
    RunningVorlix app(arguments, log.wstring());
    EXPECT_TRUE(app.drawn);
    if (!app.drawn) return {};
    PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(232, 349));
    PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(232, 349));
    EXPECT_EQ(app.process.wait_exit(20000), 0u) << "the program closes itself after the run";
    return read_lines(log);
  }
  static std::string target_line(const Process& p) {
    return "[clean] 대상 " + std::to_string(p.info.dwProcessId) + " ";
  }
};

TEST_F(CloseRun, KillOnlyEndsEveryCopyOfThatProgramAndNothingElse) {
  const std::string output = press_clean(L"--kill-only vorlix-test-sleeper.exe");
  EXPECT_EQ(first->wait_exit(0), 0u) << "terminated with exit code 0";
  EXPECT_EQ(second->wait_exit(0), 0u);
  EXPECT_EQ(notepad->wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_NE(output.find(target_line(*first)), std::string::npos) << output;
  EXPECT_NE(output.find(target_line(*second)), std::string::npos) << output;
  EXPECT_NE(output.find(target_line(*notepad)), std::string::npos) << "notepad is a target the mode spares";
  EXPECT_NE(output.find("개, 닫힘 2개 (Only(\"vorlix-test-sleeper.exe\"))\n"), std::string::npos) << output;
}

TEST_F(CloseRun, ADryRunEndsNothing) {
  const std::string output = press_clean(L"--dry-run");
  EXPECT_EQ(first->wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(notepad->wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_NE(output.find(target_line(*first)), std::string::npos) << output;
  EXPECT_NE(output.find("개, 닫힘 0개 (DryRun)\n"), std::string::npos) << output;
}

TEST_F(CloseRun, TheUsersOwnListProtectsAProgram) {
  fs::create_directories(roaming_noclean().parent_path());
  std::ofstream(roaming_noclean(), std::ios::binary) << "// my tools\r\nvorlix-test-sleeper.exe*\r\n";
  const std::string output = press_clean(L"--kill-only vorlix-test-sleeper.exe");
  EXPECT_EQ(first->wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(second->wait_exit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(output.find(target_line(*first)), std::string::npos) << output;
  EXPECT_NE(output.find("[clean] NoClean " + roaming_noclean().string() + " +2\n"), std::string::npos) << output;
  EXPECT_NE(output.find("닫힘 0개 (Only(\"vorlix-test-sleeper.exe\"))"), std::string::npos) << output;
}

}  // namespace
