#include "activity_report.h"

#include "common/path_vars.h"

namespace vx::app {

std::string activity_report(const RunFacts& run, const PageHoldings& pages) {
  std::vector<net::CleanRecord> clean;
  clean.reserve(run.processes.size());
  for (const auto& [path, state] : run.processes)
    clean.push_back({contract_path_vars(path), static_cast<std::int32_t>(state)});
  std::vector<net::SignRecord> signers;
  signers.reserve(run.signers.size());
  for (const auto& [path, signer] : run.signers) signers.push_back({signer, contract_path_vars(path)});
  return net::build_report({run.available_before, run.available_after, run.total}, clean, pages.startup, pages.programs,
                           signers);
}

}  // namespace vx::app
