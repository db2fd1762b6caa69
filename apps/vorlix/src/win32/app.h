// The running program: its window, the view with the document, the context,
// the keep-alive lists and the pages. One object, made by start-up and owned
// by it until the message loop ends; everything on the window thread reaches
// the program through it.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/bindings.h"
#include "process/close_run.h"
#include "process/keep_list.h"
#include "settings.h"
#include "ui/app_context.h"
#include "ui/pages.h"

namespace vx::app {

// What start-up works out before there is a window.
struct Startup {
  std::string language;
  std::string title;
  std::string html, css;  // the document with its placeholders filled, the style text
  ui::UpdateConfig update;
  process::RunMode mode;  // what the close run may end ("--dry-run", "--kill-only")
};

class App {
 public:
  // Makes the window and the view with the document and wires it. None when
  // the window or the view cannot be made: the program then ends quietly.
  static std::unique_ptr<App> create(HINSTANCE instance, Startup startup);
  // The program whose main window this is; none once it is gone.
  static App* of(HWND window);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Shows the window and runs the message loop until the window is gone.
  void run();

  HWND window() const { return window_; }
  ostrel::ui::DocumentRef document() const { return view_.document(); }
  const ui::AppContext& context() const { return context_; }
  const process::RunMode& mode() const { return mode_; }
  const process::KeepLists& lists() const { return lists_; }
  // The pages, for the jobs that report to one (Pages::deliver) and for the
  // rule-file refresh that asks the cleanup page to load again (Pages::reload).
  ui::Pages& pages() { return pages_; }

  // The start-up settings from the server: the lists join the shared ones and
  // the open pages' copies; a newer rule file on offer is fetched.
  void apply_settings(const SettingsRecord& record);
  // Called, in order, after the view follows a new window size.
  void on_resize(std::function<void()> callback);

 private:
  App(HWND window, ostrel::ui::ViewHandle view, Startup startup);
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void wire();
  void switch_tab(std::string_view name);

  static void on_tab_click(ostrel::Event* event, void* data);
  static void on_about_click(ostrel::Event* event, void* data);
  static void on_clean_click(ostrel::Event* event, void* data);

  HWND window_;
  ostrel::ui::ViewHandle view_;
  ui::AppContext context_;
  process::RunMode mode_;
  process::KeepLists lists_ = process::builtin_keep_lists();
  ui::Pages pages_;
  std::vector<std::function<void()>> resize_callbacks_;
  // What a tab's click handler is given: the program and the tab's name.
  struct TabClick {
    App* app;
    std::string_view name;
  };
  std::array<TabClick, 4> tab_clicks_;
};

}  // namespace vx::app
