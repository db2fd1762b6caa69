// The activity report sent at the end of a close run: a flat JSON array of
// records, and the key the server answers with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/http.h"

namespace vx::net {

struct MemoryRecord {
  std::uint64_t old_available = 0, new_available = 0, total = 0;  // physical bytes
};
struct CleanRecord {
  std::string file;        // image path, folder already contracted to its variable
  std::int32_t state = 0;  // 1 kept, -1 closed, -2 not closed
};
struct StartRecord {
  std::string item, from;  // location, source tag
};
struct InstallRecord {
  std::string display_name, publisher;
};
struct SignRecord {
  std::string signer, file;
};

// A JSON string's content: quote, backslash and the controls escaped (\b \t \n
// \f \r, the rest \u00xx), everything else as itself, slash included. Invalid
// UTF-8 becomes U+FFFD so the body stays valid JSON.
std::string escape_json_text(std::string_view text);

// "[memory,clean...,start...,install...,sign...]", every value a JSON string,
// no blanks outside the values.
std::string build_report(const MemoryRecord& memory, const std::vector<CleanRecord>& clean,
                         const std::vector<StartRecord>& start, const std::vector<InstallRecord>& install,
                         const std::vector<SignRecord>& sign);

// The text between the first "pk":" and the next quote of the answer (read as
// UTF-8, invalid bytes replaced); empty when there is none. No JSON parsing.
std::string report_key(std::string_view answer);

// The page for a key: origin + "/?report=" + key, the key percent-encoded
// except for letters, digits and "-._~" so an odd key cannot change the URL.
std::string report_url(std::string_view origin, std::string_view key);

// POSTs the body to origin + "/report.php" (origin like "https://host") with
// the program's version and the user id (left out when empty), logs one
// "[clean] 보고 전송 ..." line to standard error and returns the key, empty on
// any failure.
std::string send_report(Transport& transport, std::string_view origin, std::string_view body, std::string_view user_id);

}  // namespace vx::net
