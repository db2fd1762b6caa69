#include "ostrel/ostrel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dom/dom.h"
#include "ostrel/bindings.h"
#include "ostrel/text/measure.h"
#include "src/frame.h"
#include "src/view.h"

namespace {

using namespace ostrel;

std::size_t len(const char* s) { return std::char_traits<char>::length(s); }

struct Api : ::testing::Test {
  View* view = view_new();
  Document* doc = view_document(view);
  ~Api() override { view_free(view); }

  Node* load(std::string_view html) {
    EXPECT_EQ(load_html(view, html.data(), html.size()), 0);
    return document_body(doc);
  }
  Node* by_id(const char* id) { return get_element_by_id(doc, id, len(id)); }
  Node* element(const char* tag) { return create_element(doc, tag, len(tag)); }
  std::string text_of(Node* n) {
    std::size_t n_len = 0;
    const char* t = text_content(n, &n_len);
    return t ? std::string(t, n_len) : std::string("<null>");
  }
  std::string attr(Node* n, const char* name) {
    std::size_t n_len = 0;
    const char* v = get_attribute(n, name, len(name), &n_len);
    return v ? std::string(v, n_len) : std::string("<absent>");
  }
  std::string value_of(Node* n) {
    std::size_t n_len = 0;
    const char* v = get_value(n, &n_len);
    return v ? std::string(v, n_len) : std::string("<null>");
  }
  std::string body_dump() { return dump(document_body(doc)); }
};

TEST_F(Api, InsertRejectsCyclesTextParentsAndForeignReferences) {
  load("<div id=a><div id=b><span id=c></span></div></div><p id=p>text</p>");
  const std::string before = body_dump();

  EXPECT_EQ(insert(by_id("c"), by_id("a"), nullptr), 1);
  EXPECT_STREQ(last_error(), "insert: would create a cycle or child of text");
  EXPECT_EQ(append_child(by_id("a"), by_id("a")), 1);
  EXPECT_EQ(append_child(first_child(by_id("p")), element("i")), 1);  // parent is a text node
  EXPECT_STREQ(last_error(), "insert: would create a cycle or child of text");
  EXPECT_EQ(insert(by_id("a"), element("i"), by_id("c")), 1);  // c is a grandchild, not a child
  EXPECT_STREQ(last_error(), "insert: reference node is not a child");
  EXPECT_EQ(insert(nullptr, by_id("a"), nullptr), 1);
  EXPECT_STREQ(last_error(), "insert: bad argument");

  View* other = view_new();
  Node* stranger = create_element(view_document(other), "b", 1);
  EXPECT_EQ(append_child(by_id("a"), stranger), 1);
  EXPECT_STREQ(last_error(), "insert: bad argument");
  view_free(other);

  EXPECT_EQ(body_dump(), before);  // every failure left the tree alone
}

TEST_F(Api, InsertMovesAndRemoveFrees) {
  load("<ul id=list><li id=one>1</li><li id=two>2</li></ul>");
  Node* list = by_id("list");
  EXPECT_EQ(insert(list, by_id("two"), by_id("one")), 0);
  EXPECT_EQ(text_of(list), "21");
  EXPECT_EQ(insert(list, by_id("two"), by_id("two")), 0);  // before itself: stays
  EXPECT_EQ(text_of(list), "21");
  Node* three = element("li");
  set_text_content(three, "3", 1);
  EXPECT_EQ(append_child(list, three), 0);
  EXPECT_EQ(text_of(list), "213");
  EXPECT_EQ(parent(three), list);
  EXPECT_EQ(parent(document_root(doc)), nullptr);  // the document node is never handed out

  remove(by_id("one"));
  EXPECT_EQ(text_of(list), "23");
  ostrel::remove(static_cast<Node*>(nullptr));
  remove(document_root(doc));
  EXPECT_EQ(document_root(doc), nullptr);
  EXPECT_EQ(document_body(doc), nullptr);
}

TEST_F(Api, SetTextContentReplacesInPlaceOrClears) {
  load("<p id=p>old</p><div id=d><b>x</b>y</div>");
  Node* p = by_id("p");
  Node* text = first_child(p);
  EXPECT_EQ(set_text_content(p, "new", 3), 0);
  EXPECT_EQ(first_child(p), text);  // the only text child is reused
  EXPECT_EQ(text_of(p), "new");

  Node* d = by_id("d");
  EXPECT_EQ(set_text_content(d, "", 0), 0);
  EXPECT_EQ(first_child(d), nullptr);  // empty text removes every child
  EXPECT_EQ(set_text_content(d, "z", 1), 0);
  EXPECT_TRUE(is_text(first_child(d)));
  EXPECT_EQ(set_text_content(text, "t", 1), 0);
  EXPECT_EQ(text_of(p), "t");
  EXPECT_EQ(set_text_content(p, nullptr, 3), 1);
  EXPECT_STREQ(last_error(), "set_text_content: bad argument");
}

TEST_F(Api, TextContentUsesAGrowingScratchBuffer) {
  Node* body = load("<div id=d><span>a</span><span>b<i>c</i></span>d</div>");
  EXPECT_EQ(text_of(by_id("d")), "abcd");
  const std::string big(1000, 'x');
  set_text_content(body, big.data(), big.size());
  std::size_t n = 0;
  const char* t = text_content(body, &n);
  EXPECT_EQ(std::string(t, n), big);
  EXPECT_EQ(t[n], '\0');
  EXPECT_GE(doc->scratch.capacity(), 1024u);  // 256 doubled until it fits
  EXPECT_EQ(text_content(nullptr, &n), nullptr);
  EXPECT_EQ(n, 0u);
}

TEST_F(Api, AttributesClassesAndDisabled) {
  load("<div id=d class='a  b a'></div>");
  Node* d = by_id("d");
  EXPECT_EQ(attr(d, "CLASS"), "a  b a");  // names are case-insensitive
  EXPECT_EQ(add_class(d, "c", 1), 0);
  EXPECT_EQ(attr(d, "class"), "a b c");  // rebuilt from the class list
  EXPECT_EQ(add_class(d, "c", 1), 0);
  EXPECT_EQ(remove_class(d, "a", 1), 0);
  EXPECT_EQ(attr(d, "class"), "b c");
  EXPECT_EQ(remove_class(d, "zz", 2), 0);
  EXPECT_EQ(add_class(d, "", 0), 1);

  EXPECT_EQ(set_attribute(d, "Data-Index", 10, "7", 1), 0);
  EXPECT_EQ(attr(d, "data-index"), "7");
  EXPECT_EQ(set_attribute(d, "title", 5, nullptr, 0), 0);
  EXPECT_EQ(attr(d, "title"), "");
  EXPECT_EQ(set_attribute(d, "", 0, "v", 1), 1);
  EXPECT_STREQ(last_error(), "set_attribute: bad argument");
  EXPECT_EQ(set_attribute(d, "x", 1, nullptr, 2), 1);
  EXPECT_EQ(remove_attribute(d, "title", 5), 0);
  EXPECT_EQ(attr(d, "title"), "<absent>");

  EXPECT_EQ(set_disabled(d, true), 0);
  EXPECT_EQ(attr(d, "disabled"), "");
  EXPECT_TRUE(d->flags & flag_disabled);
  EXPECT_EQ(set_disabled(d, false), 0);
  EXPECT_EQ(attr(d, "disabled"), "<absent>");
  EXPECT_STREQ(tag_name(d), "div");
  EXPECT_STREQ(tag_name(first_child(document_body(doc))), "div");
}

TEST_F(Api, FormControlsValuesAndCheckedState) {
  load(
      "<input id=t value=start><textarea id=ta>note</textarea>"
      "<input type=checkbox id=cb checked><input type=radio name=g id=r1 checked><input type=radio name=g id=r2>"
      "<input type=radio name=h id=r3 checked>"
      "<select id=s><option value=a>A</option><option selected>B </option><option value=c>C</option></select>");
  EXPECT_EQ(value_of(by_id("t")), "start");
  EXPECT_EQ(set_value(by_id("t"), "typed", 5), 0);
  EXPECT_EQ(value_of(by_id("t")), "typed");
  EXPECT_EQ(attr(by_id("t"), "value"), "start");  // the attribute is the default, not the value
  EXPECT_EQ(value_of(by_id("ta")), "note");
  EXPECT_EQ(set_value(by_id("ta"), "other", 5), 0);
  EXPECT_EQ(value_of(by_id("ta")), "other");

  EXPECT_TRUE(is_checked(by_id("cb")));
  EXPECT_EQ(set_checked(by_id("cb"), false), 0);
  EXPECT_FALSE(is_checked(by_id("cb")));
  EXPECT_EQ(set_checked(by_id("r2"), true), 0);
  EXPECT_FALSE(is_checked(by_id("r1")));  // same group
  EXPECT_TRUE(is_checked(by_id("r3")));   // other group
  EXPECT_EQ(value_of(by_id("cb")), "on");

  EXPECT_EQ(value_of(by_id("s")), "B");  // text of the selected option without a value
  EXPECT_EQ(set_value(by_id("s"), "c", 1), 0);
  EXPECT_EQ(value_of(by_id("s")), "c");
  EXPECT_EQ(set_value(by_id("s"), "nope", 4), 1);
  EXPECT_EQ(value_of(by_id("s")), "c");
  EXPECT_EQ(set_checked(by_id("t"), true), 1);
  EXPECT_FALSE(is_checked(by_id("t")));
}

TEST_F(Api, LookupsOnEmptyAndReloadedDocuments) {
  Node* body = load("<html><body></body></html>");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(first_child(body), nullptr);
  EXPECT_EQ(get_element_by_id(doc, "x", 1), nullptr);
  EXPECT_EQ(get_element_by_id(doc, "", 0), nullptr);
  EXPECT_EQ(get_element_by_id(nullptr, "x", 1), nullptr);

  load("<p id=x>1</p><p id=x>2</p>");
  EXPECT_EQ(text_of(by_id("x")), "1");        // first in document order
  EXPECT_EQ(load_html(view, nullptr, 0), 0);  // empty document
  EXPECT_EQ(by_id("x"), nullptr);
  EXPECT_NE(document_body(doc), nullptr);
  EXPECT_EQ(load_html(view, nullptr, 3), 1);
  EXPECT_STREQ(last_error(), "load_html: bad argument");
  EXPECT_EQ(load_html(nullptr, "", 0), 1);
  EXPECT_EQ(load_css(view, nullptr, 1), 1);
  EXPECT_STREQ(last_error(), "load_css: bad argument");
  EXPECT_EQ(load_css(view, "a{}", 3), 0);
  EXPECT_EQ(doc->author_css, "a{}");
}

TEST_F(Api, QuerySelectorErrors) {
  Node* body = load("<div class=x><span class=y id=s></span></div>");
  EXPECT_EQ(query_selector(body, ".x > .y", 7), by_id("s"));
  EXPECT_EQ(query_selector(body, "((", 2), nullptr);
  EXPECT_STREQ(last_error(), "query_selector: invalid selector '(('");
  EXPECT_EQ(query_selector(nullptr, "a", 1), nullptr);
  EXPECT_STREQ(last_error(), "query_selector: bad argument");
  EXPECT_EQ(query_selector(body, "", 0), nullptr);
  EXPECT_STREQ(last_error(), "query_selector: bad argument");
}

TEST_F(Api, CreateFunctionsCheckArguments) {
  EXPECT_EQ(create_element(doc, "", 0), nullptr);
  EXPECT_STREQ(last_error(), "create_element: bad argument");
  EXPECT_EQ(create_element(nullptr, "p", 1), nullptr);
  EXPECT_EQ(create_text(doc, nullptr, 1), nullptr);
  EXPECT_STREQ(last_error(), "create_text: bad argument");
  Node* empty = create_text(doc, nullptr, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(text_of(empty), "");
  Node* upper = create_element(doc, "TD", 2);
  EXPECT_STREQ(tag_name(upper), "td");
  EXPECT_EQ(tag_name(empty), std::string());
  // A quoted name is shortened, and no message exceeds 255 characters.
  const std::string name(600, 'n');
  EXPECT_EQ(on(
                upper, name.data(), name.size(), [](Event*, void*) {}, nullptr),
            1);
  EXPECT_TRUE(std::string(last_error()).starts_with("on: unknown event type 'nnnn"));
  set_last_error("%s", name.c_str());
  EXPECT_EQ(std::string(last_error()), name.substr(0, 255));
}

// --- images ----------------------------------------------------------------

const char svg_logo[] =
    "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 287.985 92.996'>"
    "<path fill='#32A3F2' d='M0 0h287.985v92.996H0z'/></svg>";

std::string tiny_png(std::uint32_t w, std::uint32_t h) {
  std::string png = "\x89PNG\r\n\x1a\n";
  png += std::string("\0\0\0\x0dIHDR", 8);
  for (std::uint32_t v : {w, h}) {
    png += static_cast<char>(v >> 24);
    png += static_cast<char>(v >> 16);
    png += static_cast<char>(v >> 8);
    png += static_cast<char>(v);
  }
  png += std::string("\x08\x06\0\0\0", 5);
  return png;
}

TEST_F(Api, ImageSetProbesAndKeepsTheOlderImageOnFailure) {
  EXPECT_EQ(image_set(doc, "logo.svg", 8, svg_logo, sizeof svg_logo - 1), 0);
  const ImageEntry& logo = doc->images.at(doc->names.find("logo.svg"));
  EXPECT_EQ(logo.width, 288u);
  EXPECT_EQ(logo.height, 93u);
  EXPECT_TRUE(logo.is_svg);

  const std::string png = tiny_png(32, 16);
  EXPECT_EQ(image_set(doc, "vx-0.png", 8, png.data(), png.size()), 0);
  const Atom name = doc->names.find("vx-0.png");
  const std::uint64_t generation = doc->images.at(name).generation;
  EXPECT_EQ(doc->images.at(name).width, 32u);

  EXPECT_EQ(image_set(doc, "vx-0.png", 8, "garbage", 7), 1);
  EXPECT_STREQ(last_error(), "image_set: unsupported or corrupt image 'vx-0.png'");
  EXPECT_EQ(doc->images.at(name).generation, generation);  // the older image stays
  EXPECT_EQ(doc->images.at(name).width, 32u);

  EXPECT_EQ(image_set(doc, "bad.svg", 7, "<svg", 4), 1);
  EXPECT_STREQ(last_error(), "image_set: cannot parse SVG 'bad.svg'");
  EXPECT_EQ(image_set(doc, "x", 1, png.data(), 0), 1);
  EXPECT_STREQ(last_error(), "image_set: bad argument");
  EXPECT_EQ(image_set(doc, "", 0, png.data(), png.size()), 1);
}

struct LoaderLog {
  std::vector<std::string> names;
  std::string png;
  static void load(Document* d, const char* name, std::size_t n, void* data) {
    auto* log = static_cast<LoaderLog*>(data);
    log->names.emplace_back(name, n);
    if (std::string_view(name, n) == "exe1:c:\\a.exe") image_set(d, name, n, log->png.data(), log->png.size());
  }
};

TEST_F(Api, ImageLoaderIsAskedOncePerMissingName) {
  load("<img src='exe1:c:\\a.exe'><img src='exe1:c:\\a.exe'><img src=missing.png><img src=''>");
  LoaderLog log;
  log.png = tiny_png(16, 16);
  EXPECT_EQ(set_image_loader(doc, LoaderLog::load, &log), 0);
  run_frame_tasks(*doc);
  EXPECT_EQ(log.names, (std::vector<std::string>{"exe1:c:\\a.exe", "missing.png"}));
  run_frame_tasks(*doc);
  Node* more = element("img");
  set_attribute(more, "src", 3, "missing.png", 11);
  append_child(document_body(doc), more);
  run_frame_tasks(*doc);
  EXPECT_EQ(log.names.size(), 2u);  // "missing.png" was asked for already
  // Installing the loader again clears the marks and asks again.
  EXPECT_EQ(set_image_loader(doc, LoaderLog::load, &log), 0);
  run_frame_tasks(*doc);
  EXPECT_EQ(log.names.size(), 3u);
  EXPECT_EQ(log.names.back(), "missing.png");
}

// --- attach, through a stand-in window system -----------------------------

struct FakePlatform : ViewPlatform {
  int windows = 0;
  int attach(View& v, void* parent) override {
    if (parent == reinterpret_cast<void*>(0xdead)) {
      set_last_error("attach: parent is not a window");
      return status_window_failed;
    }
    v.window = &windows;
    ++windows;
    return status_ok;
  }
  void detach(View& v) override {
    --windows;
    v.window = nullptr;
    driver.reset();  // it lays out the view's document
  }
  void move(View&) override {}
  void request_frame(View&) override {}
  // Lays out as the Windows view does, with the test font.
  void update_layout(View& v) override {
    ++layouts;
    if (!driver) driver = std::make_unique<FrameDriver>(*v.document, font);
    driver->update_layout(0, static_cast<float>(v.width), static_cast<float>(v.height));
  }
  int layouts = 0;
  text::FakeFont font;
  std::unique_ptr<FrameDriver> driver;
};

// Geometry read between frames is current, as in a browser: rows just added
// and a new viewport size show at once, without waiting for the next frame.
TEST(ApiGeometry, ReadingARectLaysOutWhatChanged) {
  FakePlatform platform;
  set_view_platform(&platform);
  View* v = view_new();
  const std::string html = "<div id=list></div>";
  const std::string css = "body{margin:0} #list div{height:20px}";
  ASSERT_EQ(load_html(v, html.data(), html.size()), 0);
  ASSERT_EQ(load_css(v, css.data(), css.size()), 0);
  ASSERT_EQ(set_bounds(v, 0, 0, 300, 200), 0);
  ASSERT_EQ(attach(v, reinterpret_cast<void*>(0x1)), 0);
  Document* doc = view_document(v);
  Node* list = get_element_by_id(doc, "list", 4);
  Node* last = nullptr;
  for (int i = 0; i < 3; ++i) {
    last = create_element(doc, "div", 3);
    ASSERT_EQ(append_child(list, last), 0);
  }
  const Rect row = element_rect(last);
  EXPECT_EQ(row.y, 40);
  EXPECT_EQ(row.height, 20);
  EXPECT_EQ(row.width, 300);
  const int layouts = platform.layouts;
  element_rect(list);
  EXPECT_EQ(platform.layouts, layouts) << "nothing changed: no second layout";

  ASSERT_EQ(set_bounds(v, 0, 0, 120, 200), 0);
  EXPECT_EQ(element_rect(last).width, 120) << "the new size, not the old one";
  view_free(v);
  set_view_platform(nullptr);
}

TEST(ApiAttach, OnceOnlyAndOnlyToWindows) {
  View* v = view_new();
  EXPECT_EQ(attach(v, reinterpret_cast<void*>(0x1)), 4);  // no window system at all
  EXPECT_STREQ(last_error(), "attach: parent is not a window");

  FakePlatform platform;
  set_view_platform(&platform);
  EXPECT_EQ(attach(nullptr, reinterpret_cast<void*>(0x1)), 1);
  EXPECT_STREQ(last_error(), "attach: bad argument");
  EXPECT_EQ(attach(v, nullptr), 1);
  EXPECT_EQ(attach(v, reinterpret_cast<void*>(0xdead)), 4);
  EXPECT_EQ(attach(v, reinterpret_cast<void*>(0x1)), 0);
  void* first = v->window;
  EXPECT_EQ(attach(v, reinterpret_cast<void*>(0x2)), 3);
  EXPECT_STREQ(last_error(), "attach: already attached");
  EXPECT_EQ(v->window, first);
  EXPECT_EQ(platform.windows, 1);

  EXPECT_EQ(set_bounds(v, 0, 0, 464, 417), 0);
  EXPECT_EQ(v->width, 464);
  view_free(v);
  EXPECT_EQ(platform.windows, 0);  // freeing detaches
  set_view_platform(nullptr);
  view_free(nullptr);
}

// --- the owning wrappers ------------------------------------------------------

TEST(Bindings, StatusesBecomeErrorValues) {
  auto view = ui::ViewHandle::create();
  ASSERT_TRUE(view);
  ASSERT_TRUE(view->load_html("<div id=tab-home class=tab>Home</div>"));
  ui::DocumentRef doc = view->document();
  auto tab = doc.by_id("tab-home");
  ASSERT_TRUE(tab);
  EXPECT_TRUE(tab->add_class("active"));
  EXPECT_TRUE(tab->has_class("active"));
  EXPECT_FALSE(tab->has_class("act"));
  EXPECT_EQ(tab->text(), "Home");

  auto bad = tab->on(
      "Click", [](Event*, void*) {}, nullptr);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().status, 1);
  EXPECT_EQ(bad.error().message, "on: unknown event type 'Click'");

  auto found = doc.body().query(".tab");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, tab);
  auto none = doc.body().query(".missing");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->has_value());
  EXPECT_FALSE(doc.body().query("[["));
  EXPECT_FALSE(doc.create_element(""));
}

TEST(BindingsDeathTest, MissingBodyIsFatal) {
  EXPECT_DEATH(
      {
        auto view = ui::ViewHandle::create();
        (void)view->load_html("<p>x</p>");
        ui::Element body = view->document().body();
        body.remove();
        (void)view->document().body();
      },
      "document has no body");
}

}  // namespace
