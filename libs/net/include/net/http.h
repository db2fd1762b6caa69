// One blocking HTTP exchange: a request goes out, the whole answer comes back
// as the status and body, or as an error a person can read. The WinHTTP
// transport is in win32/; the helpers below are the parts of it that need no
// system, so they are tested on every build.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::net {

enum class Method { get, post };

// Built in one expression: Request::to(url).post().header(n, v).agent(a).with_body(b).
struct Request {
  std::string url;  // white space around it is ignored
  Method method = Method::get;
  std::vector<std::pair<std::string, std::string>> headers;             // sent in this order
  std::string body;                                                     // sent for POST, may be empty
  std::string user_agent;                                               // no User-Agent header when blank
  std::chrono::nanoseconds connect_timeout = std::chrono::seconds(10);  // name look-up and connecting
  std::chrono::nanoseconds receive_timeout = std::chrono::seconds(30);  // sending and receiving

  static Request to(std::string url);
  Request& post();
  // Appends; a value that is empty or only white space adds nothing, so callers
  // can pass optional values straight through.
  Request& header(std::string_view name, std::string_view value);
  Request& agent(std::string_view text);
  Request& with_body(std::string bytes);
  Request& timeouts(std::chrono::nanoseconds connect, std::chrono::nanoseconds receive);
};

// Longest body kept; the transport reads in chunks of at most body_chunk_size
// and stops before the chunk that would pass the limit.
inline constexpr std::size_t max_body_size = 8'388'608;
inline constexpr std::size_t body_chunk_size = 16'384;

struct Response {
  std::uint16_t status = 0;
  std::string body;
  bool cut = false;  // the body went on past max_body_size and was cut at the last whole chunk
};

// Either a status error (a non-2xx answer, its body dropped) or a network
// error: a fixed prefix naming the step, then the system's text.
struct HttpError {
  std::optional<std::uint16_t> status;
  std::string message;

  // For log lines that show the error's kind: "Status(404)" or
  // "Network("<message>")", the message on one line with quotes, backslashes
  // and control characters escaped.
  std::string debug() const;
  // The message, or "HTTP 404" for a status error.
  std::string text() const;
};

using HttpResult = std::expected<Response, HttpError>;

class Transport {
 public:
  virtual ~Transport() = default;
  // The whole exchange, synchronously; safe to call from several threads.
  virtual HttpResult send(const Request& request) = 0;
};

// The trimmed URL when it starts with "http://" or "https://" (lower case
// only), else nothing.
std::optional<std::string> check_url(std::string_view url);
// The error for a URL check_url refuses.
std::string full_url_error(std::string_view url);
// Whole milliseconds, at least 1 (0 would mean "wait forever" to the system)
// and at most 2,147,483,647.
std::uint32_t timeout_ms(std::chrono::nanoseconds t);
// "User-Agent: <agent>" first when the agent is not blank, then the headers
// in order as "name: value", joined by CR LF; empty when there are none. A
// header with a blank value, or whose name or value holds CR, LF or NUL (it
// could not travel as one header line), is left out.
std::string header_block(const Request& request);
// The object to request: the URL's path followed by its query. A URL without a
// path asks for "/" (with the query after it, if any).
std::string object_name(std::string_view path, std::string_view extra);

}  // namespace vx::net
