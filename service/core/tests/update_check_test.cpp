// The companion's update check: what it sends, how it retries, what it reads.
#include "service/update_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace vx::service;
using namespace std::chrono_literals;
using vx::net::HttpError;
using vx::net::HttpResult;
using Headers = std::vector<std::pair<std::string, std::string>>;

// Answers from a script, the last answer repeating.
class ScriptedTransport : public vx::net::Transport {
 public:
  explicit ScriptedTransport(std::vector<HttpResult> answers) : answers_(std::move(answers)) {}
  HttpResult send(const vx::net::Request& request) override {
    sent.push_back(request);
    return answers_[std::min(sent.size(), answers_.size()) - 1];
  }
  std::vector<vx::net::Request> sent;

 private:
  std::vector<HttpResult> answers_;
};

const HttpResult unreachable = std::unexpected(HttpError{std::nullopt, "보내지 못했습니다: timeout"});
const HttpResult not_found = std::unexpected(HttpError{404, {}});
HttpResult ok(std::string body) { return vx::net::Response{200, std::move(body)}; }

CheckConfig config() { return companion_check_config("https://r.test/vorlix.php", "4.0.1.0", "KO"); }

TEST(CompanionCheck, AsksWithTheMainProgramsHeadersAndHoldsWithTwo) {
  const CheckConfig cfg = companion_check_config("https://r.test/vorlix.php", "4.0.1.0", "PT-br-extra");
  EXPECT_EQ(cfg.attempts, 6);
  EXPECT_EQ(cfg.pause, 10s);
  const vx::net::Request request = check_request(cfg, "ID0123");
  EXPECT_EQ(request.url, "https://r.test/vorlix.php");
  EXPECT_EQ(request.method, vx::net::Method::get);
  EXPECT_EQ(request.user_agent, "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
  EXPECT_EQ(request.connect_timeout, 10s);
  EXPECT_EQ(request.receive_timeout, 15s);
  EXPECT_EQ(request.headers, (Headers{{"User-Version", "4.0.1.0"},
                                      {"User-Language", "pt-br-e"},
                                      {"User-Debug", "false"},
                                      {"User-Union", "ID0123"}}));

  CheckConfig fixed = cfg;
  fixed.union_id = "FIXED";
  EXPECT_EQ(check_request(fixed, "ID0123").headers[3].second, "FIXED");
  EXPECT_EQ(hold_request(cfg).headers, (Headers{{"User-Version", "4.0.1.0"}, {"User-Command", "hold"}}));
}

TEST(CompanionCheck, AHeaderLineLongerThan1020UnitsIsLeftOut) {
  vx::net::Request request;
  // "User-Union: " is 12 units.
  add_header(request, "User-Union", std::string(1008, 'a'));
  add_header(request, "User-Union", std::string(1009, 'b'));
  // Counted in UTF-16 units: this character is two, not one and not four.
  add_header(request, "User-Union", std::string(1006, 'c') + "😀");
  add_header(request, "User-Union", std::string(1007, 'd') + "😀");
  add_header(request, "User-Union", "   ");
  std::string sent;  // the first letter of each value sent
  for (const auto& header : request.headers) sent += header.second[0];
  EXPECT_EQ(sent, "ac");
}

TEST(CompanionCheck, RefusesToStartWithoutAUrlAttemptsOrWithANegativeDelay) {
  EXPECT_TRUE(can_start(config()));
  for (const auto& spoil : std::vector<std::function<void(CheckConfig&)>>{
           [](CheckConfig& c) { c.url = " "; }, [](CheckConfig& c) { c.attempts = 0; },
           [](CheckConfig& c) { c.pause = -1ms; }, [](CheckConfig& c) { c.initial_delay = -1ms; }}) {
    CheckConfig bad = config();
    spoil(bad);
    EXPECT_FALSE(can_start(bad));
  }
}

// Records each wait; the one numbered `stop_at` (from 0) says stop.
struct Waits {
  explicit Waits(std::size_t stop = SIZE_MAX) : stop_at(stop) {}
  std::vector<std::chrono::milliseconds> asked;
  std::size_t stop_at;
  StopWait function() {
    return [this](std::chrono::milliseconds time) {
      asked.push_back(time);
      return asked.size() - 1 != stop_at;
    };
  }
};

TEST(CompanionCheck, AnUnreachableServerGetsSixAttemptsTenSecondsApart) {
  ScriptedTransport transport({unreachable, not_found});
  Waits waits;
  int ids = 0;
  EXPECT_EQ(run_check(
                config(), transport, [&] { return ++ids, std::string("ID"); }, waits.function()),
            std::nullopt);
  EXPECT_EQ(transport.sent.size(), 6u);
  EXPECT_EQ(waits.asked, (std::vector<std::chrono::milliseconds>{0ms, 10s, 10s, 10s, 10s, 10s}))
      << "the initial delay, then a pause between attempts, none after the last";
  EXPECT_EQ(ids, 1);
  EXPECT_EQ(transport.sent[5].headers[3].second, "ID");
}

TEST(CompanionCheck, StopsAtTheFirstAnswerOrWhenTold) {
  ScriptedTransport answered({unreachable, unreachable, ok("{\"update\":\"u\"}")});
  Waits waits;
  EXPECT_EQ(run_check(config(), answered, nullptr, waits.function()), "{\"update\":\"u\"}");
  EXPECT_EQ(answered.sent.size(), 3u);

  ScriptedTransport stopped({unreachable});
  Waits stop_in_pause(2);
  EXPECT_EQ(run_check(config(), stopped, nullptr, stop_in_pause.function()), std::nullopt);
  EXPECT_EQ(stopped.sent.size(), 2u);

  ScriptedTransport never({ok("{}")});
  Waits stop_first(0);
  bool asked_id = false;
  EXPECT_EQ(run_check(
                config(), never, [&] { return asked_id = true, std::string(); }, stop_first.function()),
            std::nullopt);
  EXPECT_TRUE(never.sent.empty());
  EXPECT_FALSE(asked_id) << "stopped before reading the registry";
}

TEST(CompanionAnswer, AnUpdateIsOfferedWithoutStatusAndItsStyleReadInAnyCase) {
  const CompanionAnswer answer = read_answer(R"({"update": "https://u.test/dl", "notify": "https://u.test/n",
      "info": {"style": "HOLD", "text": "Not now", "url": "https://u.test/i", "flag": "x,KeepOnTop"}})");
  EXPECT_EQ(answer.update_url, "https://u.test/dl");
  EXPECT_EQ(answer.notify_url, "https://u.test/n");
  EXPECT_EQ(answer.style, vx::net::NoticeStyle::hold);
  EXPECT_EQ(answer.info_text, "Not now");
  EXPECT_EQ(answer.info_url, "https://u.test/i");
  EXPECT_TRUE(answer.keep_on_top);

  EXPECT_EQ(read_answer(R"({"update":"u","info":{"style":"Note"}})").style, vx::net::NoticeStyle::note);
  EXPECT_EQ(read_answer(R"({"update":"u","info":{"style":" hold"}})").style, vx::net::NoticeStyle::plain);
  CompanionAnswer notice_only;
  notice_only.notify_url = "n";
  EXPECT_EQ(read_answer(R"({"status":"fail","notify":"n","info":{"style":"hold","flag":"keepontop"}})"), notice_only)
      << "a notice alone; the details belong to an update";
}

TEST(CompanionAnswer, NoticeWordsPerLanguage) {
  EXPECT_EQ(companion_notice_texts("ko").message,
            "업데이트 정보가 있습니다.\n\n안정적으로 사용하기 위해 업데이트를 하시길 권장합니다.\n\n"
            "다운로드 받으시겠습니까?");
  EXPECT_EQ(companion_notice_texts("es").bar_title, "Actualización");
  EXPECT_EQ(companion_notice_texts("pt-br").yes, "Yes");
}

}  // namespace
