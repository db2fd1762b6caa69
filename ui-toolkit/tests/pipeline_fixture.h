// A document with the whole pipeline behind it (style, layout with the fake
// font), for the toolkit's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#include "src/view.h"
#include "style/engine.h"

namespace ostrel {

struct PipelineTest : ::testing::Test {
  View* view = view_new();
  Document* doc = view_document(view);
  style::StyleEngine engine{*doc};
  text::FakeFont font;
  layout::LayoutTree tree{*doc, font};
  ~PipelineTest() override { view_free(view); }

  void load(std::string_view html, std::string_view css) {
    load_html(view, html.data(), html.size());
    load_css(view, css.data(), css.size());
  }
  // Style and layout at a viewport size.
  void run(float width, float height) {
    engine.update({width, height, false, true, true, false});
    tree.layout({width, height, 17});
  }
  Node* by_id(const char* id) { return get_element_by_id(doc, id, std::char_traits<char>::length(id)); }
};

}  // namespace ostrel
