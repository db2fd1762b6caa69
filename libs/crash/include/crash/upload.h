// Sending a finished report to the product server's "/except.php" as a
// multipart form. Runs on the sender thread, never in the exception filter.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/error.h"
#include "net/http.h"

namespace vx::crash {

struct UploadSettings {
  std::string program;  // "Vorlix"
  std::string version;  // already ending in ".0"
  std::string user_agent;
  std::chrono::nanoseconds connect_timeout = std::chrono::seconds(10);
  std::chrono::nanoseconds receive_timeout = std::chrono::seconds(30);
};

// "----OrvanExcept" followed by the time in decimal.
std::string boundary_for(std::uint64_t nanoseconds_since_1970);

// The fields MailSubject ("bug report"), MailBody (program, a space, version)
// and the file BugReport ("bugreport.txt", application/octet-stream) holding
// the report, each part and the closing delimiter ending in CR LF.
std::string multipart_body(std::string_view boundary, std::string_view program, std::string_view version,
                           std::string_view report);

// POSTs the report (already passed through hide_user) to origin +
// "/except.php". Errors: kind "network" (no exchange) or "http" (a non-2xx
// status).
vx::Result<> upload_report(net::Transport& transport, std::string_view origin, const UploadSettings& settings,
                           std::string_view report, std::uint64_t now_ns);

}  // namespace vx::crash
