#include "css/stylesheet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>

#include "common/text.h"
#include "dom/dom.h"

namespace {

using namespace ostrel;
using css::Property;
using css::Token;
using css::TokenList;
using css::TokenType;

// A compact picture of a token tree: "id:a _ fn:f(num:1 , str:x)".
std::string describe(const TokenList& list);

std::string describe(const Token& t) {
  std::ostringstream out;
  switch (t.type) {
    case TokenType::ident:
      out << "id:" << t.text;
      break;
    case TokenType::function:
      out << "fn:" << t.text << "(" << describe(t.children) << ")";
      break;
    case TokenType::at_keyword:
      out << "@" << t.text;
      break;
    case TokenType::hash:
      out << "#" << t.text;
      break;
    case TokenType::string:
      out << "str:" << t.text;
      break;
    case TokenType::url:
      out << "url:" << t.text;
      break;
    case TokenType::number:
      out << (t.is_integer ? "int:" : "num:") << t.number;
      break;
    case TokenType::percentage:
      out << "pct:" << t.number;
      break;
    case TokenType::dimension:
      out << "dim:" << t.number << t.text;
      break;
    case TokenType::whitespace:
      out << "_";
      break;
    case TokenType::delim:
      out << "'" << t.text << "'";
      break;
    case TokenType::comma:
      out << ",";
      break;
    case TokenType::colon:
      out << ":";
      break;
    case TokenType::semicolon:
      out << ";";
      break;
    case TokenType::block: {
      const char close = t.text == "(" ? ')' : t.text == "[" ? ']' : '}';
      out << t.text << describe(t.children) << close;
      break;
    }
  }
  return out.str();
}

std::string describe(const TokenList& list) {
  std::string out;
  for (const Token& t : list) {
    if (!out.empty()) out += ' ';
    out += describe(t);
  }
  return out;
}

std::string tokens(std::string_view text) { return describe(css::tokenize_value(text)); }

// "name=value" per declaration, "!" after important ones, joined with "; ".
std::string declarations(const std::vector<css::Declaration>& list) {
  std::string out;
  for (const css::Declaration& d : list) {
    if (!out.empty()) out += "; ";
    out += d.property == Property::custom ? d.custom_name : std::string(css::property_name(d.property));
    out += "=" + describe(d.value);
    if (d.important) out += "!";
  }
  return out;
}

std::string declarations(std::string_view text) { return declarations(css::parse_declarations(text)); }

int depth_of(const TokenList& list) {
  int deepest = 0;
  for (const Token& t : list) deepest = std::max(deepest, t.children.empty() ? 0 : 1 + depth_of(t.children));
  return deepest;
}

struct Sheet {
  explicit Sheet(std::string_view text) : sheet(css::parse_stylesheet(text, names)) {}

  // The first declaration of each rule, for telling rules apart.
  std::string firsts() const {
    std::string out;
    for (const css::StyleRule& rule : sheet.rules) {
      if (!out.empty()) out += ' ';
      out += rule.declarations.empty() ? "-" : describe(rule.declarations.front().value);
    }
    return out;
  }

