#include "css/selector.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>

#include "dom/dom.h"
#include "html/parser.h"

namespace {

using namespace ostrel;
using css::parse_selector_list;
using css::PseudoElement;

// Elements in document order (pseudo boxes skipped), without recursion.
template <class Visit>
void each_element(Node* root, Visit visit) {
  for (Node* n = first_real_child(root); n;) {
    if (n->is_element()) visit(n);
    if (Node* child = first_real_child(n)) {
      n = child;
      continue;
    }
    while (n != root && !next_real_sibling(n)) n = n->parent;
    if (n == root) break;
    n = next_real_sibling(n);
  }
}

struct Page {
  explicit Page(std::string_view html) { parse_html(doc, doc.document_node, html); }

  std::optional<css::SelectorList> parse(std::string_view text) { return parse_selector_list(text, doc.names); }

  // Ids (or tag names) of the elements the list matches, in document order.
  std::string ids(std::string_view selector) {
    const auto list = parse(selector);
    if (!list) return "invalid";
    std::string out;
    each_element(doc.document_node, [&](Node* n) {
      if (!list->matches_any(n)) return;
      if (!out.empty()) out += ' ';
      const std::string* id = attribute_value(n, atom_id);
      out += id ? *id : std::string(doc.names.name(n->tag));
    });
    return out;
  }

  Node* by_id(std::string_view id) {
    Node* found = nullptr;
    each_element(doc.document_node, [&](Node* n) {
      const std::string* v = attribute_value(n, atom_id);
      if (!found && v && *v == id) found = n;
    });
    return found;
  }

