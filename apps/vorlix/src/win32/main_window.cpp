#include "main_window.h"

#include <dwmapi.h>
#include <shellapi.h>

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "close_run.h"
#include "common/win32/text.h"
#include "i18n/lang.h"
#include "i18n/templates.h"
#include "ostrel/ostrel.h"
#include "post.h"
#include "ui/tabs.h"
#include "window_state.h"
#include "winutil/win32/icon.h"
#include "winutil/win32/shell.h"

namespace vx::app {
namespace {

constexpr DWORD dwmwa_use_immersive_dark_mode = 20;
constexpr char inactive_class[] = "win-inactive";

ostrel::View* main_view() {
  return window_state().view.with([](ostrel::View*& view) { return view; });
}

}  // namespace

ostrel::Document* main_document() {
  ostrel::View* view = main_view();
  return view ? ostrel::view_document(view) : nullptr;
}

namespace {

ostrel::Node* element(ostrel::Document* doc, std::string_view id) {
  return ostrel::get_element_by_id(doc, id.data(), id.size());
}

std::optional<Page> page_of_tab(std::string_view name) {
  if (name == "startup") return Page::startup;
  if (name == "cleanup") return Page::cleanup;
  if (name == "bundle") return Page::bundle;
  return std::nullopt;  // the home tab has no page to build
}

// A page's first visit builds it from the context. The pages themselves are
// separate modules; until one is linked in, its panel shows the template as is.
void open_page(Page, ostrel::Document*, const AppContext&) {}

void on_clean_click(ostrel::Event*, void*) { start_close_run(); }

// The logo opens the product's web page; the program stays open.
void on_about_click(ostrel::Event*, void*) {
  if (const std::optional<AppContext> context = app_context())
    (void)winutil::win32::open_url(context->product_page_url);
}

// Images named "exe<class>:<icon source>" are the icons of programs, drawn the
// first time a page asks for them.
void load_icon_image(ostrel::Document* doc, const char* name, std::size_t length, void*) {
  const std::string_view key(name, length);
  if (!key.starts_with("exe")) return;
  if (const std::optional<std::string> png = winutil::win32::render_icon_image(key))
    ostrel::image_set(doc, name, length, png->data(), png->size());
}

void on_tab_click(ostrel::Event*, void* data) {
  const std::string_view name = *static_cast<const std::string_view*>(data);
  ostrel::Document* doc = main_document();
  if (!doc) return;
  ui::show_tab(doc, name);
  const std::optional<Page> page = page_of_tab(name);
  if (!page || !first_visit(window_state(), *page)) return;
  if (const std::optional<AppContext> context = app_context()) open_page(*page, doc, *context);
}

int scale(int value, UINT dpi) {
  const float scaled = static_cast<float>(value) * static_cast<float>(dpi) / 96.0f;
  if (scaled >= static_cast<float>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(scaled);
}

void place_for_dpi(HWND window) {
  const UINT dpi = GetDpiForWindow(window) ? GetDpiForWindow(window) : 96;
  const SIZE client = client_size_for_dpi(dpi);
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectExForDpi(&outer, main_window_style, FALSE, 0, dpi);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  int x = 0, y = 0;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
  }
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_GETMINMAXINFO:
      return 0;
    case WM_SIZE:
      if (ostrel::View* view = main_view()) {
        ostrel::set_bounds(view, 0, 0, LOWORD(lparam), HIWORD(lparam));
        // A copy: a callback may register another.
        const auto callbacks = window_state().resize_callbacks.with([](auto& list) { return list; });
        for (const auto& callback : callbacks) callback();
      }
      return 0;
    case job_message:
      run_posted_job(lparam);
      return 0;
    case WM_ACTIVATE:
      if (ostrel::Document* doc = main_document()) {
        if (ostrel::Node* root = ostrel::document_root(doc)) {
          if (LOWORD(wparam) != WA_INACTIVE)
            ostrel::remove_class(root, inactive_class, sizeof inactive_class - 1);
          else
            ostrel::add_class(root, inactive_class, sizeof inactive_class - 1);
        }
      }
      return 0;
    case WM_SETTINGCHANGE:
      if (lparam && std::wstring_view(reinterpret_cast<const wchar_t*>(lparam)) == L"ImmersiveColorSet")
        if (ostrel::Document* doc = main_document()) ostrel::set_color_scheme(doc, system_uses_dark_theme(), 0);
      return DefWindowProcW(window, message, wparam, lparam);
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

bool system_uses_dark_theme() {
  DWORD light = 1, size = sizeof light;
  return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size) == ERROR_SUCCESS &&
         light == 0;
}

WindowState& window_state() {
  static WindowState state;
  return state;
}

void set_main_view(ostrel::View* view) {
  window_state().view.with([view](ostrel::View*& kept) { kept = view; });
}

void register_resize_callback(std::function<void()> callback) {
  window_state().resize_callbacks.with([&](auto& list) { list.push_back(std::move(callback)); });
}

std::vector<std::string> command_line_arguments() {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(win32::narrow(argv[i]));
    LocalFree(argv);
  }
  return args;
}

std::optional<AppContext> app_context() { return context_of(window_state()); }

void wire(ostrel::View* view, const UpdateConfig& config, HWND window) {
  ostrel::Document* doc = ostrel::view_document(view);
  const std::string_view language = config.language;
  for (std::string_view name : i18n::builtin_image_names) {
    const std::string_view bytes = i18n::builtin_file(name);
    ostrel::image_set(doc, name.data(), name.size(), bytes.data(), bytes.size());
  }
  ostrel::set_image_loader(doc, load_icon_image, nullptr);
  if (ostrel::Node* logo = element(doc, "btn-about")) ostrel::on(logo, "click", 5, on_about_click, nullptr);
  window_state().context.with([&](std::optional<AppContext>& context) {
    context = AppContext{config.language, config.product_page_url, config, config.title,
                         reinterpret_cast<std::uintptr_t>(window)};
  });
  if (ostrel::Node* desc = element(doc, "cl-desc")) {
    const std::string_view text = i18n::lookup("cleaner.desc1", language).value_or("cleaner.desc1");
    ostrel::set_text_content(desc, text.data(), text.size());
  }
  for (const std::string_view& name : ui::tab_names)
    if (ostrel::Node* tab = element(doc, "tab-" + std::string(name)))
      ostrel::on(tab, "click", 5, on_tab_click, const_cast<std::string_view*>(&name));
  if (ostrel::Node* run = element(doc, "btn-clean")) ostrel::on(run, "click", 5, on_clean_click, nullptr);
}

SIZE client_size_for_dpi(UINT dpi) { return {scale(client_width_96, dpi), scale(client_height_96, dpi)}; }

bool register_main_window_class(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = main_window_proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = main_window_class;
  return RegisterClassExW(&wc) != 0;
}

HWND create_main_window(HINSTANCE instance, const wchar_t* title) {
  HWND window = CreateWindowExW(0, main_window_class, title, main_window_style, CW_USEDEFAULT, CW_USEDEFAULT,
                                client_width_96, client_height_96, nullptr, nullptr, instance, nullptr);
  if (!window) return nullptr;
  place_for_dpi(window);
  // Dark title bar in every theme; the frame is redrawn to take it.
  const BOOL dark = TRUE;
  DwmSetWindowAttribute(window, dwmwa_use_immersive_dark_mode, &dark, sizeof dark);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return window;
}

}  // namespace vx::app
