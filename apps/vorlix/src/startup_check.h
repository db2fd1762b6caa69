// The start-up check: the server's answer once per start, its settings handed
// to the window, and what it offers put to the user.
#pragma once

#include <functional>
#include <string>

#include "common/error.h"
#include "net/update.h"

namespace vx::app {

struct UpdateAnswer {
  bool accepted = false;  // the user wants the new version now
  bool hold = false;      // the user asked not to be told again for a while
};

// What the check does to the program; each runs on the check's thread.
struct CheckHooks {
  std::function<Result<std::string>()> user_id;
  // Hands the settings to the window thread; false when they could not be.
  std::function<bool(net::ServerSettings)> post_settings;
  std::function<Result<>(const net::UpdateInfo&)> show_bar;
  std::function<Result<UpdateAnswer>(const net::UpdateInfo&)> ask_update;
  std::function<void(const std::string& url)> open_url;
  std::function<void()> exit_program;
};

// No failure reaches the user: each is one "[update] …" line.
void run_startup_check(const net::UpdateConfig& config, net::Transport& transport, const CheckHooks& hooks);

}  // namespace vx::app
