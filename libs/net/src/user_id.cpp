#include "net/user_id.h"

#include <cstdio>

#include "common/text.h"

namespace vx::net {

std::string format_user_id(const IdParts& parts) {
  char text[128];
  const int n =
      std::snprintf(text, sizeof text, "%08X%02d%02d%02d%04X%02d%02d%02d%08X", static_cast<unsigned>(parts.first),
                    parts.year % 100, parts.month, parts.day, static_cast<unsigned>(parts.middle), parts.hour,
                    parts.minute, parts.second, static_cast<unsigned>(parts.last));
  return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

vx::Result<UserId> read_or_create_user_id(UserIdStore& store) {
  vx::Result<std::optional<std::string>> stored = store.read();
  if (!stored) return vx::fail("registry", "레지스트리 키를 열지 못했습니다: " + stored.error().message);
  if (*stored) {
    const std::string_view id = trim(**stored);
    if (!id.empty()) return UserId{std::string(id), std::nullopt};
  }
  UserId fresh{format_user_id(store.fresh_parts()), std::nullopt};
  if (vx::Result<> written = store.write(fresh.id); !written) {
    fresh.store_error = vx::Error{"registry", "OUID 를 저장하지 못했습니다: " + written.error().message};
  }
  return fresh;
}

}  // namespace vx::net
