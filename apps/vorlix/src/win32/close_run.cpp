#include "close_run.h"

#include <windows.h>

#include "app.h"
#include "close_worker.h"
#include "process/win32/close_job.h"
#include "process/win32/noclean.h"

namespace vx::app {

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
  // A failed post leaves the program open with its spinner turning.
  start_close_worker(window, std::move(job), [window](process::win32::CloseOutcome) {
    // The activity report is sent from here, with the outcome, in the network step.
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
}

}  // namespace vx::app
