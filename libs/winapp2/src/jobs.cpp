#include "winapp2/jobs.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "common/path_vars.h"
#include "common/text.h"

namespace vx::winapp2 {
namespace {

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// Deletes a key's values and subkeys, leaving the excluded ones and their way down.
void delete_contents_around(Registry& registry, Hive hive, const std::string& subkey, const std::string& canonical,
                            const std::vector<std::string>& exclusions) {
  for (const std::string& name : registry.value_names(hive, subkey)) registry.delete_value(hive, subkey, name);
  for (const std::string& name : registry.subkey_names(hive, subkey)) {
    const std::string child = subkey + "\\" + name, child_canonical = canonical + "\\" + to_lower(name);
    if (std::ranges::any_of(exclusions, [&](const std::string& e) { return at_or_under(child_canonical, e); }))
      continue;
    if (std::ranges::any_of(exclusions, [&](const std::string& e) { return at_or_under(e, child_canonical); }))
      delete_contents_around(registry, hive, child, child_canonical, exclusions);
    else
      registry.delete_tree(hive, child);
  }
}

// Counts the item when it is gone afterwards.
bool delete_registry_item(Registry& registry, const RegistryItem& item, const std::vector<std::string>& exclusions) {
  if (item.value) return registry.delete_value(item.hive, item.subkey, *item.value);
  if (item.subkey.empty()) return false;  // a whole hive is never a target
  const std::string canonical = canonical_key(item.hive, item.subkey);
  if (std::ranges::any_of(exclusions, [&](const std::string& e) { return at_or_under(canonical, e); })) return false;
  if (std::ranges::any_of(exclusions, [&](const std::string& e) { return at_or_under(e, canonical); })) {
    delete_contents_around(registry, item.hive, item.subkey, canonical, exclusions);
    return true;
  }
  return registry.delete_tree(item.hive, item.subkey);
}

}  // namespace

std::string size_text(std::uint64_t bytes) {
  constexpr double kb = 1024, mb = kb * 1024, gb = mb * 1024;
  const auto value = static_cast<double>(bytes);
  if (bytes < 1024) return std::to_string(bytes) + " B";
  if (bytes < 1048576) return fixed(value / kb, 1) + " KB";
  if (bytes < 1073741824) return fixed(value / mb, 1) + " MB";
  return fixed(value / gb, 2) + " GB";
}

LoadResult load_entries(PathContext& context, const RuleText& rules, std::chrono::steady_clock::time_point start) {
  LoadResult result;
  result.version = rules.version;
  std::unordered_set<std::string> seen;
  for (RuleEntry& entry : parse_rules(rules.text)) {
    // The first entry of a name wins, whether or not it is detected.
    if (!seen.insert(to_lower(identity_key(entry))).second) continue;
    if (is_detected(context, entry)) result.entries.push_back(std::move(entry));
  }
  result.elapsed = std::chrono::steady_clock::now() - start;
  std::fprintf(stderr, "[cleanup] Winapp2 %u 설치 %zu개 %.6fs\n", static_cast<unsigned>(result.version),
               result.entries.size(), std::chrono::duration<double>(result.elapsed).count());
  return result;
}

LoadResult run_load(PathContext& context) {
  const auto start = std::chrono::steady_clock::now();
  LoadResult result = load_entries(context, load_rule_text(), start);
  result.selection = read_selection();
  return result;
}

AnalysisTotals run_analysis(PathContext& context, std::span<const JobItem> items, const AnalysisEvents& events) {
  AnalysisTotals totals;
  for (std::size_t i = 0; i < items.size(); ++i) {
    ResolvedEntry result = resolve_entry(context, items[i].entry);
    totals.files += result.files.size();
    totals.registry += result.registry.size();
    totals.bytes += result.total_size;
    if (events.entry) events.entry({i + 1, items.size()}, items[i].row, std::move(result));
  }
  if (events.done) events.done(totals);
  return totals;
}

void remove_empty_folders(PathContext& context, const RulePath& path) {
  // Never through a link, not even one the rule names: a folder removal only
  // ever takes what lies below the folder it was meant for.
  std::optional<OpenedFolder> root = open_rule_folder(context, path, Follow::never);
  // A rule naming a drive, the profile or the public profile would otherwise
  // sweep away every empty folder below it.
  if (!root || is_protected_folder(context, root->path)) return;
  // Depth first, a folder after everything below it; iterative, so no depth
  // of tree can exhaust the stack. Each folder is opened again by the identity
  // its parent's listing showed.
  struct Frame {
    std::string path;
    FileId id;
    bool listed = false;
  };
  std::vector<Frame> stack;
  auto push_subfolders = [&stack](const std::string& parent, const OpenedFolder& folder) {
    for (auto it = folder.entries.rbegin(); it != folder.entries.rend(); ++it)
      if (it->is_folder()) stack.push_back({parent + "\\" + it->name, FileId{folder.id.volume, it->id}});
  };
  std::string top = root->path;
  while (top.ends_with('\\')) top.pop_back();
  stack.push_back({top, root->id, true});
  push_subfolders(top, *root);
  while (!stack.empty()) {
    if (!stack.back().listed) {
      stack.back().listed = true;
      const std::string folder_path = stack.back().path;
      std::optional<OpenedFolder> folder;
      if (!is_in_user_data(context, folder_path))
        folder = context.fs->open_folder(folder_path, Follow::never, stack.back().id);
      if (!folder)
        stack.pop_back();  // neither entered nor removed
      else
        push_subfolders(folder_path, *folder);
      continue;
    }
    const Frame done = std::move(stack.back());
    stack.pop_back();
    // Fails, as it should, while anything is left inside.
    if (!is_protected_folder(context, done.path)) context.fs->remove_folder(done.path, done.id);
  }
}

CleanCounts run_cleaning(PathContext& context, std::span<JobItem> items, const CleaningEvents& events) {
  CleanCounts total;
  for (std::size_t i = 0; i < items.size(); ++i) {
    JobItem& item = items[i];
    if (!item.analysis) item.analysis = resolve_entry(context, item.entry);
    const ResolvedEntry& found = *item.analysis;
    std::size_t files = 0, registry = 0;
    for (const FoundFile& file : found.files) {
      // Checked again here: an analysis result is handed over by the page.
      const std::size_t slash = file.path.rfind('\\');
      if (!is_absolute_drive_path(file.path) || slash == std::string::npos ||
          is_protected_folder(context, std::string_view(file.path).substr(0, slash)))
        continue;
      // In use, refused, gone or no longer the file the analysis found: not counted.
      if (!context.fs->delete_file(file.path, file.id)) continue;
      ++files;
      total.bytes += file.size;
    }
    const std::vector<std::string> exclusions = registry_exclusions(item.entry);
    for (const RegistryItem& reg : found.registry) registry += delete_registry_item(*context.registry, reg, exclusions);
    for (const FileKey& key : item.entry.file_keys) {
      if (key.flag != FileKeyFlag::remove_self) continue;
      for (const RulePath& path : expand_rule_paths(context, key.path)) remove_empty_folders(context, path);
    }
    std::fprintf(stderr, "[cleanup] %s 파일 %zu/%zu 레지스트리 %zu/%zu\n", item.entry.name.c_str(), files,
                 found.files.size(), registry, found.registry.size());
    total.files += files;
    total.registry += registry;
    if (events.entry) events.entry({i + 1, items.size()}, item.row);
  }
  if (events.done) events.done(total);
  return total;
}

}  // namespace vx::winapp2
