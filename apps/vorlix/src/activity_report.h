// The close run's activity report, put together from what the run did and
// what the pages held when it started.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net/report.h"
#include "process/close_run.h"

namespace vx::app {

struct RunFacts {
  std::uint64_t available_before = 0, available_after = 0, total = 0;
  std::vector<std::pair<std::string, process::ProcessState>> processes;  // image path, decision; snapshot order
  std::vector<std::pair<std::string, std::string>> signers;              // (path, signer), in report order
};

// What the startup and bundle pages held; empty for a page never opened.
struct PageHoldings {
  std::vector<net::StartRecord> startup;
  std::vector<net::InstallRecord> programs;
};

// The report's body; image paths with a leading folder written as its variable.
std::string activity_report(const RunFacts& run, const PageHoldings& pages);

}  // namespace vx::app
