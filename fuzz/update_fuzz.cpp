// Any server answer: the start-up parser never crashes, keeps only clean list
// entries, and agrees with a plain JSON tree of the same bytes: it accepts
// only objects the tree also reads, gives the same texts, and refuses a valid
// object only for a repeated key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.h"
#include "net/update_info.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The tree's text for a key, or nothing.
std::optional<std::string> text_of(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  vx::net::UpdateInfo info;
  std::string error;
  const bool parsed = vx::net::parse_update_into(body, info, error);
  const nlohmann::json tree = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);

  if (!parsed) {
    check(!error.empty() && error.find('\n') == std::string::npos);
    if (!tree.is_discarded() && tree.is_object())
      check(error.starts_with("duplicate key") || size > vx::net::max_update_size);
    return 0;
  }
  check(tree.is_object());
  check(info.error == text_of(tree, "error"));
  if (info.ok) {
    check(info.update_url == text_of(tree, "update"));
    check(info.notify_url == text_of(tree, "notify"));
  } else {
    check(!info.update_url && !info.notify_url && !info.info_text && !info.info_url && !info.keep_on_top);
  }
  for (std::size_t i = 0; i < vx::net::server_list_count; ++i) {
    const auto it = tree.find(vx::net::server_list_names[i]);
    check(info.settings.lists[i].size() <= (it != tree.end() && it->is_array() ? it->size() : 0));
    for (const std::string& entry : info.settings.lists[i]) {
      check(!entry.empty() && vx::trim(entry) == entry && vx::is_valid_utf8(entry));
    }
  }
  if (info.settings.rule_file_version != 0) check(tree.contains("winapp2_ver"));
  return 0;
}
