// The companion's update check on a worker thread: the request with its
// retries, then, back on the UI thread, the dialog and the bar.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "service/update_check.h"

namespace vx::service::win32 {

class UpdateCheck {
 public:
  // Told whether the user accepted the update; the companion then ends.
  using Done = std::function<void(bool accepted)>;

  UpdateCheck() = default;
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

  // Stops the worker, cancelling its request, gives a hold request a moment
  // to reach the server, and closes the bar.
  void stop();

  bool running() const;

  // What a worker thread shares with this object; the thread keeps it alive,
  // so a worker stuck in a request the system cannot cancel (Wine) can be
  // left behind without touching freed memory.
  struct Job;
  struct Hold;

 private:
  void send_hold();

  std::shared_ptr<Job> job_;
  std::shared_ptr<Hold> hold_;
  std::string title_;
  Done done_;
};

}  // namespace vx::service::win32
