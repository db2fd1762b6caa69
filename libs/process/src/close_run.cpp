#include "process/close_run.h"

#include <algorithm>

#include "common/path_vars.h"
#include "common/text.h"

namespace vx::process {

RunMode run_mode_from_args(std::span<const std::string> args) {
  if (std::ranges::find(args, "--dry-run") != args.end()) return {RunMode::dry_run, {}};
  const auto kill_only = std::ranges::find(args, "--kill-only");
  if (kill_only == args.end()) return {};
  const auto value = kill_only + 1;
  // Without a usable name the safe reading is to terminate nothing.
  if (value == args.end() || value->starts_with("--")) return {RunMode::dry_run, {}};
  return {RunMode::only, *value};
}

std::string describe(const RunMode& mode) {
  switch (mode.kind) {
    case RunMode::all:
      return "All";
    case RunMode::dry_run:
      return "DryRun";
    case RunMode::only:
      return "Only(\"" + mode.name + "\")";
  }
  return {};
}

PathMatcher::PathMatcher(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    if (key.empty() || key.starts_with("//")) continue;
    if (key.back() == '*')
      names_.insert(key.substr(0, key.size() - 1));
    else
      pieces_.push_back(key);
  }
}

bool PathMatcher::matches(std::string_view path) const {
  const std::string lower = to_lower(path);
  if (names_.contains(std::string(file_name_of(lower)))) return true;
  return std::ranges::any_of(pieces_, [&](const std::string& piece) { return lower.find(piece) != std::string::npos; });
}

Decisions decide(std::span<const ProcessEntry> entries, std::uint32_t self_id, const KeepList& path_list,
                 const KeepList& signer_list, const SignerLookup& signer_of) {
  Decisions out;
  out.states.reserve(entries.size());
  const PathMatcher protected_paths(path_list.keys());
  // Many processes share an image: each distinct path is judged once.
  std::unordered_map<std::string, bool> kept_by_path;
  for (const ProcessEntry& entry : entries) {
    if (entry.id == self_id) {
      out.states.push_back(ProcessState::kept);
      continue;
    }
    auto [known, fresh] = kept_by_path.try_emplace(entry.path, false);
    if (fresh) {
      bool kept = protected_paths.matches(entry.path);
      // A bare name (the path could not be read) would be opened relative to
      // the current folder, where anyone may have put a file of that name.
      if (!kept && !signer_list.raw().empty() && is_absolute_drive_path(entry.path)) {
        auto [signer, looked_up] = out.signer_cache.try_emplace(entry.path);
        if (looked_up && signer_of) signer->second = signer_of(entry.path);
        kept = matches_signer(signer_list.keys(), signer->second);
      }
      known->second = kept;
    }
    out.states.push_back(known->second ? ProcessState::kept : ProcessState::target);
  }
  return out;
}

std::vector<ProcessEntry> targets_for_mode(std::span<const ProcessEntry> entries, std::span<const ProcessState> states,
                                           const RunMode& mode) {
  std::vector<ProcessEntry> out;
  if (mode.kind == RunMode::dry_run) return out;
  const std::string wanted = to_lower(mode.name);
  for (std::size_t i = 0; i < entries.size() && i < states.size(); ++i) {
    if (states[i] != ProcessState::target) continue;
    if (mode.kind == RunMode::only) {
      const std::string_view path = entries[i].path;
      const std::size_t slash = path.rfind('\\');
      if (to_lower(slash == std::string_view::npos ? path : path.substr(slash + 1)) != wanted) continue;
    }
    out.push_back(entries[i]);
  }
  return out;
}

std::size_t mark_closed(std::span<const ProcessEntry> entries, std::span<ProcessState> states,
                        std::span<const std::uint32_t> ended) {
  std::size_t closed = 0;
  for (std::size_t i = 0; i < entries.size() && i < states.size(); ++i) {
    if (states[i] == ProcessState::target && std::ranges::find(ended, entries[i].id) != ended.end()) {
      states[i] = ProcessState::closed;
      ++closed;
    }
  }
  return closed;
}

std::vector<std::pair<std::string, std::string>> report_signers(const std::map<std::string, std::string>& cache) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& [path, signer] : cache)
    if (!signer.empty()) pairs.emplace_back(path, signer);
  std::ranges::sort(pairs);
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> kept;  // lower-cased signer, pair
  std::unordered_set<std::string> seen;
  for (auto& pair : pairs) {
    std::string lower = to_lower(pair.second);
    if (seen.insert(lower).second) kept.emplace_back(std::move(lower), std::move(pair));
  }
  std::ranges::stable_sort(kept, {}, [](const auto& k) -> const std::string& { return k.first; });
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(kept.size());
  for (auto& k : kept) out.push_back(std::move(k.second));
  return out;
}

std::string drive_path(std::string_view nt_path, std::span<const std::pair<std::string, std::string>> drives) {
  for (const auto& [drive, device] : drives) {
    if (!device.empty() && nt_path.size() > device.size() && nt_path.starts_with(device) &&
        nt_path[device.size()] == '\\')
      return drive + std::string(nt_path.substr(device.size()));
  }
  return {};
}

bool is_browser(std::string_view executable_name) {
  return std::ranges::any_of(browser_names, [&](std::string_view b) { return iequals_ascii(b, executable_name); });
}

}  // namespace vx::process
