// Frame times of the real view under Windows (or Wine): the 4,100-row list
// page is attached to a window, then one row changes at a time, and the
// FRAMELOG lines of those frames are summed up, with the process's private
// memory before and after them. Run it by hand:
//   tools/wine-run --root build/windows/wine build/windows/bin/ostrel-frame-timing.exe [CHANGES]
// (60 changes by default; thousands show whether memory grows with frames).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../list_page.h"
#include "host_window.h"
#include "memory_probe.h"
#include "ostrel/ostrel.h"
#include "win32/view_window.h"

namespace {

void pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  }
}

struct Frame {
  bool full = false;
  unsigned items = 0;
  double layout = 0, paint = 0, diff = 0, render = 0;
  double total() const { return layout + paint + diff + render; }
};

std::vector<Frame> frames_in(const std::string& log) {
  std::vector<Frame> out;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    Frame f;
    char kind[8] = {};
    double since = 0, width = 0, height = 0;
    if (std::sscanf(line.c_str(), "%lf %7s %lfx%lf n=%u layout %lf paint %lf diff %lf render %lf", &since, kind, &width,
                    &height, &f.items, &f.layout, &f.paint, &f.diff, &f.render) == 9) {
      f.full = std::string(kind) == "FULL";
      out.push_back(f);
    }
  }
  return out;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

double private_mb() {
  vorlix_bench::Figures figures;
  vorlix_bench::process_memory(figures);
  return figures.get("private").value_or(0) / (1024.0 * 1024);
}

int main(int argc, char** argv) {
  const int changes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
  const std::filesystem::path log_path = std::filesystem::temp_directory_path() / "ostrel-frame-timing.log";
  SetEnvironmentVariableW(L"OSTREL_FRAMELOG", L"1");
  if (!std::freopen(log_path.string().c_str(), "w", stderr)) return 1;
  ostrel::win32::use_windows_views();

  const HWND host =
      vorlix_bench::host_window(L"OstrelFrameTiming", L"frame timing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 900, 700);

  ostrel::View* view = ostrel::view_new();
  const std::string html = vorlix_bench::page(4100);
  ostrel::load_html(view, html.data(), html.size());
  ostrel::load_css(view, vorlix_bench::list_sheet, sizeof vorlix_bench::list_sheet - 1);
  ostrel::set_bounds(view, 0, 0, 862, 600);
  if (ostrel::attach(view, host) != ostrel::status_ok) return 1;
  pump(1500);  // the first frame lays out and draws everything

  ostrel::Document* doc = ostrel::view_document(view);
  std::vector<ostrel::Node*> rows;
  for (ostrel::Node* r = ostrel::query_selector(ostrel::document_body(doc), "tbody tr", 8); r;
       r = ostrel::next_sibling(r))
    if (!ostrel::is_text(r)) rows.push_back(r);
  std::fflush(stderr);
  const std::size_t before = std::filesystem::file_size(log_path);
  const double private_before = private_mb();
  for (int i = 0; i < changes; ++i) {
    ostrel::Node* row = rows[static_cast<std::size_t>(i / 2 % 12)];  // rows on screen, selected and let go
    if (i % 2 == 0)
      ostrel::add_class(row, "active", 6);
    else
      ostrel::remove_class(row, "active", 6);
    pump(changes > 100 ? 17 : 40);  // thousands of changes: about one frame each
    if (i % 1000 == 999) std::printf("after %d changes: %.1f MB private\n", i + 1, private_mb());
  }
  const double private_after = private_mb();
  std::fflush(stderr);
  std::ifstream in(log_path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(before));
  const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::vector<Frame> frames = frames_in(log);

  std::vector<double> totals, layouts, renders;
  unsigned full = 0;
  for (const Frame& f : frames) {
    if (f.full) ++full;
    totals.push_back(f.total());
    layouts.push_back(f.layout);
    renders.push_back(f.render);
  }
  std::printf("one-row changes: %d, frames: %zu (%u FULL)\n", changes, frames.size(), full);
  std::printf("window-thread ms per frame: median %.2f, 90th %.2f, max %.2f\n", percentile(totals, 0.5),
              percentile(totals, 0.9), percentile(totals, 1.0));
  std::printf("  layout median %.2f, render median %.2f; display-list items %u\n", percentile(layouts, 0.5),
              percentile(renders, 0.5), frames.empty() ? 0u : frames.back().items);
  std::printf("private memory: %.1f MB before the changes, %.1f MB after\n", private_before, private_after);
  ostrel::view_free(view);
  DestroyWindow(host);
  return full == 0 && !frames.empty() ? 0 : 2;
}
