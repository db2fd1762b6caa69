// A transport that records what it is asked to send and answers from a script.
#pragma once

#include <vector>

#include "net/http.h"

namespace vx::net::testing {

class FakeTransport : public Transport {
 public:
  explicit FakeTransport(HttpResult answer) : answer_(std::move(answer)) {}
  HttpResult send(const Request& request) override {
    sent.push_back(request);
    return answer_;
  }
  std::vector<Request> sent;

 private:
  HttpResult answer_;
};

inline HttpResult ok_answer(std::string body, std::uint16_t status = 200) { return Response{status, std::move(body)}; }
inline HttpResult status_error(std::uint16_t status) { return std::unexpected(HttpError{status, {}}); }
inline HttpResult network_error(std::string message) {
  return std::unexpected(HttpError{std::nullopt, std::move(message)});
}

using Headers = std::vector<std::pair<std::string, std::string>>;

}  // namespace vx::net::testing
