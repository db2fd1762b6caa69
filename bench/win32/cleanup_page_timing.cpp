// The cleanup tab in the program's own window, run by hand under Windows or
// Wine with OSTREL_FRAMELOG lines on standard error:
//   1. from the tab's click to the list in the document and on the screen;
//   2. the frames of opening the largest category, checking one of its rows,
//      scrolling the opened list down and back, and closing and opening the
//      category again (between "==" marker lines).
// It uses the rule file the program would use. With "--many N" it first puts
// a user rule file of N entries, all in one category, in roaming AppData
// (kept for later runs; delete Vorlix\Winapp2.ini there to go back).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app.h"
#include "i18n/lang.h"
#include "i18n/templates.h"
#include "program_window.h"
#include "ui/list_table.h"
#include "win32/view_window.h"

namespace {

using vorlix_bench::click;
using vorlix_bench::ProgramWindow;
using vorlix_bench::pump_for;
using vorlix_bench::pump_until;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

COLORREF pixel(HWND window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return c;
}

void write_many(int count) {
  wchar_t roaming[MAX_PATH];
  GetEnvironmentVariableW(L"APPDATA", roaming, MAX_PATH);
  const fs::path folder = fs::path(roaming) / "Vorlix";
  fs::create_directories(folder);
  std::ofstream out(folder / "Winapp2.ini", std::ios::binary);
  out << "; Version: 999999999\r\n";
  for (int i = 0; i < count; ++i)
    out << "[Timing Entry " << i
        << " *]\r\nLangSecRef=3021\r\nDetect=HKCU\\Software\r\nDefault=" << (i % 3 ? "True" : "False")
        << "\r\nFileKey1=%LocalAppData%\\VorlixTiming" << i << "|*.tmp\r\n\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--many") == 0) write_many(std::atoi(argv[2]));
  SetEnvironmentVariableW(L"OSTREL_FRAMELOG", L"1");
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  ostrel::win32::use_windows_views();
  ProgramWindow window;
  if (!window.start()) return 1;
  const HWND view = window.view;
  ostrel::Document* doc = window.doc;
  const auto by_id = [&](const char* id) { return window.by_id(id); };

  std::fprintf(stderr, "== tab click\n");
  const Clock::time_point clicked = Clock::now();
  click(view, by_id("tab-cleanup"));
  if (!pump_until([&] { return ostrel::ui::Element(by_id("cu-status")).text() != ""; }, 30000)) return 2;
  const Clock::time_point in_document = Clock::now();
  // On screen once the first category's box is drawn where the page was empty.
  ostrel::Node* first_box = ostrel::query_selector(vx::ui::row_element(doc, "list-cleanup-head", 0), "input", 5);
  const ostrel::Rect box = ostrel::element_rect(first_box);
  const COLORREF background = pixel(view, 400, static_cast<int>(box.y + box.height / 2));
  pump_until(
      [&] { return pixel(view, static_cast<int>(box.x), static_cast<int>(box.y + box.height / 2)) != background; },
      5000);
  const Clock::time_point on_screen = Clock::now();
  const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  std::fprintf(stderr, "== tab click to rows in the document %.1f ms, on the screen %.1f ms (%s)\n",
               ms(in_document - clicked), ms(on_screen - clicked),
               ostrel::ui::Element(by_id("cu-status")).text().c_str());
  pump_for(500);

  // The list makes only the rows near its view: a row is scrolled to before it is used.
  const auto shown_row = [&](std::size_t index) {
    vx::ui::scroll_row_into_view(doc, "list-cleanup", "list-cleanup-head", index);
    return vx::ui::row_element(doc, "list-cleanup-head", index);
  };
  // The largest category, by the count its row shows.
  std::size_t largest = 0, most = 0;
  for (std::size_t i = 0; ostrel::Node* row = shown_row(i); ++i) {
    const std::string count = ostrel::ui::Element(ostrel::query_selector(row, ".cu-count", 9)).text();
    const std::size_t n = std::strtoul(count.c_str() + 1, nullptr, 10);
    if (n > most) most = n, largest = i;
  }
  shown_row(largest);
  pump_for(300);
  std::fprintf(stderr, "== open the largest category (%zu entries)\n", most);
  click(view, ostrel::query_selector(vx::ui::row_element(doc, "list-cleanup-head", largest), ".cu-count", 9));
  pump_for(800);
  std::fprintf(stderr, "== check a row\n");
  click(view, ostrel::query_selector(shown_row(largest + 2), "input", 5));
  pump_for(800);
  std::fprintf(stderr, "== scroll the list (10 wheel notches)\n");
  const ostrel::Rect list = ostrel::element_rect(by_id("list-cleanup"));
  POINT over{static_cast<int>(list.x + list.width / 2), static_cast<int>(list.y + list.height / 2)};
  ClientToScreen(view, &over);
  for (int i = 0; i < 10; ++i) {
    PostMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(over.x, over.y));
    pump_for(60);
  }
  pump_for(300);
  std::fprintf(stderr, "== scroll back over rows drawn before (10 notches)\n");
  for (int i = 0; i < 10; ++i) {
    PostMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(over.x, over.y));
    pump_for(60);
  }
  pump_for(500);
  std::fprintf(stderr, "== close the category and open it again (drawn before)\n");
  ostrel::scroll_to(by_id("list-cleanup"), 0, 0);
  pump_for(300);
  for (int i = 0; i < 2; ++i) {
    click(view, ostrel::query_selector(shown_row(largest), ".cu-count", 9));
    pump_for(500);
  }
  std::fprintf(stderr, "== done\n");
  DestroyWindow(window.app->window());
  return 0;
}
