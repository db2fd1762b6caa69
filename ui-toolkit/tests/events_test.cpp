#include "dom/events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ostrel/ostrel.h"
#include "src/view.h"

namespace {

using namespace ostrel;

struct Fixture : ::testing::Test {
  View* view = view_new();
  Document* doc = view_document(view);
  ~Fixture() override { view_free(view); }

  Node* load(std::string_view html) {
    EXPECT_EQ(load_html(view, html.data(), html.size()), 0);
    return document_body(doc);
  }
  Node* by_id(const char* id) { return get_element_by_id(doc, id, std::char_traits<char>::length(id)); }
  bool fire(Node* target, EventType type, std::uint32_t key = 0) {
    Event e;
    e.type = type;
    e.target = target;
    e.key = key;
    return dispatch_event(e);
  }
};

// Records "<id of current target>:<tag>" for every call.
struct Log {
  std::vector<std::string> calls;
  static void record(Event* e, void* data) {
    auto* log = static_cast<Log*>(data);
    std::size_t n = 0;
    const char* id = get_attribute(event_current_target(e), "id", 2, &n);
    log->calls.emplace_back(id ? std::string(id, n) : "?");
  }
};

using EventDispatch = Fixture;

TEST_F(EventDispatch, NamesAreExactAndUnknownOnesAreQuoted) {
  Node* body = load("<div id=a></div>");
  Log log;
  EXPECT_EQ(on(by_id("a"), "Click", 5, Log::record, &log), 1);
  EXPECT_STREQ(last_error(), "on: unknown event type 'Click'");
  EXPECT_EQ(on(by_id("a"), "click", 5, Log::record, &log), 0);
  EXPECT_EQ(on(by_id("a"), "click", 5, nullptr, &log), 1);
  EXPECT_STREQ(last_error(), "on: bad argument");
  Node* text = create_text(doc, "t", 1);
  EXPECT_EQ(on(text, "click", 5, Log::record, &log), 1);
  remove(text);
  (void)body;
  for (const char* name : {"blur", "compositionend", "contextmenu", "dblclick", "mouseleave", "resize", "wheel"}) {
    EXPECT_EQ(on(by_id("a"), name, std::char_traits<char>::length(name), Log::record, &log), 0) << name;
  }
}

TEST_F(EventDispatch, BubblingFollowsTheTreeAndNonBubblingStaysOnTarget) {
  load("<div id=outer><p id=inner><span id=leaf>x</span></p></div>");
  Log log;
  for (const char* id : {"outer", "inner", "leaf"}) {
    on(by_id(id), "click", 5, Log::record, &log);
    on(by_id(id), "focus", 5, Log::record, &log);
  }
  fire(by_id("leaf"), event_click);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"leaf", "inner", "outer"}));
  log.calls.clear();
  fire(by_id("leaf"), event_focus);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"leaf"}));  // focus never reaches the parents
}

TEST_F(EventDispatch, ListenersRunOnceInRegistrationOrder) {
  load("<button id=b>go</button>");
  std::vector<int> order;
  auto first = [](Event*, void* d) { static_cast<std::vector<int>*>(d)->push_back(1); };
  auto second = [](Event*, void* d) { static_cast<std::vector<int>*>(d)->push_back(2); };
  Node* b = by_id("b");
  on(b, "click", 5, first, &order);
  on(b, "click", 5, second, &order);
  on(b, "click", 5, first, &order);  // same (type, callback, data): ignored
  fire(b, event_click);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  fire(b, event_dblclick);  // no listener of that type
  EXPECT_EQ(order.size(), 2u);
}

TEST_F(EventDispatch, RemovingTheClickedElementInsideItsListenerIsSafe) {
  load("<table id=t><tr id=row><td id=cell>x</td></tr></table>");
  struct State {
    Log log;
    int after = 0;
  } state;
  auto remove_self = [](Event* e, void* d) {
    remove(event_current_target(e));
    // The element stays readable until the dispatch ends.
    std::size_t n = 0;
    EXPECT_NE(get_attribute(event_target(e), "id", 2, &n), nullptr);
    static_cast<State*>(d)->log.calls.push_back("removed");
  };
  auto later = [](Event*, void* d) { ++static_cast<State*>(d)->after; };
  on(by_id("row"), "click", 5, remove_self, &state);
  on(by_id("row"), "click", 5, later, &state);  // belongs to the removed row: does not run
  on(by_id("t"), "click", 5, Log::record, &state.log);
  fire(by_id("cell"), event_click);
  EXPECT_EQ(state.log.calls, (std::vector<std::string>{"removed", "t"}));
  EXPECT_EQ(state.after, 0);
  EXPECT_EQ(by_id("row"), nullptr);
  EXPECT_EQ(by_id("cell"), nullptr);
  // The freed records are reused by later nodes, and the rest of the tree works.
  Node* again = create_element(doc, "tr", 2);
  EXPECT_EQ(append_child(by_id("t"), again), 0);
}

