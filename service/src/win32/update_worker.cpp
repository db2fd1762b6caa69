#include "update_worker.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "desktop.h"
#include "net/win32/user_id.h"
#include "net/win32/winhttp.h"
#include "notice/texts.h"
#include "update_windows.h"

namespace vx::service::win32 {

struct UpdateCheck::Job {
  CheckConfig config;
  HWND notify = nullptr;
  UINT message = 0;
  vx::win32::UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  vx::win32::UniqueHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  net::win32::WinHttpTransport transport;
  std::mutex mutex;
  std::optional<std::string> body;  // guarded by mutex
};

struct UpdateCheck::Hold {
  net::Request request;
  net::win32::WinHttpTransport transport;
  vx::win32::UniqueHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

namespace {

constexpr DWORD finish_wait_ms = 5'000;
// Windows ends a cancelled request at once; Wine lets it run to its timeout,
// so the companion does not wait for it longer than this.
constexpr DWORD stop_wait_ms = 3'000;

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

bool is_set(const vx::win32::UniqueHandle& event) { return WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; }

void work(const std::shared_ptr<UpdateCheck::Job>& job) {
  LoggedTransport logged(job->transport, job->config.attempts);
  net::win32::CompanionUserIdStore store;
  const auto user_id = [&store] {
    Result<net::UserId> id = net::read_or_create_user_id(store);
    return id ? id->id : std::string();
  };
  const auto wait = [&job](std::chrono::milliseconds pause) {
    return WaitForSingleObject(job->stop.get(), static_cast<DWORD>(pause.count())) == WAIT_TIMEOUT;
  };
  std::optional<std::string> body = run_check(job->config, logged, user_id, wait);
  {
    const std::lock_guard lock(job->mutex);
    job->body = std::move(body);
  }
  SetEvent(job->finished.get());
  if (!is_set(job->stop)) PostMessageW(job->notify, job->message, 0, 0);
}

}  // namespace

UpdateCheck::~UpdateCheck() { stop(); }

bool UpdateCheck::running() const { return job_ && !is_set(job_->finished); }

bool UpdateCheck::start(const CheckConfig& config, HWND notify, UINT message, Done done) {
  if (!can_start(config) || running()) return false;
  auto job = std::make_shared<Job>();
  if (!job->stop || !job->finished) return false;
  job->config = config;
  job->notify = notify;
  job->message = message;
  try {
    std::thread(work, job).detach();
  } catch (const std::system_error&) {
    return false;
  }
  job_ = std::move(job);
  done_ = std::move(done);
  title_ = window_title(notify);
  return true;
}

void UpdateCheck::finish(std::string_view language) {
  std::optional<std::string> body;
  if (job_) {
    WaitForSingleObject(job_->finished.get(), finish_wait_ms);
    const std::lock_guard lock(job_->mutex);
    body = job_->body;
  }
  bool accepted = false;
  if (body) {
    const CompanionAnswer answer = read_answer(*body);
    const CompanionNoticeTexts texts = companion_notice_texts(language);
    // Yes could open nothing else: only a web page is offered.
    if (notice::is_web_address(answer.update_url)) {
      UpdateDialogRequest request;
      request.notify = job_->notify;
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
      show_update_bar(job_->notify, std::string(texts.bar_title), answer.notify_url);
  }
  if (done_) done_(accepted);
}

void UpdateCheck::send_hold() {
  auto hold = std::make_shared<Hold>();
  hold->request = hold_request(job_->config);
  if (!hold->finished) return;
  try {
    std::thread([hold] {
      if (net::HttpResult sent = hold->transport.send(hold->request); !sent)
        std::fprintf(stderr, "[update] 보류 요청 실패: %s\n", sent.error().text().c_str());
      SetEvent(hold->finished.get());
    }).detach();
  } catch (const std::system_error&) {
    return;  // the server asks again next time; nothing is lost
  }
  hold_ = std::move(hold);
}

void UpdateCheck::stop() {
  if (job_) {
    SetEvent(job_->stop.get());
    job_->transport.cancel();
    WaitForSingleObject(job_->finished.get(), stop_wait_ms);
    job_.reset();
  }
  // The user asked for it just before quitting, perhaps to install the update.
  if (hold_ && WaitForSingleObject(hold_->finished.get(), stop_wait_ms) != WAIT_OBJECT_0) hold_->transport.cancel();
  hold_.reset();
  close_update_bar();
}

}  // namespace vx::service::win32
