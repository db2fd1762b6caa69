#include "install_page.h"

#include "common/win32/unique.h"
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

  void start_load(std::uint64_t generation, std::function<void(install::Batch)> accept) override {
    spawn_worker([window = window_, generation, accept = std::move(accept)] {
      install::Batch batch{generation, install::win32::load_programs(), {}};
      const std::vector<std::string> keys = install::win32::new_icon_keys(batch.programs);
      if (!keys.empty()) {
        const vx::win32::ComApartment com;
        for (const std::string& key : keys)
          if (std::optional<std::string> png = winutil::win32::render_icon_image(key))
            batch.images.emplace_back(key, std::move(*png));
      }
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
