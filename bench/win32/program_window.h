// The program's own window in a bench process, in English and without
// closing anything, driven as a user would: message pumping and clicks
// posted to the view. Shared by the benches that measure the real window.
#pragma once

#include <windows.h>

#include <cstring>
#include <memory>

#include "app.h"
#include "i18n/templates.h"
#include "message_pump.h"

namespace vorlix_bench {

// A left click in the middle of an element, through the view's window procedure.
inline void click(HWND view, ostrel::Node* element) {
  const ostrel::Rect r = ostrel::element_rect(element);
  const LPARAM at = MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
  PostMessageW(view, WM_MOUSEMOVE, 0, at);
  PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(view, WM_LBUTTONUP, 0, at);
}

// The window the program shows, on its home page and settled after 1.5 s.
struct ProgramWindow {
  std::unique_ptr<vx::app::App> app;
  HWND view = nullptr;
  ostrel::Document* doc = nullptr;

  bool start() {
    vx::app::Startup startup;
    startup.language = "en";
    startup.title = "Vorlix";
    startup.html = vx::i18n::expand_template(vx::i18n::compose_document(), "en");
    startup.css = vx::i18n::compose_style();
    startup.mode.kind = vx::process::RunMode::dry_run;
    app = vx::app::App::create(GetModuleHandleW(nullptr), std::move(startup));
    if (!app) return false;
    ShowWindow(app->window(), SW_SHOW);
    view = FindWindowExW(app->window(), nullptr, L"OstrelUIView", nullptr);
    doc = app->document().handle();
    pump_for(1500);
    return true;
  }
  ostrel::Node* by_id(const char* id) const { return ostrel::get_element_by_id(doc, id, std::strlen(id)); }
};

}  // namespace vorlix_bench
