#include "close_run.h"

#include <windows.h>

#include "app.h"
#include "close_worker.h"
#include "net/report.h"
#include "network.h"
#include "page-autorun/page.h"
#include "page-install/page.h"
#include "process/win32/close_job.h"
#include "process/win32/noclean.h"
#include "winutil/win32/shell.h"

namespace vx::app {
namespace {

// What the startup and bundle pages hold, when they were opened.
PageHoldings page_holdings(App& app) {
  PageHoldings holdings;
  app.pages().deliver(ui::PageId::startup, [&](ui::Page& page) {
    for (const autorun::ListedItem& listed : dynamic_cast<autorun::AutorunPage&>(page).last_batch())
      holdings.startup.push_back({listed.item.location, std::string(autorun::source_tag(listed.item))});
  });
  app.pages().deliver(ui::PageId::bundle, [&](ui::Page& page) {
    for (const install::InstalledProgram& program : dynamic_cast<install::InstallPage&>(page).programs())
      holdings.programs.push_back({program.display_name, program.publisher});
  });
  return holdings;
}

RunFacts run_facts(const process::win32::CloseOutcome& outcome) {
  RunFacts facts;
  facts.available_before = outcome.before.available;
  facts.available_after = outcome.after.available;
  facts.total = outcome.after.total;
  for (std::size_t i = 0; i < outcome.processes.size() && i < outcome.states.size(); ++i)
    facts.processes.emplace_back(outcome.processes[i].path, outcome.states[i]);
  facts.signers = outcome.signers;
  return facts;
}

}  // namespace

void start_close_run(App& app) {
  ostrel::ui::DocumentRef doc = app.document();
  // The button never comes back: the run ends the program. A failed change
  // leaves the button as it was; the run goes on.
  if (auto button = doc.by_id("btn-clean")) {
    (void)button->set_disabled(true);
    (void)button->add_class("hidden");
  }
  if (auto spinner = doc.by_id("cl-spin")) (void)spinner->remove_class("hidden");

  process::win32::CloseJob job;
  job.path_list = app.lists()[process::ListKind::path];
  job.signer_list = app.lists()[process::ListKind::signer];
  job.mode = app.mode();
  job.noclean_files = process::win32::noclean_paths();
  job.signer_of = process::win32::file_signer;
  const HWND window = app.window();
  const std::string origin = app.context().update.origin;
  PageHoldings holdings = page_holdings(app);
  const auto report = [origin, holdings = std::move(holdings)](const process::win32::CloseOutcome& outcome) {
    return send_activity_report(origin, activity_report(run_facts(outcome), holdings));
  };
  // A failed post leaves the program open with its spinner turning.
  start_close_worker(window, std::move(job), report, [window, origin](process::win32::CloseOutcome, std::string key) {
    if (!key.empty()) (void)winutil::win32::open_url(net::report_url(origin, key));
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
}

}  // namespace vx::app
