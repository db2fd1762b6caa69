#include "net/report.h"

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "common/text.h"
#include "net/update.h"

namespace vx::net {

std::string escape_json_text(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte >= 0x80) {
      const DecodedChar d = decode_utf8(text, pos);
      if (d.code_point == replacement_character) {
        append_utf8(out, replacement_character);
      } else {
        out.append(text.substr(pos, d.length));
      }
      pos += d.length;
      continue;
    }
    ++pos;
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += hex[byte >> 4];
          out += hex[byte & 0xF];
        } else {
          out += static_cast<char>(byte);
        }
    }
  }
  return out;
}

namespace {

using Member = std::pair<std::string_view, std::string_view>;

void add_record(std::string& body, std::string_view cate, std::initializer_list<Member> members) {
  if (body.size() > 1) body += ',';
  body += "{\"cate\":\"";
  body += cate;
  body += '"';
  for (const auto& [name, value] : members) {
    body += ",\"";
    body += name;
    body += "\":\"";
    body += escape_json_text(value);
    body += '"';
  }
  body += '}';
}

// Standard error is shared by threads: one write per line keeps lines whole.
void log_line(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string_view without_trailing_slash(std::string_view origin) {
  if (origin.ends_with('/')) origin.remove_suffix(1);
  return origin;
}

}  // namespace

std::string build_report(const MemoryRecord& memory, const std::vector<CleanRecord>& clean,
                         const std::vector<StartRecord>& start, const std::vector<InstallRecord>& install,
                         const std::vector<SignRecord>& sign) {
  std::string body = "[";
  add_record(body, "memory",
             {{"old", std::to_string(memory.old_available)},
              {"new", std::to_string(memory.new_available)},
              {"tot", std::to_string(memory.total)}});
  for (const CleanRecord& r : clean) add_record(body, "clean", {{"file", r.file}, {"state", std::to_string(r.state)}});
  for (const StartRecord& r : start) add_record(body, "start", {{"item", r.item}, {"from", r.from}});
  for (const InstallRecord& r : install)
    add_record(body, "install", {{"displayname", r.display_name}, {"publisher", r.publisher}});
  for (const SignRecord& r : sign) add_record(body, "sign", {{"signer", r.signer}, {"file", r.file}});
  body += ']';
  return body;
}

std::string report_key(std::string_view answer) {
  static constexpr std::string_view marker = "\"pk\":\"";
  const std::string text = sanitize_utf8(answer);
  const std::size_t start = text.find(marker);
  if (start == std::string::npos) return {};
  const std::size_t from = start + marker.size();
  const std::size_t end = text.find('"', from);
  if (end == std::string::npos) return {};
  return text.substr(from, end - from);
}

std::string report_url(std::string_view origin, std::string_view key) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url(without_trailing_slash(origin));
  url += "/?report=";
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      url += c;
    } else {
      url += '%';
      url += hex[byte >> 4];
      url += hex[byte & 0xF];
    }
  }
  return url;
}

std::string send_report(Transport& transport, std::string_view origin, std::string_view body,
                        std::string_view user_id) {
  Request request = Request::to(std::string(without_trailing_slash(origin)) + "/report.php");
  request.post()
      .with_body(std::string(body))
      .header("Content-Type", "application/json")
      .header("User-Version", version_text(std::nullopt))
      .header("User-Union", user_id);
  const HttpResult response = transport.send(request);
  if (!response) {
    log_line("[clean] 보고 전송 실패: " + response.error().debug());
    return {};
  }
  std::string key = report_key(response->body);
  log_line("[clean] 보고 전송 " + std::to_string(response->status) + " pk=" + key);
  return key;
}

}  // namespace vx::net
