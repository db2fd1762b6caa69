// A document with the whole pipeline behind it (style, layout with the fake
// font), for the toolkit's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dom/events.h"
#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#include "src/view.h"
#include "style/engine.h"

namespace ostrel {

// Adds "type id" to the vector at `log` for each event heard, with
// " key/modifiers" for key events: what the input tests compare.
inline void record_event(Event* event, void* log) {
  const char* id = get_attribute(event_current_target(event), "id", 2, nullptr);
  std::string line = std::string(event_type_name(event->type)) + " " + (id ? id : "?");
  if (event_key(event)) line += " " + std::to_string(event_key(event)) + "/" + std::to_string(event->modifiers);
  static_cast<std::vector<std::string>*>(log)->push_back(std::move(line));
}

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

// The mouse and keyboard tests: the pipeline and a log of the events heard.
struct InputTest : PipelineTest {
  std::vector<std::string> seen;  // what record_event heard
  void listen(const char* id, const char* type) {
    on(by_id(id), type, std::char_traits<char>::length(type), record_event, &seen);
  }
};

}  // namespace ostrel
