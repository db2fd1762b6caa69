// The start-up settings the update check hands to the window thread, and how
// their lists join the program's keep-alive lists.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/update_info.h"
#include "process/keep_list.h"

namespace vx::app {

// The settings part of the server's start-up answer.
using SettingsRecord = net::ServerSettings;

// Merges the server's lists into the shared ones, writes "[lists] 서버 목록 +N"
// and says how many were new.
std::size_t merge_server_lists(process::KeepLists& lists, const SettingsRecord& record);

}  // namespace vx::app
