// The close run on Windows: the process snapshot, the decisions, termination
// within one shared deadline, and the memory the run gave back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "process/close_run.h"
#include "process/keep_list.h"

namespace vx::process::win32 {

struct MemoryStatus {
  std::uint64_t total = 0, available = 0;  // physical bytes; both 0 when unknown
};
MemoryStatus memory_status();

// The full image path of an open process; empty when it cannot be read.
std::string process_image_path(HANDLE process);

// Each drive letter with the first device name it maps to.
std::vector<std::pair<std::string, std::string>> drive_map();

// Every running process but id 0, with its image path (or its executable name
// when the path cannot be had).
std::vector<ProcessEntry> snapshot_processes(std::span<const std::pair<std::string, std::string>> drives);

// Terminates the targets (never this process, never id 0, never a critical
// one, never an id that now runs another program) and returns the ids that
// ended within one shared deadline.
std::vector<std::uint32_t> terminate_targets(std::span<const ProcessEntry> targets, DWORD deadline_ms = 4000);

// Waits for each handle in turn, all within one deadline from now; the ids
// whose handle was signalled in time.
std::vector<std::uint32_t> wait_within(std::span<const std::pair<std::uint32_t, HANDLE>> handles, DWORD deadline_ms);

// Whether a process must not be ended: Windows says so, or, where Windows
// cannot tell (Wine), its image is one of the system's critical programs.
bool is_critical(HANDLE process, const std::string& path);

// The name that signed a file, from the file itself or from the catalog that
// lists it; empty when unsigned.
using FileSigner = std::string (*)(const std::string& path);
std::string file_signer(const std::string& path);

struct CloseJob {
  KeepList path_list;    // the shared path list, copied when the run starts
  KeepList signer_list;  // the shared signer list, likewise
  RunMode mode;
  std::vector<std::string> noclean_files;  // where the user's own lists are read from
  FileSigner signer_of = nullptr;
};

struct CloseOutcome {
  std::vector<ProcessEntry> processes;                       // in snapshot order
  std::vector<ProcessState> states;                          // one per process
  std::vector<std::pair<std::string, std::string>> signers;  // (path, signer) for the report
  MemoryStatus before, after;
};

// The whole run, on a worker thread; writes its diagnostic lines as it goes.
CloseOutcome run_close_job(CloseJob job);

}  // namespace vx::process::win32
