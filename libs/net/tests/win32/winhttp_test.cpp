// The WinHTTP transport against the dev server on loopback: what goes out,
// what comes back, and answers that are slow, empty, refused, too long or cut.
#include "net/win32/winhttp.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "win32/devserver.h"

namespace {

using namespace vx::net;
using vx::testing::DevServer;

class WinHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = DevServer::find();
    if (server) trusted = server->trust();
  }
  void SetUp() override {
    if (!server) GTEST_SKIP() << "no dev server (run through ctest)";
    ASSERT_TRUE(trusted) << "the dev server's certificate could not be trusted";
    ASSERT_TRUE(server->set_scenario("{}"));
  }
  static std::string url(std::string_view path) { return std::string(VORLIX_SERVER_ORIGIN) + std::string(path); }
  static inline std::optional<DevServer> server;
  static inline bool trusted = false;
  win32::WinHttpTransport transport;
};

TEST_F(WinHttp, HeadersGoInOrderAndTheAnswerComesBack) {
  const std::size_t before = server->requests().size();
  const HttpResult answer = transport.send(Request::to("  " + url("/report.php") + " ")
                                               .post()
                                               .agent("Test Agent")
                                               .header("Content-Type", "application/json")
                                               .header("User-Empty", "  ")
                                               .header("User-Union", "ID1")
                                               .with_body(R"([{"cate":"memory"}])"));
  ASSERT_TRUE(answer) << answer.error().message;
  EXPECT_EQ(answer->status, 200);
  EXPECT_NE(answer->body.find(R"("pk":"ab12")"), std::string::npos);
  const std::vector<vx::testing::Recorded> got = server->wait_for_requests(before + 1);
  ASSERT_EQ(got.size(), before + 1);
  const vx::testing::Recorded& sent = got.back();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/report.php");
  EXPECT_EQ(sent.body, R"([{"cate":"memory"}])");
  ASSERT_GE(sent.headers.size(), 3u);
  EXPECT_EQ(sent.headers[0], (std::pair<std::string, std::string>{"User-Agent", "Test Agent"}));
  EXPECT_EQ(sent.headers[1], (std::pair<std::string, std::string>{"Content-Type", "application/json"}));
  EXPECT_EQ(sent.headers[2], (std::pair<std::string, std::string>{"User-Union", "ID1"}));
  EXPECT_FALSE(sent.header("User-Empty"));

  // No path asks for "/".
  ASSERT_TRUE(transport.send(Request::to(VORLIX_SERVER_ORIGIN)));
  EXPECT_EQ(server->wait_for_requests(before + 2).back().path, "/");
}

TEST_F(WinHttp, StatusesAndAddressesThatAreNotWholeUrls) {
  ASSERT_TRUE(server->set_scenario(R"({"status":{"/api.init.php":204,"/vorlix":404}})"));
  const HttpResult empty = transport.send(Request::to(url("/api.init.php")));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 204);
  EXPECT_TRUE(empty->body.empty());
  const HttpResult missing = transport.send(Request::to(url("/vorlix")));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().status, 404);
  EXPECT_EQ(missing.error().debug(), "Status(404)");
  for (const char* bad : {"ftp://localhost/x", "HTTP://localhost/x", "localhost/x"}) {
    const HttpResult refused = transport.send(Request::to(bad));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, std::string("주소는 전체 URL(https://...)이어야 합니다: ") + bad);
  }
  const HttpResult nobody =
      transport.send(Request::to("https://localhost:1/").timeouts(std::chrono::seconds(2), std::chrono::seconds(2)));
  ASSERT_FALSE(nobody);
  EXPECT_TRUE(nobody.error().message.starts_with("보내지 못했습니다: ")) << nobody.error().message;
  EXPECT_NE(nobody.error().message.find("("), std::string::npos) << "a readable text with its code";
}

TEST_F(WinHttp, LongSlowAndCutBodiesAreBoundedAndSaidSo) {
  ASSERT_TRUE(server->set_scenario(
      R"({"big":{"/api.init.php":10485760},"delay":{"/vorlix":5},"cut":{"/rules/cut.ini":100000}})"));
  const HttpResult big = transport.send(Request::to(url("/api.init.php")));
  ASSERT_TRUE(big) << big.error().message;
  EXPECT_TRUE(big->cut) << "said to be cut";
  EXPECT_LE(big->body.size(), max_body_size);
  EXPECT_GT(big->body.size(), max_body_size - body_chunk_size);

  const auto started = std::chrono::steady_clock::now();
  const HttpResult slow =
      transport.send(Request::to(url("/vorlix")).timeouts(std::chrono::seconds(2), std::chrono::seconds(1)));
  const auto waited = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(slow);
  EXPECT_TRUE(slow.error().message.starts_with("응답을 받지 못했습니다: ")) << slow.error().message;
  EXPECT_LT(waited, std::chrono::seconds(4)) << "the receive timeout bounds the wait for the answer";

  const HttpResult cut = transport.send(Request::to(url("/rules/cut.ini")));
  ASSERT_FALSE(cut) << "a body shorter than announced is not a whole body";
  EXPECT_TRUE(cut.error().message.starts_with("본문을 읽지 못했습니다: ")) << cut.error().message;
}

}  // namespace
