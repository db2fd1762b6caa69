#include "i18n/templates.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/lang.h"
#include "ostrel/image/probe.h"
#include "ostrel/image/svg.h"
#include "paint/display_list.h"
#include "tests/pipeline_fixture.h"
#include "ui/tabs.h"

namespace {

using vx::i18n::builtin_file;
using vx::i18n::compose_document;
using vx::i18n::expand_template;

TEST(ExpandTemplate, KeysAreTrimmedAndUnknownOnesStayAsWritten) {
  EXPECT_EQ(expand_template("<b>{{nav.home}}</b>", "ko"), "<b>처음화면</b>");
  EXPECT_EQ(expand_template("{{ nav.home }}|{{\tnav.home\n}}|{{\u3000nav.home\u00a0}}", "en"), "Home|Home|Home");
  EXPECT_EQ(expand_template("{{nav.home}}", "de"), "Home");
  for (const char* kept : {"{{no.such.key}}", "{{ no.such.key }}", "{{}}", "{{  }}", "{{NAV.HOME}}", "{{nav. home}}"}) {
    EXPECT_EQ(expand_template(kept, "en"), kept);
  }
  EXPECT_EQ(expand_template("a{{x}}b{{nav.bundle}}c", "fr"), "a{{x}}bGroupéc");
  EXPECT_EQ(expand_template("", "en"), "");
}

TEST(ExpandTemplate, UnclosedAndStrayBracesAreCopied) {
  const std::pair<const char*, const char*> cases[] = {
      {"x {{nav.home", "x {{nav.home"},
      {"{{nav.home}} and {{nav.home", "Home and {{nav.home"},
      {"}}{{nav.home}}}}", "}}Home}}"},
      {"{{", "{{"},
      // The first "{{" opens the placeholder, so the inner one is part of its key.
      {"{{{{nav.home}}", "{{{{nav.home}}"},
      {"{{{nav.home}}}", "{{{nav.home}}}"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(expand_template(text, "en"), expected) << text;
}

TEST(ExpandTemplate, TextsAreEscapedAndNeverRescanned) {
  // A made-up table for what the real one cannot show: markup characters.
  const std::map<std::string, std::string, std::less<>> texts = {
      {"markup", R"(<a href="x">Tom & Jerry's</a>)"}, {"nested", "{{markup}}"}, {"empty", ""}};
  const auto expand = [&texts](std::string_view text) {
    return expand_template(text, [&texts](std::string_view key) -> std::optional<std::string_view> {
      const auto it = texts.find(key);
      return it == texts.end() ? std::nullopt : std::optional<std::string_view>(it->second);
    });
  };
  EXPECT_EQ(expand("{{markup}}"), "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry's&lt;/a&gt;");
  EXPECT_EQ(expand("[{{nested}}]"), "[{{markup}}]");
  EXPECT_EQ(expand("[{{ empty }}]"), "[]");
  // Apostrophes stay: the templates quote attributes with double quotes.
  EXPECT_EQ(expand_template("{{common.error}}", "fr"), "Une erreur s'est produite.");
}

TEST(Compose, FragmentsAreSplicedOnceAndSheetsJoinedInCascadeOrder) {
  const std::string document = compose_document();
  for (const char* marker : {"@AUTORUN@", "@CLEANUP@", "@INSTALL@"}) {
    EXPECT_EQ(document.find(marker), std::string::npos) << marker;
  }
  for (const char* fragment : {"autorun.html", "cleanup.html", "install.html"}) {
    const std::string_view text = builtin_file(fragment);
    const std::size_t at = document.find(text);
    EXPECT_NE(at, std::string::npos) << fragment;
    EXPECT_EQ(document.find(text, at + 1), std::string::npos) << fragment << " spliced twice";
  }
  for (const std::string_view language : vx::i18n::languages) {
    EXPECT_EQ(expand_template(document, language).find("{{"), std::string::npos) << language;
  }

  std::string expected;
  for (const char* sheet : {"common.css", "autorun.css", "cleanup.css", "install.css", "app.css"}) {
    ASSERT_FALSE(builtin_file(sheet).empty()) << sheet;
    expected += (expected.empty() ? "" : "\n") + std::string(builtin_file(sheet));
  }
  EXPECT_EQ(vx::i18n::compose_style(), expected);
}

using Rgb = std::array<int, 3>;
template <class Color>
Rgb rgb(const Color& c) {
  return {c.r, c.g, c.b};
}
constexpr Rgb hex(unsigned v) { return {int(v >> 16), int((v >> 8) & 0xFF), int(v & 0xFF)}; }

TEST(BuiltinImages, DecodeWithTheirNaturalSizes) {
  const auto logo = ostrel::image::parse_svg(builtin_file("logo.svg"));
  ASSERT_TRUE(logo);
  EXPECT_FLOAT_EQ(logo->width, 287.985f);
  EXPECT_FLOAT_EQ(logo->height, 92.996f);
  ASSERT_GT(logo->shapes.size(), 1u);
  EXPECT_EQ(rgb(logo->shapes.front().fill.color), hex(0x32A3F2));
  for (std::size_t i = 1; i < logo->shapes.size(); ++i) {
    EXPECT_FALSE(logo->shapes[i].stroke.none) << "letter " << i;
    EXPECT_EQ(rgb(logo->shapes[i].stroke.color), hex(0xFFFFFF)) << "letter " << i;
  }
  for (const std::string_view name : vx::i18n::builtin_image_names) {
    if (!name.ends_with(".png")) continue;
    const auto info = ostrel::image::probe_raster(builtin_file(name));
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->width * 1000 + info->height, 32032u) << name;
    EXPECT_LT(builtin_file(name).size(), 1024u) << name;
  }
  EXPECT_TRUE(builtin_file("vx-4.png").empty());
}

// The composed document and style in the toolkit, laid out at the main
// window's client size of 464 x 417 CSS px.
struct MainDocument : ostrel::PipelineTest {
  void SetUp() override {
    const std::string html = expand_template(compose_document(), "en"), css = vx::i18n::compose_style();
    ASSERT_EQ(ostrel::load_html(view, html.data(), html.size()), 0) << ostrel::last_error();
    ASSERT_EQ(ostrel::load_css(view, css.data(), css.size()), 0) << ostrel::last_error();
    for (const std::string_view name : vx::i18n::builtin_image_names) {
      const std::string_view bytes = builtin_file(name);
      ASSERT_EQ(ostrel::image_set(doc, name.data(), name.size(), bytes.data(), bytes.size()), 0) << name;
    }
  }
  void lay_out(bool dark = false) {
    engine.update({464, 417, dark, true, true, false});
    tree.layout({464, 417, 17});
  }
  ostrel::Node* need(const char* id) {
    ostrel::Node* node = by_id(id);
    EXPECT_NE(node, nullptr) << "#" << id;
    return node;
  }
  std::string attribute(const char* id, const char* name) {
    const char* value = ostrel::get_attribute(need(id), name, std::strlen(name), nullptr);
    return value ? value : "(none)";
  }
  static std::string text(ostrel::Node* node) {
    std::size_t length = 0;
    const char* t = ostrel::text_content(node, &length);
    return {t, length};
  }
  ostrel::Rect rect(const char* id) { return ostrel::element_rect(need(id)); }
  static const ostrel::style::ComputedStyle& style(ostrel::Node* node) {
    return *ostrel::style::StyleEngine::style_of(node);
  }
  // Appends a body row of two cells to a page's list table.
  ostrel::Node* add_row(const char* head_id, std::string_view row_class) {
    ostrel::Node* row = ostrel::create_element(doc, "tr", 2);
    ostrel::set_attribute(row, "class", 5, row_class.data(), row_class.size());
    for (int i = 0; i < 2; ++i) {
      ostrel::Node* cell = ostrel::create_element(doc, "td", 2);
      ostrel::set_text_content(cell, "cell", 4);
      ostrel::append_child(row, cell);
    }
    ostrel::append_child(ostrel::parent(need(head_id)), row);
    return row;
  }
};

// Element children only: the templates' line breaks are text nodes.
std::vector<ostrel::Node*> elements_in(ostrel::Node* node) {
  std::vector<ostrel::Node*> out;
  for (ostrel::Node* child = ostrel::first_child(node); child; child = ostrel::next_sibling(child)) {
    if (!ostrel::is_text(child)) out.push_back(child);
  }
  return out;
}

bool has_ancestor(ostrel::Node* node, ostrel::Node* ancestor) {
  for (ostrel::Node* p = ostrel::parent(node); p; p = ostrel::parent(p)) {
    if (p == ancestor) return true;
  }
  return false;
}

TEST_F(MainDocument, EveryStyleDeclarationIsOneTheToolkitKnows) {
  lay_out();
  const auto& sheet = engine.author_sheet();
  EXPECT_GT(sheet.rules.size(), 50u);
  for (const auto& rule : sheet.rules) {
    for (const auto& declaration : rule.declarations) {
      EXPECT_NE(declaration.property, ostrel::css::Property::unknown) << "in rule " << rule.order;
    }
  }
  EXPECT_NE(engine.keyframes("cl-rot"), nullptr);
}

TEST_F(MainDocument, ElementsCarryTheirIdsClassesAndTexts) {
  EXPECT_EQ(text(need("tab-home")) + "," + attribute("tab-home", "class"), "Home,tab active");
  EXPECT_EQ(text(need("tab-bundle")), "Bundle");
  EXPECT_EQ(attribute("btn-about", "src") + attribute("btn-about", "alt") + attribute("btn-about", "title"),
            "logo.svgVorlix");
  EXPECT_EQ(attribute("panel-home", "class"), "panel active");
  EXPECT_EQ(text(need("cl-desc")), "");
  EXPECT_EQ(text(need("btn-clean")), "Clean");
  EXPECT_EQ(attribute("cl-spin", "class"), "cl-spin hidden");
  EXPECT_EQ(attribute("f-autorun-all", "type"), "checkbox");

  struct Page {
    const char *panel, *word, *titles;
    std::vector<const char*> buttons;
  };
  const Page pages[] = {
      {"panel-startup", "autorun", "Program|Source|", {"btn-autorun-toggle"}},
      {"panel-cleanup", "cleanup", "Item|Size|", {"btn-cu-scan", "btn-cu-clean"}},
      // The bundle page shows the publisher under the startup page's "Source" title.
      {"panel-bundle", "install", "Program|Source|", {"btn-install-uninstall"}},
  };
  for (const Page& page : pages) {
    SCOPED_TRACE(page.word);
    const std::string word = page.word, head = "list-" + word + "-head";
    ostrel::Node* body = need(("list-" + word).c_str());
    EXPECT_TRUE(has_ancestor(body, need(page.panel)));
    EXPECT_TRUE(has_ancestor(need((word + "-measure").c_str()), body));
    EXPECT_EQ(text(need((word + "-empty").c_str())), "Loading\u2026");
    EXPECT_EQ(attribute(head.c_str(), "data-resize"), "col");
    std::string titles;
    for (ostrel::Node* cell : elements_in(need(head.c_str()))) titles += text(cell) + "|";
    EXPECT_EQ(titles, std::string(page.titles) + "|");
    for (const char* button : page.buttons) {
      EXPECT_TRUE(has_ancestor(need(button), need(page.panel))) << button;
      EXPECT_EQ(attribute(button, "disabled"), "") << button;
    }
  }
}

TEST_F(MainDocument, HomePageLaysOutAtTheWindowSize) {
  lay_out();
  EXPECT_EQ(rect("panel-home").y, 51);  // the 1px accent line and the 50px header
  EXPECT_EQ(rect("panel-home").height, 366);
  EXPECT_EQ(rect("panel-startup").height, 0);  // inactive panels are not shown
  const ostrel::Rect home = rect("tab-home"), startup = rect("tab-startup");
  EXPECT_EQ(home.x, 10);
  EXPECT_GE(home.width, 70);
  EXPECT_EQ(home.height, 30);
  EXPECT_EQ(startup.x, home.x + home.width + 1);
  EXPECT_EQ(rect("btn-about"), (ostrel::Rect{464 - 5 - 112, 1, 112, 50}));

  ostrel::Node* title = elements_in(elements_in(need("panel-home")).at(0)).at(0);
  EXPECT_EQ(ostrel::element_rect(title).y, 51 + 40);
  EXPECT_EQ(ostrel::element_rect(title).height, 81);
  EXPECT_EQ(style(title).font_size, 52);
  EXPECT_EQ(style(title).font_family.front(), "Tahoma");
  const ostrel::Rect desc = rect("cl-desc");
  EXPECT_EQ(desc.y, 51 + 40 + 81 + 51);
  EXPECT_EQ(desc.height, 33);
  EXPECT_EQ(rect("btn-clean"), (ostrel::Rect{(464 - 162) / 2, desc.y + 33 + 59, 162, 68}));
  EXPECT_EQ(rect("cl-spin").height, 0);

  // The close run swaps the button for the spinner with the "hidden" class alone.
  ostrel::add_class(need("btn-clean"), "hidden", 6);
  ostrel::remove_class(need("cl-spin"), "hidden", 6);
  lay_out();
  EXPECT_EQ(rect("btn-clean").height, 0);
  EXPECT_EQ(rect("cl-spin"), (ostrel::Rect{(464 - 40) / 2, desc.y + 33 + 73, 40, 40}));
  EXPECT_FALSE(style(need("cl-spin")).animations.empty());
}

TEST_F(MainDocument, ListPagesFillThePanelAboveTheirButtonBars) {
  for (const char* panel : {"panel-startup", "panel-cleanup", "panel-bundle"}) {
    vx::ui::show_tab(doc, std::string_view(panel).substr(6));
    lay_out();
    EXPECT_EQ(rect("panel-home").height, 0) << panel;
    EXPECT_EQ(rect(panel).height, 366) << panel;
  }
  vx::ui::show_tab(doc, "cleanup");
  ostrel::Node* row = add_row("list-cleanup-head", "");
  lay_out();
  const ostrel::Rect head = rect("list-cleanup-head"), scan = rect("btn-cu-scan"), clean = rect("btn-cu-clean");
  EXPECT_EQ(head.height, 20);
  EXPECT_EQ(ostrel::element_rect(row), (ostrel::Rect{head.x, head.y + 20, head.width, 24}));
  EXPECT_EQ(scan.height, 30);
  EXPECT_EQ(clean.y + clean.height, 417 - 10);
  EXPECT_EQ(clean.x + clean.width, 464 - 10);
  EXPECT_GT(rect("list-cleanup").height, 250);
  EXPECT_LE(rect("list-cleanup").y + rect("list-cleanup").height, scan.y);
  EXPECT_EQ(rgb(style(need("btn-cu-scan")).color), hex(0xb2b2b2));  // disabled grey, not faded
  EXPECT_EQ(style(need("btn-cu-scan")).opacity, 1);
}

TEST_F(MainDocument, ThemeFollowsTheSystemUnlessTheRootNamesOne) {
  vx::ui::show_tab(doc, "startup");
  ostrel::Node* cell = elements_in(add_row("list-autorun-head", "active")).at(0);
  ostrel::Node* root = ostrel::document_root(doc);
  ostrel::Node* body = ostrel::document_body(doc);
  const auto check = [&](bool system_dark, const char* theme, bool dark) {
    SCOPED_TRACE(std::string(system_dark ? "dark" : "light") + " system, data-theme " + (theme ? theme : "absent"));
    if (theme)
      ostrel::set_attribute(root, "data-theme", 10, theme, std::strlen(theme));
    else
      ostrel::remove_attribute(root, "data-theme", 10);
    lay_out(system_dark);
    EXPECT_EQ(rgb(style(body).background_color), hex(dark ? 0x1e1e1e : 0xffffff));
    EXPECT_EQ(rgb(style(body).color), hex(dark ? 0xe0e0e0 : 0x000000));
    EXPECT_EQ(rgb(style(cell).background_color), hex(dark ? 0x26395a : 0xcce8ff));
    EXPECT_EQ(rgb(style(cell).border_color[0]), hex(dark ? 0x26395a : 0x99d1ff));
    EXPECT_EQ(rgb(style(need("tab-startup")).background_color), hex(0x3d84dd));  // same in both themes
  };
  check(false, nullptr, false);
  check(true, nullptr, true);
  check(true, "light", false);
  check(false, "dark", true);
  check(true, "dark", true);

  // The sheet states the dark values twice (system dark, forced dark): every
  // colour variable must come out the same both ways, and differ from light.
  const auto variables = [&](bool system_dark, const char* theme) {
    if (theme)
      ostrel::set_attribute(root, "data-theme", 10, theme, std::strlen(theme));
    else
      ostrel::remove_attribute(root, "data-theme", 10);
    lay_out(system_dark);
    std::map<std::string, std::string> values;
    for (const auto& [name, tokens] : *style(root).custom) {
      for (const auto& token : tokens) values[name] += token.text + std::to_string(token.number) + " ";
    }
    return values;
  };
  const auto light = variables(false, nullptr), dark = variables(true, nullptr);
  EXPECT_EQ(light.size(), 22u);
  EXPECT_EQ(variables(false, "dark"), dark);
  EXPECT_EQ(variables(true, "light"), light);
  EXPECT_NE(light.at("--bg"), dark.at("--bg"));
  EXPECT_EQ(light.at("--accent"), dark.at("--accent"));
}

TEST_F(MainDocument, FrameLineAndFonts) {
  ostrel::Node* app = elements_in(ostrel::document_body(doc)).at(0);
  ostrel::Node* root = ostrel::document_root(doc);
  lay_out();
  EXPECT_EQ(style(app).used_border(0), 1);
  EXPECT_EQ(rgb(style(app).border_color[0]), hex(0x3d84dd));
  ostrel::add_class(root, "win-inactive", 12);
  lay_out();
  EXPECT_EQ(rgb(style(app).border_color[0]), hex(0x6d6d6d));
  ostrel::remove_class(root, "win-inactive", 12);
  lay_out(true);
  EXPECT_EQ(rgb(style(app).border_color[0]), hex(0x4a4a4a));

  const auto& body = style(ostrel::document_body(doc));
  EXPECT_EQ(body.font_size, 12);
  EXPECT_EQ(body.font_family.front(), "Segoe UI");
  // Controls take the page's font, not the toolkit's 13.33px control font.
  EXPECT_EQ(style(need("tab-home")).font_size, 12);
  EXPECT_EQ(style(need("btn-cu-scan")).font_family.front(), "Segoe UI");
  EXPECT_EQ(style(need("btn-clean")).font_size, 16);
}

// The program's sheets use only values the toolkit reads: a value it drops
// (reported as "[css] ...") would silently lose its rule's intent.
TEST_F(MainDocument, SheetsDropNoDeclaration) {
  lay_out();
  const ostrel::css::StyleSheet& sheet = engine.author_sheet();
  for (const ostrel::css::RejectedDeclaration& r : sheet.rejected) ADD_FAILURE() << "line " << r.line << ": " << r.text;
  EXPECT_EQ(sheet.rejected_count, 0u);
  EXPECT_FALSE(sheet.rules.empty());
}

// Golden dumps of the home page and each panel: the layout at 96 DPI and at
// 144 DPI (a 696 x 625 client area shown at 1.5, so 464 x 416.67 CSS px), and
// the display list in the light and the dark theme. OSTREL_REBASELINE=1
// rewrites the expected files.
TEST_F(MainDocument, GoldenPages) {
  const std::filesystem::path dir = VX_I18N_GOLDEN_DIR;
  const bool rebaseline = std::getenv("OSTREL_REBASELINE") != nullptr;
  for (const std::string_view page : vx::ui::tab_names) {
    SCOPED_TRACE(std::string(page));
    vx::ui::show_tab(doc, page);
    engine.update({696 / 1.5f, 625 / 1.5f, false, true, true, false});
    tree.layout({696 / 1.5f, 625 / 1.5f, 17});
    std::string got = "-- 144 dpi\n" + tree.dump();
    lay_out();
    got = "-- 96 dpi\n" + tree.dump() + got;
    got += "-- light\n" + ostrel::paint::build_display_list(tree, 464, 417).dump();
    lay_out(true);
    got += "-- dark\n" + ostrel::paint::build_display_list(tree, 464, 417).dump();

    const std::filesystem::path path = dir / (std::string(page) + ".txt");
    if (rebaseline) {
      std::ofstream(path, std::ios::binary) << got;
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, expected) << "the " << page << " page changed; look at the difference, then rebaseline";
  }
}

}  // namespace
