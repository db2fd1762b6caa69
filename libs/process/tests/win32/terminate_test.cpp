// Terminating real processes under Wine, and the one shared deadline.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/win32/text.h"
#include "process/win32/close_job.h"

namespace {

using namespace vx::process;

std::wstring sleeper_path() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"vorlix-test-sleeper.exe";
}

struct Sleeper {
  PROCESS_INFORMATION info{};
  Sleeper() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + sleeper_path() + L"\"";
    CreateProcessW(sleeper_path().c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info);
  }
  ~Sleeper() {
    if (!info.hProcess) return;
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  bool running() const { return info.hProcess && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
  ProcessEntry entry() const { return {win32::process_image_path(info.hProcess), info.dwProcessId}; }
};

// What a call writes to standard error.
template <class F>
std::string stderr_of(F&& call) {
  const std::filesystem::path log = std::filesystem::temp_directory_path() / "vorlix-terminate-test.log";
  std::fflush(stderr);
  std::freopen(log.string().c_str(), "w", stderr);
  call();
  std::fflush(stderr);
  std::freopen("CONOUT$", "w", stderr);
  std::ifstream in(log);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TerminateTargets, EndsTargetsAndPassesOverWhatItMustNotEnd) {
  Sleeper first, second, reused;
  ASSERT_TRUE(first.running() && second.running() && reused.running());
  ProcessEntry moved = reused.entry();
  moved.path = "C:\\Other\\program.exe";  // the id now runs something else than was judged
  const std::vector<ProcessEntry> targets = {
      first.entry(), {"self.exe", GetCurrentProcessId()}, {"idle", 0}, moved, second.entry()};
  std::vector<std::uint32_t> ended;
  const std::string log = stderr_of([&] { ended = win32::terminate_targets(targets); });
  std::ranges::sort(ended);
  std::vector<std::uint32_t> expected = {first.info.dwProcessId, second.info.dwProcessId};
  std::ranges::sort(expected);
  EXPECT_EQ(ended, expected);
  EXPECT_FALSE(first.running());
  EXPECT_TRUE(reused.running());
  EXPECT_EQ(log, "[kill] 건너뜀 " + std::to_string(reused.info.dwProcessId) + " C:\\Other\\program.exe (중요 false)\n");
}

TEST(TerminateTargets, CriticalSystemProcessesAreNeverEnded) {
  // Wine runs its own services.exe in the system folder; Windows calls it critical.
  std::vector<ProcessEntry> services;
  for (const ProcessEntry& p : win32::snapshot_processes(win32::drive_map()))
    if (p.path.size() > 13 && _stricmp(p.path.c_str() + p.path.size() - 13, "\\services.exe") == 0)
      services.push_back(p);
  ASSERT_FALSE(services.empty()) << "no services.exe running";
  std::vector<std::uint32_t> ended;
  const std::string log = stderr_of([&] { ended = win32::terminate_targets(services); });
  EXPECT_TRUE(ended.empty());
  EXPECT_NE(log.find(" (중요 true)"), std::string::npos) << log;
  HANDLE still = OpenProcess(SYNCHRONIZE, FALSE, services.front().id);
  ASSERT_NE(still, nullptr);
  EXPECT_EQ(WaitForSingleObject(still, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(still);
}

TEST(WaitWithin, AllHandlesShareOneDeadline) {
  HANDLE never[3], done = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  for (HANDLE& h : never) h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const std::pair<std::uint32_t, HANDLE> handles[] = {{1, never[0]}, {2, never[1]}, {3, done}, {4, never[2]}};
  const ULONGLONG start = GetTickCount64();
  const std::vector<std::uint32_t> ended = win32::wait_within(handles, 300);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_EQ(ended, std::vector<std::uint32_t>{3}) << "a handle signalled after the deadline passed still counts";
  EXPECT_LT(took, 700u) << "three silent processes must not wait three times";
  for (HANDLE h : never) CloseHandle(h);
  CloseHandle(done);
}

TEST(Snapshot, EveryProcessWithItsImagePath) {
  Sleeper sleeper;
  const std::vector<ProcessEntry> all = win32::snapshot_processes(win32::drive_map());
  const auto found = std::ranges::find(all, sleeper.info.dwProcessId, &ProcessEntry::id);
  ASSERT_NE(found, all.end());
  EXPECT_EQ(vx::win32::widen(found->path), sleeper_path());
  EXPECT_EQ(std::ranges::count(all, 0u, &ProcessEntry::id), 0);
  const auto memory = win32::memory_status();
  EXPECT_GT(memory.total, 0u);
  EXPECT_LE(memory.available, memory.total);
}

}  // namespace

namespace {

std::string beside(const char* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::string path = vx::win32::narrow(std::wstring_view(self, n));
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

TEST(FileSigner, NamesTheSignerOfASignedProgramOnly) {
  if (GetFileAttributesW(vx::win32::widen(beside("winutil_fixture_signed.exe")).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no signed fixture (osslsigncode missing at build time)";
  EXPECT_EQ(vx::process::win32::file_signer(beside("winutil_fixture_signed.exe")), "Vorlix 테스트 서명자");
  EXPECT_EQ(vx::process::win32::file_signer(beside("winutil_fixture.exe")), "");
  EXPECT_EQ(vx::process::win32::file_signer(beside("no-such-file.exe")), "");
}

}  // namespace
