// The start-up settings the update check hands to the window thread, and how
// their lists join the program's keep-alive lists.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "process/keep_list.h"

namespace vx::app {

struct SettingsRecord {
  std::uint32_t rule_file_version = 0;
  std::array<std::vector<std::string>, process::list_count> lists;  // in KeepLists order
  std::optional<std::string> rule_file_url;
};

// Merges the server's lists into the shared ones, writes "[lists] 서버 목록 +N"
// and says how many were new.
std::size_t merge_server_lists(process::KeepLists& lists, const SettingsRecord& record);

}  // namespace vx::app