  Document doc;
};

bool valid(std::string_view text) {
  InternTable names;
  return parse_selector_list(text, names).has_value();
}

std::string nested_not(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += ":not(";
  s += ".x";
  for (int i = 0; i < depth; ++i) s += ')';
  return s;
}

// clang-format off
constexpr std::string_view accepted[] = {
    "div", "DIV", "*", "#a", ".b", "div.b#a.c", "*.b", "[x]", "[x=y]", "[ x = 'y' i ]", "[x~=\"y\"]", "[x^=y]",
    "[x$=y]", "[x*=y]", "[x|=y]", "[x=\"y\"s]", "a > b + c ~ d e", "a>b+c~d", " a , b ", "a\t\n>\r\nb", ":ROOT",
    ":hover:focus:active", ":checked:disabled:enabled", ":first-child:last-child:only-child:empty", ":NOT(.a)",
    ":not(.a, div > p)", "p::before", "p::AFTER", "p:after", "p:before", "::marker", "div ::after", "a::before, b",
    ".\\31 23", "#\\31 23", "#-a", "#--", ".한글", "-custom", "--x", "a/**/.b", "a /* c */ b", "[data-x=\"a\\\"b\"]",
    ":not(:not(.x))", "[x='']", ".a\xFF", ".a\\", "td.col-fill > span, :root[data-theme=light]"};
// clang-format on

TEST(SelectorParse, AcceptsTheSupportedGrammar) {
  for (std::string_view text : accepted) EXPECT_TRUE(valid(text)) << text;
}

// clang-format off
constexpr std::string_view rejected[] = {
    "", "  ", ",", "a,", ",a", "a,,b", "a, ,b", "a >", "> a", "a > > b", "a + ", "a ~", "[x", "x]", "[x=]", "[x=1]",
    "[x==y]", "[x = y z]", "[x=y i j]", "[ns|x]", "[|x]", "[*|x]", "*|a", "ns|a", "#1a", "#-1", "#", ".", ".1", "..a",
    "a.", ":hover2", ":nth-child(2)", ":not()", ":not(,a)", ":not(a,)", ":not(p::before)", ":not(", ":not(a",
    ":not(a))", "::before.x", "::before:hover", "p::before div", "p::before > a", "::first-line", ":marker",
    "::hover", "a:not (b)", "a: hover", "a :: before", "a\"x", "[x=\"y]", "[x=\"a\nb\"]", "div)", "(div)", "a{",
    "a <!-- b", "a --> b", "a*", "a#b c*", "div, p:unknown", "\\\n", "[x~ =y]"};
// clang-format on

TEST(SelectorParse, RejectsTheWholeListOnAnyError) {
  for (std::string_view text : rejected) EXPECT_FALSE(valid(text)) << text;
}

TEST(SelectorParse, BoundsNestingLengthAndCompounds) {
  EXPECT_TRUE(valid(nested_not(css::max_not_depth)));
  EXPECT_FALSE(valid(nested_not(css::max_not_depth + 1)));
  EXPECT_FALSE(valid(nested_not(5000)));  // hostile input parses without exhausting the stack

  std::string list = ".a";
  while (list.size() + 3 <= css::max_selector_length) list += ",.a";
  EXPECT_TRUE(valid(list));
  EXPECT_FALSE(valid(list + std::string(css::max_selector_length, ' ')));

  std::string chain = "a";
  for (std::size_t i = 1; i < css::max_compounds; ++i) chain += " > a";
  EXPECT_TRUE(valid(chain));
  EXPECT_FALSE(valid(chain + " a"));
}

TEST(SelectorSpecificity, CountsIdsClassesAndTypes) {
  InternTable names;
  auto specificity_of = [&](std::string_view text) {
    const auto list = parse_selector_list(text, names);
    if (!list) return std::tuple(-1, -1, -1);
    const css::Specificity s = list->specificity(0);
    return std::tuple(int{s.a}, int{s.b}, int{s.c});
  };
  EXPECT_EQ(specificity_of("*"), std::tuple(0, 0, 0));
  EXPECT_EQ(specificity_of("div p"), std::tuple(0, 0, 2));
  EXPECT_EQ(specificity_of("DIV.a[x]:hover"), std::tuple(0, 3, 1));
  EXPECT_EQ(specificity_of("#a#a"), std::tuple(2, 0, 0));
  EXPECT_EQ(specificity_of("p::before"), std::tuple(0, 0, 2));
  EXPECT_EQ(specificity_of("p:after"), std::tuple(0, 0, 2));
  // :not counts its most specific argument, not the sum, and nothing of its own.
  EXPECT_EQ(specificity_of(":not(.a, #b, p q r)"), std::tuple(1, 0, 0));
  EXPECT_EQ(specificity_of("li:not(:not(.a.b))"), std::tuple(0, 2, 1));

  const auto list = parse_selector_list("a, #b, .c .d", names);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_LT(list->specificity(0), list->specificity(2));
  EXPECT_LT(list->specificity(2), list->specificity(1));
  EXPECT_LT((css::Specificity{0, 99, 99}), (css::Specificity{1, 0, 0}));
}

TEST(SelectorCombinators, ChildDescendantAndSiblings) {
  Page page(
      "<div id=top><section id=s><div id=d1><div id=d2><span id=t></span></div></div></section>"
      "<p id=p><b id=b1></b><i id=i2></i>text<i id=i3></i><u id=u4></u><em id=e5></em></p></div>");
  EXPECT_EQ(page.ids("section span"), "t");
  EXPECT_EQ(page.ids("section > span"), "");
  EXPECT_EQ(page.ids("div > div"), "d2");
  EXPECT_EQ(page.ids("body > div > section > div > div > span"), "t");
  // The nearest div ancestor of #t has the wrong parent; a farther one fits.
  EXPECT_EQ(page.ids("section > div span"), "t");
  EXPECT_EQ(page.ids("section > div > div span"), "t");
  EXPECT_EQ(page.ids("section > div > div > div span"), "");
  EXPECT_EQ(page.ids("html div > section span"), "t");
  // Siblings skip text; "+" is the element right before, "~" any earlier one.
  EXPECT_EQ(page.ids("i + i"), "i3");
  EXPECT_EQ(page.ids("b ~ u"), "u4");
  EXPECT_EQ(page.ids("b + u"), "");
  // The nearest i before u4 is not right after b, an earlier one is.
  EXPECT_EQ(page.ids("b + i ~ u"), "u4");
  EXPECT_EQ(page.ids("b + i + i"), "i3");
  EXPECT_EQ(page.ids("b + i + u"), "");
  EXPECT_EQ(page.ids("section ~ p > i ~ em"), "e5");
  EXPECT_EQ(page.ids("div#top > section + p u"), "u4");
  EXPECT_EQ(page.ids("div#top > p + section span"), "");
  EXPECT_EQ(page.ids("div#top > section + p > b ~ *"), "i2 i3 u4 e5");
  EXPECT_EQ(page.ids("#s ~ * *:first-child"), "b1");
}

TEST(SelectorCombinators, DeepDocumentsNeedNoStack) {
  Document doc;
  Node* parent = doc.document_node;
  Node* html = doc.create_element("html");
  link_child(parent, html, nullptr);
  parent = html;
  constexpr int depth = 200000;
  for (int i = 0; i < depth; ++i) {
    Node* div = doc.create_element(i % 2 ? "div" : "section");
    link_child(parent, div, nullptr);
    parent = div;
  }
  Node* leaf = doc.create_element("span");
  link_child(parent, leaf, nullptr);

  auto matches = [&](std::string_view text) {
    const auto list = parse_selector_list(text, doc.names);
    return list && list->matches(0, leaf);
  };
  EXPECT_TRUE(matches(":root span"));
  EXPECT_TRUE(matches(":root > section > div section > div span"));
  EXPECT_FALSE(matches("p span"));
  EXPECT_FALSE(matches("p div span"));
  EXPECT_FALSE(matches("div > div span"));
  EXPECT_TRUE(matches("section section section div div div div div > span"));
  EXPECT_FALSE(matches("section > section span"));
  EXPECT_FALSE(matches("span span"));
  const auto list = parse_selector_list("span", doc.names);
  EXPECT_EQ(css::query_first(*list, doc.document_node), leaf);
}

TEST(SelectorAttributes, OperatorsAndCaseFlag) {
  Page page(
      "<div id=e lang=en-US class='x  y' data-v='Hello World' title=''></div>"
      "<svg id=g viewBox='0 0 1 1'><linearGradient id=lg></linearGradient></svg>");
  // clang-format off
  for (std::string_view hit : {
           "[lang]", "[LANG]", "[title]", "[title='']", "[lang=en-US]", "[lang=en-us i]", "[lang='EN-US' I]",
           "[lang|=en]", "[lang|=EN i]", "[class~=y]", "[class~=x]", "[data-v^=Hello]", "[data-v$=World]",
           "[data-v$=WORLD i]", "[data-v*='o W']", "[data-v*='O w' i]", "[data-v='Hello World']"})
    EXPECT_EQ(page.ids(hit), "e") << hit;
  for (std::string_view miss : {
           "[nope]", "[lang=en-us]", "[lang|=en-]", "[lang|=e]", "[class~='x y']", "[class~='']", "[data-v^='']",
           "[data-v$=world]", "[data-v$='']", "[data-v*='']", "[data-v*=x]", "[data-v='Hello World ']"})
    EXPECT_EQ(page.ids(miss), "") << miss;
  // clang-format on
  // Case folding is ASCII only: the Turkish dotless i is not "I".
  Page turkish("<div id=t a='ı' b='I'></div>");
  EXPECT_EQ(turkish.ids("[a=I i]"), "");
  EXPECT_EQ(turkish.ids("[b=i i]"), "t");

  // SVG keeps camel case names; selectors find them either way, as browsers do.
  EXPECT_EQ(page.ids("[viewBox]"), "g");
  EXPECT_EQ(page.ids("svg [id=lg]"), "lg");
  EXPECT_EQ(page.ids("linearGradient, LINEARGRADIENT"), "lg");
  EXPECT_EQ(page.ids("lineargradient"), "lg");
  EXPECT_EQ(page.ids("DİV"), "");  // dotted capital I is not ASCII
}

TEST(SelectorAttributes, CollectsNamesIncludingInsideNot) {
  Page page("");
  const auto list = page.parse("[data-a], :not([DATA-B=x]) .c, #d, [viewBox], a:not(:not([data-c]))");
  ASSERT_TRUE(list);
  std::vector<Atom> names{page.doc.names.intern("data-a")};
  list->collect_attribute_names(names);
  std::vector<std::string_view> texts;
  for (Atom a : names) texts.push_back(page.doc.names.name(a));
  EXPECT_EQ(texts, (std::vector<std::string_view>{"data-a", "data-b", "DATA-B", "viewbox", "viewBox", "data-c"}));
}

TEST(SelectorIdentifiers, ClassesAndIdsAreExactAfterEscapes) {
  Page page("<p id=123 class='한글 Btn a:b'></p><p id=x class='btn'></p>");
  EXPECT_EQ(page.ids("#\\31 23"), "123");
  EXPECT_EQ(page.ids(".\\31 23"), "");
  EXPECT_EQ(page.ids(".한글"), "123");
  EXPECT_EQ(page.ids(".btn"), "x");
  EXPECT_EQ(page.ids(".Btn"), "123");
  EXPECT_EQ(page.ids(".a\\:b"), "123");
  EXPECT_EQ(page.ids("#X"), "");
  EXPECT_EQ(page.ids("P#x"), "x");
}

TEST(SelectorNot, ArgumentsListsAndNesting) {
  Page page("<div id=r><p id=a class=x></p><p id=b class=y></p><span id=c class=x></span></div>");
  EXPECT_EQ(page.ids("#r > :not(.x)"), "b");
  EXPECT_EQ(page.ids("#r > :not(.x, .y)"), "");
  EXPECT_EQ(page.ids("#r > :not(div > p)"), "c");
  EXPECT_EQ(page.ids("#r > :not(:not(.x))"), "a c");
  EXPECT_EQ(page.ids("p:not(:first-child)"), "b");
  EXPECT_EQ(page.ids("#r > " + nested_not(css::max_not_depth)), page.ids("#r > .x"));
  EXPECT_EQ(page.ids("#r > " + nested_not(css::max_not_depth - 1)), "b");
}

TEST(SelectorStructural, SiblingPositionsSkipTextAndPseudoBoxes) {
  Page page("<ul id=u> text <li id=a></li> <li id=b></li> tail </ul><ol id=o> </ol><ol id=z></ol>");
  // A generated box in front of #a must not make it lose :first-child.
  Node* a = page.by_id("a");
  Node* box = page.doc.create_element("span");
  box->flags |= flag_pseudo;
  link_child(a->parent, box, a);
  Node* marker = page.doc.create_element("span");
  marker->flags |= flag_pseudo;
  link_child(page.by_id("z"), marker, nullptr);
  Node* empty_text = page.doc.create_text("");
  link_child(page.by_id("z"), empty_text, nullptr);

  EXPECT_EQ(page.ids("li:first-child"), "a");
  EXPECT_EQ(page.ids("li:last-child"), "b");
  EXPECT_EQ(page.ids("li:only-child"), "");
  EXPECT_EQ(page.ids("ol:empty"), "z");  // white space is content, empty text and boxes are not
  EXPECT_EQ(page.ids("li:empty"), "a b");
  EXPECT_EQ(page.ids(":root"), "html");
  EXPECT_EQ(page.ids("body:only-child, head:first-child"), "head");
  EXPECT_EQ(page.ids("ul:only-child"), "");

  Node* loose = page.doc.create_element("div");
  const auto root = page.parse(":root");
  EXPECT_FALSE(root->matches(0, loose));
  EXPECT_FALSE(root->matches(0, page.doc.document_node));
  EXPECT_FALSE(root->matches(0, empty_text));
}

TEST(SelectorState, FlagsAndDisableableElements) {
  Page page(
      "<button id=b1 disabled></button><button id=b2></button><div id=d disabled></div>"
      "<input id=c1 type=checkbox checked><input id=c2 type=checkbox><select id=s><option id=o selected></option>"
      "</select>");
  EXPECT_EQ(page.ids(":disabled"), "b1");
  EXPECT_EQ(page.ids(":enabled"), "b2 c1 c2 s o");
  EXPECT_EQ(page.ids(":checked"), "c1 o");
  EXPECT_EQ(page.ids("button:hover, :focus, :active"), "");
  page.by_id("b2")->flags |= flag_hover | flag_focus;
  page.by_id("d")->flags |= flag_active;
  EXPECT_EQ(page.ids(":hover"), "b2");
  EXPECT_EQ(page.ids(":focus:hover"), "b2");
  EXPECT_EQ(page.ids(":ACTIVE"), "d");
  remove_attribute_value(page.by_id("b1"), atom_disabled);
  EXPECT_EQ(page.ids("button:disabled"), "");
}

TEST(SelectorPseudoElements, MatchTheOriginatingElementOnlyByIndex) {
  Page page("<p id=p></p>");
  const auto list = page.parse("p::before, p:after, ::marker, p");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->pseudo_element(0), PseudoElement::before);
  EXPECT_EQ(list->pseudo_element(1), PseudoElement::after);
  EXPECT_EQ(list->pseudo_element(2), PseudoElement::marker);
  EXPECT_EQ(list->pseudo_element(3), PseudoElement::none);
  Node* p = page.by_id("p");
  EXPECT_TRUE(list->matches(0, p));
  EXPECT_TRUE(list->matches(2, p));
  EXPECT_FALSE(list->matches(4, p));
  EXPECT_EQ(page.ids("p::before"), "");  // matches_any leaves pseudo-element selectors out
}

