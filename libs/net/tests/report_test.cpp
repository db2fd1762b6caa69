#include "net/report.h"

#include <gtest/gtest.h>

#include "fake_transport.h"

namespace {

using namespace vx::net;
using namespace vx::net::testing;

TEST(ReportEscaping, EscapesQuotesBackslashesAndControlsOnly) {
  EXPECT_EQ(escape_json_text("%ProgramFiles%\\App\\a.exe"), "%ProgramFiles%\\\\App\\\\a.exe");
  EXPECT_EQ(escape_json_text("a\tb"), "a\\tb");
  EXPECT_EQ(escape_json_text("\"q\" \b\n\f\r/"), "\\\"q\\\" \\b\\n\\f\\r/");
  EXPECT_EQ(escape_json_text(std::string("\x1F\x01\x00\x7F", 4)), "\\u001f\\u0001\\u0000\x7F");
  EXPECT_EQ(escape_json_text("우리은행 ÄÖ 😀"), "우리은행 ÄÖ 😀");
  EXPECT_EQ(escape_json_text("a\xFF"
                             "b\xE2\x82"),
            "a\uFFFD"
            "b\uFFFD")
      << "the body stays valid UTF-8";
}

TEST(ReportBody, RecordsInOrderWithEveryValueAText) {
  const std::string body =
      build_report({1000, 2500, 8000}, {{"%ProgramFiles%\\A\\a.exe", -1}, {"C:\\b.exe", 1}, {"c.exe", -2}},
                   {{"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\x", "HKCU"}},
                   {{"Pro\tgram", "Maker \"M\""}}, {{"Signer", "%SystemRoot%\\s.exe"}});
  EXPECT_EQ(body,
            R"([{"cate":"memory","old":"1000","new":"2500","tot":"8000"},)"
            R"({"cate":"clean","file":"%ProgramFiles%\\A\\a.exe","state":"-1"},)"
            R"({"cate":"clean","file":"C:\\b.exe","state":"1"},)"
            R"({"cate":"clean","file":"c.exe","state":"-2"},)"
            R"({"cate":"start","item":"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\x","from":"HKCU"},)"
            R"({"cate":"install","displayname":"Pro\tgram","publisher":"Maker \"M\""},)"
            R"({"cate":"sign","signer":"Signer","file":"%SystemRoot%\\s.exe"}])");
}

TEST(ReportBody, PagesNotOpenedGiveNoRecords) {
  EXPECT_EQ(build_report({18446744073709551615ull, 0, 1}, {}, {}, {}, {{"S", "f"}}),
            R"([{"cate":"memory","old":"18446744073709551615","new":"0","tot":"1"},)"
            R"({"cate":"sign","signer":"S","file":"f"}])");
  EXPECT_EQ(build_report({}, {}, {}, {}, {}), R"([{"cate":"memory","old":"0","new":"0","tot":"0"}])");
}

TEST(ReportKey, IsTheTextAfterTheFirstPkUpToTheNextQuote) {
  EXPECT_EQ(report_key(R"({"ok":1,"pk":"ab12","x":"y"})"), "ab12");
  EXPECT_EQ(report_key(R"({"pk":"first"} {"pk":"second"})"), "first");
  EXPECT_EQ(report_key(R"({"pk":""})"), "");
  EXPECT_EQ(report_key(R"({"ok":1})"), "");
  EXPECT_EQ(report_key(R"({"pk": "ab12"})"), "") << "no JSON parsing: only the exact six characters";
  EXPECT_EQ(report_key(R"({"pk":"ab12)"), "") << "no closing quote";
  EXPECT_EQ(report_key("\xFF\xFE{\"pk\":\"a\xC3"
                       "b\"}"),
            "a\uFFFD"
            "b")
      << "invalid bytes replaced";
}

TEST(ReportUrl, KeyIsAppendedAndOddCharactersEncoded) {
  EXPECT_EQ(report_url("https://server.test", "ab12"), "https://server.test/?report=ab12");
  EXPECT_EQ(report_url("https://server.test/", "a-b_c.d~"), "https://server.test/?report=a-b_c.d~");
  EXPECT_EQ(report_url("https://server.test", "a b&c#d/é"), "https://server.test/?report=a%20b%26c%23d%2F%C3%A9");
}

TEST(SendReport, PostsTheBodyWithItsHeadersAndLogsTheKey) {
  FakeTransport transport(ok_answer(R"({"pk":"ab12"})", 201));
  ::testing::internal::CaptureStderr();
  const std::string key = send_report(transport, "https://server.test", "[{}]", "0123ABCD");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[clean] 보고 전송 201 pk=ab12\n");
  EXPECT_EQ(key, "ab12");

  ASSERT_EQ(transport.sent.size(), 1u);
  const Request& r = transport.sent[0];
  EXPECT_EQ(r.url, "https://server.test/report.php");
  EXPECT_EQ(r.method, Method::post);
  EXPECT_EQ(r.body, "[{}]");
  EXPECT_EQ(r.user_agent, "");
  EXPECT_EQ(r.connect_timeout, Request{}.connect_timeout);
  EXPECT_EQ(r.receive_timeout, Request{}.receive_timeout);
  EXPECT_EQ(r.headers,
            (Headers{{"Content-Type", "application/json"}, {"User-Version", "4.0.1.0"}, {"User-Union", "0123ABCD"}}));
}

TEST(SendReport, WithoutAnIdOrAKeyTheReportStillGoes) {
  FakeTransport transport(ok_answer("thanks"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send_report(transport, "https://server.test", "[]", ""), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[clean] 보고 전송 200 pk=\n");
  EXPECT_EQ(transport.sent[0].headers.size(), 2u) << "no User-Union";
}

TEST(SendReport, FailuresAreLoggedInTheirDebugFormAndGiveNoKey) {
  FakeTransport refused(status_error(500));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send_report(refused, "https://server.test", "[]", "id"), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[clean] 보고 전송 실패: Status(500)\n");

  FakeTransport offline(network_error("보내지 못했습니다: \"timeout\""));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send_report(offline, "https://server.test", "[]", "id"), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "[clean] 보고 전송 실패: Network(\"보내지 못했습니다: \\\"timeout\\\"\")\n");
}

}  // namespace
