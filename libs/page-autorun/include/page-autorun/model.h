// The startup page's rows: the items a load found, filtered and merged into
// what is already shown so that rows keep their places between reloads.
#pragma once

#include <string>
#include <vector>

#include "page-autorun/items.h"
#include "process/keep_list.h"

namespace vx::autorun {

struct Row {
  AutorunItem item;
  std::string display_name;  // the product name, else the item's name
  std::string icon;          // its icon key
  friend bool operator==(const Row&, const Row&) = default;
};

// Protected from the user's switching: a folder item whose path is on the
// path list; a Run value, task or service whose name is on the name list.
bool is_protected(const AutorunItem& item, const process::KeepLists& lists);

// Updates rows in place, appends new items that pass the filter (named, on or
// `show_all`, not protected), and drops rows whose items are gone.
void merge(std::vector<Row>& rows, const std::vector<ListedItem>& batch, bool show_all,
           const process::KeepLists& lists);

// "hkcu/onedrive": the item's tag and file name, lower-cased and percent-encoded
// (letters, digits and "-._~/" stay).
std::string entry_path(const AutorunItem& item);

// The saved list: a UTF-8 byte order mark, then "TAG|name|location" CRLF per item.
std::string format_list(const std::vector<ListedItem>& batch);

}  // namespace vx::autorun
