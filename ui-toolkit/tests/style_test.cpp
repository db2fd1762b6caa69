#include "style/engine.h"

#include "style/default_sheet.h"
#include "style/properties.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>

#include "dom/events.h"
#include "ostrel/ostrel.h"
#include "paint/display_list.h"
#include "pipeline_fixture.h"
#include "src/view.h"

namespace {

using namespace ostrel;
using style::Color;
using style::ComputedStyle;

struct Styled : ::testing::Test {
  View* view = view_new();
  Document* doc = view_document(view);
  style::StyleEngine engine{*doc};
  css::MediaEnvironment env{464, 417, false, true, true, false};
  ~Styled() override { view_free(view); }

  void load(std::string_view html, std::string_view css) {
    ASSERT_EQ(load_html(view, html.data(), html.size()), 0);
    ASSERT_EQ(load_css(view, css.data(), css.size()), 0);
    engine.update(env);
  }
  Node* by_id(const char* id) { return get_element_by_id(doc, id, std::char_traits<char>::length(id)); }
  const ComputedStyle& of(const char* id) { return *by_id(id)->style; }
};

constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {r, g, b, 255}; }

TEST_F(Styled, CascadeOrderSpecificityImportanceAndInlineStyle) {
  load("<div id=a class=x><p id=p class='y z' style='color: #010203'>t</p><p id=q class=y>u</p></div>",
       "p { color: red } .y { color: green } div .y { color: blue } .y.z { color: yellow }"
       "#q { color: white } .y { color: black !important } p.y.z { color: gray !important }");
  EXPECT_EQ(of("q").color, rgb(0, 0, 0));        // !important beats the id rule
  EXPECT_EQ(of("p").color, rgb(128, 128, 128));  // important with higher specificity beats inline
  load("<p id=p class=y style='color: #010203'>t</p>", ".y { color: blue }");
  EXPECT_EQ(of("p").color, rgb(1, 2, 3));  // inline beats any selector
  // A later font-size beats the size inside an earlier font shorthand (the
  // built-in sheet gives buttons one), and the shorthand's other parts stay.
  load("<button id=b>b</button><p id=p>t</p>", "button { font-size: 20px } p { font-size: 9px; font: 30px serif }");
  EXPECT_EQ(of("b").font_size, 20);
  EXPECT_EQ(of("b").font_family, (std::vector<std::string>{"sans-serif"}));
  EXPECT_EQ(of("p").font_size, 30) << "and a later shorthand beats an earlier font-size";
}

TEST_F(Styled, InheritanceAndDefaults) {
  load(
      "<div id=d style='color: red; font-size: 20px; padding: 3px'><span id=s>x</span><table id=t><tr><td id=c>x"
      "</td></tr></table></div>",
      "");
  EXPECT_EQ(of("s").color, rgb(255, 0, 0));
  EXPECT_EQ(of("s").font_size, 20);
  EXPECT_EQ(of("s").padding[0].value, 0);  // padding is not inherited
  EXPECT_EQ(of("d").display, style::Display::block);
  EXPECT_EQ(of("s").display, style::Display::inline_);
  EXPECT_EQ(of("t").display, style::Display::table);
  EXPECT_EQ(of("c").display, style::Display::table_cell);
  EXPECT_EQ(by_id("d")->parent->style->margin[0].value, 8);  // body margin from the default sheet
}

TEST_F(Styled, CustomPropertiesWithFallbacksAndCycles) {
  load("<div id=root><p id=p>x</p><p id=q class=light>y</p></div>",
       ":root { --bg: #ffffff; --radius: 3px; --a: var(--b); --b: var(--a) }"
       "p { background: var(--bg); border-radius: var(--radius); color: var(--missing, rgb(1, 2, 3)) }"
       ".light { --bg: #000; color: var(--a, red) }");
  EXPECT_EQ(of("p").background_color, rgb(255, 255, 255));
  EXPECT_EQ(of("p").radius[2].value, 3);
  EXPECT_EQ(of("p").color, rgb(1, 2, 3));
  EXPECT_EQ(of("q").background_color, rgb(0, 0, 0));
  // A cycle makes the reference invalid: the fallback is used.
  EXPECT_EQ(of("q").color, rgb(255, 0, 0));
}

