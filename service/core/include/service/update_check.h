// The companion's own update check, without the system: what it asks the
// server, how it retries, and what it reads from the answer. The worker
// thread, WinHTTP, the dialog and the bar are the Windows part.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "net/http.h"
#include "net/update_info.h"

namespace vx::service {

struct CheckConfig {
  std::string url;  // the report host's "/vorlix.php", a full https URL
  int attempts = 6;
  std::chrono::milliseconds pause{10'000};  // between attempts
  std::chrono::milliseconds initial_delay{0};
  bool debug = false;
  std::string version;   // the main program's file version, "a.b.c.d"
  std::string language;  // lower-cased, at most max_check_language characters
  // A fixed id to send; absent: the per-install id from the registry, the
  // same value the main program sends.
  std::optional<std::string> union_id;
};

inline constexpr std::size_t max_check_language = 7;
inline constexpr std::string_view check_user_agent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64)";
inline constexpr auto check_connect_timeout = std::chrono::milliseconds(10'000);  // resolving and connecting
inline constexpr auto check_receive_timeout = std::chrono::milliseconds(15'000);
// A header whose "Name: value" line would be longer (in UTF-16 units) is not sent.
inline constexpr std::size_t max_header_line = 1'020;

// The companion's configuration for a server URL, the main program's version
// and the companion's language (ASCII lower-cased and cut).
CheckConfig companion_check_config(std::string url, std::string version, std::string_view language);

// Whether a check may start with it: a URL, at least one attempt, no negative
// delay.
bool can_start(const CheckConfig& config);

// Appends the header unless its line would pass max_header_line (or its value
// is blank, as Request::header has it).
void add_header(net::Request& request, std::string_view name, std::string_view value);

// GET with User-Version, User-Language, User-Debug and User-Union (the
// configured id, else `user_id`).
net::Request check_request(const CheckConfig& config, std::string_view user_id);
// The request sent when the user ticks "hold": only User-Version and
// User-Command "hold".
net::Request hold_request(const CheckConfig& config);

// Waits up to the given time; false when the check is to stop (the Windows
// part waits on its stop event).
using StopWait = std::function<bool(std::chrono::milliseconds)>;

// The worker's loop: waits the initial delay, asks `user_id` (only when the
// configuration has no id), then up to `attempts` requests, `pause` apart,
// until one answers with a 2xx status. Returns that body; nothing when every
// attempt failed or the wait says stop (which also covers a request cancelled
// by the stop). No pause follows the last attempt.
std::optional<std::string> run_check(const CheckConfig& config, net::Transport& transport,
                                     const std::function<std::string()>& user_id, const StopWait& wait);

// What the companion reads from the answer. Unlike the main program it does
// not look at "status": an answer with "update" offers it whatever else it says.
struct CompanionAnswer {
  std::string update_url;  // empty: no update offered
  net::NoticeStyle style = net::NoticeStyle::plain;
  std::string info_text, info_url;
  bool keep_on_top = false;
  std::string notify_url;  // empty: no bar
  friend bool operator==(const CompanionAnswer&, const CompanionAnswer&) = default;
};

// "update", "notify" and, only with an update, "info.style" (lower-cased,
// not trimmed: "hold" or "note", else plain), "info.text", "info.url" and
// "info.flag" ("keepontop" anywhere in it, any case).
CompanionAnswer read_answer(std::string_view body);

// The dialog's and bar's words, by language code, English for any other.
struct CompanionNoticeTexts {
  std::string message;  // instruction, content and question, blank lines between
  std::string_view bar_title;
  std::string_view yes, no;
};
CompanionNoticeTexts companion_notice_texts(std::string_view language);

}  // namespace vx::service
