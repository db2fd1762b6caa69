// The companion's update check on a worker thread: the request with its
// retries, then, back on the UI thread, the dialog and the bar.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/win32/unique.h"
#include "net/win32/winhttp.h"
#include "service/update_check.h"

namespace vx::service::win32 {

class UpdateCheck {
 public:
  // Told whether the user accepted the update; the companion then ends.
  using Done = std::function<void(bool accepted)>;

  UpdateCheck();
  ~UpdateCheck();
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  // Starts the worker, which posts `message` to `notify` when it is done.
  // Refused when the configuration cannot start (no URL, no attempts, a
  // negative delay) or a check is still running.
  bool start(const CheckConfig& config, HWND notify, UINT message, Done done);

  // On the notify message: waits up to 5 s for the worker, shows what the
  // answer offers in `language`, then calls `done`.
  void finish(std::string_view language);

  // Stops the worker (cancelling its request) and any hold request, and
  // closes the bar.
  void stop();

  bool running() const;

 private:
  void work();
  void send_hold();
  void join();

  CheckConfig config_;
  HWND notify_ = nullptr;
  UINT message_ = 0;
  std::string title_;
  Done done_;
  vx::win32::UniqueHandle stop_event_, finished_event_;

  mutable std::mutex mutex_;  // guards the two below
  std::optional<std::string> body_;
  std::shared_ptr<net::win32::WinHttpTransport> request_;  // the exchange stop() cancels
  std::shared_ptr<net::win32::WinHttpTransport> hold_request_;

  std::thread worker_, hold_worker_;
};

}  // namespace vx::service::win32