TEST_F(Styled, DarkMediaQueryFollowsTheColourScheme) {
  const char css[] =
      ":root { --text: #000000 } @media (prefers-color-scheme: dark) { :root:not([data-theme=\"light\"]) "
      "{ --text: #e0e0e0 } } :root[data-theme=\"dark\"] { --text: #e0e0e0 } p { color: var(--text) }";
  load("<p id=p>x</p>", css);
  EXPECT_EQ(of("p").color, rgb(0, 0, 0));
  env.dark = true;
  engine.update(env);
  EXPECT_EQ(of("p").color, rgb(0xe0, 0xe0, 0xe0));
  set_attribute(document_root(doc), "data-theme", 10, "light", 5);
  engine.update(env);
  EXPECT_EQ(of("p").color, rgb(0, 0, 0));
  env.dark = false;
  set_attribute(document_root(doc), "data-theme", 10, "dark", 4);
  engine.update(env);
  EXPECT_EQ(of("p").color, rgb(0xe0, 0xe0, 0xe0));
}

TEST_F(Styled, ShorthandsExpand) {
  load("<div id=a></div><div id=b></div><div id=c></div>",
       "#a { margin: 1px 2px 3px; padding: 4px 5px; border: 2px solid #3d84dd; border-radius: 1px 2px;"
       " font: bold 52px/81px Tahoma, \"Segoe UI\", sans-serif; flex: 1; gap: 6px 7px; overflow: hidden auto }"
       "#b { border-top: 1px solid transparent; border-right: thin dashed; flex: 2 0 30%; font-size: 2em;"
       " transition: background-color 120ms, color .12s ease-in 1s; animation: cl-rot 0.8s linear infinite }"
       "#c { font-size: 12px; margin: 0 auto; line-height: 1.5; width: 10em; transform: rotate(90deg) }");
  const ComputedStyle& a = of("a");
  EXPECT_EQ(a.margin[0].value, 1);
  EXPECT_EQ(a.margin[1].value, 2);
  EXPECT_EQ(a.margin[2].value, 3);
  EXPECT_EQ(a.margin[3].value, 2);
  EXPECT_EQ(a.padding[3].value, 5);
  EXPECT_EQ(a.used_border(0), 2);
  EXPECT_EQ(a.used_border_color(3), rgb(0x3d, 0x84, 0xdd));
  EXPECT_EQ(a.radius[0].value, 1);
  EXPECT_EQ(a.radius[1].value, 2);
  EXPECT_EQ(a.radius[2].value, 1);
  EXPECT_EQ(a.font_weight, 700);
  EXPECT_EQ(a.font_size, 52);
  EXPECT_EQ(a.line_height, style::Length::px(81));
  EXPECT_EQ(a.font_family, (std::vector<std::string>{"Tahoma", "Segoe UI", "sans-serif"}));
  EXPECT_EQ(a.flex_grow, 1);
  EXPECT_EQ(a.flex_basis, style::Length::px(0));
  EXPECT_EQ(a.row_gap.value, 6);
  EXPECT_EQ(a.column_gap.value, 7);
  EXPECT_EQ(a.overflow_x, style::Overflow::hidden);
  EXPECT_EQ(a.overflow_y, style::Overflow::auto_);

  const ComputedStyle& b = of("b");
  EXPECT_EQ(b.used_border(0), 1);
  EXPECT_TRUE(b.border_color[0].transparent());
  EXPECT_EQ(b.used_border(1), 1);
  EXPECT_EQ(b.used_border_color(1), b.color);  // currentColor
  EXPECT_EQ(b.used_border(2), 0);
  EXPECT_EQ(b.flex_shrink, 0);
  EXPECT_EQ(b.flex_basis, style::Length::percent(30));
  EXPECT_EQ(b.font_size, 32);  // 2em of the inherited 16px
  ASSERT_EQ(b.transitions.size(), 2u);
  EXPECT_EQ(b.transitions[0].property, css::Property::background_color);
  EXPECT_FLOAT_EQ(b.transitions[0].duration, 0.12f);
  EXPECT_FLOAT_EQ(b.transitions[1].delay, 1.0f);
  ASSERT_EQ(b.animations.size(), 1u);
  EXPECT_EQ(b.animations[0].name, "cl-rot");
  EXPECT_LT(b.animations[0].iterations, 0);
  EXPECT_EQ(b.animations[0].timing.kind, style::TimingFunction::linear);

  const ComputedStyle& c = of("c");
  EXPECT_TRUE(c.margin[1].is_auto());
  EXPECT_EQ(c.line_height, style::Length::percent(150));
  EXPECT_EQ(c.width, style::Length::px(120));  // 10em of its own 12px
  EXPECT_NEAR(c.transform.b, 1.0f, 1e-6f);
}