// A listener that shows a message box or a pop-up menu runs a modal loop, in
// which other events are dispatched (and may remove elements). When it
// returns, the outer dispatch goes on with every listener still due.
TEST_F(EventDispatch, ANestedDispatchSkipsNoLaterListenerOfTheOuterOne) {
  load("<div id=outer><button id=b>x</button><span id=gone>y</span></div>");
  struct State {
    Fixture* fixture;
    std::vector<std::string> calls;
  } state{this, {}};
  auto modal = [](Event*, void* d) {
    auto* st = static_cast<State*>(d);
    st->calls.push_back("modal");
    st->fixture->fire(st->fixture->by_id("gone"), event_click);  // delivered inside the loop; bubbles to outer
    st->fixture->fire(st->fixture->by_id("b"), event_keydown);
  };
  auto remove_self = [](Event* e, void* d) {
    static_cast<State*>(d)->calls.push_back("nested");
    remove(event_current_target(e));
  };
  auto note = [](Event* e, void* d) {
    std::size_t n = 0;
    const char* id = get_attribute(event_current_target(e), "id", 2, &n);
    static_cast<State*>(d)->calls.push_back(std::string(id, n) + (e->type == event_click ? "" : " key"));
  };
  Node* b = by_id("b");
  on(by_id("gone"), "click", 5, remove_self, &state);
  on(by_id("gone"), "click", 5, note, &state);  // its element is gone by then: does not run
  on(b, "click", 5, modal, &state);
  on(b, "keydown", 7, note, &state);
  on(b, "click", 5, note, &state);
  on(by_id("outer"), "click", 5, note, &state);
  on(by_id("outer"), "keydown", 7, note, &state);
  fire(b, event_click);
  EXPECT_EQ(state.calls, (std::vector<std::string>{"modal", "nested", "outer", "b key", "outer key", "b", "outer"}));
  EXPECT_EQ(by_id("gone"), nullptr);
}

TEST_F(EventDispatch, ListenersAddedDuringDispatchWaitForTheNextEvent) {
  load("<div id=a></div>");
  struct State {
    int added_calls = 0;
  } state;
  static auto added = [](Event*, void* d) { ++static_cast<State*>(d)->added_calls; };
  auto adder = [](Event* e, void* d) { on(event_current_target(e), "click", 5, added, d); };
  on(by_id("a"), "click", 5, adder, &state);
  fire(by_id("a"), event_click);
  EXPECT_EQ(state.added_calls, 0);
  fire(by_id("a"), event_click);
  EXPECT_EQ(state.added_calls, 1);
}

TEST_F(EventDispatch, StopPropagationPreventDefaultAndKeys) {
  load("<div id=outer><input id=box></div>");
  Log log;
  auto stopper = [](Event* e, void*) {
    e->stop_propagation = true;
    prevent_default(e);
    EXPECT_EQ(event_key(e), e->type == event_keydown ? 13u : 0u);
  };
  on(by_id("box"), "keydown", 7, stopper, nullptr);
  on(by_id("box"), "click", 5, stopper, nullptr);
  on(by_id("outer"), "keydown", 7, Log::record, &log);
  EXPECT_TRUE(fire(by_id("box"), event_keydown, 13));
  EXPECT_TRUE(fire(by_id("box"), event_click, 13));
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(event_target(nullptr), nullptr);
  EXPECT_EQ(event_key(nullptr), 0u);
}

TEST_F(EventDispatch, PathStopsAt256Elements) {
  Node* body = load("");
  int calls = 0;
  on(
      body, "click", 5, [](Event*, void* d) { ++*static_cast<int*>(d); }, &calls);
  Node* parent = body;
  for (int i = 0; i < 300; ++i) {
    Node* div = create_element(doc, "div", 3);
    append_child(parent, div);
    parent = div;
  }
  fire(parent, event_click);
  EXPECT_EQ(calls, 0);  // body is 301 levels up: beyond the path
  fire(first_child(body), event_click);
  EXPECT_EQ(calls, 1);
}

}  // namespace
