// How long a screen reader's full walk of a 4,100-row list takes, run by
// hand under Windows or Wine: the toolkit's list page in a view, its
// accessible tree read through oleacc as a client reads it (children, role,
// name, states and location of every node). The walk is repeated; the
// fastest and the median are printed, with the nodes seen.
//   a11y-walk [ROWS]
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../../tools/a11y-dump/walk.h"
#include "../list_page.h"
#include "host_window.h"
#include "message_pump.h"
#include "ostrel/ostrel.h"
#include "win32/view_window.h"

namespace {

// What a reader asks of every node: role, state, name, location, and the children.
std::size_t walk(IAccessible* root) {
  std::size_t seen = 0;
  vx::a11y_dump::walk(root, 0, [&](IAccessible* node, int) {
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT value;
    VariantInit(&value);
    node->get_accRole(self, &value);
    VariantClear(&value);
    node->get_accState(self, &value);
    VariantClear(&value);
    BSTR name = nullptr;
    node->get_accName(self, &name);
    SysFreeString(name);
    long x, y, w, h;
    node->accLocation(&x, &y, &w, &h, self);
    ++seen;
    return true;
  });
  return seen;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 4100;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ostrel::win32::use_windows_views();
  const HWND host = vorlix_bench::host_window(L"VorlixA11yWalk", L"walk", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 480, 440);
  ostrel::View* view = ostrel::view_new();
  const std::string html = vorlix_bench::page(rows);
  ostrel::load_html(view, html.data(), html.size());
  ostrel::load_css(view, vorlix_bench::list_sheet, sizeof vorlix_bench::list_sheet - 1);
  ostrel::set_bounds(view, 0, 0, 464, 417);
  if (!host || ostrel::attach(view, host) != ostrel::status_ok) return 1;
  vorlix_bench::pump_for(2000);

  IAccessible* root = nullptr;
  const HWND window = FindWindowExW(host, nullptr, L"OstrelUIView", nullptr);
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&root))))
    return 2;
  std::vector<double> times;
  std::size_t nodes = 0;
  for (int i = 0; i < 7; ++i) {
    const auto start = std::chrono::steady_clock::now();
    nodes = walk(root);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("a11y walk, %d rows: %zu nodes, fastest %.1f ms, median %.1f ms\n", rows, nodes, times.front(),
              times[times.size() / 2]);
  root->Release();
  ostrel::view_free(view);
  DestroyWindow(host);
  CoUninitialize();
  return 0;
}