// The table of properties drives inherit/initial, shorthand expansion and the
// difference that decides how much incremental layout redoes.
TEST_F(Styled, ThePropertyTableDrivesKeywordsShorthandsAndDifferences) {
  load("<div id=d><p id=p>t</p><p id=q>u</p></div>",
       "#d { border: 5px dashed red; z-index: 4; border-spacing: 3px 7px; list-style-type: square; color: blue }"
       "#p { border: inherit; z-index: inherit; border-spacing: 0; list-style: initial; color: initial }"
       "#q { border-spacing: inherit; all-unknown: 1; outline: inherit }");
  const ComputedStyle& p = of("p");
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(p.border_width[side], 5) << "every longhand of border, side " << side;
    EXPECT_EQ(p.border_style[side], style::BorderStyle::dashed);
    EXPECT_EQ(p.border_color[side], rgb(255, 0, 0));
    EXPECT_FALSE(p.border_color_current[side]) << "the colour and its currentColor flag travel together";
  }
  EXPECT_EQ(p.z_index, 4);
  EXPECT_FALSE(p.z_index_auto);
  EXPECT_EQ(p.list_style, style::ListStyle::disc);
  EXPECT_EQ(p.color, rgb(0, 0, 0));
  EXPECT_EQ(of("q").border_spacing_h, 3);
  EXPECT_EQ(of("q").border_spacing_v, 7) << "both values of one longhand";
  EXPECT_EQ(of("q").list_style, style::ListStyle::square) << "inherited by default";

  // Every shorthand names longhands only; every longhand is its own.
  const auto first_shorthand = css::Property::margin;
  for (auto i = static_cast<std::uint16_t>(css::Property::display);
       i < static_cast<std::uint16_t>(css::Property::count); ++i) {
    const auto property = static_cast<css::Property>(i);
    const std::span<const css::Property> longhands = style::longhands_of(property);
    ASSERT_FALSE(longhands.empty()) << css::property_name(property);
    for (css::Property l : longhands) EXPECT_LT(l, first_shorthand) << css::property_name(property);
    if (property < first_shorthand) {
      EXPECT_EQ(longhands.size(), 1u);
    }
  }

  ComputedStyle a, b;
  b.list_style = style::ListStyle::decimal;
  EXPECT_EQ(style::difference(a, b), style::StyleDifference::layout) << "the marker's width changes";
  b = a;
  b.white_space = style::WhiteSpace::pre;
  EXPECT_EQ(style::difference(a, b), style::StyleDifference::boxes);
  b = a;
  b.position = style::Position::absolute;
  EXPECT_EQ(style::difference(a, b), style::StyleDifference::boxes);
  b = a;
  b.position = style::Position::relative;
  EXPECT_EQ(style::difference(a, b), style::StyleDifference::layout);
  b = a;
  b.border_color[2] = rgb(1, 2, 3);
  b.opacity = 0.5f;
  b.transitions.emplace_back();
  EXPECT_EQ(style::difference(a, b), style::StyleDifference::paint);
}

TEST_F(Styled, InvalidValuesAreIgnoredNotFatal) {
  load("<p id=p>x</p>",
       "p { color: blue; color: nonsense; width: -5px; margin: 1px 2px 3px 4px 5px;"
       " padding: 2px; padding: red; display: flexy }");
  EXPECT_EQ(of("p").color, rgb(0, 0, 255));
  EXPECT_TRUE(of("p").width.is_auto());
  EXPECT_EQ(of("p").margin[0].value, 16);  // five values: ignored, the default sheet's 1em stays
  EXPECT_EQ(of("p").padding[0].value, 2);
  EXPECT_EQ(of("p").display, style::Display::block);
}