  InternTable names;
  css::StyleSheet sheet;
};

css::MediaEnvironment viewport(float width, float height = 600) {
  css::MediaEnvironment env;
  env.width = width;
  env.height = height;
  return env;
}

// ---------------------------------------------------------------------------

TEST(CssTokenizer, Numbers) {
  EXPECT_EQ(tokens("+.5e-3px"), "dim:0.0005px");
  EXPECT_EQ(tokens("1e3"), "num:1000");  // an exponent makes it a non-integer
  EXPECT_EQ(tokens("-7 +7 007"), "int:-7 _ int:7 _ int:7");
  EXPECT_EQ(tokens("12.5% 1E3PX 2.5Em"), "pct:12.5 _ dim:1000px _ dim:2.5em");
  EXPECT_EQ(tokens("1e 1e-x 1e+"), "dim:1e _ dim:1e-x _ dim:1e '+'");  // no digit after "e": a unit
  EXPECT_EQ(tokens("1. .5. +-1 -.5"), "int:1 '.' _ num:0.5 '.' _ '+' int:-1 _ num:-0.5");
  EXPECT_EQ(tokens("3--x"), "dim:3--x");

  const TokenList huge = css::tokenize_value("1e999999999999999999999 -1e400 1e-400 " + std::string(5000, '9'));
  ASSERT_EQ(huge.size(), 7u);
  EXPECT_EQ(huge[0].number, std::numeric_limits<double>::max());
  EXPECT_EQ(huge[2].number, -std::numeric_limits<double>::max());
  EXPECT_EQ(huge[4].number, 0.0);
  EXPECT_TRUE(std::isfinite(huge[6].number));
  EXPECT_DOUBLE_EQ(css::tokenize_value("0.1")[0].number, 0.1);
  EXPECT_DOUBLE_EQ(css::tokenize_value("123456789.123456789e-5")[0].number, 1234.56789123456789);
  EXPECT_DOUBLE_EQ(css::tokenize_value("0.000" + std::string(60, '0') + "25e64")[0].number, 2.5);
}

TEST(CssTokenizer, IdentifiersAndEscapes) {
  EXPECT_EQ(tokens("\\41 B \\41  B"), "id:AB _ id:A _ id:B");  // one space after a hex escape belongs to it
  EXPECT_EQ(tokens("\\1F600x"), "id:\xF0\x9F\x98\x80x");
  EXPECT_EQ(tokens("\\D800 \\110000 \\0 "), "id:\uFFFD\uFFFD\uFFFD");  // surrogate, too large, NUL
  EXPECT_EQ(tokens("a\\ b \\-x \\31 0"), "id:a b _ id:-x _ id:10");
  EXPECT_EQ(tokens("a\\"), "id:a\uFFFD");
  EXPECT_EQ(tokens("\\\nx"), "'\\' _ id:x");  // backslash-newline is no escape
  EXPECT_EQ(tokens("한글 _x -x - x"), "id:한글 _ id:_x _ id:-x _ '-' _ id:x");
  EXPECT_EQ(tokens("-- custom --x"), "id:-- _ id:custom _ id:--x");
  EXPECT_EQ(tokens("#fff #1a # a @media @-webkit-x @ x @1"),
            "#fff _ #1a _ '#' _ id:a _ @media _ @-webkit-x _ '@' _ id:x _ '@' int:1");
  EXPECT_EQ(tokens("a/**/b /* never closed"), "id:a id:b _");
  EXPECT_EQ(tokens("a\r\nb\fc"), "id:a _ id:b _ id:c");
  EXPECT_EQ(tokens(std::string_view("a\0b", 3)), "id:a\uFFFDb");

  // A UTF-8 encoded surrogate and a truncated sequence never reach a token as such.
  const TokenList bad = css::tokenize_value("\xED\xA0\x80x \xE2\x82");
  ASSERT_EQ(bad.size(), 3u);
  EXPECT_TRUE(vx::is_valid_utf8(bad[0].text));
  EXPECT_EQ(bad[0].text.find("\xED\xA0"), std::string::npos);
  EXPECT_TRUE(vx::is_valid_utf8(bad[2].text));
}

TEST(CssTokenizer, StringsAndUrls) {
  EXPECT_EQ(tokens("'a\\\nb' \"\\41\\\"\""), "str:ab _ str:A\"");
  EXPECT_EQ(tokens("'open"), "str:open");  // EOF closes a string
  EXPECT_EQ(tokens("'a\\"), "str:a");
  // A raw newline ends a bad string; the newline and what follows are tokens again.
  EXPECT_EQ(tokens("\"ab\ncd\" x"), "'' _ id:cd str: x");
  EXPECT_EQ(tokens("url(  a.png  ) URL(b) url()"), "url:a.png _ url:b _ url:");
  EXPECT_EQ(tokens("url(a\\)b) url(\\41)"), "url:a)b _ url:A");
  EXPECT_EQ(tokens("url( 'a b' ) url(\"c\")"), "fn:url(_ str:a b _) _ fn:url(str:c)");
  // Bad urls swallow up to ")" (escaped ones included) and never reach a value.
  EXPECT_EQ(tokens("url( a b ) x"), "'' _ id:x");
  EXPECT_EQ(tokens("url(a\"b) url(a(b) url(a\\\n) y"), "'' _ '' _ '' _ id:y");
  EXPECT_EQ(tokens("url(a b\\) c) z"), "'' _ id:z");
  EXPECT_EQ(tokens("url(open"), "url:open");
}

TEST(CssTokenizer, ComponentTree) {
  EXPECT_EQ(tokens("f(a, [b {c;}]) (x)"), "fn:f(id:a , _ [id:b _ {id:c ;}]) _ (id:x)");
  EXPECT_EQ(tokens("calc(1px + (2 * 3%)"), "fn:calc(dim:1px _ '+' _ (int:2 _ '*' _ pct:3))");  // EOF closes blocks
  EXPECT_EQ(tokens("a ) ] } b"), "id:a _ ')' _ ']' _ '}' _ id:b");
  EXPECT_EQ(tokens("(}]) [)]"), "('}' ']') _ [')']");  // only the matching closer ends a block
  EXPECT_EQ(tokens("<!-- --> a<b"), "'<!--' _ '-->' _ id:a '<' id:b");

  // Blocks deeper than the bound are read past, not kept and not recursed into.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += i % 2 ? "f(" : "[";
  const TokenList list = css::tokenize_value(deep + " x");
  EXPECT_LE(depth_of(list), css::max_block_depth);
}

// ---------------------------------------------------------------------------

TEST(CssDeclarations, ErrorRecoveryPerDeclaration) {
  EXPECT_EQ(declarations("color: red; width 10px; height: 5px"), "color=id:red; height=dim:5px");
  EXPECT_EQ(declarations("color: red; 5px: x; height: 1px"), "color=id:red; height=dim:1px");
  EXPECT_EQ(declarations("color: red; width: [a;b]; height: 1px"), "color=id:red; width=[id:a ; id:b]; height=dim:1px");
  EXPECT_EQ(declarations("color: red; width: 1px ) ; height: 2px"), "color=id:red; height=dim:2px");
  EXPECT_EQ(declarations("color: \"a\n; height: 2px"), "height=dim:2px");  // the bad string breaks only its own
  // EOF closes an open function, which has eaten the rest.
  EXPECT_EQ(declarations("color: red; width: f(; height: 5px"), "color=id:red; width=fn:f(; _ id:height : _ dim:5px)");
  EXPECT_EQ(declarations("color:;height;width:1px;;"), "width=dim:1px");
  EXPECT_EQ(declarations("bogus: 1; -webkit-x: 2; COLOR: Red; Min-Width: 0"), "color=id:Red; min-width=int:0");
  EXPECT_EQ(declarations("c\\olor: red"), "color=id:red");
  EXPECT_EQ(declarations("color: {red}; width: 1px {}"), "");  // no property of ours takes a {} block
  EXPECT_EQ(declarations("color: red; @media x { a: b } width: 1px; @import x; height: 2px"),
            "color=id:red; width=dim:1px; height=dim:2px");
  EXPECT_EQ(declarations("} color: red; width: 1px"), "width=dim:1px");  // a stray "}" starts a broken declaration
}

TEST(CssDeclarations, Important) {
  EXPECT_EQ(declarations("color: red !important; width: 1px ! IMPORTANT ; height: 2px!Important"),
            "color=id:red!; width=dim:1px!; height=dim:2px!");
  EXPECT_EQ(declarations("color: red !important x"), "color=id:red _ '!' id:important _ id:x");
  EXPECT_EQ(declarations("color: !important"), "");  // nothing left of the value
  EXPECT_EQ(declarations("color: red important; width: 1px !imp"),
            "color=id:red _ id:important; width=dim:1px _ '!' id:imp");
}

TEST(CssDeclarations, CustomProperties) {
  EXPECT_EQ(declarations("--x: {a:b}"), "--x={id:a : id:b}");
  EXPECT_EQ(declarations("--y:;--z: ;--w:!important"), "--y=; --z=; --w=!");
  EXPECT_EQ(declarations("--Mixed-Case:  a   B  "), "--Mixed-Case=id:a _ id:B");
  EXPECT_EQ(declarations("--x: 1px,(2) ; --q: [ { } ]"), "--x=dim:1px , (int:2); --q=[_ {_} _]");
  EXPECT_EQ(declarations("--: x; --a: b ) c; --b: [}]; --c: 'x\n; --d: ok"), "--d=id:ok");
  EXPECT_EQ(declarations("--\\31 x: a"), "--1x=id:a");
}

TEST(CssDeclarations, Bounds) {
  std::string many = "--x:";
  for (std::size_t i = 0; i < css::max_declaration_tokens; ++i) many += " a";
  EXPECT_EQ(declarations(many + "; color: red"), "color=id:red");

  std::string deep = "--x: ";
  for (int i = 0; i < css::max_block_depth + 1; ++i) deep += "(";
  for (int i = 0; i < css::max_block_depth + 1; ++i) deep += ")";
  EXPECT_EQ(declarations(deep + "; color: red"), "color=id:red");
}

// ---------------------------------------------------------------------------

TEST(CssStyleSheet, RulesSurviveBrokenNeighbours) {
  EXPECT_EQ(Sheet("a{color:red} a::bogus{color:green} b{color:blue}").firsts(), "id:red id:blue");
  EXPECT_EQ(Sheet("a{color:red} p, :unknown-pseudo{color:green} b{color:blue}").firsts(), "id:red id:blue");
  // A stray "}" joins the next prelude, which then fails: the rule after it is lost.
  EXPECT_EQ(Sheet("a{color:red} } b{color:blue} c{color:green}").firsts(), "id:red id:green");
  EXPECT_EQ(Sheet("a{color:red} b{color:blue; width: 1px").sheet.rules.back().declarations.size(), 2u);
  EXPECT_EQ(Sheet("a{color:red} b{color: f(x} c{color:green}").firsts(), "id:red");
  EXPECT_EQ(Sheet("a{color:red} b").firsts(), "id:red");
  EXPECT_EQ(Sheet("a{bogus:1} b{} c{color:red}").firsts(), "id:red");  // empty rules are not kept
  EXPECT_EQ(Sheet("<!-- a{color:red} --> b{color:blue}").firsts(), "id:red id:blue");
  EXPECT_EQ(Sheet("a{color:red;} b[x=\"}\"]{color:blue} c:not(d){color:green}").firsts(), "id:red id:blue id:green");
  EXPECT_EQ(Sheet("a /* } */ {color:red} 'x{' {color:blue} d{color:green}").firsts(), "id:red id:green");
}

TEST(CssStyleSheet, AtRulesSkippedWhole) {
  const Sheet s(
      "@charset 'x'; @import url(x.css) screen; @font-face { font-family: x; src: url(y) } "
      "@supports (display:grid) { a { color: red } } @layer base; @layer x { a { color: red } } "
      "@unknown foo { } @page :first { margin: 0 } @media screen; "
      "b { color: blue; @media print { color: red } width: 1px } @namespace x url(y)");
  ASSERT_EQ(s.sheet.rules.size(), 1u);
  EXPECT_EQ(declarations(s.sheet.rules[0].declarations), "color=id:blue; width=dim:1px");
  EXPECT_EQ(s.sheet.rules[0].media, nullptr);
  EXPECT_EQ(s.sheet.rules[0].order, 0u);
  EXPECT_TRUE(s.sheet.keyframes.empty());
}

TEST(CssStyleSheet, OrderAndMediaAcrossTheSheet) {
  const Sheet s(
      "a{color:red} @media (max-width: 500px) { b{color:blue} @MEDIA (prefers-color-scheme: dark) { c{color:black} } "
      "d{color:green} } e{color:white}");
  ASSERT_EQ(s.firsts(), "id:red id:blue id:black id:green id:white");
  const auto& rules = s.sheet.rules;
  for (std::size_t i = 1; i < rules.size(); ++i) EXPECT_LT(rules[i - 1].order, rules[i].order);
  EXPECT_EQ(rules[0].media, nullptr);
  EXPECT_EQ(rules[4].media, nullptr);
  EXPECT_EQ(rules[1].media, rules[3].media);
  ASSERT_NE(rules[2].media, nullptr);
  EXPECT_EQ(s.sheet.media_lists.size(), 2u);

  css::MediaEnvironment env = viewport(400);
  EXPECT_TRUE(rules[1].media->matches(env));
  EXPECT_FALSE(rules[2].media->matches(env));  // the inner list needs dark
  env.dark = true;
  EXPECT_TRUE(rules[2].media->matches(env));
  env.width = 800;
  EXPECT_FALSE(rules[2].media->matches(env));  // and the outer one still counts
  EXPECT_TRUE(rules[2].media->depends_on_size());
}

TEST(CssStyleSheet, UnclosedAndDeepBlocks) {
  const Sheet open("@media screen { a { color: red");
  ASSERT_EQ(open.sheet.rules.size(), 1u);
  EXPECT_NE(open.sheet.rules[0].media, nullptr);

  // 200 nested @media blocks: the ones past the bound are skipped, the sheet goes on.
  std::string nested;
  for (int i = 0; i < 200; ++i) nested += "@media screen { a{color:red} ";
  for (int i = 0; i < 200; ++i) nested += "}";
  const Sheet deep(nested + " b{color:blue}");
  EXPECT_LT(deep.sheet.rules.size(), 200u);
  EXPECT_GT(deep.sheet.rules.size(), 10u);
  EXPECT_EQ(describe(deep.sheet.rules.back().declarations.front().value), "id:blue");
  EXPECT_EQ(deep.sheet.rules.back().media, nullptr);

  std::string value = "a{--x: ";
  for (int i = 0; i < 100; ++i) value += "(";
  for (int i = 0; i < 100; ++i) value += ")";
  EXPECT_EQ(Sheet(value + "; color: red} b{color:blue}").firsts(), "id:red id:blue");
}

TEST(CssStyleSheet, Keyframes) {
  const Sheet s(
      "@keyframes spin { from, 50% { opacity: 0 } TO { opacity: 1 !important; color: red } 120% { opacity: 1 } "
      "10%, { opacity: 1 } @media x { } 0.5% { width: 1px } } "
      "@-webkit-keyframes \"pulse\" { 0%{opacity:0} } @keyframes none { from { opacity: 0 } } "
      "@keyframes a b { from { opacity: 0 } } @media print { @keyframes fade { } }");
  ASSERT_EQ(s.sheet.keyframes.size(), 3u);
  const css::KeyframesRule& spin = s.sheet.keyframes[0];
  EXPECT_EQ(spin.name, "spin");
  EXPECT_EQ(spin.media, nullptr);
  ASSERT_EQ(spin.frames.size(), 3u);
  EXPECT_EQ(spin.frames[0].offsets, (std::vector<float>{0.0f, 0.5f}));
  EXPECT_EQ(spin.frames[1].offsets, (std::vector<float>{1.0f}));
  EXPECT_EQ(declarations(spin.frames[1].declarations), "color=id:red");  // !important is ignored in keyframes
  EXPECT_EQ(spin.frames[2].offsets, (std::vector<float>{0.005f}));
  EXPECT_EQ(s.sheet.keyframes[1].name, "pulse");
  EXPECT_EQ(s.sheet.keyframes[2].name, "fade");
  ASSERT_NE(s.sheet.keyframes[2].media, nullptr);
  EXPECT_FALSE(s.sheet.keyframes[2].media->matches(viewport(800)));
  EXPECT_TRUE(s.sheet.rules.empty());
}

// A declaration whose value its property cannot read is dropped with the
// sheet, where it is, so that the author hears of it once.
TEST(CssStyleSheet, DropsValuesItsPropertyCannotRead) {
  const Sheet s(
      "a { color: red; color: nonsense; width: var(--w); user-select: none }\n"
      "b {\n"
      "  user-select: text;\n"
      "  user-select:\n"
      "      all !important; padding: -1px }\n"
      "@keyframes k { from { opacity: 0; opacity: x } }");
  ASSERT_EQ(s.sheet.rules.size(), 1u) << "a rule left with nothing is not kept";
  EXPECT_EQ(declarations(s.sheet.rules[0].declarations), "color=id:red; width=fn:var(id:--w); user-select=id:none")
      << "a var() is only known per element";
  ASSERT_EQ(s.sheet.keyframes.size(), 1u);
  EXPECT_EQ(declarations(s.sheet.keyframes[0].frames[0].declarations), "opacity=int:0");

  std::string rejected;
  for (const css::RejectedDeclaration& r : s.sheet.rejected) rejected += std::to_string(r.line) + " " + r.text + "\n";
  EXPECT_EQ(rejected,
            "1 color: nonsense\n"
            "3 user-select: text\n"
            "4 user-select: all !important\n"
            "5 padding: -1px\n"
            "6 opacity: x\n");
  EXPECT_EQ(s.sheet.rejected_count, 5u);

  // Style attributes are read as they are applied: nothing is dropped here.
  EXPECT_EQ(declarations("user-select: text"), "user-select=id:text");
}

TEST(CssStyleSheet, DroppedDeclarationsAreRecordedWithinBounds) {
  std::string text = "a {";
  for (std::size_t i = 0; i < css::max_recorded_rejections + 10; ++i) text += " width: -1px;";
  text += " height: " + std::string(300, 'x') + "\u00e9 }";
  const Sheet s(text);
  EXPECT_EQ(s.sheet.rejected.size(), css::max_recorded_rejections);
  EXPECT_EQ(s.sheet.rejected_count, css::max_recorded_rejections + 11);
  EXPECT_TRUE(s.sheet.rules.empty());

  const Sheet long_value("a { height: " + std::string(108, 'x') + "\u00e9\u00e9\u00e9 }");
  ASSERT_EQ(long_value.sheet.rejected.size(), 1u);
  const std::string& shortened = long_value.sheet.rejected[0].text;
  EXPECT_LE(shortened.size(), css::max_rejected_text);
  EXPECT_TRUE(shortened.ends_with("x...")) << "cut before a character, never inside one: " << shortened;
}

TEST(CssStyleSheet, AttributeNamesFromEverySelector) {
  Sheet s("[data-x] a, b[title]{color:red} [data-x]{color:blue} [data-y]{bogus:1} c{color:green}");
  std::vector<std::string_view> names;
  for (Atom a : s.sheet.attribute_names) names.push_back(s.names.name(a));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string_view>{"data-x", "title"}));
}

