#include "net/http.h"

#include <algorithm>
#include <cstdio>

#include "common/text.h"

namespace vx::net {

Request Request::to(std::string url) {
  Request request;
  request.url = std::move(url);
  return request;
}

Request& Request::post() {
  method = Method::post;
  return *this;
}

Request& Request::header(std::string_view name, std::string_view value) {
  if (!trim(value).empty()) headers.emplace_back(name, value);
  return *this;
}

Request& Request::agent(std::string_view text) {
  user_agent = text;
  return *this;
}

Request& Request::with_body(std::string bytes) {
  body = std::move(bytes);
  return *this;
}

Request& Request::timeouts(std::chrono::nanoseconds connect, std::chrono::nanoseconds receive) {
  connect_timeout = connect;
  receive_timeout = receive;
  return *this;
}

std::string HttpError::debug() const {
  if (status) return "Status(" + std::to_string(*status) + ")";
  std::string out = "Network(\"";
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[12];
          std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(byte));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += "\")";
  return out;
}

std::string HttpError::text() const { return status ? "HTTP " + std::to_string(*status) : message; }

std::optional<std::string> check_url(std::string_view url) {
  const std::string_view trimmed = trim(url);
  if (trimmed.starts_with("http://") || trimmed.starts_with("https://")) return std::string(trimmed);
  return std::nullopt;
}

std::string full_url_error(std::string_view url) {
  return "주소는 전체 URL(https://...)이어야 합니다: " + std::string(url);
}

std::uint32_t timeout_ms(std::chrono::nanoseconds t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t).count();
  return static_cast<std::uint32_t>(std::clamp<decltype(ms)>(ms, 1, 2'147'483'647));
}

namespace {

bool one_line(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos; }

void add_line(std::string& block, std::string_view name, std::string_view value) {
  if (trim(value).empty() || !one_line(name) || !one_line(value)) return;
  if (!block.empty()) block += "\r\n";
  block.append(name).append(": ").append(value);
}

}  // namespace

std::string header_block(const Request& request) {
  std::string block;
  add_line(block, "User-Agent", request.user_agent);
  for (const auto& [name, value] : request.headers) add_line(block, name, value);
  return block;
}

std::string object_name(std::string_view path, std::string_view extra) {
  std::string name(path.empty() ? "/" : path);
  name += extra;
  return name;
}

}  // namespace vx::net