// A value the toolkit cannot use is dropped with the sheet: the earlier
// declaration of the block stays, and the author is told once for each load
// of the sheet, however many elements the rule matches.
TEST_F(Styled, DroppedDeclarationsLeaveTheEarlierOneAndAreReportedOncePerLoad) {
  const char css[] =
      "p { user-select: none; display: flex; flex-flow: row wrap;\n"
      "    flex-flow: column bogus; user-select: text }";
  ::testing::internal::CaptureStderr();
  load("<p id=p>a</p><p id=q>b</p><p id=r>c</p>", css);
  add_class(by_id("q"), "x", 1);
  engine.update(env);
  const std::string once = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(once,
            "[css] sheet line 2: dropped \"flex-flow: column bogus\" (invalid or unsupported value)\n"
            "[css] sheet line 2: dropped \"user-select: text\" (invalid or unsupported value)\n");
  EXPECT_EQ(of("p").flex_direction, style::FlexDirection::row);
  EXPECT_EQ(of("q").flex_wrap, style::FlexWrap::wrap);

  ::testing::internal::CaptureStderr();
  load("<p id=p>a</p>", css);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), once) << "a sheet loaded again is reported again";

  InternTable names;
  EXPECT_EQ(css::parse_stylesheet(style::default_sheet, names).rejected_count, 0u) << "the built-in sheet";
}

TEST_F(Styled, HugeNumbersStayFinite) {
  load("<p id=p>x</p>",
       "p { top: 177777777777777777777777777777777777777777777777777777777777px; width: 1e300em;"
       " margin-left: -1e300px; flex-grow: 1e300; transition-duration: 1e300s }");
  const ComputedStyle& p = of("p");
  EXPECT_EQ(p.inset[0].value, 33554428.0f) << "clamped as a browser's layout units are";
  EXPECT_EQ(p.width.value, 33554428.0f);
  EXPECT_EQ(p.margin[3].value, -33554428.0f);
  EXPECT_TRUE(std::isfinite(p.flex_grow));
}

TEST_F(Styled, FlexItemsAndPositionedBoxesBlockify) {
  load("<div style='display:flex'><span id=s>a</span></div><span id=abs style='position:absolute'>b</span>", "");
  EXPECT_EQ(of("s").display, style::Display::block);
  EXPECT_EQ(of("abs").display, style::Display::block);
}

TEST_F(Styled, RowsShareOneStyleAndRestyleOnlyWhatChanged) {
  std::string html = "<table><tbody id=tb>";
  for (int i = 0; i < 200; ++i) html += "<tr class=row data-index=" + std::to_string(i) + "><td>a</td><td>b</td></tr>";
  html += "</tbody></table>";
  load(html, "tr.row { color: green } tr.active { color: red } [data-theme=x] { color: blue }");
  Node* first = next_sibling(first_child(by_id("tb")));  // first and last rows differ for :first-child
  Node* second = next_sibling(first);
  EXPECT_EQ(first->style, second->style);  // same look, one object
  EXPECT_EQ(first_child(first)->style, first_child(second)->style);
  EXPECT_EQ(engine.update(env), 0u);  // nothing marked: nothing recomputed
  add_class(second, "active", 6);
  EXPECT_EQ(engine.update(env), 3u);  // the row and its two cells
  EXPECT_EQ(second->style->color, rgb(255, 0, 0));
  EXPECT_EQ(first->style->color, rgb(0, 128, 0));
  set_attribute(second, "data-index", 10, "x", 1);  // no selector looks at it
  EXPECT_EQ(engine.update(env), 0u);
}

// ::before and ::after: nodes the engine keeps as the host's first and last child.
struct Generated : PipelineTest {
  static Node* before_of(Node* host) { return box(host->first_child, atom_pseudo_before); }
  static Node* after_of(Node* host) { return box(host->last_child, atom_pseudo_after); }
  static Node* box(Node* n, Atom tag) { return n && n->is_pseudo() && n->tag == tag ? n : nullptr; }
  static std::string text_of(Node* box) {
    return box && box->first_child && box->first_child->is_text() ? box->first_child->text : "<no box>";
  }
  void restyle(Node* n) {
    doc->invalidate(n, flag_needs_restyle);
    run(464, 417);
  }
};

