#include "autorun_page.h"

#include <chrono>
#include <cstdio>

#include "common/win32/error_text.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "page-autorun/win32/sources.h"
#include "post.h"
#include "ui/win32/dialogs.h"
#include "winutil/win32/icon.h"
#include "winutil/win32/shell.h"

namespace vx::app {
namespace {

class WindowServices final : public autorun::Services {
 public:
  explicit WindowServices(HWND window) : window_(window) {}

  void start_load(std::uint64_t generation, bool fresh, std::function<void(autorun::Batch)> accept) override {
    spawn_worker([window = window_, generation, fresh, accept = std::move(accept)] {
      const auto started = std::chrono::steady_clock::now();
      autorun::Batch batch{generation, fresh, autorun::win32::load_items(), {}};
      const auto listed = std::chrono::steady_clock::now();
      batch.images = winutil::win32::render_icon_images(autorun::win32::new_icon_keys(batch.items));
      const auto seconds = [](auto from, auto to) { return std::chrono::duration<double>(to - from).count(); };
      const auto done = std::chrono::steady_clock::now();
      std::fprintf(stderr, "[autorun] 항목 %zu개 %.6fs 아이콘 %zu개 %.6fs\n", batch.items.size(),
                   seconds(started, listed), batch.images.size(), seconds(listed, done));
      post_to_window(window, [accept, batch = std::move(batch)]() mutable { accept(std::move(batch)); });
    });
  }
  Result<> set_enabled(const autorun::AutorunItem& item, bool on) override {
    return autorun::win32::set_enabled(item, on);
  }
  void start_delete(autorun::AutorunItem item, std::function<void(Result<>)> done) override {
    spawn_worker([window = window_, item = std::move(item), done = std::move(done)] {
      Result<> result = autorun::win32::delete_item(item);
      post_to_window(window, [done, result = std::move(result)] { done(result); });
    });
  }
  // The file the user chose, written whole where it is.
  Result<> write_file(const std::string& path, std::string_view bytes) override {
    const vx::win32::UniqueHandle file{CreateFileW(vx::win32::widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
      return fail("system", path + ": " + vx::win32::error_text(GetLastError()));
    return {};
  }
  void open_url(const std::string& url) override { (void)winutil::win32::open_url(url); }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<autorun::AutorunPage> make_autorun_page(ostrel::ui::DocumentRef document, HWND window,
                                                        std::string caption) {
  return std::make_unique<autorun::AutorunPage>(document, std::make_unique<WindowServices>(window),
                                                std::make_unique<ui::win32::WindowDialogs>(window, std::move(caption)));
}

}  // namespace vx::app
