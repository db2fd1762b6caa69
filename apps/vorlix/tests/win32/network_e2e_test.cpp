// Vorlix.exe and the dev server under Wine: what the program says at start-up
// and at the end of a close run, what it does with the answers, and that no
// answer, however slow, long or broken, stops it.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "vorlix_process.h"
#include "win32/devserver.h"
#include "win32/screen.h"
#include "win32/wine_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::testing;

fs::path roaming(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
  return fs::path(folder) / L"Vorlix" / name;
}

std::string stored_user_id() {
  wchar_t text[64] = {};
  DWORD size = sizeof text;
  RegGetValueW(HKEY_CURRENT_USER, L"Software\\Ostrelnet", L"OUID", RRF_RT_REG_SZ, nullptr, text, &size);
  std::string id;
  for (const wchar_t* c = text; *c; ++c) id += static_cast<char>(*c);
  return id;
}

// The requests to `path` received after the first `skip` requests.
std::vector<Recorded> requests_to(const DevServer& server, std::size_t skip, std::string_view path) {
  std::vector<Recorded> all = server.requests(), found;
  for (std::size_t i = skip; i < all.size(); ++i)
    if (all[i].path == path) found.push_back(all[i]);
  return found;
}

class Network : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = DevServer::find();
    if (server) trusted = server->trust();
  }
  void SetUp() override {
    if (!server) GTEST_SKIP() << "no dev server (run through ctest)";
    ASSERT_TRUE(trusted);
    ASSERT_TRUE(server->set_scenario("{}"));
    fs::remove(roaming(L"Winapp2.ini"));
  }
  void TearDown() override {
    if (server) server->set_scenario("{}");
    SetEnvironmentVariableW(L"VORLIX_UPDATE_VERSION", nullptr);
  }
  // Waits until the program's standard error holds `text`.
  bool log_has(const std::string& text, unsigned ms = 20000) { return file_has(log, text, ms); }
  // A rule file the server offers as version `version`, served at `path`.
  static std::string offer(std::uint32_t version, std::string_view path, std::string_view more = "") {
    return R"({"init":{"status":"ok","winapp2_ver":)" + std::to_string(version) + R"(,"winapp2_url":"{{origin}})" +
           std::string(path) + R"("})" + std::string(more) + "}";
  }

  static inline std::optional<DevServer> server;
  static inline bool trusted = false;
  fs::path log = fs::temp_directory_path() / "vorlix-network.log";
};

TEST_F(Network, TheStartUpRequestIdentifiesTheInstallAndItsListsReachTheProgram) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Ostrelnet", L"OUID");
  ASSERT_TRUE(server->set_scenario(R"({"init":{"status":"ok","name_white":["NetKeep"],"file_white":["net1.exe*"]}})"));
  SetEnvironmentVariableW(L"VORLIX_UPDATE_VERSION", L"  9.9.9 ");
  std::string first_id;
  {
    const std::size_t before = server->requests().size();
    RunningVorlix app(L"--lang ko", log.wstring());
    ASSERT_TRUE(app.drawn);
    ASSERT_TRUE(log_has("[lists] 서버 목록 +2\n")) << read_text(log);
    const std::vector<Recorded> init = requests_to(*server, before, "/api.init.php");
    ASSERT_EQ(init.size(), 1u);
    std::vector<std::string> names;
    for (const auto& [name, value] : init[0].headers) names.push_back(name);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
              (std::vector<std::string>{"User-Agent", "User-Version", "User-Language", "User-Debug", "User-Union"}));
    EXPECT_EQ(init[0].header("User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
    EXPECT_EQ(init[0].header("User-Version"), "9.9.9.0");
    EXPECT_EQ(init[0].header("User-Language"), "ko");
    EXPECT_EQ(init[0].header("User-Debug"), "false");
    EXPECT_FALSE(init[0].header("User-Command"));
    first_id = init[0].header("User-Union").value_or("");
    EXPECT_EQ(first_id.size(), 32u);
    EXPECT_EQ(stored_user_id(), first_id) << "kept for the next start";
    EXPECT_EQ(app.close(), 0u);
  }
  SetEnvironmentVariableW(L"VORLIX_UPDATE_VERSION", nullptr);
  const std::size_t before = server->requests().size();
  RunningVorlix again({}, log.wstring());
  ASSERT_TRUE(again.drawn);
  ASSERT_TRUE(log_has("[lists] 서버 목록 +2\n")) << read_text(log);
  const std::vector<Recorded> init = requests_to(*server, before, "/api.init.php");
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(init[0].header("User-Union"), first_id);
  EXPECT_EQ(init[0].header("User-Version"), "4.0.1.0");
  EXPECT_EQ(again.close(), 0u);
}