TEST_F(Generated, BoxesTakeTheirStyleFromTheHostAndTheirOwnRules) {
  load(
      "<div id=h class=q style='color: #010203; font-size: 20px; padding-left: 9px; --gap: 3px'>text</div>"
      "<div id=f class=q style='display: flex'>x</div><p id=empty class=empty>e</p>"
      "<p id=off class=off>n</p><input id=i class=q><img id=img class=q><span id=plain>p</span>",
      // "\2026 " ends its escape at the space; "\"" is a quote.
      ".q::before { content: \"\\2026 \"; padding-left: var(--gap, 1px); font-size: 0.5em }"
      "#h::after { color: blue } .q::after { content: \"\\\"\" 'end' '\\\"'; color: green }"
      ".empty::after { content: '' } span::before { color: red }"
      ".off::before { content: 'x' } .off::before { display: none } .off::after { content: 'y' }"
      "#off::after { content: normal }");
  run(464, 417);
  Node* h = by_id("h");
  Node* before = before_of(h);
  Node* after = after_of(h);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(text_of(before), "\xE2\x80\xA6");
  EXPECT_EQ(text_of(after), "\"end\"");
  EXPECT_EQ(next_sibling(before), h->first_child->next);  // the host's own text sits between
  EXPECT_EQ(after->prev, first_child(h));
  const ComputedStyle& b = *before->style;
  EXPECT_EQ(b.display, style::Display::inline_);
  EXPECT_EQ(b.color, rgb(1, 2, 3));                // inherited from the host's inline style
  EXPECT_EQ(b.font_size, 10);                      // 0.5em of the host's 20px
  EXPECT_EQ(b.padding[3], style::Length::px(3));   // var() resolved against the host's properties
  EXPECT_EQ(after->style->color, rgb(0, 0, 255));  // #h::after outweighs .q::after
  EXPECT_EQ(after->style->padding[3].value, 0);    // the host's style attribute is not the box's
  EXPECT_EQ(style::StyleEngine::style_of(after->first_child), after->style.get());

  EXPECT_EQ(before_of(by_id("f"))->style->display, style::Display::block);  // a flex item

  // An empty string still makes a box; none, normal and display: none make none.
  ASSERT_NE(after_of(by_id("empty")), nullptr);
  EXPECT_EQ(text_of(after_of(by_id("empty"))), "");
  for (const char* id : {"off", "i", "img", "plain"}) {
    Node* n = by_id(id);
    EXPECT_EQ(before_of(n), nullptr) << id;
    EXPECT_EQ(after_of(n), nullptr) << id;
  }
}

TEST_F(Generated, UpdatedInPlaceWhenTheHostRestylesAndRemovedWithTheirContent) {
  load("<ul><li id=a class=x>a</li><li id=b class=x>b</li></ul>",
       ".x::after { content: ' >' } .x:hover::after { content: ' (open)'; color: red }"
       ".off::after { content: none }");
  run(464, 417);
  Node* a = by_id("a");
  Node* b = by_id("b");
  Node* box = after_of(a);
  ASSERT_NE(box, nullptr);
  const std::uint64_t box_serial = box->serial, text_serial = box->first_child->serial;
  Node* b_box = after_of(b);
  const std::uint64_t b_serial = b_box->serial;
  const auto b_style = b_box->style;

  a->flags |= flag_hover;
  restyle(a);
  ASSERT_EQ(after_of(a), box);
  EXPECT_EQ(box->serial, box_serial);  // the same node, not a recycled record
  EXPECT_EQ(box->first_child->serial, text_serial);
  EXPECT_EQ(text_of(box), " (open)");
  EXPECT_EQ(box->style->color, rgb(255, 0, 0));
  const auto& changes = engine.changes();
  EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [&](const auto& c) { return c.element == box; }));
  EXPECT_EQ(after_of(b), b_box);  // the sibling was not touched
  EXPECT_EQ(b_box->serial, b_serial);
  EXPECT_EQ(b_box->style, b_style);

  a->flags &= ~flag_hover;
  restyle(a);
  EXPECT_EQ(text_of(after_of(a)), " >");
  EXPECT_EQ(after_of(a)->serial, box_serial);

  // Children added at the end go in front of ::after, which stays last.
  Node* extra = create_element(doc, "b", 1);
  ASSERT_EQ(append_child(a, extra), 0);
  run(464, 417);
  EXPECT_EQ(after_of(a), box);
  EXPECT_EQ(box->prev, extra);

  add_class(a, "off", 3);
  run(464, 417);
  EXPECT_EQ(after_of(a), nullptr);
  EXPECT_EQ(a->last_child, extra);
  remove_class(a, "off", 3);
  run(464, 417);
  ASSERT_NE(after_of(a), nullptr);
  EXPECT_EQ(text_of(after_of(a)), " >");

  // Replacing the host's text drops every child; the next update brings the boxes back.
  set_text_content(a, "new", 3);
  run(464, 417);
  EXPECT_EQ(text_of(after_of(a)), " >");
  EXPECT_EQ(a->first_child->text, "new");
}

