#include "net/http.h"

#include <gtest/gtest.h>

namespace {

using namespace vx::net;
using namespace std::chrono_literals;
using Headers = std::vector<std::pair<std::string, std::string>>;

TEST(Request, BuilderKeepsHeaderOrderAndDropsBlankValues) {
  const Request r = Request::to("https://example.test/a")
                        .post()
                        .header("B", "2")
                        .header("Empty", "")
                        .header("Blank", " \t\u3000")
                        .header("A", " 1 ")
                        .agent("agent")
                        .with_body("{}")
                        .timeouts(1s, 2s);
  EXPECT_EQ(r.method, Method::post);
  EXPECT_EQ(r.headers, (Headers{{"B", "2"}, {"A", " 1 "}})) << "values are sent as given";
  EXPECT_EQ(r.body, "{}");
  EXPECT_EQ(r.connect_timeout, 1s);
  EXPECT_EQ(r.receive_timeout, 2s);

  const Request plain = Request::to("u");
  EXPECT_EQ(plain.method, Method::get);
  EXPECT_EQ(plain.connect_timeout, 10s);
  EXPECT_EQ(plain.receive_timeout, 30s);
}

TEST(Request, HeaderBlockPutsTheAgentFirstAndSkipsWhatCannotBeOneLine) {
  Request r = Request::to("u").header("X-One", "1").header("X-Two", "2").agent("Agent/1");
  EXPECT_EQ(header_block(r), "User-Agent: Agent/1\r\nX-One: 1\r\nX-Two: 2");

  r.agent("   ");
  EXPECT_EQ(header_block(r), "X-One: 1\r\nX-Two: 2") << "a blank agent sends no User-Agent";

  r.headers.emplace_back("X-Evil", "a\r\nHost: other");
  r.headers.emplace_back("X\nName", "v");
  r.headers.emplace_back("X-Blank", " ");
  r.agent(std::string("A\0B", 3));
  EXPECT_EQ(header_block(r), "X-One: 1\r\nX-Two: 2");

  EXPECT_EQ(header_block(Request::to("u")), "");
}

TEST(Url, OnlyFullLowerCaseHttpSchemesPass) {
  EXPECT_EQ(check_url("  https://example.test/x \t"), "https://example.test/x");
  EXPECT_EQ(check_url("http://"), "http://");
  for (const char* bad : {"ftp://example.test", "HTTP://example.test", "Https://example.test", "example.test/x",
                          "https:/example.test", "", "   "}) {
    EXPECT_EQ(check_url(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(full_url_error("ftp://x"), "주소는 전체 URL(https://...)이어야 합니다: ftp://x");
}

TEST(Url, ObjectNameIsPathAndQueryWithASlashWhenThereIsNoPath) {
  EXPECT_EQ(object_name("", ""), "/");
  EXPECT_EQ(object_name("/api.init.php", ""), "/api.init.php");
  EXPECT_EQ(object_name("/", "?report=ab"), "/?report=ab");
  EXPECT_EQ(object_name("", "?a=1"), "/?a=1");
}

TEST(Timeouts, AreWholeMillisecondsClampedToWhatTheSystemTakes) {
  EXPECT_EQ(timeout_ms(0ns), 1u) << "zero would mean no timeout at all";
  EXPECT_EQ(timeout_ms(999us), 1u);
  EXPECT_EQ(timeout_ms(-5s), 1u);
  EXPECT_EQ(timeout_ms(1500ms), 1500u);
  EXPECT_EQ(timeout_ms(1s + 999999ns), 1000u);
  EXPECT_EQ(timeout_ms(std::chrono::hours(1000)), 2'147'483'647u);
  EXPECT_EQ(timeout_ms(std::chrono::nanoseconds::max()), 2'147'483'647u);
}

TEST(HttpError, DebugAndTextForms) {
  const HttpError status{404, "ignored"};
  EXPECT_EQ(status.debug(), "Status(404)");
  EXPECT_EQ(status.text(), "HTTP 404");

  const HttpError network{std::nullopt, "보내지 못했습니다: \"C:\\x\"\r\n\x01"};
  EXPECT_EQ(network.debug(), "Network(\"보내지 못했습니다: \\\"C:\\\\x\\\"\\r\\n\\u{1}\")");
  EXPECT_EQ(network.text(), network.message);
}

}  // namespace
