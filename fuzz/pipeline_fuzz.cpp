// Any document and style sheet through the whole pipeline: parse, style, lay
// out, paint, hit-test. Nothing may crash, hang or grow without bound, and the
// geometry must stay finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#include "paint/display_list.h"
#include "style/engine.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first NUL separates the document from its sheet.
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view html = input.substr(0, split);
  const std::string_view css = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  ostrel::View* view = ostrel::view_new();
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::load_html(view, html.data(), html.size());
  ostrel::load_css(view, css.data(), css.size());
  ostrel::style::StyleEngine engine(*doc);
  engine.update({464, 417, size % 2 == 1, true, true, false});
  ostrel::text::FakeFont font;
  ostrel::layout::LayoutTree tree(*doc, font);
  tree.layout({464, 417, 17});
  const ostrel::paint::DisplayList list = ostrel::paint::build_display_list(tree, 464, 417);
  for (const ostrel::paint::Item& item : list.items)
    check(std::isfinite(item.bounds.x) && std::isfinite(item.bounds.y) && std::isfinite(item.bounds.width) &&
          std::isfinite(item.bounds.height));
  ostrel::paint::hit_test(tree, 10, 10);
  ostrel::paint::hit_test(tree, 300, 200);
  // A second pass after a change restyles and relays out what changed.
  if (ostrel::Node* body = ostrel::document_body(doc)) ostrel::add_class(body, "x", 1);
  engine.update({300, 200, false, true, true, false});
  tree.layout({300, 200, 17});
  const ostrel::paint::DisplayList after = ostrel::paint::build_display_list(tree, 300, 200);
  ostrel::paint::changed_region(list, after);
  ostrel::view_free(view);
  return 0;
}
