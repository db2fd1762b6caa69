// What the program says to its server: the start-up check with the settings
// it brings, the newer rule file, and the close run's activity report.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "activity_report.h"
#include "common/error.h"
#include "ui/app_context.h"

namespace vx::app {

// The per-install user id from the current user's registry, made and stored
// on first use.
Result<std::string> user_id();

// Starts the check on a worker; its settings come back to `window`'s program.
void start_update_check(HWND window, const ui::UpdateConfig& update);

// Starts the rule-file download on a worker when the server offers a newer
// file; the cleanup page loads again once it is saved.
void start_rule_refresh(HWND window, std::optional<std::string> url, std::uint32_t server_version);

// Sends the report (on the calling worker) and returns its key, empty when
// the server gave none.
std::string send_activity_report(const std::string& origin, const std::string& body);

}  // namespace vx::app
