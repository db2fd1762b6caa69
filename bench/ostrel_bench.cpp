// Document engine costs the pages depend on: parsing a whole page, and building
// and tearing down thousands of table rows through the interface.
#include <benchmark/benchmark.h>

#include <string>

#include "ostrel/ostrel.h"

namespace {

// A page shaped like ours: header with tabs, panels, and a list table of
// `rows` rows, each with a checkbox, an icon, a name and a size.
std::string page(int rows) {
  std::string html =
      "<!DOCTYPE html><html><head><meta charset=utf-8><title>Vorlix</title></head><body>"
      "<header class=topbar><img id=btn-about src=logo.svg><div class=tabs>"
      "<div id=tab-home class='tab active'>Home</div><div id=tab-startup class=tab>Startup</div>"
      "<div id=tab-cleanup class=tab>Cleanup</div><div id=tab-bundle class=tab>Bundle</div></div></header>"
      "<main><div id=panel-cleanup class=panel><table id=list-cleanup><colgroup><col style='width:28px'>"
      "<col class=col-fill><col style='width:70px'></colgroup><thead id=list-cleanup-head><tr>"
      "<th data-resize>Name</th><th>Size</th><th>State</th></tr></thead><tbody>";
  for (int i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    html += "<tr class=row data-index=" + n + "><td><input type=checkbox checked></td>"
            "<td class=col-fill><img src='exe1:C:\\Program Files\\App" + n + "\\app.exe'><span>Application &amp; "
            "cache " + n + "</span></td><td class=num>12.5 MB</td></tr>";
  }
  html += "</tbody></table></div></main></body></html>";
  return html;
}

void BM_ParsePage(benchmark::State& state) {
  const std::string html = page(static_cast<int>(state.range(0)));
  ostrel::View* view = ostrel::view_new();
  for (auto _ : state) benchmark::DoNotOptimize(ostrel::load_html(view, html.data(), html.size()));
  ostrel::view_free(view);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_ParsePage)->Arg(0)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_CreateAndRemoveRows(benchmark::State& state) {
  const std::string html = page(0);
  ostrel::View* view = ostrel::view_new();
  ostrel::load_html(view, html.data(), html.size());
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::Node* body = ostrel::query_selector(ostrel::document_body(doc), "#list-cleanup tbody", 19);
  const int rows = static_cast<int>(state.range(0));
  for (auto _ : state) {
    for (int i = 0; i < rows; ++i) {
      const std::string n = std::to_string(i);
      ostrel::Node* tr = ostrel::create_element(doc, "tr", 2);
      ostrel::add_class(tr, "row", 3);
      ostrel::set_attribute(tr, "data-index", 10, n.data(), n.size());
      ostrel::Node* check_cell = ostrel::create_element(doc, "td", 2);
      ostrel::Node* box = ostrel::create_element(doc, "input", 5);
      ostrel::set_attribute(box, "type", 4, "checkbox", 8);
      ostrel::set_checked(box, true);
      ostrel::append_child(check_cell, box);
      ostrel::Node* name_cell = ostrel::create_element(doc, "td", 2);
      ostrel::set_text_content(name_cell, "Application cache", 17);
      ostrel::Node* size_cell = ostrel::create_element(doc, "td", 2);
      ostrel::set_text_content(size_cell, "12.5 MB", 7);
      ostrel::append_child(tr, check_cell);
      ostrel::append_child(tr, name_cell);
      ostrel::append_child(tr, size_cell);
      ostrel::append_child(body, tr);
    }
    while (ostrel::Node* tr = ostrel::first_child(body)) ostrel::remove(tr);
  }
  ostrel::view_free(view);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_CreateAndRemoveRows)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