TEST_F(Network, SlowLongAndBrokenAnswersLeaveOneUpdateLineAndAWorkingProgram) {
  const struct {
    const char* scenario;
    const char* line;
  } cases[] = {
      {R"({"init_raw":"{\"status\":\"ok\",\"update\":\"a\",\"update\":\"b\"}"})",
       "[update] 업데이트 응답을 해석하지 못했습니다: "},
      {R"({"init_raw":"{not json"})", "[update] 업데이트 응답을 해석하지 못했습니다: "},
      {R"({"status":{"/api.init.php":503}})", "[update] 업데이트 서버가 503 응답을 보냈습니다.\n"},
      {R"({"big":{"/api.init.php":10485760},"big_fill":"x"})", "[update] 업데이트 응답을 해석하지 못했습니다: "},
      {R"({"delay":{"/api.init.php":15}})", "[update] 업데이트 서버에 연결하지 못했습니다: 응답을 받지 못했습니다: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    ASSERT_TRUE(server->set_scenario(c.scenario));
    const auto started = std::chrono::steady_clock::now();
    RunningVorlix app({}, log.wstring());
    const auto drawn = std::chrono::steady_clock::now();
    ASSERT_TRUE(app.drawn);
    std::printf("first frame after %.0f ms\n", std::chrono::duration<double, std::milli>(drawn - started).count());
    EXPECT_TRUE(log_has(c.line)) << read_text(log);
    EXPECT_EQ(read_text(log).find("[lists]"), std::string::npos) << "nothing applied";
    PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(115, 17));  // the Startup tab still answers
    PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(115, 17));
    Sleep(300);
    EXPECT_EQ(app.close(), 0u);
  }
}

TEST_F(Network, ANewerRuleFileIsSavedWholeAndUsedAtTheNextLoad) {
  constexpr std::uint32_t newer = 999999999;
  ASSERT_TRUE(server->set_scenario(offer(newer, "/rules/new.ini", R"(,"rule_version":999999999)")));
  {
    RunningVorlix app({}, log.wstring());
    ASSERT_TRUE(app.drawn);
    ASSERT_TRUE(log_has("[cleanup] Winapp2 999999999 받음\n")) << read_text(log);
    EXPECT_EQ(app.close(), 0u);
  }
  ASSERT_TRUE(fs::exists(roaming(L"Winapp2.ini")));
  EXPECT_NE(read_text(roaming(L"Winapp2.ini")).find("; Version: 999999999"), std::string::npos);
  EXPECT_FALSE(fs::exists(roaming(L"Winapp2.ini.tmp")));

  // The next start uses it (and, being up to date, fetches nothing).
  ASSERT_TRUE(server->set_scenario(offer(newer, "/rules/new.ini", R"(,"rule_version":999999999)")));
  const std::size_t before = server->requests().size();
  RunningVorlix app({}, log.wstring());
  ASSERT_TRUE(app.drawn);
  PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(187, 17));  // the Cleanup tab loads the rules
  PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(187, 17));
  EXPECT_TRUE(log_has("[cleanup] Winapp2 999999999 설치")) << read_text(log);
  EXPECT_TRUE(requests_to(*server, before, "/rules/new.ini").empty());
  EXPECT_EQ(app.close(), 0u);
}

TEST_F(Network, AWrongShortCutOrInterruptedRuleFileLeavesTheUserCopyAlone) {
  const struct {
    std::string scenario;
    const char* line;
  } cases[] = {
      {offer(777777777, "/rules/wrong.ini", R"(,"rule_version":777777770)"),
       "[cleanup] Winapp2 받기 실패: 판이 다름 777777770 != 777777777\n"},
      {offer(777777777, "/rules/short.ini", R"(,"rule_version":777777777,"rule_entries":999)"),
       "[cleanup] Winapp2 받기 실패: 항목이 적음 "},
      {offer(777777777, "/rules/cut.ini", R"(,"rule_version":777777777,"cut":{"/rules/cut.ini":300000})"),
       "[cleanup] Winapp2 받기 실패: 본문을 읽지 못했습니다: "},
  };
  fs::create_directories(roaming(L""));
  std::ofstream(roaming(L"Winapp2.ini"), std::ios::binary) << "; Version: 1\r\n[Old *]\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    ASSERT_TRUE(server->set_scenario(c.scenario));
    RunningVorlix app({}, log.wstring());
    ASSERT_TRUE(app.drawn);
    EXPECT_TRUE(log_has(c.line)) << read_text(log);
    EXPECT_EQ(app.close(), 0u);
    EXPECT_TRUE(read_text(roaming(L"Winapp2.ini")) == "; Version: 1\n[Old *]\n") << "the user copy was replaced";
  }
  // Ended in the middle of a slow download: nothing was written.
  ASSERT_TRUE(server->set_scenario(
      offer(777777777, "/rules/slow.ini", R"(,"rule_version":777777777,"delay":{"/rules/slow.ini":20})")));
  const std::size_t before = server->requests().size();
  {
    RunningVorlix app({}, log.wstring());
    ASSERT_TRUE(app.drawn);
    const ULONGLONG until = GetTickCount64() + 20000;
    while (requests_to(*server, before, "/rules/slow.ini").empty() && GetTickCount64() < until) Sleep(50);
    ASSERT_FALSE(requests_to(*server, before, "/rules/slow.ini").empty());
    TerminateProcess(app.process.info.hProcess, 9);
    app.process.wait_exit(5000);
  }
  EXPECT_TRUE(read_text(roaming(L"Winapp2.ini")) == "; Version: 1\n[Old *]\n") << "the user copy was replaced";
  EXPECT_FALSE(fs::exists(roaming(L"Winapp2.ini.tmp")));
}

