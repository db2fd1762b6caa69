#include "app.h"

#include <optional>
#include <utility>

#include "autorun_page.h"
#include "cleanup_page.h"
#include "close_run.h"
#include "common/win32/text.h"
#include "i18n/lang.h"
#include "i18n/templates.h"
#include "install_page.h"
#include "main_window.h"
#include "network.h"
#include "post.h"
#include "ui/tabs.h"
#include "winutil/win32/icon.h"
#include "winutil/win32/shell.h"

namespace vx::app {
namespace {

constexpr std::string_view inactive_class = "win-inactive";

// A toolkit call whose failure leaves nothing to do: the element stays as it
// was, or (while wiring) the listener is dropped.
void best_effort(const ostrel::ui::Result<>&) {}

std::optional<ui::PageId> page_of_tab(std::string_view name) {
  if (name == "startup") return ui::PageId::startup;
  if (name == "cleanup") return ui::PageId::cleanup;
  if (name == "bundle") return ui::PageId::bundle;
  return std::nullopt;  // the home tab has no page to build
}

// Images named "exe<class>:<icon source>" are the icons of programs, drawn the
// first time a page asks for them.
void load_icon_image(ostrel::Document* doc, const char* name, std::size_t length, void*) {
  const std::string_view key(name, length);
  if (!key.starts_with("exe")) return;
  if (const std::optional<std::string> png = winutil::win32::render_icon_image(key))
    best_effort(ostrel::ui::DocumentRef(doc).set_image(key, *png));
}

}  // namespace

std::unique_ptr<App> App::create(HINSTANCE instance, Startup startup) {
  if (!register_main_window_class(instance, procedure)) return nullptr;
  const HWND window = create_main_window(instance, win32::widen(startup.title).c_str());
  if (!window) return nullptr;
  RECT client{};
  GetClientRect(window, &client);
  ostrel::ui::Result<ostrel::ui::ViewHandle> view = ostrel::ui::ViewHandle::create();
  const bool shown = view && view->load_html(startup.html) && view->load_css(startup.css) &&
                     view->document().set_color_scheme(system_uses_dark_theme()) && view->attach(window) &&
                     view->set_bounds(0, 0, client.right, client.bottom);
  if (!shown) {
    DestroyWindow(window);
    return nullptr;
  }
  std::unique_ptr<App> app(new App(window, std::move(*view), std::move(startup)));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app.get()));
  app->wire();
  return app;
}

App::App(HWND window, ostrel::ui::ViewHandle view, Startup startup)
    : window_(window),
      view_(std::move(view)),
      context_{startup.language, startup.update.product_page_url, startup.update, startup.title,
               reinterpret_cast<std::uintptr_t>(window)},
      mode_(std::move(startup.mode)) {}

App::~App() {
  if (IsWindow(window_)) SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

void App::run() {
  ShowWindow(window_, SW_SHOW);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

App* App::of(HWND window) {
  return IsWindow(window) ? reinterpret_cast<App*>(GetWindowLongPtrW(window, GWLP_USERDATA)) : nullptr;
}

void App::apply_settings(const SettingsRecord& record) {
  merge_server_lists(lists_, record);
  pages_.lists_changed(lists_);
  if (record.rule_file_version != 0) start_rule_refresh(window_, record.rule_file_url, record.rule_file_version);
}

void App::on_resize(std::function<void()> callback) { resize_callbacks_.push_back(std::move(callback)); }

void App::wire() {
  ostrel::ui::DocumentRef doc = document();
  for (std::string_view name : i18n::builtin_image_names) best_effort(doc.set_image(name, i18n::builtin_file(name)));
  best_effort(doc.set_image_loader(load_icon_image, nullptr));
  if (auto logo = doc.by_id("btn-about")) best_effort(logo->on("click", on_about_click, this));
  if (auto desc = doc.by_id("cl-desc"))
    best_effort(desc->set_text(i18n::lookup("cleaner.desc1", context_.language).value_or("cleaner.desc1")));
  for (std::size_t i = 0; i < ui::tab_names.size(); ++i) {
    tab_clicks_[i] = {this, ui::tab_names[i]};
    if (auto tab = doc.by_id("tab-" + std::string(ui::tab_names[i])))
      best_effort(tab->on("click", on_tab_click, &tab_clicks_[i]));
  }
  if (auto run = doc.by_id("btn-clean")) best_effort(run->on("click", on_clean_click, this));

  std::unique_ptr<autorun::AutorunPage> startup = make_autorun_page(doc, window_, context_.title);
  on_resize([page = startup.get()] { page->fit_columns(); });
  pages_.add(ui::PageId::startup, std::move(startup));
  std::unique_ptr<page_cleanup::CleanupPage> cleanup = make_cleanup_page(doc, window_, context_.title);
  on_resize([page = cleanup.get()] { page->fit_columns(); });
  pages_.add(ui::PageId::cleanup, std::move(cleanup));
  std::unique_ptr<install::InstallPage> bundle = make_install_page(doc, window_, context_.title);
  on_resize([page = bundle.get()] { page->fit_columns(); });
  pages_.add(ui::PageId::bundle, std::move(bundle));
}

void App::switch_tab(std::string_view name) {
  ui::show_tab(document().handle(), name);
  if (const std::optional<ui::PageId> page = page_of_tab(name)) pages_.visit(*page, context_, lists_);
}

void App::on_tab_click(ostrel::Event*, void* data) {
  const TabClick& click = *static_cast<const TabClick*>(data);
  click.app->switch_tab(click.name);
}

// The logo opens the product's web page; the program stays open.
void App::on_about_click(ostrel::Event*, void* data) {
  (void)winutil::win32::open_url(static_cast<App*>(data)->context_.product_page_url);
}

void App::on_clean_click(ostrel::Event*, void* data) { start_close_run(*static_cast<App*>(data)); }

LRESULT CALLBACK App::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  // Before the program is made (and after it is gone) the window is a plain one.
  if (auto* app = reinterpret_cast<App*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
    return app->handle(message, wparam, lparam);
  return message == WM_GETMINMAXINFO ? 0 : DefWindowProcW(window, message, wparam, lparam);
}

LRESULT App::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_GETMINMAXINFO:
      return 0;
    case WM_SIZE: {
      best_effort(view_.set_bounds(0, 0, LOWORD(lparam), HIWORD(lparam)));
      // A copy: a callback may register another.
      const auto callbacks = resize_callbacks_;
      for (const auto& callback : callbacks) callback();
      return 0;
    }
    case job_message:
      run_posted_job(lparam);
      return 0;
    case WM_ACTIVATE: {
      ostrel::ui::Element root = document().root();
      best_effort(root.set_class(inactive_class, LOWORD(wparam) == WA_INACTIVE));
      // Windows then gives the frame the keyboard focus, which WM_SETFOCUS passes on.
      return DefWindowProcW(window_, message, wparam, lparam);
    }
    case WM_SETFOCUS:
      // Keys go to the document from the start, not only after a first click.
      if (HWND view = GetWindow(window_, GW_CHILD)) SetFocus(view);
      return 0;
    case WM_SETTINGCHANGE:
      if (lparam && std::wstring_view(reinterpret_cast<const wchar_t*>(lparam)) == L"ImmersiveColorSet")
        best_effort(document().set_color_scheme(system_uses_dark_theme()));
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace vx::app