TEST_F(Generated, InvisibleToSelectorsQueriesAndEvents) {
  load("<div id=d class=g><span id=s1>one</span><span id=s2>two</span></div><p id=e class=g></p>",
       "body { margin: 0; font-size: 10px } .g::before { content: 'B' } .g::after { content: 'A' }"
       "span:first-child { color: red } span:last-child { color: blue } :not(span) + span { font-weight: bold }"
       "p:empty { color: green }");
  run(464, 417);
  Node* d = by_id("d");
  ASSERT_TRUE(before_of(d) && after_of(d) && before_of(by_id("e")));
  EXPECT_EQ(by_id("s1")->style->color, rgb(255, 0, 0));
  EXPECT_EQ(by_id("s2")->style->color, rgb(0, 0, 255));
  EXPECT_EQ(by_id("s2")->style->font_weight, 400);
  EXPECT_EQ(by_id("e")->style->color, rgb(0, 128, 0));

  EXPECT_EQ(query_selector(d, ":first-child", 12), by_id("s1"));
  EXPECT_EQ(query_selector(document_body(doc), "div > :last-child", 17), by_id("s2"));
  EXPECT_EQ(query_selector(by_id("e"), "*", 1), nullptr);
  int children = 0;
  for (Node* c = first_child(d); c; c = next_sibling(c)) ++children;
  EXPECT_EQ(children, 2);
  EXPECT_EQ(first_child(by_id("e")), nullptr);
  std::size_t n = 0;
  const char* text = text_content(d, &n);
  EXPECT_EQ(std::string(text, n), "onetwo");
  EXPECT_EQ(dump(d), "div id=\"d\" class=\"g\"\n  span id=\"s1\"\n    \"one\"\n  span id=\"s2\"\n    \"two\"\n");

  // A hit on generated text is a hit on its host, for the event path too.
  const layout::Box* generated = tree.box_of(before_of(d));
  ASSERT_NE(generated, nullptr);
  Node* hit = paint::hit_test(tree, generated->x + 1, generated->y + 1);
  EXPECT_EQ(host_element(hit), d);
  struct Seen {
    Node* target = nullptr;
    static void record(Event* e, void* data) { static_cast<Seen*>(data)->target = event_target(e); }
  } seen;
  ASSERT_EQ(on(d, "click", 5, Seen::record, &seen), 0);
  Event click;
  click.target = before_of(d);
  dispatch_event(click);
  EXPECT_EQ(seen.target, d);
}

TEST_F(Generated, SharedStylesStillGiveEachElementItsOwnBoxes) {
  std::string html = "<ul id=list>";
  for (int i = 0; i < 20; ++i) html += "<li class=r>x</li>";
  load(html + "<li id=t class=r></li></ul>",
       "li.r::before { content: '-' } li.r:hover::before { content: '>' } li.r:empty::after { content: '(none)' }");
  run(464, 417);
  Node* first = first_child(by_id("list"));
  Node* second = next_sibling(first);
  Node* third = next_sibling(second);
  EXPECT_EQ(second->style, third->style);
  ASSERT_TRUE(before_of(second) && before_of(third));
  EXPECT_NE(before_of(second), before_of(third));
  EXPECT_EQ(before_of(second)->style, before_of(third)->style);

  second->flags |= flag_hover;
  restyle(second);
  EXPECT_EQ(text_of(before_of(second)), ">");
  EXPECT_EQ(text_of(before_of(third)), "-");

  // An empty text node leaves an element :empty; it must not share with one holding text.
  Node* t = by_id("t");
  EXPECT_EQ(text_of(after_of(t)), "(none)");
  append_child(t, create_text(doc, "", 0));
  run(464, 417);
  EXPECT_EQ(text_of(after_of(t)), "(none)");
  EXPECT_EQ(after_of(third), nullptr);
}

}  // namespace
