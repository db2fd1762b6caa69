// The per-install id sent with the update check and the activity report: 32
// characters, made once and kept by the store (the registry on Windows).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.h"

namespace vx::net {

struct IdParts {
  std::uint32_t first = 0;
  std::uint16_t middle = 0;
  std::uint32_t last = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // UTC, full year
};

// Random, date, random, time, random: "%08X%02d%02d%02d%04X%02d%02d%02d%08X"
// with the year's last two digits.
std::string format_user_id(const IdParts& parts);

class UserIdStore {
 public:
  virtual ~UserIdStore() = default;
  // The stored text (from a string, expandable-string or multi-string value),
  // nothing when there is none. An error's message is the system's text only.
  virtual vx::Result<std::optional<std::string>> read() = 0;
  // Stores a new id; an error's message is the system's text only.
  virtual vx::Result<> write(const std::string& id) = 0;
  // Cryptographic random numbers and the current UTC time.
  virtual IdParts fresh_parts() = 0;
};

// A new id that could not be stored is still used for this run: the caller
// gets it along with the reason, to log, instead of losing the id.
struct UserId {
  std::string id;
  std::optional<vx::Error> store_error;  // kind "registry", "OUID 를 저장하지 못했습니다: ..."
};

// The stored id, trimmed; when it is missing or blank, a fresh one, stored.
// Fails (kind "registry", "레지스트리 키를 열지 못했습니다: ...") only when the
// store cannot be read.
vx::Result<UserId> read_or_create_user_id(UserIdStore& store);

}  // namespace vx::net
