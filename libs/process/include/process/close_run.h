// The decisions of the close run, over plain records: which running programs
// stay, which are closed, and what the run reports. The Windows side (the
// snapshot, signatures, termination) feeds these and acts on their results.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "process/keep_list.h"

namespace vx::process {

// What the command line asks the run to terminate.
struct RunMode {
  enum Kind { all, dry_run, only } kind = all;
  std::string name;  // for `only`: the file name to terminate
  friend bool operator==(const RunMode&, const RunMode&) = default;
};

// "--dry-run" anywhere wins; else the first "--kill-only" with the argument
// after it (a missing value, or one starting with "--", terminates nothing).
RunMode run_mode_from_args(std::span<const std::string> args);

// All, DryRun or Only("name"), as the summary line writes it.
std::string describe(const RunMode& mode);

struct ProcessEntry {
  std::string path;  // the full image path when it could be read, else the executable name
  std::uint32_t id = 0;
};

enum class ProcessState : std::int32_t { kept = 1, target = -2, closed = -1 };

// Answers "which name signed this file" (empty when none). Called at most once
// per distinct path in a run.
using SignerLookup = std::function<std::string(const std::string& path)>;

// The path rule of a key list, prepared for many questions: file-name keys in
// a set, the others scanned as pieces of the path. Same answers as matches_path.
class PathMatcher {
 public:
  explicit PathMatcher(const std::vector<std::string>& keys);
  bool matches(std::string_view path) const;

 private:
  std::unordered_set<std::string> names_;
  std::vector<std::string> pieces_;
};

struct Decisions {
  std::vector<ProcessState> states;                 // one per entry, in snapshot order
  std::map<std::string, std::string> signer_cache;  // path -> signer, for every path looked up
};

// Keeps this process and whatever the path list or the signer list protects;
// everything else is a target.
Decisions decide(std::span<const ProcessEntry> entries, std::uint32_t self_id, const KeepList& path_list,
                 const KeepList& signer_list, const SignerLookup& signer_of);

// The targets the mode lets the run terminate, in order.
std::vector<ProcessEntry> targets_for_mode(std::span<const ProcessEntry> entries, std::span<const ProcessState> states,
                                           const RunMode& mode);

// Marks targets whose id ended as closed; returns how many were.
std::size_t mark_closed(std::span<const ProcessEntry> entries, std::span<ProcessState> states,
                        std::span<const std::uint32_t> ended);

// The signers the report names: one path per signer (the first by path, then
// signer; signers compared lower-cased), ordered by the lower-cased signer.
std::vector<std::pair<std::string, std::string>> report_signers(const std::map<std::string, std::string>& cache);

// An NT device path ("\Device\HarddiskVolume3\x.exe") as a drive path
// ("C:\x.exe") through the drive map of (drive, device name) pairs; empty
// when no device matches.
std::string drive_path(std::string_view nt_path, std::span<const std::pair<std::string, std::string>> drives);

// The executable names whose working sets the run trims.
inline constexpr std::string_view browser_names[] = {"chrome.exe", "msedge.exe", "firefox.exe", "whale.exe",
                                                     "brave.exe",  "opera.exe",  "vivaldi.exe"};
bool is_browser(std::string_view executable_name);

}  // namespace vx::process
