#include "startup_check.h"

#include <cstdio>

namespace vx::app {
namespace {

void log_line(std::string_view text) {
  std::fprintf(stderr, "[update] %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace

void run_startup_check(const net::UpdateConfig& config, net::Transport& transport, const CheckHooks& hooks) {
  const Result<net::UpdateInfo> info = net::fetch_update(config, transport, hooks.user_id);
  if (!info) return log_line(info.error().message);
  if (info->error) log_line("서버 응답: " + *info->error);
  // A status other than "ok" still delivers the settings.
  (void)hooks.post_settings(info->settings);
  if (!info->ok) return;
  if (info->notify_url)
    if (const Result<> shown = hooks.show_bar(*info); !shown) log_line("알림 바 실패: " + shown.error().message);
  if (!info->update_url) return;
  const Result<UpdateAnswer> answer = hooks.ask_update(*info);
  if (!answer) return log_line("다이얼로그 실패: " + answer.error().message);
  // Its answer changes nothing here.
  if (answer->hold) (void)net::fetch_update(config, transport, hooks.user_id, "hold");
  if (answer->accepted) {
    hooks.open_url(*info->update_url);
    hooks.exit_program();
  }
}

}  // namespace vx::app
