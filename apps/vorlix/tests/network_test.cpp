// The start-up check, the rule-file refresh and the report's assembly against
// a scripted server.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "activity_report.h"
#include "rule_refresh.h"
#include "startup_check.h"

namespace {

using namespace vx::app;
using vx::net::HttpError;
using vx::net::HttpResult;
using vx::net::Request;
using vx::net::Response;

// Answers by URL, and records every request.
class Server final : public vx::net::Transport {
 public:
  std::map<std::string, HttpResult> answers;
  std::vector<Request> sent;
  HttpResult send(const Request& request) override {
    sent.push_back(request);
    const auto found = answers.find(request.url);
    if (found == answers.end()) return std::unexpected(HttpError{404, {}});
    return found->second;
  }
};

struct Recorded {
  std::vector<vx::net::ServerSettings> settings;
  std::vector<std::string> events;
};

CheckHooks hooks(Recorded& recorded, UpdateAnswer answer = {}) {
  CheckHooks h;
  h.user_id = [] { return vx::Result<std::string>("ID"); };
  h.post_settings = [&recorded](vx::net::ServerSettings s) {
    recorded.settings.push_back(std::move(s));
    return true;
  };
  h.show_bar = [&recorded](const vx::net::UpdateInfo& info) -> vx::Result<> {
    recorded.events.push_back("bar " + *info.notify_url);
    return {};
  };
  h.ask_update = [&recorded, answer](const vx::net::UpdateInfo& info) -> vx::Result<UpdateAnswer> {
    recorded.events.push_back("ask " + *info.update_url);
    return answer;
  };
  h.open_url = [&recorded](const std::string& url) { recorded.events.push_back("open " + url); };
  h.exit_program = [&recorded] { recorded.events.push_back("exit"); };
  return h;
}

vx::net::UpdateConfig config() {
  vx::net::UpdateConfig c;
  c.url = "https://vorlix.test/api.init.php";
  c.version = "4.0.1.0";
  c.language = "en";
  return c;
}

TEST(StartupCheck, SettingsArriveWhateverTheStatusAndOnlyAnOkAnswerOffersAnything) {
  Server server;
  server.answers["https://vorlix.test/api.init.php"] =
      Response{200, R"({"status":"fail","error":"busy","update":"https://u","notify":"https://n","winapp2_ver":7,)"
                    R"("file_white":["a.exe*"]})"};
  Recorded recorded;
  testing::internal::CaptureStderr();
  run_startup_check(config(), server, hooks(recorded));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[update] 서버 응답: busy\n");
  ASSERT_EQ(recorded.settings.size(), 1u);
  EXPECT_EQ(recorded.settings[0].rule_file_version, 7u);
  EXPECT_EQ(recorded.settings[0].lists[0], std::vector<std::string>{"a.exe*"});
  EXPECT_TRUE(recorded.events.empty()) << "no bar and no dialog for a failed status";

  server.answers["https://vorlix.test/api.init.php"] =
      Response{200, R"({"status":"OK","update":"https://u","notify":"https://n"})"};
  Recorded offered;
  run_startup_check(config(), server, hooks(offered, {true, true}));
  EXPECT_EQ(offered.events, (std::vector<std::string>{"bar https://n", "ask https://u", "open https://u", "exit"}));
  ASSERT_EQ(server.sent.size(), 3u) << "held: asked again with the command";
  const auto command =
      std::ranges::find(server.sent[2].headers, "User-Command", &std::pair<std::string, std::string>::first);
  ASSERT_NE(command, server.sent[2].headers.end());
  EXPECT_EQ(command->second, "hold");
}

TEST(StartupCheck, EveryFailureIsOneUpdateLineAndNothingElse) {
  Server server;
  Recorded recorded;
  testing::internal::CaptureStderr();
  run_startup_check(config(), server, hooks(recorded));  // 404
  server.answers["https://vorlix.test/api.init.php"] = Response{200, R"({"update":"a","update":"b"})"};
  run_startup_check(config(), server, hooks(recorded));
  const std::string lines = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(lines.starts_with(
      "[update] 업데이트 서버가 404 응답을 보냈습니다.\n[update] 업데이트 응답을 해석하지 못했습니다: "))
      << lines;
  EXPECT_TRUE(recorded.settings.empty()) << "a duplicate key applies nothing";
  EXPECT_TRUE(recorded.events.empty());
}

// A rule text of `entries` entries that each detect and clean something.
std::string rule_text(std::uint32_t version, int entries) {
  std::string text = "; Version: " + std::to_string(version) + "\r\n";
  for (int i = 0; i < entries; ++i)
    text += "[Entry" + std::to_string(i) + " *]\r\nDetectFile=%WinDir%\\x" + std::to_string(i) +
            "\r\nFileKey1=%WinDir%\\x" + std::to_string(i) + "|*.tmp\r\n";
  return text;
}

struct Refresh : testing::Test {
  Server server;
  std::map<std::string, std::string> files;
  RuleRefresh refresh;
  void SetUp() override {
    refresh.url = "https://vorlix.test/rules/new.ini";
    refresh.server_version = 300;
    refresh.current_version = 200;
    refresh.user_path = "C:\\Users\\u\\AppData\\Roaming\\Vorlix\\Winapp2.ini";
    refresh.replace = [this](const std::string& path, std::string_view text) -> vx::Result<> {
      files[path] = text;
      return {};
    };
  }
  std::string run() {
    testing::internal::CaptureStderr();
    const RefreshOutcome outcome = refresh_rule_file(server, refresh);
    std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(outcome == RefreshOutcome::saved, !files.empty());
    return lines;
  }
};

TEST_F(Refresh, ANewerWholeFileOfTheAnnouncedVersionIsSaved) {
  server.answers[*refresh.url] = Response{200, rule_text(300, 1000)};
  EXPECT_EQ(run(), "[cleanup] Winapp2 300 받음\n");
  EXPECT_EQ(files[*refresh.user_path], rule_text(300, 1000));
  ASSERT_EQ(server.sent.size(), 1u);
  EXPECT_EQ(server.sent[0].receive_timeout, std::chrono::seconds(60));
  EXPECT_EQ(server.sent[0].connect_timeout, std::chrono::seconds(10));
}

TEST_F(Refresh, NothingNewerOrNoAddressFetchesNothingAndSaysNothing) {
  refresh.current_version = 300;
  EXPECT_EQ(run(), "");
  refresh.current_version = 200;
  refresh.url = "";
  EXPECT_EQ(run(), "");
  EXPECT_TRUE(server.sent.empty());
}

TEST_F(Refresh, AWrongShortCutOrUnwritableFileLeavesTheUserCopyAsItWas) {
  server.answers[*refresh.url] = Response{200, rule_text(301, 1000)};
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: 판이 다름 301 != 300\n");
  server.answers[*refresh.url] = Response{200, rule_text(300, 999)};
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: 항목이 적음 999\n");
  server.answers[*refresh.url] = Response{200, rule_text(300, 1000), true};
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: 본문이 8388608 바이트를 넘어 잘림\n");
  server.answers[*refresh.url] = std::unexpected(HttpError{503, {}});
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: HTTP 503\n");
  server.answers[*refresh.url] = Response{200, rule_text(300, 1000)};
  refresh.user_path.reset();
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: APPDATA 없음\n");
  refresh.user_path = "C:\\x";
  refresh.replace = [](const std::string&, std::string_view) { return vx::fail("system", "Access is denied"); };
  EXPECT_EQ(run(), "[cleanup] Winapp2 받기 실패: Access is denied\n");
}

TEST(ActivityReport, RecordsFollowTheRunAndThePagesHoldings) {
  RunFacts run;
  run.available_before = 100;
  run.available_after = 250;
  run.total = 1000;
  run.processes = {{"C:\\Tools\\a.exe", vx::process::ProcessState::closed},
                   {"C:\\Tools\\b.exe", vx::process::ProcessState::kept}};
  run.signers = {{"C:\\Tools\\b.exe", "Maker"}};
  EXPECT_EQ(activity_report(run, {}), R"([{"cate":"memory","old":"100","new":"250","tot":"1000"},)"
                                      R"({"cate":"clean","file":"C:\\Tools\\a.exe","state":"-1"},)"
                                      R"({"cate":"clean","file":"C:\\Tools\\b.exe","state":"1"},)"
                                      R"({"cate":"sign","signer":"Maker","file":"C:\\Tools\\b.exe"}])");
  PageHoldings pages;
  pages.startup = {{"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Tool", "HKCU"}};
  pages.programs = {{"Plug\tin", ""}};
  const std::string body = activity_report(run, pages);
  EXPECT_NE(body.find(R"({"cate":"start","item":"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Tool",)"
                      R"("from":"HKCU"},{"cate":"install","displayname":"Plug\tin","publisher":""},{"cate":"sign")"),
            std::string::npos)
      << body;
}

}  // namespace
