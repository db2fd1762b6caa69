#include "cleanup_page.h"

#include "cleanup_jobs.h"
#include "common/replace_file.h"
#include "ui/win32/dialogs.h"
#include "winapp2/selection.h"

namespace vx::app {
namespace {

class WindowServices final : public page_cleanup::Services {
 public:
  explicit WindowServices(HWND window) : window_(window) {}

  void start_load(std::function<void(winapp2::LoadResult)> loaded) override {
    start_load_job(window_, std::move(loaded));
  }
  void start_analysis(std::vector<winapp2::JobItem> items, winapp2::AnalysisEvents receivers) override {
    start_analysis_job(window_, std::move(items), std::move(receivers));
  }
  void start_cleaning(std::vector<winapp2::JobItem> items, winapp2::CleaningEvents receivers) override {
    start_clean_job(window_, std::move(items), std::move(receivers));
  }
  Result<> save_selection(std::string_view text) override {
    const std::optional<std::string> path = winapp2::selection_path();
    if (!path) return fail("not-found", "the roaming application-data folder is unknown");
    return replace_file(*path, text);
  }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<page_cleanup::CleanupPage> make_cleanup_page(ostrel::ui::DocumentRef document, HWND window,
                                                             std::string caption) {
  return std::make_unique<page_cleanup::CleanupPage>(
      document, std::make_unique<WindowServices>(window),
      std::make_unique<ui::win32::WindowDialogs>(window, std::move(caption)));
}

}  // namespace vx::app
