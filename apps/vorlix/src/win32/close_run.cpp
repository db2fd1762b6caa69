#include "close_run.h"

#include <windows.h>

#include "close_worker.h"
#include "main_window.h"
#include "ostrel/ostrel.h"
#include "process/win32/close_job.h"
#include "process/win32/noclean.h"
#include "window_state.h"

namespace vx::app {
namespace {

ostrel::Node* element(ostrel::Document* doc, std::string_view id) {
  return ostrel::get_element_by_id(doc, id.data(), id.size());
}

}  // namespace

void start_close_run() {
  const std::optional<AppContext> context = app_context();
  ostrel::Document* doc = main_document();
  if (!context || !doc) return;
  // The button never comes back: the run ends the program.
  if (ostrel::Node* button = element(doc, "btn-clean")) {
    ostrel::set_disabled(button, true);
    ostrel::add_class(button, "hidden", 6);
  }
  if (ostrel::Node* spinner = element(doc, "cl-spin")) ostrel::remove_class(spinner, "hidden", 6);

  process::win32::CloseJob job;
  window_state().keep_lists.with([&](SharedKeepLists& shared) {
    job.path_list = shared.lists[process::ListKind::path];
    job.signer_list = shared.lists[process::ListKind::signer];
  });
  job.mode = process::run_mode_from_args(command_line_arguments());
  job.noclean_files = process::win32::noclean_paths();
  job.signer_of = process::win32::file_signer;
  const HWND window = reinterpret_cast<HWND>(context->window);
  // A failed post leaves the program open with its spinner turning.
  start_close_worker(window, std::move(job), [window](process::win32::CloseOutcome) {
    // The activity report is sent from here, with the outcome, in the network step.
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
}

}  // namespace vx::app
