#include "page-autorun/model.h"

#include <unordered_map>
#include <unordered_set>

#include "common/path_vars.h"
#include "common/text.h"

namespace vx::autorun {

bool is_protected(const AutorunItem& item, const process::KeepLists& lists) {
  const std::vector<std::string>& paths = lists[process::ListKind::path].keys();
  const std::vector<std::string>& names = lists[process::ListKind::name].keys();
  switch (item.kind) {
    case SourceKind::folder:
      return process::matches_path(paths, to_lower(item.location));
    case SourceKind::registry:
    case SourceKind::task:
      return process::matches_name(names, file_name_of(item.location));
    case SourceKind::service:
      return process::matches_name(names, item.location);
  }
  return false;
}

void merge(std::vector<Row>& rows, const std::vector<ListedItem>& batch, bool show_all,
           const process::KeepLists& lists) {
  std::unordered_map<std::string, std::size_t> shown;
  for (std::size_t i = 0; i < rows.size(); ++i) shown.emplace(item_key(rows[i].item), i);
  std::unordered_set<std::string> seen;
  for (const ListedItem& listed : batch) {
    std::string key = item_key(listed.item);
    Row row{listed.item, listed.product_name.empty() ? listed.item.name : listed.product_name, icon_key(listed.item)};
    if (const auto at = shown.find(key); at != shown.end()) {
      rows[at->second] = std::move(row);  // in place, not filtered again
    } else if (!listed.item.name.empty() && (show_all || listed.item.enabled) && !is_protected(listed.item, lists)) {
      shown.emplace(key, rows.size());
      rows.push_back(std::move(row));
    }
    seen.insert(std::move(key));
  }
  std::erase_if(rows, [&](const Row& row) { return !seen.contains(item_key(row.item)); });
}

std::string entry_path(const AutorunItem& item) {
  const std::string text = to_lower(std::string(source_tag(item)) + "/" + std::string(file_name_of(item.location)));
  std::string out;
  for (const unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      static constexpr char hex[] = "0123456789ABCDEF";
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string format_list(const std::vector<ListedItem>& batch) {
  std::string text = "\xEF\xBB\xBF";
  for (const ListedItem& listed : batch)
    text += std::string(source_tag(listed.item)) + "|" + listed.item.name + "|" + listed.item.location + "\r\n";
  return text;
}

}  // namespace vx::autorun