// ---------------------------------------------------------------------------

TEST(CssProperties, NamesRoundTrip) {
  for (auto i = static_cast<std::size_t>(Property::custom) + 1; i < static_cast<std::size_t>(Property::count); ++i) {
    const auto p = static_cast<Property>(i);
    EXPECT_EQ(css::property_from_name(css::property_name(p)), p) << css::property_name(p);
  }
  EXPECT_EQ(css::property_from_name("background-color"), Property::background_color);
  EXPECT_EQ(css::property_from_name("--anything"), Property::custom);
  EXPECT_EQ(css::property_from_name("Color"), Property::unknown);
  EXPECT_EQ(css::property_from_name(""), Property::unknown);
  EXPECT_EQ(css::property_from_name("colorx"), Property::unknown);
  EXPECT_TRUE(css::property_inherited(Property::color));
  EXPECT_TRUE(css::property_inherited(Property::font_family));
  EXPECT_FALSE(css::property_inherited(Property::width));
  EXPECT_FALSE(css::property_inherited(Property::custom));
  EXPECT_EQ(css::property_name(Property::count), "");
}

// ---------------------------------------------------------------------------

struct MediaCase {
  std::string_view query;
  float width, height;
  bool expected;
};

// clang-format off
constexpr MediaCase media_cases[] = {
    {"(min-width: 600px)", 600, 400, true},   {"(min-width: 600px)", 599.5f, 400, false},
    {"(max-width: 600px)", 600, 400, true},   {"(max-width: 600px)", 600.5f, 400, false},
    {"(width: 600px)", 600, 400, true},       {"(width: 600px)", 601, 400, false},
    {"(min-height: 400px)", 600, 400, true},  {"(min-height: 400px)", 600, 399, false},
    {"(max-height: 25em)", 600, 400, true},   {"(max-height: 25em)", 600, 401, false},
    {"(min-width: 37.5rem)", 600, 400, true}, {"(min-width: 37.5rem)", 599, 400, false},
    {"(height: 0)", 600, 0, true},            {"(min-width: 0)", 0, 0, true},
    {"(width >= 600px)", 600, 0, true},       {"(width > 600px)", 600, 0, false},
    {"(width<600px)", 599, 0, true},          {"(width <= 600px)", 600, 0, true},
    {"(width = 600px)", 600, 0, true},        {"(600px < width)", 601, 0, true},
    {"(600px < width)", 600, 0, false},       {"(600px >= width)", 600, 0, true},
    {"(400px <= width <= 700px)", 400, 0, true}, {"(400px <= width <= 700px)", 700, 0, true},
    {"(400px <= width <= 700px)", 399, 0, false}, {"(400px <= width <= 700px)", 701, 0, false},
    {"(700px >= width > 400px)", 400, 0, false}, {"(700px >= width > 400px)", 401, 0, true},
    {"(height > 30em)", 0, 481, true},        {"(width)", 0, 10, false},
    {"(width)", 1, 10, true},                 {"(max-width: -100px)", 0, 0, false},
    {"(orientation: portrait)", 500, 500, true}, {"(orientation: landscape)", 500, 500, false},
    {"(orientation: landscape)", 501, 500, true}, {"(orientation)", 1, 2, true},
    {"screen", 0, 0, true},                   {"all", 0, 0, true},
    {"print", 0, 0, false},                   {"tv", 0, 0, false},
    {"not print", 0, 0, true},                {"not screen", 0, 0, false},
    {"only screen", 0, 0, true},              {"only print", 0, 0, false},
    {"SCREEN AND (MIN-WIDTH: 600PX)", 600, 0, true}, {"screen and (min-width: 600px)", 599, 0, false},
    {"not screen and (min-width: 600px)", 599, 0, true}, {"not tv and (min-width: 9999px)", 0, 0, true},
    {"screen and (min-width: 1px) and (max-width: 9px)", 5, 0, true},
    {"not (min-width: 600px)", 500, 0, true}, {"not (min-width: 600px)", 600, 0, false},
    {"(max-width: 100px) or (min-width: 600px)", 700, 0, true},
    {"(max-width: 100px) or (min-width: 600px)", 300, 0, false},
    {"((max-width: 100px) or (min-width: 600px)) and (min-height: 10px)", 50, 20, true},
    {"((max-width: 100px) or (min-width: 600px)) and (min-height: 10px)", 50, 5, false},
    {"(not (width: 5px))", 6, 0, true},
    // Malformed or unknown: that query never matches, the rest of the list counts.
    {"(min-aspect-ratio: 1/1), screen", 0, 0, true}, {"(unknown: 1), print", 0, 0, false},
    {"(min-width: 600), (min-width: 10%), (min-width), (min-width: 1vw)", 9999, 0, false},
    {"screen and", 0, 0, false},              {"screen, ", 0, 0, true},
    {",", 0, 0, false},                       {"only (width)", 1, 0, false},
    {"not not screen", 0, 0, false},          {"not", 0, 0, false},
    {"(width < = 600px)", 1, 0, false},       {"(100px < width > 10px)", 200, 0, false},
    {"(min-width >= 1px)", 100, 0, false},    {"(hover: maybe)", 0, 0, false},
    {"not (unknown)", 0, 0, false},           {"(width: 1px) and (width: 1px) or (width: 1px)", 1, 0, false},
    {"screen and (hover) or (width)", 1, 0, false}, {"only", 0, 0, false},
    {"not only screen", 0, 0, false},         {"screen print", 0, 0, false},
    {"and", 0, 0, false},                     {"(width: 1px) ) , screen", 1, 0, true},
    {"", 0, 0, true},                         {"   ", 0, 0, true},
};
// clang-format on

