#include "crash/upload.h"

namespace vx::crash {

std::string boundary_for(std::uint64_t nanoseconds_since_1970) {
  return "----OrvanExcept" + std::to_string(nanoseconds_since_1970);
}

namespace {

void open_part(std::string& body, std::string_view boundary, std::string_view name) {
  body.append("--").append(boundary).append("\r\n");
  body.append("Content-Disposition: form-data; name=\"").append(name).append("\"");
}

}  // namespace

std::string multipart_body(std::string_view boundary, std::string_view program, std::string_view version,
                           std::string_view report) {
  std::string body;
  body.reserve(report.size() + 512);
  open_part(body, boundary, "MailSubject");
  body.append("\r\n\r\nbug report\r\n");
  open_part(body, boundary, "MailBody");
  body.append("\r\n\r\n").append(program).append(" ").append(version).append("\r\n");
  open_part(body, boundary, "BugReport");
  body.append("; filename=\"bugreport.txt\"\r\nContent-Type: application/octet-stream\r\n\r\n");
  body.append(report).append("\r\n");
  body.append("--").append(boundary).append("--\r\n");
  return body;
}

vx::Result<> upload_report(net::Transport& transport, std::string_view origin, const UploadSettings& settings,
                           std::string_view report, std::uint64_t now_ns) {
  if (origin.ends_with('/')) origin.remove_suffix(1);
  const std::string boundary = boundary_for(now_ns);
  net::Request request = net::Request::to(std::string(origin) + "/except.php");
  request.post()
      .header("Content-Type", "multipart/form-data; boundary=" + boundary)
      .agent(settings.user_agent)
      .timeouts(settings.connect_timeout, settings.receive_timeout)
      .with_body(multipart_body(boundary, settings.program, settings.version, report));
  const net::HttpResult response = transport.send(request);
  if (!response && !response.error().status) {
    return vx::fail("network", "보고 서버에 연결하지 못했습니다: " + response.error().message);
  }
  const std::uint16_t status = response ? response->status : *response.error().status;
  if (status < 200 || status > 299) {
    return vx::fail("http", "보고 서버가 " + std::to_string(status) + " 응답을 보냈습니다.");
  }
  return {};
}

}  // namespace vx::crash
