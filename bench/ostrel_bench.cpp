// Document engine costs the pages depend on: parsing a whole page, and building
// and tearing down thousands of table rows through the interface.
#include <benchmark/benchmark.h>

#include <string>

#include "layout/box.h"
#include "list_page.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#include "paint/display_list.h"
#include "style/engine.h"

namespace {

using vorlix_bench::list_sheet;
using vorlix_bench::page;

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

// --- style ----------------------------------------------------------------------

namespace {

// The list page with its sheet loaded, freed at the end of the benchmark.
struct ListPage {
  ostrel::View* view = ostrel::view_new();
  ostrel::Document* doc = ostrel::view_document(view);
  explicit ListPage(int rows) {
    const std::string html = page(rows);
    ostrel::load_html(view, html.data(), html.size());
    ostrel::load_css(view, list_sheet, sizeof list_sheet - 1);
  }
  ~ListPage() { ostrel::view_free(view); }
};

void BM_StyleListPage(benchmark::State& state) {
  ListPage list(4100);
  ostrel::Document* doc = list.doc;
  ostrel::style::StyleEngine engine(*doc);
  const ostrel::css::MediaEnvironment env{464, 417, false, true, true, false};
  for (auto _ : state) {
    doc->css_dirty = true;  // a full restyle each time
    benchmark::DoNotOptimize(engine.update(env));
  }
}
BENCHMARK(BM_StyleListPage)->Unit(benchmark::kMillisecond);

void BM_RestyleOneRow(benchmark::State& state) {
  ListPage list(4100);
  ostrel::Document* doc = list.doc;
  ostrel::style::StyleEngine engine(*doc);
  const ostrel::css::MediaEnvironment env{464, 417, false, true, true, false};
  engine.update(env);
  ostrel::Node* tbody = ostrel::query_selector(ostrel::document_body(doc), "#list-cleanup tbody", 19);
  ostrel::Node* row = ostrel::first_child(tbody);
  for (int i = 0; i < 2000; ++i) row = ostrel::next_sibling(row);
  bool on = false;
  for (auto _ : state) {
    on = !on;
    if (on)
      ostrel::add_class(row, "active", 6);
    else
      ostrel::remove_class(row, "active", 6);
    benchmark::DoNotOptimize(engine.update(env));
  }
}
BENCHMARK(BM_RestyleOneRow)->Unit(benchmark::kMicrosecond);

}  // namespace

// --- layout ---------------------------------------------------------------------

namespace {

// What the first frame of the list page costs: style, layout and display list
// from nothing.
void BM_FirstFrameListPage(benchmark::State& state) {
  ListPage list(4100);
  ostrel::Document* doc = list.doc;
  ostrel::text::FakeFont font;
  const ostrel::css::MediaEnvironment env{464, 417, false, true, true, false};
  for (auto _ : state) {
    ostrel::style::StyleEngine engine(*doc);
    ostrel::text::MeasureCache cache(font);
    ostrel::layout::LayoutTree tree(*doc, cache);
    doc->css_dirty = true;
    engine.update(env);
    tree.layout({464, 417, 17});
    benchmark::DoNotOptimize(ostrel::paint::build_display_list(tree, 464, 417));
  }
}
BENCHMARK(BM_FirstFrameListPage)->Unit(benchmark::kMillisecond);

// The list page through the whole pipeline, kept between frames as a view keeps it.
struct LiveListPage : ListPage {
  ostrel::text::FakeFont font;
  ostrel::text::MeasureCache cache{font};
  ostrel::style::StyleEngine engine{*doc};
  ostrel::layout::LayoutTree tree{*doc, cache};
  ostrel::paint::DisplayList shown;
  LiveListPage() : ListPage(4100) { shown = frame_list(); }
  ostrel::paint::DisplayList frame_list() {
    engine.update({464, 417, false, true, true, false});
    tree.layout({464, 417, 17});
    return ostrel::paint::build_display_list(tree, 464, 417);
  }
  // Restyle, relayout, display list and the region to draw again.
  ostrel::Rect frame() {
    ostrel::paint::DisplayList next = frame_list();
    const ostrel::Rect region = ostrel::paint::changed_region(shown, next);
    shown = std::move(next);
    return region;
  }
  ostrel::Node* row(int index) {
    ostrel::Node* r =
        ostrel::first_child(ostrel::query_selector(ostrel::document_body(doc), "#list-cleanup tbody", 19));
    for (int i = 0; i < index; ++i) r = ostrel::next_sibling(r);
    return r;
  }
};

// A frame after the pointer moves onto another row (or a row is selected).
void BM_OneRowChangeFrame(benchmark::State& state) {
  LiveListPage page;
  // The list scrolls in its own box, as on the real page, not in the window.
  if (page.tree.root()->scrollbar_y != 0) state.SkipWithError("the page scrolls the window");
  ostrel::Node* row = page.row(5);  // on screen, so the frame really draws something new
  bool on = false;
  for (auto _ : state) {
    on = !on;
    if (on)
      ostrel::add_class(row, "active", 6);
    else
      ostrel::remove_class(row, "active", 6);
    benchmark::DoNotOptimize(page.frame());
  }
}
BENCHMARK(BM_OneRowChangeFrame)->Unit(benchmark::kMicrosecond);

// A change that moves everything below it: one row grows taller and back.
void BM_OneRowGrowsFrame(benchmark::State& state) {
  LiveListPage page;
  ostrel::Node* row = page.row(0);
  bool on = false;
  for (auto _ : state) {
    on = !on;
    const char tall[] = "height:40px";
    if (on)
      ostrel::set_attribute(row, "style", 5, tall, sizeof tall - 1);
    else
      ostrel::remove_attribute(row, "style", 5);
    benchmark::DoNotOptimize(page.frame());
  }
}
BENCHMARK(BM_OneRowGrowsFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