TEST(CssMedia, SizeFeaturesTypesAndSyntax) {
  for (const MediaCase& c : media_cases) {
    const css::MediaQueryList list = css::parse_media_query_list(c.query);
    EXPECT_EQ(list.matches(viewport(c.width, c.height)), c.expected)
        << "\"" << c.query << "\" at " << c.width << "x" << c.height;
  }
}

TEST(CssMedia, PreferenceFeatures) {
  css::MediaEnvironment light_mouse = viewport(800);
  css::MediaEnvironment dark_touch = viewport(800);
  dark_touch.dark = true;
  dark_touch.hover = false;
  dark_touch.fine_pointer = false;
  dark_touch.reduced_motion = true;
  struct Case {
    std::string_view query;
    bool light_mouse, dark_touch;
  };
  constexpr Case cases[] = {
      {"(prefers-color-scheme: dark)", false, true},
      {"(prefers-color-scheme: light)", true, false},
      {"(prefers-color-scheme)", true, true},
      {"(hover: hover)", true, false},
      {"(hover: none)", false, true},
      {"(hover)", true, false},
      {"(any-hover: hover)", true, false},
      {"(any-hover: none)", false, true},
      {"(pointer: fine)", true, false},
      {"(pointer: coarse)", false, true},
      {"(pointer: none)", false, false},
      {"(pointer)", true, true},
      {"(any-pointer: coarse)", false, true},
      {"(prefers-reduced-motion: reduce)", false, true},
      {"(prefers-reduced-motion: no-preference)", true, false},
      {"(prefers-reduced-motion)", false, true},
      {"(PREFERS-COLOR-SCHEME: DARK)", false, true},
      {"(prefers-color-scheme: dim)", false, false},
      {"not (hover: hover)", false, true},
      {"(prefers-color-scheme: dark) and (pointer: coarse)", false, true},
  };
  for (const Case& c : cases) {
    const css::MediaQueryList list = css::parse_media_query_list(c.query);
    EXPECT_EQ(list.matches(light_mouse), c.light_mouse) << c.query;
    EXPECT_EQ(list.matches(dark_touch), c.dark_touch) << c.query;
  }
}

