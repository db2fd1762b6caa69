// The HTTP transport of this machine: WinHTTP, one session per process.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "net/http.h"

namespace vx::net::win32 {

class WinHttpTransport final : public Transport {
 public:
  // The whole exchange, synchronously; every handle but the shared session is
  // closed before it returns.
  HttpResult send(const Request& request) override;

  // Ends the exchange another thread is waiting in (its send fails at once)
  // and refuses every later one: for a worker told to stop.
  void cancel();

 private:
  // The request being exchanged, which cancel() closes under the lock.
  std::mutex mutex_;
  void* running_ = nullptr;
  bool cancelled_ = false;
};

// The system's text for a WinHTTP or Winsock error code, or ours where the
// system has none (Wine has none for any WinHTTP code).
std::string winhttp_error_text(std::uint32_t code);

}  // namespace vx::net::win32
