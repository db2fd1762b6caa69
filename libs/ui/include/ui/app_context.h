// What the pages and the close run learn about the running program: its
// language, its title, its web addresses and its window. Built once at start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::ui {

inline constexpr std::string_view program_version = "4.0.1";

// The start-up information the update check asks the server for.
struct UpdateConfig {
  std::string init_url;          // the server's init endpoint
  std::string version;           // the version the program reports itself as
  std::string product_page_url;  // the product's web page
  std::string title;             // the window title
  std::string language;          // the interface language code
  std::string origin;            // the server's origin, for pages of the product site
};

// `override_version` is the VORLIX_UPDATE_VERSION environment value, when set:
// trimmed, it replaces the built-in version unless it is blank.
UpdateConfig make_update_config(std::string_view server_origin, std::string title, std::string language,
                                std::optional<std::string_view> override_version);

struct AppContext {
  std::string language;
  std::string product_page_url;
  UpdateConfig update;
  std::string title;
  std::uintptr_t window = 0;  // the main window's handle
};

}  // namespace vx::ui
