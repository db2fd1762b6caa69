#include "net/update.h"

#include "common/text.h"

namespace vx::net {

std::expected<UpdateInfo, std::string> parse_update(std::string_view body) {
  UpdateInfo info;
  std::string error;
  if (!parse_update_into(body, info, error)) return std::unexpected(std::move(error));
  return info;
}

vx::Result<UpdateInfo> fetch_update(const UpdateConfig& config, Transport& transport,
                                    const std::function<vx::Result<std::string>()>& user_id,
                                    std::optional<std::string_view> command) {
  const std::optional<std::string> url = check_url(config.url);
  if (!url)
    return vx::fail("config", "업데이트 주소는 전체 URL(https://...)이어야 합니다: " + std::string(trim(config.url)));

  Request request = Request::to(*url);
  request.agent(config.user_agent)
      .timeouts(config.connect_timeout, config.receive_timeout)
      .header("User-Version", config.version)
      .header("User-Language", config.language)
      .header("User-Debug", config.debug ? "true" : "false");
  if (config.union_id) {
    request.header("User-Union", *config.union_id);
  } else if (user_id) {
    // Without an id the server still answers; the check goes on.
    if (const vx::Result<std::string> id = user_id()) request.header("User-Union", *id);
  }
  if (command) request.header("User-Command", *command);

  HttpResult response = transport.send(request);
  if (!response) {
    const HttpError& error = response.error();
    if (error.status) {
      return vx::fail("http", "업데이트 서버가 " + std::to_string(*error.status) + " 응답을 보냈습니다.");
    }
    return vx::fail("network", "업데이트 서버에 연결하지 못했습니다: " + error.message);
  }
  std::expected<UpdateInfo, std::string> info = parse_update(response->body);
  if (!info) return vx::fail("parse", "업데이트 응답을 해석하지 못했습니다: " + info.error());
  return std::move(*info);
}

std::string version_text(std::optional<std::string_view> override_version) {
  std::string_view version = override_version ? trim(*override_version) : std::string_view();
  if (version.empty()) version = program_version;
  return std::string(version) + ".0";
}

}  // namespace vx::net
