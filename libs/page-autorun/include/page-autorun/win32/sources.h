// The startup items of this machine, and switching and deleting them.
#pragma once

#include <string>
#include <vector>

#include "common/error.h"
#include "page-autorun/items.h"
#include "page-autorun/tasks_services.h"

namespace vx::autorun::win32 {

// Every item in order: the common then the user's Startup folder, the three
// Run keys, the task library's root folder, the Win32 services; with product
// names. A source that cannot be read adds nothing.
std::vector<ListedItem> load_items();

// The icon keys ("exe...") of these items not handed out before in this
// process, each once; the caller renders them.
std::vector<std::string> new_icon_keys(const std::vector<ListedItem>& items);

// Switches one item on or off. Errors are texts for the page's message box.
Result<> set_enabled(const AutorunItem& item, bool on);

// Deletes an item for good: a folder item's file, a Run value, a task, or a
// disabled service (stopped first).
Result<> delete_item(const AutorunItem& item);
// The same, with the services reached through `services`.
Result<> delete_item(const AutorunItem& item, ServiceManager& services);

}  // namespace vx::autorun::win32
