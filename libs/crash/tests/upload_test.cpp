#include "crash/upload.h"

#include <gtest/gtest.h>

#include "fake_transport.h"

namespace {

using namespace vx::crash;
using namespace vx::net::testing;

TEST(CrashUpload, MultipartBodyBytes) {
  EXPECT_EQ(boundary_for(1'700'000'000'123'456'789), "----OrvanExcept1700000000123456789");
  EXPECT_EQ(multipart_body("----OrvanExcept1", "Vorlix", "4.0.1.0", "line 1\r\nline 2\r\n"),
            "------OrvanExcept1\r\n"
            "Content-Disposition: form-data; name=\"MailSubject\"\r\n"
            "\r\n"
            "bug report\r\n"
            "------OrvanExcept1\r\n"
            "Content-Disposition: form-data; name=\"MailBody\"\r\n"
            "\r\n"
            "Vorlix 4.0.1.0\r\n"
            "------OrvanExcept1\r\n"
            "Content-Disposition: form-data; name=\"BugReport\"; filename=\"bugreport.txt\"\r\n"
            "Content-Type: application/octet-stream\r\n"
            "\r\n"
            "line 1\r\nline 2\r\n\r\n"
            "------OrvanExcept1--\r\n");
}

const UploadSettings settings{"Vorlix", "4.0.1.0", "Mozilla/5.0 (Windows NT 10.0; Win64; x64)", std::chrono::seconds(3),
                              std::chrono::seconds(7)};

TEST(CrashUpload, PostsTheFormToTheEndpoint) {
  FakeTransport transport(ok_answer("ok"));
  EXPECT_TRUE(upload_report(transport, "https://localhost:8443/", settings, "report", 42));
  ASSERT_EQ(transport.sent.size(), 1u);
  const vx::net::Request& r = transport.sent[0];
  EXPECT_EQ(r.url, "https://localhost:8443/except.php");
  EXPECT_EQ(r.method, vx::net::Method::post);
  EXPECT_EQ(r.headers, (Headers{{"Content-Type", "multipart/form-data; boundary=----OrvanExcept42"}}));
  EXPECT_EQ(r.user_agent, settings.user_agent);
  EXPECT_EQ(r.connect_timeout, std::chrono::seconds(3));
  EXPECT_EQ(r.receive_timeout, std::chrono::seconds(7));
  EXPECT_EQ(r.body, multipart_body("----OrvanExcept42", "Vorlix", "4.0.1.0", "report"));
}

TEST(CrashUpload, FailuresByKind) {
  FakeTransport offline(network_error("연결 시간 초과"));
  EXPECT_EQ(upload_report(offline, "https://h", settings, "r", 1).error(),
            (vx::Error{"network", "보고 서버에 연결하지 못했습니다: 연결 시간 초과"}));
  FakeTransport refused(status_error(500));
  EXPECT_EQ(upload_report(refused, "https://h", settings, "r", 1).error(),
            (vx::Error{"http", "보고 서버가 500 응답을 보냈습니다."}));
}

}  // namespace
