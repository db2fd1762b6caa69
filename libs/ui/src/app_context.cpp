#include "ui/app_context.h"

#include <utility>

#include "common/text.h"

namespace vx::ui {

UpdateConfig make_update_config(std::string_view server_origin, std::string title, std::string language,
                                std::optional<std::string_view> override_version) {
  std::string_view version = program_version;
  if (override_version && !vx::trim(*override_version).empty()) version = vx::trim(*override_version);
  // The origin is a build setting; a trailing "/" would double the path's.
  while (!server_origin.empty() && server_origin.back() == '/') server_origin.remove_suffix(1);
  const std::string origin(server_origin);
  return {origin + "/api.init.php", std::string(version), origin + "/vorlix",
          std::move(title),         std::move(language),  origin};
}

}  // namespace vx::ui