TEST(CssMedia, DependsOnSize) {
  EXPECT_TRUE(css::parse_media_query_list("(min-width: 1px)").depends_on_size());
  EXPECT_TRUE(css::parse_media_query_list("(hover), (orientation: portrait)").depends_on_size());
  EXPECT_TRUE(css::parse_media_query_list("screen and (400px < height)").depends_on_size());
  EXPECT_TRUE(css::parse_media_query_list("not ((hover) and (width))").depends_on_size());
  EXPECT_FALSE(css::parse_media_query_list("screen, (hover: none), (prefers-color-scheme: dark)").depends_on_size());
  EXPECT_FALSE(css::parse_media_query_list("").depends_on_size());
  EXPECT_FALSE(css::parse_media_query_list("(min-width: 1px) foo").depends_on_size());  // never matches
}

TEST(CssMedia, ListBounds) {
  std::string many = "print";
  for (std::size_t i = 0; i < css::max_media_queries; ++i) many += ", screen";
  EXPECT_FALSE(css::parse_media_query_list(many).matches(viewport(1)));
  std::string deep;
  for (int i = 0; i < 500; ++i) deep += "(";
  EXPECT_FALSE(css::parse_media_query_list(deep + "width").matches(viewport(1)));
  const auto chain = [](int length) {
    std::string out = "(width)";
    for (int i = 1; i < length; ++i) out += " and (width)";
    return css::parse_media_query_list(out);
  };
  EXPECT_TRUE(chain(200).matches(viewport(1)));
  EXPECT_FALSE(chain(300).matches(viewport(1)));
}

}  // namespace
