#include "install_page.h"

#include <chrono>
#include <cstdio>

#include "page-install/win32/inventory.h"
#include "post.h"
#include "ui/win32/dialogs.h"
#include "winutil/win32/icon.h"
#include "winutil/win32/shell.h"

namespace vx::app {
namespace {

class WindowServices final : public install::Services {
 public:
  explicit WindowServices(HWND window) : window_(window) {}

  void start_load(std::uint64_t generation, std::vector<std::string> bundle_keys,
                  std::function<void(install::Batch)> accept) override {
    spawn_worker([window = window_, generation, bundle_keys = std::move(bundle_keys), accept = std::move(accept)] {
      const auto started = std::chrono::steady_clock::now();
      install::Batch batch{generation, install::win32::load_programs(), {}};
      const auto listed = std::chrono::steady_clock::now();
      std::vector<install::InstalledProgram> shown;
      for (const std::size_t row : install::bundle_rows(batch.programs, bundle_keys))
        shown.push_back(batch.programs[row]);
      batch.images = winutil::win32::render_icon_images(install::win32::new_icon_keys(shown));
      const auto seconds = [](auto from, auto to) { return std::chrono::duration<double>(to - from).count(); };
      std::fprintf(stderr, "[install] 프로그램 %zu개 %.6fs 아이콘 %zu개 %.6fs\n", batch.programs.size(),
                   seconds(started, listed), batch.images.size(), seconds(listed, std::chrono::steady_clock::now()));
      post_to_window(window, [accept, batch = std::move(batch)]() mutable { accept(std::move(batch)); });
    });
  }
  Result<> start_as_desktop_user(const std::string& program, const std::string& arguments) override {
    return winutil::win32::start_as_desktop_user(program, arguments);
  }
  Result<> start_directly(const std::string& program, const std::string& arguments) override {
    return winutil::win32::start_directly(program, arguments);
  }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<install::InstallPage> make_install_page(ostrel::ui::DocumentRef document, HWND window,
                                                        std::string caption) {
  return std::make_unique<install::InstallPage>(document, std::make_unique<WindowServices>(window),
                                                std::make_unique<ui::win32::WindowDialogs>(window, std::move(caption)));
}

}  // namespace vx::app
