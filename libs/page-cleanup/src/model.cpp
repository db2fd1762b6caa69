#include "page-cleanup/model.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "common/text.h"
#include "i18n/lang.h"

namespace vx::page_cleanup {
namespace {

constexpr std::string_view fixed_label_prefix = "cleanup.cat.";

struct SortKey {
  int order;
  bool from_section;  // a label taken from a Section text sorts after a fixed one of equal order
  std::string label;
  std::string name;  // fully lower-cased
  bool usage_history;
  std::size_t file_order;
  auto tie() const { return std::tie(order, from_section, label, name, usage_history, file_order); }
};

}  // namespace

Model::Model(std::vector<winapp2::RuleEntry> entries, const std::vector<winapp2::SelectionLine>& selection) {
  std::vector<SortKey> keys;
  keys.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const winapp2::Category category = winapp2::entry_category(entries[i]);
    keys.push_back({category.order, !category.label.starts_with(fixed_label_prefix), std::string(category.label),
                    to_lower(entries[i].name), entries[i].usage_history, i});
  }
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) { return keys[a].tie() < keys[b].tie(); });

  // The first line of a key wins; keys compare ignoring case.
  std::unordered_map<std::string, bool> saved;
  saved.reserve(selection.size());
  for (const winapp2::SelectionLine& line : selection) saved.try_emplace(to_lower(line.key), line.checked);

  items_.reserve(entries.size());
  group_of_.reserve(entries.size());
  for (const std::size_t i : order) {
    Item item{std::move(entries[i]), {}, false, std::nullopt};
    item.key = winapp2::identity_key(item.entry);
    const auto found = saved.find(to_lower(item.key));
    item.checked = found != saved.end() ? found->second : item.entry.default_on;
    if (groups_.empty() || groups_.back().label != keys[i].label) groups_.push_back({keys[i].label, {}, false});
    groups_.back().items.push_back(items_.size());
    group_of_.push_back(groups_.size() - 1);
    items_.push_back(std::move(item));
  }
  build_rows();
}

void Model::build_rows() {
  rows_.clear();
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    rows_.push_back({Row::Kind::category, g});
    if (groups_[g].expanded)
      for (const std::size_t item : groups_[g].items) rows_.push_back({Row::Kind::item, item});
  }
}

GroupCheck Model::group_check(std::size_t group) const {
  std::size_t checked = 0;
  for (const std::size_t item : groups_[group].items) checked += items_[item].checked;
  if (checked == 0) return GroupCheck::none;
  return checked == groups_[group].items.size() ? GroupCheck::all : GroupCheck::some;
}

std::optional<std::uint64_t> Model::group_size(std::size_t group) const {
  std::optional<std::uint64_t> total;
  for (const std::size_t item : groups_[group].items)
    if (items_[item].checked && items_[item].analysis) total = total.value_or(0) + items_[item].analysis->total_size;
  return total;
}

void Model::set_checked(std::size_t item, bool checked) { items_[item].checked = checked; }

void Model::toggle_group(std::size_t group) {
  const bool check = group_check(group) != GroupCheck::all;
  for (const std::size_t item : groups_[group].items) items_[item].checked = check;
}

void Model::check_all(bool checked) {
  for (Item& item : items_) item.checked = checked;
}

void Model::restore_defaults() {
  for (Item& item : items_) item.checked = item.entry.default_on;
}

std::size_t Model::row_of_group(std::size_t group) const {
  std::size_t row = 0;
  for (std::size_t g = 0; g < group; ++g) row += 1 + (groups_[g].expanded ? groups_[g].items.size() : 0);
  return row;
}

Model::Change Model::toggle_expanded(std::size_t group) {
  groups_[group].expanded = !groups_[group].expanded;
  const std::size_t first = row_of_group(group) + 1;
  const std::size_t count = groups_[group].items.size();
  if (groups_[group].expanded) {
    std::vector<Row> added;
    added.reserve(count);
    for (const std::size_t item : groups_[group].items) added.push_back({Row::Kind::item, item});
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(first), added.begin(), added.end());
  } else {
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(first),
                rows_.begin() + static_cast<std::ptrdiff_t>(first + count));
  }
  return {first, count};
}

std::vector<winapp2::SelectionLine> Model::selection() const {
  std::vector<winapp2::SelectionLine> lines;
  for (const Item& item : items_)
    if (item.checked != item.entry.default_on) lines.push_back({item.key, item.checked});
  return lines;
}

std::vector<winapp2::JobItem> Model::checked_items(bool with_analysis) const {
  std::vector<winapp2::JobItem> jobs;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].checked) jobs.push_back({items_[i].entry, i, with_analysis ? items_[i].analysis : std::nullopt});
  return jobs;
}

bool Model::any_checked() const {
  return std::ranges::any_of(items_, [](const Item& item) { return item.checked; });
}

bool Model::cleanable() const {
  bool found = false;
  for (const Item& item : items_) {
    if (!item.checked) continue;
    if (!item.analysis) return false;
    found = found || !item.analysis->files.empty() || !item.analysis->registry.empty();
  }
  return found;
}

void Model::set_analysis(std::size_t item, winapp2::ResolvedEntry result) {
  if (item < items_.size()) items_[item].analysis = std::move(result);
}

void Model::drop_analysis(std::size_t item) {
  if (item < items_.size()) items_[item].analysis.reset();
}

std::size_t Model::memory_usage() const {
  const auto text = [](const std::string& t) { return t.capacity() > std::string().capacity() ? t.capacity() + 1 : 0; };
  std::size_t bytes = items_.capacity() * sizeof(Item) + groups_.capacity() * sizeof(Group) +
                      group_of_.capacity() * sizeof(std::size_t) + rows_.capacity() * sizeof(Row);
  for (const Item& item : items_) {
    bytes += winapp2::memory_usage(item.entry) + text(item.key);
    if (const auto& a = item.analysis) {
      bytes +=
          a->files.capacity() * sizeof(winapp2::FoundFile) + a->registry.capacity() * sizeof(winapp2::RegistryItem);
      for (const winapp2::FoundFile& f : a->files) bytes += text(f.path);
      for (const winapp2::RegistryItem& r : a->registry) bytes += text(r.subkey) + (r.value ? text(*r.value) : 0);
    }
  }
  for (const Group& g : groups_) bytes += text(g.label) + g.items.capacity() * sizeof(std::size_t);
  return bytes;
}

std::string display_name(const winapp2::RuleEntry& entry, std::string_view language) {
  if (!entry.usage_history) return entry.name;
  return entry.name + " · " + std::string(i18n::lookup("cleanup.record", language).value_or("cleanup.record"));
}

std::string group_label(std::string_view label, std::string_view language) {
  if (label.starts_with(fixed_label_prefix)) return std::string(i18n::lookup(label, language).value_or(label));
  return std::string(label);
}

}  // namespace vx::page_cleanup
