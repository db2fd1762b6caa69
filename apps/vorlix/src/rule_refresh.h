// The newer rule file the server offers at start-up, downloaded, checked and
// put in place of the user's copy in one step.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "net/http.h"

namespace vx::app {

enum class RefreshOutcome { skipped, saved, failed };

struct RuleRefresh {
  std::optional<std::string> url;        // the server's rule file
  std::uint32_t server_version = 0;      // the version it announced
  std::uint32_t current_version = 0;     // the version of the text in use
  std::optional<std::string> user_path;  // where the user's copy lives
  // Makes the file at the path hold exactly the text, or leaves it as it was.
  std::function<Result<>(const std::string& path, std::string_view text)> replace;
};

// Downloads the offered file when it is newer than the one in use; saves it
// only when it is whole, of the announced version and has at least 1,000
// entries. Writes "[cleanup] Winapp2 …" lines; nothing when there is nothing
// newer to fetch.
RefreshOutcome refresh_rule_file(net::Transport& transport, const RuleRefresh& refresh);

}  // namespace vx::app
