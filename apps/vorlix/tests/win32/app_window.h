// The program's own window inside a test process, driven as a user would:
// mouse messages to the view, a pause for the frame, and what the document
// and the screen then show.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app.h"
#include "i18n/lang.h"
#include "i18n/templates.h"
#include "job_window.h"
#include "ui/list_table.h"
#include "win32/screen.h"
#include "win32/view_window.h"

namespace vx::app::testing {

class AppWindow : public ::testing::Test {
 protected:
  AppWindow() { ostrel::win32::use_windows_views(); }

  // `origin`: the server the program would talk to; none is reached unless a
  // test starts the update check itself.
  std::unique_ptr<vx::app::App> start(const std::string& language, bool dark = false,
                                      std::string_view origin = "https://vorlix.test") {
    vx::app::Startup startup;
    startup.language = language;
    startup.title = std::string(vx::i18n::lookup("app.vorlix", language).value_or("Vorlix"));
    startup.html = vx::i18n::expand_template(vx::i18n::compose_document(), language);
    startup.css = vx::i18n::compose_style();
    startup.mode.kind = vx::process::RunMode::dry_run;  // the home tab's button ends nothing here
    startup.update = vx::ui::make_update_config(origin, startup.title, language, std::nullopt);
    std::unique_ptr<vx::app::App> app = vx::app::App::create(GetModuleHandleW(nullptr), std::move(startup));
    if (!app) return app;
    (void)app->document().set_color_scheme(dark);
    ShowWindow(app->window(), SW_SHOW);
    view_ = FindWindowExW(app->window(), nullptr, L"OstrelUIView", nullptr);
    return app;
  }
  ostrel::Node* by_id(vx::app::App& app, const char* id) {
    return ostrel::get_element_by_id(app.document().handle(), id, std::strlen(id));
  }
  // A left click in the middle of an element, through the view's window procedure.
  void click(ostrel::Node* element) {
    ASSERT_NE(element, nullptr);
    const ostrel::Rect r = ostrel::element_rect(element);
    const LPARAM at = MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
    PostMessageW(view_, WM_MOUSEMOVE, 0, at);
    PostMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(view_, WM_LBUTTONUP, 0, at);
    settle();
  }
  // Lets the posted input and a frame happen.
  static void settle() {
    const ULONGLONG until = GetTickCount64() + 150;
    JobWindow::pump_until([&] { return GetTickCount64() > until; });
  }
  // Pumps the window's messages until `done` holds; false after a minute.
  template <class Done>
  static bool wait_for(Done done) {
    return JobWindow::pump_until(done);
  }
  std::string text(vx::app::App& app, const char* id) { return ostrel::ui::Element(by_id(app, id)).text(); }
  bool enabled(vx::app::App& app, const char* id) {
    return ostrel::get_attribute(by_id(app, id), "disabled", 8, nullptr) == nullptr;
  }
  // A data row of a page's list, by the page word ("cleanup", "autorun").
  ostrel::Node* row(vx::app::App& app, std::size_t index, std::string_view page = "cleanup") {
    return vx::ui::row_element(app.document().handle(), "list-" + std::string(page) + "-head", index);
  }
  void screenshot(const wchar_t* name) {
    settle();
    vx::testing::save_artifact(vx::testing::capture(view_), name);
  }

  HWND view_ = nullptr;
};

}  // namespace vx::app::testing