TEST_F(Network, TheCloseRunSendsItsReportAndOpensItsPage) {
  const std::size_t before = server->requests().size();
  ASSERT_TRUE(server->set_scenario(R"({"report_key":"e2e42"})"));
  RunningVorlix app(L"--dry-run", log.wstring());
  ASSERT_TRUE(app.drawn);
  PostMessageW(app.view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(232, 349));
  PostMessageW(app.view, WM_LBUTTONUP, 0, MAKELPARAM(232, 349));
  EXPECT_EQ(app.process.wait_exit(30000), 0u) << "the program closes itself after the run";
  EXPECT_NE(read_text(log).find("[clean] 보고 전송 200 pk=e2e42\n"), std::string::npos) << read_text(log);
  const std::vector<Recorded> reports = requests_to(*server, before, "/report.php");
  ASSERT_EQ(reports.size(), 1u);
  const Recorded& report = reports[0];
  EXPECT_EQ(report.method, "POST");
  EXPECT_EQ(report.header("Content-Type"), "application/json");
  EXPECT_EQ(report.header("User-Version"), "4.0.1.0");
  EXPECT_EQ(report.header("User-Union"), stored_user_id());
  EXPECT_FALSE(report.header("User-Language"));
  EXPECT_FALSE(report.header("User-Debug"));
  EXPECT_TRUE(report.body.starts_with(R"([{"cate":"memory","old":")")) << report.body.substr(0, 200);
  EXPECT_NE(report.body.find(R"({"cate":"clean","file":")"), std::string::npos);
  EXPECT_NE(report.body.find(R"(Vorlix.exe","state":"1"})"), std::string::npos) << "the program keeps itself";
  EXPECT_NE(report.body.find(R"(","state":"-2"})"), std::string::npos) << "a dry run closes nothing";
  EXPECT_EQ(report.body.find(R"("cate":"start")"), std::string::npos) << "no page was opened";
  if (has_url_logger()) {
    EXPECT_TRUE(url_was_opened(VORLIX_SERVER_ORIGIN "/?report=e2e42"));
  }
}

// A visible top-level window of the process with this class.
HWND window_of(DWORD pid, const wchar_t* class_name, unsigned ms = 20000) {
  const ULONGLONG until = GetTickCount64() + ms;
  do {
    for (HWND w = FindWindowExW(nullptr, nullptr, class_name, nullptr); w;
         w = FindWindowExW(nullptr, w, class_name, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    Sleep(50);
  } while (GetTickCount64() < until);
  return nullptr;
}

std::size_t times_opened(const std::string& url) {
  std::ifstream in(opened_urls_log());
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) count += line == url;
  return count;
}

TEST_F(Network, TheOfferAndTheNoticeShowInTheUsersLanguageAndDoWhatTheUserChooses) {
  const std::string update = VORLIX_SERVER_ORIGIN "/download?n=" + std::to_string(GetTickCount64());
  const std::string notice = VORLIX_SERVER_ORIGIN "/notice?n=" + std::to_string(GetTickCount64());
  ASSERT_TRUE(server->set_scenario(R"({"init":{"status":"ok","update":")" + update + R"(","notify":")" + notice +
                                   R"(","info":{"style":"hold","text":"Not now\tplease"}}})"));
  {
    const std::size_t before = server->requests().size();
    SetEnvironmentVariableW(L"ORVAN_DIALOG_DEBUG", L"1");
    RunningVorlix app(L"--lang ko", log.wstring());
    SetEnvironmentVariableW(L"ORVAN_DIALOG_DEBUG", nullptr);
    ASSERT_TRUE(app.drawn);
    const HWND dialog = window_of(app.process.info.dwProcessId, L"#32770");
    for (const char* step : {"CreateActCtxW: ", "활성화 컨텍스트: ", "comctl32.dll: ", "TaskDialogIndirect: "})
      EXPECT_NE(read_text(log).find(std::string("[orvan-dialog] ") + step + "성공\n"), std::string::npos) << step;
    const HWND bar = window_of(app.process.info.dwProcessId, L"OrvanUpdateBar");
    ASSERT_NE(dialog, nullptr) << read_text(log);
    ASSERT_NE(bar, nullptr) << read_text(log);
    RECT host{}, strip{};
    GetWindowRect(app.window, &host);
    GetWindowRect(bar, &strip);
    EXPECT_EQ(strip.left, host.left);
    EXPECT_EQ(strip.right - strip.left, host.right - host.left);
    EXPECT_TRUE(strip.top >= host.bottom || strip.bottom <= host.top) << "beside the window, not over it";
    Sleep(500);
    save_artifact(capture(dialog), L"vorlix-update-dialog-ko.png");
    save_artifact(capture(bar), L"vorlix-update-bar-ko.png");

    // Minimised, the bar goes with the window, and comes back with it.
    ShowWindow(app.window, SW_MINIMIZE);
    const ULONGLONG until = GetTickCount64() + 5000;
    while (IsWindowVisible(bar) && GetTickCount64() < until) Sleep(50);
    EXPECT_FALSE(IsWindowVisible(bar));
    ShowWindow(app.window, SW_RESTORE);
    const ULONGLONG back = GetTickCount64() + 5000;
    while (!IsWindowVisible(bar) && GetTickCount64() < back) Sleep(50);
    EXPECT_TRUE(IsWindowVisible(bar));

    // "Not now", ticked, and No: the server hears it once more, with the command.
    SendMessageW(dialog, TDM_CLICK_VERIFICATION, TRUE, FALSE);
    SendMessageW(dialog, TDM_CLICK_BUTTON, IDNO, 0);
    const ULONGLONG held = GetTickCount64() + 10000;
    while (requests_to(*server, before, "/api.init.php").size() < 2 && GetTickCount64() < held) Sleep(50);
    const std::vector<Recorded> asked = requests_to(*server, before, "/api.init.php");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].header("User-Command"), "hold");

    // A click on the bar opens the notice once and takes the bar away.
    PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    if (has_url_logger()) {
      EXPECT_TRUE(url_was_opened(notice));
      Sleep(500);
      EXPECT_EQ(times_opened(notice), 1u);
    }
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(app.close(), 0u) << "No leaves the program running";
  }
  // Right to left, and Yes: the download page opens and the program ends.
  // The prefix's dialog font has no Arabic; the host's DejaVu Sans does.
  const wchar_t link[] = L"DejaVuSans.ttf,DejaVu Sans\0";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                  L"Tahoma", REG_MULTI_SZ, link, sizeof link);
  RunningVorlix app(L"--lang ar", log.wstring());
  ASSERT_TRUE(app.drawn);
  const HWND dialog = window_of(app.process.info.dwProcessId, L"#32770");
  ASSERT_NE(dialog, nullptr);
  Sleep(500);
  save_artifact(capture(dialog), L"vorlix-update-dialog-ar.png");
  if (const HWND bar = window_of(app.process.info.dwProcessId, L"OrvanUpdateBar", 5000))
    save_artifact(capture(bar), L"vorlix-update-bar-ar.png");
  SendMessageW(dialog, TDM_CLICK_BUTTON, IDYES, 0);
  EXPECT_EQ(app.process.wait_exit(15000), 0u) << "accepting ends the program";
  if (has_url_logger()) {
    EXPECT_TRUE(url_was_opened(update));
  }
}

