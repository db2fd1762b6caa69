#include "network.h"

#include "app.h"
#include "common/replace_file.h"
#include "net/report.h"
#include "net/update.h"
#include "net/win32/user_id.h"
#include "net/win32/winhttp.h"
#include "notice/texts.h"
#include "notice/win32/notice.h"
#include "post.h"
#include "rule_refresh.h"
#include "startup_check.h"
#include "winapp2/rules.h"
#include "winutil/win32/shell.h"

namespace vx::app {

Result<std::string> user_id() {
  net::win32::RegistryUserIdStore store;
  Result<net::UserId> id = net::read_or_create_user_id(store);
  if (!id) return std::unexpected(id.error());
  // One that could not be stored is still this run's id.
  return std::move(id->id);
}

void start_update_check(HWND window, const ui::UpdateConfig& update) {
  net::UpdateConfig config;
  config.url = update.init_url;
  config.version = update.version + ".0";
  config.language = update.language;
  spawn_worker([window, config = std::move(config), title = update.title] {
    net::win32::WinHttpTransport transport;
    CheckHooks hooks;
    hooks.user_id = user_id;
    hooks.post_settings = [window](net::ServerSettings settings) {
      return post_to_window(window, [window, settings = std::move(settings)] {
        if (App* app = App::of(window)) app->apply_settings(settings);
      });
    };
    hooks.show_bar = [window, language = config.language](const net::UpdateInfo& info) {
      return notice::win32::show_update_bar(
          {window, std::string(notice::notice_texts(language).bar_title), info.notify_url.value_or("")});
    };
    hooks.ask_update = [window, title,
                        language = config.language](const net::UpdateInfo& info) -> Result<UpdateAnswer> {
      notice::win32::DialogRequest request;
      request.parent = window;
      request.title = title;
      request.language = language;
      request.style = info.style;
      request.hold_text = info.info_text.value_or("");
      request.note_text = info.info_text.value_or("");
      request.note_url = info.info_url.value_or("");
      request.keep_on_top = info.keep_on_top;
      const Result<notice::win32::DialogResult> answer = notice::win32::show_update_dialog(request);
      if (!answer) return std::unexpected(answer.error());
      return UpdateAnswer{answer->accepted, answer->hold_ticked};
    };
    hooks.open_url = [](const std::string& url) { (void)winutil::win32::open_url(url); };
    hooks.exit_program = [window] { PostMessageW(window, WM_CLOSE, 0, 0); };
    run_startup_check(config, transport, hooks);
  });
}

void start_rule_refresh(HWND window, std::optional<std::string> url, std::uint32_t server_version) {
  spawn_worker([window, url = std::move(url), server_version] {
    RuleRefresh refresh;
    refresh.url = url;
    refresh.server_version = server_version;
    refresh.current_version = winapp2::load_rule_text().version;
    refresh.user_path = winapp2::user_rule_path();
    refresh.replace = [](const std::string& path, std::string_view text) { return vx::replace_file(path, text); };
    net::win32::WinHttpTransport transport;
    if (refresh_rule_file(transport, refresh) != RefreshOutcome::saved) return;
    post_to_window(window, [window] {
      if (App* app = App::of(window)) app->pages().reload(ui::PageId::cleanup);
    });
  });
}

std::string send_activity_report(const std::string& origin, const std::string& body) {
  net::win32::WinHttpTransport transport;
  const Result<std::string> id = user_id();
  return net::send_report(transport, origin, body, id ? *id : std::string());
}

}  // namespace vx::app
