// The product server's start-up answer as the program uses it: whether an
// update or a notice is offered, how the notice looks, and the settings that
// steer the cleaning engines. Kept apart from the request (update.h) so the
// fuzz build, which has no std::expected, can reach the parser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::net {

enum class NoticeStyle { plain, hold, note };

// The server's keys of the four keep-alive lists, in ServerSettings::lists order.
inline constexpr std::size_t server_list_count = 4;
inline constexpr std::array<std::string_view, server_list_count> server_list_names = {"file_white", "name_white",
                                                                                      "name_black", "sign_white"};

// What the window thread applies whatever the answer's status.
struct ServerSettings {
  std::uint32_t rule_file_version = 0;  // 0: no rule file offered
  std::array<std::vector<std::string>, server_list_count> lists;
  std::optional<std::string> rule_file_url;
  friend bool operator==(const ServerSettings&, const ServerSettings&) = default;
};

struct UpdateInfo {
  bool ok = true;  // "status" missing or "ok" in any ASCII case
  // Only when ok: the server's other statuses withdraw the offer and notice.
  std::optional<std::string> update_url, notify_url;
  std::optional<std::string> error;                // the server's message, whatever the status
  std::optional<std::string> info_text, info_url;  // only when ok
  NoticeStyle style = NoticeStyle::plain;          // only when ok
  bool keep_on_top = false;                        // only when ok
  ServerSettings settings;
  friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;
};

// Larger answers are refused unread (the transport never delivers more).
inline constexpr std::size_t max_update_size = 8'388'608;

// Reads the answer into `info` (which should start as UpdateInfo{}). Returns
// false with a one-line reason in `error` when the body is not a JSON object,
// is too large, or names "status", "error", "update", "notify", "info" or one
// of info's "style", "text", "flag", "url" twice. A value of the wrong type
// counts as absent (a non-text "status" other than null counts as not ok);
// other keys are ignored, the last of a repeated one winning.
bool parse_update_into(std::string_view body, UpdateInfo& info, std::string& error);

}  // namespace vx::net