TEST_F(Network, TheCrashTestIsReportedAndTheUserIsTold) {
  const std::size_t before = server->requests().size();
  Process app;
  ASSERT_TRUE(app.start(program_path(), L"--crash-test", log.wstring()));
  const HWND box = window_of(app.info.dwProcessId, L"#32770");
  ASSERT_NE(box, nullptr) << "the message box";
  Sleep(300);
  save_artifact(capture(box), L"vorlix-crash-box.png");
  const std::vector<Recorded> reports = requests_to(*server, before, "/except.php");
  ASSERT_EQ(reports.size(), 1u) << "sent before the user is told";
  const std::string& body = reports[0].body;
  EXPECT_NE(body.find("executable        : Vorlix\r\n"), std::string::npos);
  EXPECT_NE(body.find("version           : 4.0.1.0\r\n"), std::string::npos);
  EXPECT_NE(body.find("exception code    : C0000005 Access Violation\r\n"), std::string::npos);
  EXPECT_NE(body.find("\r\nnotes:\r\n  crash test\r\n"), std::string::npos);
  EXPECT_NE(body.find("  Vorlix.exe\r\n"), std::string::npos) << "in the module list";
  EXPECT_NE(body.find("name=\"MailBody\"\r\n\r\nVorlix 4.0.1.0\r\n"), std::string::npos);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(app.wait_exit(20000), 0xC0000005u) << "the crash goes on once the user has read it";
}

}  // namespace
