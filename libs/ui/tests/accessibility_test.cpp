// What a screen reader reads of the program's own document, panel by panel,
// before any page has opened (the pages' lists are tested with the pages).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "i18n/templates.h"
#include "src/accessibility.h"
#include "tests/pipeline_fixture.h"
#include "ui/tabs.h"

namespace {

struct ComposedPage : ostrel::PipelineTest {
  ostrel::a11y::Tree a11y{*doc, tree};
  void SetUp() override {
    load(vx::i18n::expand_template(vx::i18n::compose_document(), "en"), vx::i18n::compose_style());
  }
  // The tree below an element, rectangles left out: where things lie is the layout's business.
  std::string heard(const char* id) {
    run(464, 417);
    std::string out;
    std::istringstream lines(a11y.dump(by_id(id)));
    for (std::string line; std::getline(lines, line);) out += line.substr(0, line.rfind(" (")) + "\n";
    return out;
  }
};

// The startup and bundle lists before their pages load them: the same columns and the waiting line.
const std::string empty_list =
    "  table \"\"\n"
    "    row \"Program Source\"\n"
    "      column header \"Program\"\n"
    "      column header \"Source\"\n"
    "      column header \"\"\n"
    "  text \"Loading…\" [readonly]\n";

TEST_F(ComposedPage, TheTabsAndEachPanel) {
  EXPECT_EQ(heard("tab-home") + heard("tab-startup"),
            "tab \"Home\" [selected focusable selectable]\n"
            "tab \"Startup\" [focusable selectable]\n");
  EXPECT_EQ(heard("panel-home"),
            "tab panel \"Home\"\n"
            "  text \"Vorlix\" [readonly]\n"
            "  button \"Clean\" [focusable]\n");
  EXPECT_EQ(heard("btn-about"), "image \"Vorlix\"\n") << "the logo, by its title";

  vx::ui::show_tab(doc, "startup");
  EXPECT_EQ(heard("tab-home") + heard("tab-startup"),
            "tab \"Home\" [focusable selectable]\n"
            "tab \"Startup\" [selected focusable selectable]\n");
  EXPECT_EQ(heard("panel-home").substr(0, 29), "tab panel \"Home\" [invisible]\n") << "a hidden panel is told so";
  EXPECT_EQ(heard("panel-startup"), "tab panel \"Startup\"\n" + empty_list +
                                        "  check box \"All Programs\" [focusable]\n"
                                        "  button \"Disable\" [unavailable]\n");

  vx::ui::show_tab(doc, "bundle");
  EXPECT_EQ(heard("panel-bundle"), "tab panel \"Bundle\"\n" + empty_list + "  button \"Uninstall\" [unavailable]\n");
}

}  // namespace
