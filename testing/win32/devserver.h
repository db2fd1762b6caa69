// The dev server beside the Windows tests (ctest's devserver fixture): its
// certificate trusted in the test's prefix, its scenario set and what it
// received read back, all through the folder the fixture names.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::testing {

struct Recorded {
  std::string method, path, body;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::optional<std::string> header(std::string_view name) const;
};

class DevServer {
 public:
  // Absent outside the fixture (VORLIX_DEVSERVER_DIR unset).
  static std::optional<DevServer> find();

  // Adds the server's certificate to the prefix's trusted roots (once per process).
  bool trust() const;
  // Replaces the scenario at once; "{}" for the defaults.
  bool set_scenario(const std::string& json) const;
  // The requests received so far, in order.
  std::vector<Recorded> requests() const;
  // Waits up to `ms` for at least `count` requests.
  std::vector<Recorded> wait_for_requests(std::size_t count, unsigned ms = 20000) const;
  std::wstring folder() const { return folder_; }

 private:
  std::wstring folder_;  // the fixture's folder, as Wine sees it (Z:\...)
};

}  // namespace vx::testing
