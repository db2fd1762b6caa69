// The per-install id in the current user's registry.
#pragma once

#include "net/user_id.h"

namespace vx::net::win32 {

// HKCU\Software\Ostrelnet, value "OUID" (REG_SZ); the key is made when missing.
class RegistryUserIdStore final : public UserIdStore {
 public:
  vx::Result<std::optional<std::string>> read() override;
  vx::Result<> write(const std::string& id) override;
  IdParts fresh_parts() override;
};

}  // namespace vx::net::win32
