// The per-install id in the current user's registry.
#pragma once

#include "net/user_id.h"

namespace vx::net::win32 {

// HKCU\Software\Ostrelnet, value "OUID" (REG_SZ); the key is made when missing.
class RegistryUserIdStore : public UserIdStore {
 public:
  vx::Result<std::optional<std::string>> read() override;
  vx::Result<> write(const std::string& id) override;
  IdParts fresh_parts() override;
};

// The companion's view of the same value: only a REG_SZ of up to 63
// characters counts (anything else is made anew), and a new id's numbers come
// from a fresh GUID, its date and time from the local clock.
class CompanionUserIdStore final : public RegistryUserIdStore {
 public:
  vx::Result<std::optional<std::string>> read() override;
  IdParts fresh_parts() override;
};

}  // namespace vx::net::win32
