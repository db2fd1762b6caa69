// The reporter in crashing programs under Wine: what the dev server receives,
// and that a crash never leaves a process hanging.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "win32/devserver.h"

namespace {

using vx::testing::DevServer;
using vx::testing::Recorded;

std::wstring beside_tests(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Runs the crasher; its exit code, or STILL_ACTIVE when it hangs.
DWORD crash(const std::wstring& how, DWORD wait_ms = 60000) {
  std::wstring command = L"\"" + beside_tests(L"vorlix-test-crasher.exe") + L"\" " VORLIX_SERVER_ORIGIN_W L" " + how;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, wait_ms) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

std::vector<Recorded> reports_since(const DevServer& server, std::size_t skip) {
  std::vector<Recorded> all = server.requests(), found;
  for (std::size_t i = skip; i < all.size(); ++i)
    if (all[i].path == "/except.php") found.push_back(all[i]);
  return found;
}

class Reporter : public ::testing::Test {
 protected:
  void SetUp() override {
    server = DevServer::find();
    if (!server) GTEST_SKIP() << "no dev server (run through ctest)";
    ASSERT_TRUE(server->trust());
    ASSERT_TRUE(server->set_scenario("{}"));
  }
  void TearDown() override {
    if (server) server->set_scenario("{}");
  }
  std::optional<DevServer> server;
};

TEST_F(Reporter, AnAccessViolationIsReportedWithItsNotesAndModules) {
  const std::size_t before = server->requests().size();
  EXPECT_EQ(crash(L"av"), 0xC0000005u) << "the crash goes on after the report";
  const std::vector<Recorded> reports = reports_since(*server, before);
  ASSERT_EQ(reports.size(), 1u);
  const Recorded& report = reports[0];
  EXPECT_EQ(report.method, "POST");
  EXPECT_TRUE(report.header("Content-Type").value_or("").starts_with("multipart/form-data; boundary=----OrvanExcept"));
  EXPECT_EQ(report.header("User-Agent"), "crasher");
  const std::string& body = report.body;
  EXPECT_NE(body.find("name=\"MailSubject\"\r\n\r\nbug report\r\n"), std::string::npos);
  EXPECT_NE(body.find("name=\"MailBody\"\r\n\r\nCrasher 1.2.3.0\r\n"), std::string::npos);
  EXPECT_NE(body.find("filename=\"bugreport.txt\""), std::string::npos);
  EXPECT_NE(body.find("executable        : Crasher\r\n"), std::string::npos);
  EXPECT_NE(body.find("exception code    : C0000005 Access Violation\r\n"), std::string::npos);
  EXPECT_NE(body.find("fault operand     :  (write) at 0000000000000000\r\n"), std::string::npos);
  EXPECT_NE(body.find("main thread ("), std::string::npos);
  EXPECT_NE(body.find("\r\nnotes:\r\n"), std::string::npos);
  EXPECT_NE(body.find("before the crash"), std::string::npos) << "a tab becomes a space";
  EXPECT_NE(body.find("crash test"), std::string::npos);
  EXPECT_NE(body.find("\r\nmodules:\r\n"), std::string::npos);
  EXPECT_NE(body.find("vorlix-test-crasher.exe\r\n"), std::string::npos);
  EXPECT_NE(body.find("ntdll.dll"), std::string::npos);
  EXPECT_NE(body.find("callstack:\r\n    vorlix-test-crasher.exe +"), std::string::npos) << "the frames are named";
}

TEST_F(Reporter, ADivideByZeroInAWorkerThreadIsNamed) {
  const std::size_t before = server->requests().size();
  EXPECT_EQ(crash(L"divide-thread"), 0xC0000094u);
  const std::vector<Recorded> reports = reports_since(*server, before);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].body.find("exception code    : C0000094 Integer Divide by Zero\r\n"), std::string::npos);
  EXPECT_EQ(reports[0].body.find("main thread ("), std::string::npos) << "a worker's stack";
  EXPECT_NE(reports[0].body.find("\r\nthread ("), std::string::npos);
}

TEST_F(Reporter, ASecondFaultWhileReportingIsPassedOnAndNothingHangs) {
  // The server takes its time with the first report; the second fault comes meanwhile.
  ASSERT_TRUE(server->set_scenario(R"({"delay":{"/except.php":8}})"));
  const std::size_t before = server->requests().size();
  const ULONGLONG started = GetTickCount64();
  const DWORD code = crash(L"second");
  EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(code, 0xC0000094u) << "the second fault ended the process, unreported";
  EXPECT_LT(GetTickCount64() - started, 8000u) << "not held by the first report";
  EXPECT_LE(server->wait_for_requests(before + 1, 2000).size() - before, 1u);
}

TEST_F(Reporter, FatalInternalErrorsAreReportedAsPanicsWithWhereTheyHappened) {
  for (const auto& [how, message, location] :
       {std::tuple{L"throw", "exception message : panic: boom next line\r\n", "fault location    : (unknown)\r\n"},
        std::tuple{L"invariant", "exception message : panic: the list lost a row\r\n", "crasher.cpp:"}}) {
    SCOPED_TRACE(std::string(message));
    const std::size_t before = server->requests().size();
    const DWORD code = crash(how);
    EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(code, 3u) << "ended as abort() ends a program";
    const std::vector<Recorded> reports = reports_since(*server, before);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].body.find("exception type    : panic\r\n"), std::string::npos);
    EXPECT_NE(reports[0].body.find(message), std::string::npos);
    EXPECT_NE(reports[0].body.find(location), std::string::npos);
    EXPECT_NE(reports[0].body.find("  before the crash\r\n"), std::string::npos);
  }
}

}  // namespace
