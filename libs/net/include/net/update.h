// The start-up request to the product server: who asks (version, language,
// per-install id) and what comes back (update_info.h).
#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "net/http.h"
#include "net/update_info.h"

namespace vx::net {

// The answer, or the JSON error text.
std::expected<UpdateInfo, std::string> parse_update(std::string_view body);

struct UpdateConfig {
  std::string url;       // the init endpoint, a full http(s) URL
  std::string version;   // version_text(...)
  std::string language;  // two-letter interface language
  std::string user_agent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64)";
  std::optional<std::string> union_id;  // absent: the per-install id is asked for
  std::chrono::nanoseconds connect_timeout = std::chrono::seconds(5);
  std::chrono::nanoseconds receive_timeout = std::chrono::seconds(10);
  bool debug = false;
};

// GET with the headers User-Version, User-Language, User-Debug, User-Union
// (union_id, else user_id(); its failure only leaves the header out) and
// User-Command, each left out when blank. Errors, by kind: "config" (the URL
// is not a full http(s) URL), "network", "http" (a non-2xx status), "parse".
vx::Result<UpdateInfo> fetch_update(const UpdateConfig& config, Transport& transport,
                                    const std::function<vx::Result<std::string>()>& user_id,
                                    std::optional<std::string_view> command = std::nullopt);

inline constexpr std::string_view program_version = "4.0.1";

// The version the server is told: the override when it is not blank (so a
// test can pose as another release), else program_version; trimmed, with
// ".0" appended.
std::string version_text(std::optional<std::string_view> override_version);

}  // namespace vx::net