TEST(SelectorQueryFirst, DocumentOrderInsideTheScope) {
  Page page("<div id=s class=k><div id=a><b id=deep class=k></b></div><b id=late class=k></b></div><b id=out class=k>");
  auto first = [&](std::string_view selector, Node* scope) -> std::string {
    const auto list = page.parse(selector);
    Node* n = list ? css::query_first(*list, scope) : nullptr;
    const std::string* id = n ? attribute_value(n, atom_id) : nullptr;
    return id ? *id : "none";
  };
  Node* scope = page.by_id("s");
  EXPECT_EQ(first(".k", scope), "deep");  // the scope itself never counts
  EXPECT_EQ(first(".k", page.doc.document_node), "s");
  EXPECT_EQ(first("b:last-child, #a", scope), "a");
  EXPECT_EQ(first("#out", scope), "none");
  EXPECT_EQ(first("div > .k", page.by_id("a")), "deep");
  EXPECT_EQ(first("b::before", scope), "none");
  // Generated boxes are not part of the tree that queries see.
  Node* box = page.doc.create_element("b");
  box->flags |= flag_pseudo;
  link_child(page.by_id("a"), box, page.by_id("deep"));
  EXPECT_EQ(first("#a > b", scope), "deep");
  EXPECT_EQ(first("b", page.by_id("deep")), "none");
}

}  // namespace
