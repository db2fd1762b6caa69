#include "settings.h"

#include <cstdio>

namespace vx::app {

std::size_t merge_server_lists(process::KeepLists& lists, const SettingsRecord& record) {
  const std::size_t added = process::merge_lists(lists, record.lists);
  std::fprintf(stderr, "[lists] 서버 목록 +%zu\n", added);
  return added;
}

}  // namespace vx::app
