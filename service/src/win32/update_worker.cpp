#include "update_worker.h"

#include <cstdio>
#include <system_error>

#include "common/win32/text.h"
#include "desktop.h"
#include "net/win32/user_id.h"
#include "notice/texts.h"
#include "update_windows.h"

namespace vx::service::win32 {
namespace {

constexpr DWORD finish_wait_ms = 5'000;

// Each failed attempt leaves a line, so a silent companion can still be read.
class LoggedTransport final : public net::Transport {
 public:
  LoggedTransport(net::Transport& inner, int attempts) : inner_(inner), attempts_(attempts) {}
  net::HttpResult send(const net::Request& request) override {
    net::HttpResult answer = inner_.send(request);
    ++sent_;
    if (!answer)
      std::fprintf(stderr, "[update] 업데이트 확인 실패 (%d/%d): %s\n", sent_, attempts_,
                   answer.error().text().c_str());
    return answer;
  }

 private:
  net::Transport& inner_;
  int attempts_;
  int sent_ = 0;
};

std::string window_title(HWND window) {
  wchar_t text[256] = {};
  const int n = IsWindow(window) ? GetWindowTextW(window, text, 256) : 0;
  return vx::win32::narrow(std::wstring_view(text, static_cast<std::size_t>(n)));
}

}  // namespace

UpdateCheck::UpdateCheck()
    : stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      finished_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

UpdateCheck::~UpdateCheck() { stop(); }

bool UpdateCheck::running() const {
  return worker_.joinable() && WaitForSingleObject(finished_event_.get(), 0) == WAIT_TIMEOUT;
}

bool UpdateCheck::start(const CheckConfig& config, HWND notify, UINT message, Done done) {
  if (!can_start(config) || running() || !stop_event_ || !finished_event_) return false;
  if (worker_.joinable()) worker_.join();  // an earlier check, already done
  config_ = config;
  notify_ = notify;
  message_ = message;
  done_ = std::move(done);
  title_ = window_title(notify);
  ResetEvent(stop_event_.get());
  ResetEvent(finished_event_.get());
  {
    const std::lock_guard lock(mutex_);
    body_.reset();
    request_ = std::make_shared<net::win32::WinHttpTransport>();
  }
  try {
    worker_ = std::thread(&UpdateCheck::work, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void UpdateCheck::work() {
  std::shared_ptr<net::win32::WinHttpTransport> transport;
  {
    const std::lock_guard lock(mutex_);
    transport = request_;
  }
  LoggedTransport logged(*transport, config_.attempts);
  net::win32::CompanionUserIdStore store;
  const auto user_id = [&store] {
    Result<net::UserId> id = net::read_or_create_user_id(store);
    return id ? id->id : std::string();
  };
  const auto wait = [this](std::chrono::milliseconds pause) {
    return WaitForSingleObject(stop_event_.get(), static_cast<DWORD>(pause.count())) == WAIT_TIMEOUT;
  };
  std::optional<std::string> body = run_check(config_, logged, user_id, wait);
  {
    const std::lock_guard lock(mutex_);
    body_ = std::move(body);
  }
  SetEvent(finished_event_.get());
  if (WaitForSingleObject(stop_event_.get(), 0) == WAIT_TIMEOUT) PostMessageW(notify_, message_, 0, 0);
}

void UpdateCheck::finish(std::string_view language) {
  WaitForSingleObject(finished_event_.get(), finish_wait_ms);
  std::optional<std::string> body;
  {
    const std::lock_guard lock(mutex_);
    body = body_;
  }
  bool accepted = false;
  if (body) {
    const CompanionAnswer answer = read_answer(*body);
    const CompanionNoticeTexts texts = companion_notice_texts(language);
    // Yes could open nothing else: only a web page is offered.
    if (notice::is_web_address(answer.update_url)) {
      UpdateDialogRequest request;
      request.notify = notify_;
      request.title = title_;
      request.message = texts.message;
      request.yes = texts.yes;
      request.no = texts.no;
      request.style = answer.style;
      request.info_text = answer.info_text;
      request.info_url = answer.info_url;
      request.keep_on_top = answer.keep_on_top;
      const UpdateDialogResult result = show_update_dialog(request);
      if (result.hold_ticked) send_hold();
      if (result.accepted) accepted = open_as_desktop_user(answer.update_url).has_value();
    }
    // The companion ends when the update was accepted; a bar would go with it.
    if (!accepted && !answer.notify_url.empty())
      show_update_bar(notify_, std::string(texts.bar_title), answer.notify_url);
  }
  if (done_) done_(accepted);
}

void UpdateCheck::send_hold() {
  if (hold_worker_.joinable()) hold_worker_.join();
  auto transport = std::make_shared<net::win32::WinHttpTransport>();
  {
    const std::lock_guard lock(mutex_);
    hold_request_ = transport;
  }
  try {
    hold_worker_ = std::thread([transport, request = hold_request(config_)] {
      if (net::HttpResult sent = transport->send(request); !sent)
        std::fprintf(stderr, "[update] 보류 요청 실패: %s\n", sent.error().text().c_str());
    });
  } catch (const std::system_error&) {
    // The server asks again next time; nothing is lost.
  }
}

void UpdateCheck::stop() {
  if (stop_event_) SetEvent(stop_event_.get());
  {
    const std::lock_guard lock(mutex_);
    if (request_) request_->cancel();
    if (hold_request_) hold_request_->cancel();
  }
  join();
  close_update_bar();
}

void UpdateCheck::join() {
  if (worker_.joinable()) worker_.join();
  if (hold_worker_.joinable()) hold_worker_.join();
}

}  // namespace vx::service::win32
