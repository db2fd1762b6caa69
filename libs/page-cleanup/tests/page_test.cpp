// The cleanup page on the program's own document, with fake jobs and pop-ups
// standing in for the worker threads and the native boxes.
#include "page-cleanup/page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "i18n/templates.h"
#include "pages/fake_dialogs.h"
#include "src/accessibility.h"
#include "src/controls.h"
#include "src/keyboard.h"
#include "src/pointer.h"
#include "tests/pipeline_fixture.h"
#include "ui/list_table.h"

namespace {

using namespace vx::page_cleanup;
using vx::winapp2::AnalysisEvents;
using vx::winapp2::CleaningEvents;
using vx::winapp2::JobItem;
using vx::winapp2::ResolvedEntry;
using vx::winapp2::RuleEntry;

struct FakeServices final : Services {
  std::vector<std::function<void(vx::winapp2::LoadResult)>> loads;
  std::vector<std::pair<std::vector<JobItem>, AnalysisEvents>> analyses;
  std::vector<std::pair<std::vector<JobItem>, CleaningEvents>> cleanings;
  std::vector<std::string> saved;
  std::optional<vx::Error> save_error;

  void start_load(std::function<void(vx::winapp2::LoadResult)> loaded) override { loads.push_back(std::move(loaded)); }
  void start_analysis(std::vector<JobItem> items, AnalysisEvents receivers) override {
    analyses.emplace_back(std::move(items), std::move(receivers));
  }
  void start_cleaning(std::vector<JobItem> items, CleaningEvents receivers) override {
    cleanings.emplace_back(std::move(items), std::move(receivers));
  }
  vx::Result<> save_selection(std::string_view text) override {
    if (save_error) return std::unexpected(*save_error);
    saved.emplace_back(text);
    return {};
  }
};

// The warning box is a Yes/No question with No as the default and a warning icon.
struct FakeDialogs final : vx::ui::Dialogs {
  vx::testing::FakeDialogs shared;
  std::optional<unsigned>& menu_choice = shared.menu_choice;
  std::vector<std::string>& menus = shared.menus;
  bool& answer = shared.answer;
  std::vector<std::string>& questions = shared.questions;
  std::optional<unsigned> popup_menu(std::span<const vx::ui::MenuLine> lines) override {
    return shared.popup_menu(lines);
  }
  bool ask_yes_no(std::string_view text, vx::ui::BoxIcon icon, bool no_is_default) override {
    EXPECT_EQ(icon, vx::ui::BoxIcon::warning);
    EXPECT_TRUE(no_is_default);
    return shared.ask_yes_no(text, icon, no_is_default);
  }
  void tell(std::string_view text, vx::ui::BoxIcon icon) override { shared.tell(text, icon); }
  std::optional<std::string> choose_save_file(const vx::ui::SaveFileRequest& request) override {
    return shared.choose_save_file(request);
  }
};

RuleEntry entry(std::string name, std::optional<std::uint32_t> lang_sec_ref, std::optional<std::string> section = {},
                bool default_on = true) {
  RuleEntry e;
  e.name = std::move(name);
  e.lang_sec_ref = lang_sec_ref;
  e.section = std::move(section);
  e.default_on = default_on;
  return e;
}

// Windows: Thumbnails, Explorer (and its usage history); Internet: alpha Chat
// (with a warning), Beta Mail, Zeta Browser; a Section of its own; Other.
std::vector<RuleEntry> sample_entries() {
  std::vector<RuleEntry> entries;
  entries.push_back(entry("Zeta Browser", 3022));
  entries.push_back(entry("Leftover", std::nullopt));
  entries.push_back(entry("Beta Mail", 3022, {}, false));
  entries.push_back(entry("Zed Thing", std::nullopt, "Zed Tools"));
  entries.push_back(entry("Thumbnails", 3025));
  entries.push_back(entry("alpha Chat", 3022));
  entries.back().warning = "Signs you out.";
  entries.push_back(entry("Explorer", 3025));
  entries.push_back(entry("Explorer", 3025, {}, false));
  entries.back().usage_history = true;
  return entries;
}

ResolvedEntry found(std::uint64_t bytes, std::size_t files = 1, std::size_t registry = 0) {
  ResolvedEntry result;
  for (std::size_t i = 0; i < files; ++i) result.files.push_back({"C:\\x\\f" + std::to_string(i), bytes / files, {}});
  for (std::size_t i = 0; i < registry; ++i) result.registry.push_back({});
  result.total_size = bytes;
  return result;
}

// The markup below a node, compactly: tag.classes[attributes]{checked}(children) and "text".
std::string markup(ostrel::Node* node) {
  if (ostrel::is_text(node)) return '"' + std::string(ostrel::text_content(node, nullptr)) + '"';
  std::string out = ostrel::tag_name(node);
  if (const char* cls = ostrel::get_attribute(node, "class", 5, nullptr)) out += "." + std::string(cls);
  for (const char* name : {"data-index", "type", "src", "title"})
    if (const char* value = ostrel::get_attribute(node, name, std::strlen(name), nullptr))
      out += "[" + std::string(name) + "=" + value + "]";
  if (ostrel::is_checked(node)) out += "{x}";
  std::string children;
  for (ostrel::Node* c = ostrel::first_child(node); c; c = ostrel::next_sibling(c))
    children += (children.empty() ? "" : " ") + markup(c);
  return ostrel::first_child(node) || out.starts_with("td") || out.starts_with("span") ? out + "(" + children + ")"
                                                                                       : out;
}

struct CleanupPageTest : ostrel::InputTest {
  FakeServices* services = nullptr;
  FakeDialogs* dialogs = nullptr;
  std::unique_ptr<CleanupPage> page;
  vx::ui::AppContext context;

  void SetUp() override {
    const std::string html = vx::i18n::expand_template(vx::i18n::compose_document(), "en");
    load(html, vx::i18n::compose_style());
    for (const char* id : {"tab-home", "panel-home"}) ostrel::remove_class(by_id(id), "active", 6);
    for (const char* id : {"tab-cleanup", "panel-cleanup"}) ostrel::add_class(by_id(id), "active", 6);
    auto fake_services = std::make_unique<FakeServices>();
    auto fake_dialogs = std::make_unique<FakeDialogs>();
    services = fake_services.get();
    dialogs = fake_dialogs.get();
    page =
        std::make_unique<CleanupPage>(ostrel::ui::DocumentRef(doc), std::move(fake_services), std::move(fake_dialogs));
    context.language = "en";
    page->open(context, {});
  }
  void finish_load(std::vector<RuleEntry> entries, std::vector<vx::winapp2::SelectionLine> selection = {}) {
    ASSERT_FALSE(services->loads.empty());
    auto loaded = std::move(services->loads.back());
    services->loads.pop_back();
    loaded({1, std::move(entries), std::move(selection), {}});
  }
  ostrel::Node* row(std::size_t index) { return vx::ui::row_element(doc, "list-cleanup-head", index); }
  std::string row_markup(std::size_t index) { return row(index) ? markup(row(index)) : "(none)"; }
  std::vector<std::string> all_rows() {
    std::vector<std::string> rows;
    for (std::size_t i = 0; row(i); ++i) rows.push_back(markup(row(i)));
    return rows;
  }
  ostrel::Node* checkbox(std::size_t index) { return ostrel::query_selector(row(index), "input", 5); }
  // As a click on the box does: the box flips, then "change" comes.
  void tick(std::size_t index) { ostrel::activate(checkbox(index), {}); }
  void click(ostrel::Node* node) { ostrel::activate(node, {}); }
  void key(std::uint32_t code) { ostrel::fire(ostrel::event_keydown, by_id("list-cleanup"), {.key = code}); }
  std::string status() { return ostrel::ui::Element(by_id("cu-status")).text(); }
  bool enabled(const char* id) { return ostrel::get_attribute(by_id(id), "disabled", 8, nullptr) == nullptr; }
  std::string item_names() {
    std::string names;
    for (const Item& item : page->model().items()) names += (names.empty() ? "" : ", ") + item.key;
    return names;
  }
  std::size_t item_index(std::string_view key) {
    for (std::size_t i = 0; i < page->model().items().size(); ++i)
      if (page->model().items()[i].key == key) return i;
    ADD_FAILURE() << "no item " << key;
    return 0;
  }
  // Expands a category by clicking its row (not its box).
  void expand(std::size_t category_row) { click(ostrel::query_selector(row(category_row), ".cu-count", 9)); }
};

TEST_F(CleanupPageTest, TheFirstLoadShowsSortedCollapsedCategoriesCheckedAsSaved) {
  EXPECT_EQ(services->loads.size(), 1u) << "opening the page starts the load";
  EXPECT_FALSE(enabled("btn-cu-scan"));
  EXPECT_FALSE(enabled("btn-cu-clean"));
  EXPECT_EQ(status(), "");
  EXPECT_FALSE(ostrel::ui::Element(by_id("cleanup-empty")).has_class("hidden"));

  finish_load(sample_entries(), {{"ZETA browser", false}, {"explorer|RECORD", true}, {"Zeta Browser", true}});
  EXPECT_EQ(item_names(),
            "Explorer, Explorer|record, Thumbnails, alpha Chat, Beta Mail, Zeta Browser, Zed Thing, Leftover")
      << "category order, then the lower-cased name, the usage history after its entry";
  // The first line of a key counts, ignoring case; the others keep their default.
  std::vector<bool> checked;
  for (const Item& item : page->model().items()) checked.push_back(item.checked);
  EXPECT_EQ(checked, (std::vector<bool>{true, true, true, true, false, false, true, true}));

  EXPECT_EQ(all_rows(), (std::vector<std::string>{
                            "tr.cu-cat[data-index=0](td.cu-name(img.ic cu-fold[src=cu-fold-closed.svg] "
                            "input[type=checkbox]{x} \"Windows\" span.cu-count(\"(3)\")) td.cu-size() td.col-fill())",
                            "tr.cu-cat part[data-index=1](td.cu-name(img.ic cu-fold[src=cu-fold-closed.svg] "
                            "input[type=checkbox]{x} \"Internet\" span.cu-count(\"(3)\")) td.cu-size() td.col-fill())",
                            "tr.cu-cat[data-index=2](td.cu-name(img.ic cu-fold[src=cu-fold-closed.svg] "
                            "input[type=checkbox]{x} \"Zed Tools\" span.cu-count(\"(1)\")) td.cu-size() td.col-fill())",
                            "tr.cu-cat[data-index=3](td.cu-name(img.ic cu-fold[src=cu-fold-closed.svg] "
                            "input[type=checkbox]{x} \"Other\" span.cu-count(\"(1)\")) td.cu-size() td.col-fill())"}));
  EXPECT_TRUE(ostrel::ui::Element(by_id("cleanup-empty")).has_class("hidden"));
  EXPECT_EQ(status(), "8 installed apps");
  EXPECT_TRUE(enabled("btn-cu-scan"));
  EXPECT_FALSE(enabled("btn-cu-clean")) << "nothing analysed yet";

  // Expanding shows the entries: plain ones, and one with its warning sign.
  expand(1);
  EXPECT_EQ(row_markup(2),
            "tr[data-index=2](td.cu-name cu-item(div.cu-line(input[type=checkbox]{x} span.cu-label(\"alpha Chat\") "
            "img.ic cu-warn[src=cu-warn.svg][title=Signs you out.])) td.cu-size() td.col-fill())");
  EXPECT_EQ(row_markup(4),
            "tr[data-index=4](td.cu-name cu-item(input[type=checkbox] \"Zeta Browser\") td.cu-size() td.col-fill())");
  EXPECT_EQ(row_markup(1).substr(0, 86),
            "tr.cu-cat part active[data-index=1](td.cu-name(img.ic cu-fold[src=cu-fold-open.svg] in")
      << "the clicked row is the active one";
  expand(0);
  EXPECT_EQ(row_markup(2),
            "tr[data-index=2](td.cu-name cu-item(input[type=checkbox]{x} \"Explorer · Usage history\") "
            "td.cu-size() td.col-fill())");
}

TEST_F(CleanupPageTest, OpeningAndClosingCategoriesRendersWhatAFullRenderWould) {
  finish_load(sample_entries());
  expand(3);
  expand(1);
  expand(0);
  ASSERT_EQ(page->model().rows().size(), 11u);
  std::vector<std::string> incremental = all_rows();
  // A fresh load of the same list with the same categories open renders from scratch.
  page->reload();
  finish_load(sample_entries());
  for (std::size_t category_row : {0u, 4u, 9u}) expand(category_row);
  ASSERT_EQ(page->model().rows().size(), 11u);
  std::vector<std::string> fresh = all_rows();
  ASSERT_EQ(fresh.size(), incremental.size());
  for (std::size_t i = 0; i < fresh.size(); ++i) {
    // The clicked rows differ, so the active row does too.
    for (std::string* text : std::initializer_list<std::string*>{&fresh[i], &incremental[i]})
      if (const std::size_t at = text->find(" active"); at != std::string::npos) text->erase(at, 7);
    EXPECT_EQ(fresh[i], incremental[i]) << "row " << i;
  }

  expand(4);  // closes Internet again
  expand(0);  // and Windows
  EXPECT_EQ(all_rows().size(), 5u);
  EXPECT_EQ(row_markup(3).substr(0, 28), "tr.cu-cat[data-index=3](td.c") << "rows below are renumbered";
  EXPECT_EQ(row_markup(4),
            "tr[data-index=4](td.cu-name cu-item(input[type=checkbox]{x} \"Leftover\") td.cu-size() "
            "td.col-fill())");
}

TEST_F(CleanupPageTest, TheSelectionFileHoldsWhatDiffersFromTheDefaults) {
  std::vector<RuleEntry> entries = sample_entries();
  finish_load(entries, {{"Gone From This Machine", true}});
  expand(1);  // alpha Chat, Beta Mail, Zeta Browser at rows 2-4
  tick(4);    // Zeta Browser, on by default, off
  EXPECT_EQ(services->saved.back(), "-Zeta Browser\r\n") << "a line for an entry not found here is gone";
  tick(4);
  EXPECT_EQ(services->saved.back(), "") << "all at their defaults: an empty file";
  expand(0);  // Windows: Explorer, Explorer|record, Thumbnails at rows 1-3
  tick(2);
  tick(3);
  EXPECT_EQ(services->saved.back(), "+Explorer|record\r\n-Thumbnails\r\n") << "in display order";
  EXPECT_EQ(services->saved.size(), 4u) << "saved at every change";
}

TEST_F(CleanupPageTest, ACategoryBoxChecksAllUnlessAllAreChecked) {
  finish_load(sample_entries());
  expand(1);  // alpha Chat and Zeta Browser on, Beta Mail off
  EXPECT_TRUE(ostrel::ui::Element(row(1)).has_class("part"));
  EXPECT_TRUE(ostrel::is_checked(checkbox(1)));
  tick(1);
  EXPECT_TRUE(ostrel::is_checked(checkbox(3))) << "two of three checked: the third is checked too";
  EXPECT_FALSE(ostrel::ui::Element(row(1)).has_class("part"));
  EXPECT_TRUE(ostrel::is_checked(checkbox(1)));
  tick(1);
  for (std::size_t r : {1u, 2u, 3u, 4u}) EXPECT_FALSE(ostrel::is_checked(checkbox(r))) << "row " << r;
  EXPECT_TRUE(enabled("btn-cu-scan")) << "Windows, Zed Tools and Other still checked";
  click(ostrel::query_selector(row(2), ".cu-label", 9));  // a click on the name toggles the entry
  EXPECT_TRUE(ostrel::is_checked(checkbox(2)));
  EXPECT_TRUE(ostrel::ui::Element(row(1)).has_class("part"));
}

TEST_F(CleanupPageTest, AnalysisFillsSizesAndCleanWaitsForAFreshOne) {
  finish_load(sample_entries());
  expand(1);  // Internet: alpha Chat (2), Beta Mail (3, off), Zeta Browser (4)
  click(by_id("btn-cu-scan"));
  ASSERT_EQ(services->analyses.size(), 1u);
  EXPECT_TRUE(page->busy());
  EXPECT_FALSE(enabled("btn-cu-scan"));
  auto& [items, events] = services->analyses[0];
  ASSERT_EQ(items.size(), 6u) << "the checked entries, in display order";
  EXPECT_EQ(items[2].entry.name, "alpha Chat");
  EXPECT_EQ(items[2].row, item_index("alpha Chat"));
  tick(3);  // checking Beta Mail during the job changes only what the next job takes
  for (std::size_t i = 0; i < items.size(); ++i) {
    events.entry({i + 1, items.size()}, items[i].row, found(i == 2 ? 1536 : 0, i == 2 ? 2 : 0));
    if (i == 2) {
      EXPECT_EQ(status(), "Analyzing… 3/6");
    }
  }
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(2), ".cu-size", 8)).text(), "1.5 KB");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(4), ".cu-size", 8)).text(), "0 B");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(1), ".cu-size", 8)).text(), "1.5 KB")
      << "a category sums its checked, analysed entries";
  events.done({2, 0, 1536});
  EXPECT_FALSE(page->busy());
  EXPECT_EQ(status(), "2 files · 0 registry items · 1.5 KB");
  EXPECT_TRUE(enabled("btn-cu-scan"));
  EXPECT_FALSE(enabled("btn-cu-clean")) << "Beta Mail was checked after the analysis started";
  tick(3);
  EXPECT_TRUE(enabled("btn-cu-clean"));
  tick(3);
  EXPECT_FALSE(enabled("btn-cu-clean")) << "a new check after an analysis";

  // An analysis that finds nothing anywhere leaves Clean off.
  click(by_id("btn-cu-scan"));
  ASSERT_EQ(services->analyses.size(), 2u);
  auto& [again, again_events] = services->analyses[1];
  for (std::size_t i = 0; i < again.size(); ++i) again_events.entry({i + 1, again.size()}, again[i].row, found(0, 0));
  again_events.done({});
  EXPECT_FALSE(enabled("btn-cu-clean"));
}

TEST_F(CleanupPageTest, CleaningAsksAboutWarningsAndEmptiesTheSizes) {
  finish_load(sample_entries());
  dialogs->menu_choice = menu_none;
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  expand(1);
  tick(2);  // alpha Chat, which has a warning
  tick(4);  // Zeta Browser
  click(by_id("btn-cu-scan"));
  auto& [items, events] = services->analyses.at(0);
  ASSERT_EQ(items.size(), 2u);
  events.entry({1, 2}, items[0].row, found(1024, 1, 1));
  events.entry({2, 2}, items[1].row, found(512, 1));
  events.done({2, 1, 1536});
  ASSERT_TRUE(enabled("btn-cu-clean"));

  dialogs->answer = false;
  click(by_id("btn-cu-clean"));
  ASSERT_EQ(dialogs->questions.size(), 1u);
  EXPECT_EQ(dialogs->questions[0],
            "Some selected items need attention. Clean anyway?\n\n• alpha Chat\n   Signs you out.");
  EXPECT_TRUE(services->cleanings.empty()) << "declining starts nothing";
  EXPECT_TRUE(enabled("btn-cu-clean")) << "and keeps the results";
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(2), ".cu-size", 8)).text(), "1.0 KB");

  dialogs->answer = true;
  click(by_id("btn-cu-clean"));
  ASSERT_EQ(services->cleanings.size(), 1u);
  auto& [cleaning, cleaned] = services->cleanings[0];
  ASSERT_EQ(cleaning.size(), 2u);
  ASSERT_TRUE(cleaning[0].analysis) << "the cleaning deletes what the analysis found";
  EXPECT_EQ(cleaning[0].analysis->total_size, 1024u);
  EXPECT_FALSE(enabled("btn-cu-clean"));
  cleaned.entry({1, 2}, cleaning[0].row);
  EXPECT_EQ(status(), "Cleaning… 1/2");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(2), ".cu-size", 8)).text(), "");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(1), ".cu-size", 8)).text(), "512 B");
  cleaned.entry({2, 2}, cleaning[1].row);
  cleaned.done({2, 1, 1536});
  EXPECT_EQ(status(), "1.5 KB cleaned (2 files, 1 registry items)");
  EXPECT_EQ(ostrel::ui::Element(ostrel::query_selector(row(1), ".cu-size", 8)).text(), "");
  EXPECT_TRUE(enabled("btn-cu-scan"));
  EXPECT_FALSE(enabled("btn-cu-clean")) << "until the next analysis";
}

TEST_F(CleanupPageTest, NothingCheckedReloadsWhileBusyAndFailedSaves) {
  finish_load(sample_entries());
  dialogs->menu_choice = menu_none;
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  EXPECT_EQ(dialogs->menus.back(), "Select all|Select none|-|Restore defaults");
  EXPECT_FALSE(enabled("btn-cu-scan"));
  page->reload();
  ASSERT_EQ(services->loads.size(), 1u) << "idle: the list loads again";
  page->reload();
  EXPECT_EQ(services->loads.size(), 1u) << "a reload request while busy is ignored";
  finish_load(sample_entries(), {{"Explorer", false}});
  EXPECT_FALSE(page->model().items()[0].checked) << "the saved file counts, not the old screen";

  // A failed save says so once and changes nothing else.
  services->save_error = vx::Error{"system", "Access is denied (0x80070005)"};
  testing::internal::CaptureStderr();
  dialogs->menu_choice = menu_all;
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[cleanup] 체크 저장 실패 Access is denied (0x80070005)\n");
  EXPECT_TRUE(page->model().items()[0].checked);
  EXPECT_TRUE(ostrel::is_checked(checkbox(0)));

  dialogs->menu_choice = menu_defaults;
  services->save_error.reset();
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  EXPECT_EQ(services->saved.back(), "");
  EXPECT_FALSE(page->model().items()[1].checked) << "Explorer's usage history is off by default";

  dialogs->menu_choice.reset();  // dismissed
  const std::size_t saves = services->saved.size();
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  EXPECT_EQ(services->saved.size(), saves);

  // Analyze with nothing checked says so and starts nothing.
  dialogs->menu_choice = menu_none;
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  ostrel::set_disabled(by_id("btn-cu-scan"), false);  // as if it were still on
  click(by_id("btn-cu-scan"));
  EXPECT_EQ(status(), "Nothing selected");
  EXPECT_TRUE(services->analyses.empty());
}

TEST_F(CleanupPageTest, TheListWorksFromTheKeyboard) {
  finish_load(sample_entries());
  key(ostrel::key_arrow_down);
  EXPECT_EQ(page->active_row(), 0u) << "the first key selects the first row";
  EXPECT_TRUE(ostrel::ui::Element(row(0)).has_class("active"));
  key(ostrel::key_right);
  EXPECT_EQ(page->model().rows().size(), 7u) << "Right opens the category";
  key(ostrel::key_right);
  EXPECT_EQ(page->model().rows().size(), 7u) << "and leaves it open";
  key(ostrel::key_arrow_down);
  key(ostrel::key_arrow_down);
  EXPECT_EQ(page->active_row(), 2u);
  key(ostrel::key_space);
  EXPECT_TRUE(page->model().items()[1].checked) << "Space checks Explorer's usage history";
  EXPECT_TRUE(ostrel::is_checked(checkbox(2)));
  key(ostrel::key_left);
  EXPECT_EQ(page->active_row(), 0u) << "Left on an entry goes up to its category";
  key(ostrel::key_left);
  EXPECT_EQ(page->model().rows().size(), 4u) << "and closes it";
  key(ostrel::key_enter);
  EXPECT_EQ(page->model().rows().size(), 7u) << "Enter toggles a category";
  key(ostrel::key_arrow_up);
  EXPECT_EQ(page->active_row(), 0u) << "clamped at the top";
  for (int i = 0; i < 10; ++i) key(ostrel::key_arrow_down);
  EXPECT_EQ(page->active_row(), 6u) << "and at the bottom";
  EXPECT_TRUE(ostrel::ui::Element(row(6)).has_class("active"));
  EXPECT_FALSE(ostrel::ui::Element(row(0)).has_class("active"));
}

// What a screen reader hears of the list: the rows, each box named by the
// words beside it, and a category with only some entries checked as mixed.
TEST_F(CleanupPageTest, ScreenReadersHearRowsBoxesAndHalfCheckedCategories) {
  finish_load(sample_entries());
  expand(1);  // Internet: alpha Chat (with a warning) and Zeta Browser on, Beta Mail off
  key(ostrel::key_arrow_down);
  run(464, 417);
  const ostrel::a11y::Tree a11y{*doc, tree};
  ostrel::Node* table = ostrel::parent(ostrel::parent(by_id("list-cleanup-head")));
  // Rectangles apart: where rows lie is the layout's business.
  std::string heard;
  std::istringstream lines(a11y.dump(table));
  for (std::string line; std::getline(lines, line);) heard += line.substr(0, line.rfind(" (")) + "\n";
  EXPECT_EQ(heard,
            "table \"\"\n"
            "  row \"Item Size\"\n"
            "    column header \"Item\"\n"
            "    column header \"Size\"\n"
            "    column header \"\"\n"
            "  row \"Windows (3)\" [collapsed]\n"
            "    cell \"Windows (3)\"\n"
            "      check box \"Windows (3)\" [mixed focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"Internet (3)\" [expanded]\n"
            "    cell \"Internet (3)\"\n"
            "      check box \"Internet (3)\" [mixed focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"alpha Chat\" [selected selectable]\n"
            "    cell \"alpha Chat\"\n"
            "      check box \"alpha Chat\" [checked focusable]\n"
            "      image \"Signs you out.\"\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"Beta Mail\"\n"
            "    cell \"Beta Mail\"\n"
            "      check box \"Beta Mail\" [focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"Zeta Browser\"\n"
            "    cell \"Zeta Browser\"\n"
            "      check box \"Zeta Browser\" [checked focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"Zed Tools (1)\" [collapsed]\n"
            "    cell \"Zed Tools (1)\"\n"
            "      check box \"Zed Tools (1)\" [checked focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n"
            "  row \"Other (1)\" [collapsed]\n"
            "    cell \"Other (1)\"\n"
            "      check box \"Other (1)\" [checked focusable]\n"
            "    cell \"\"\n"
            "    cell \"\"\n");

  // Checking the rest of a category: no longer mixed, and the change is told.
  tick(1);
  run(464, 417);
  EXPECT_EQ(a11y.states(checkbox(1)), ostrel::a11y::state_checked | ostrel::a11y::state_focusable);
  tick(1);
  run(464, 417);
  EXPECT_EQ(a11y.states(checkbox(1)), ostrel::a11y::state_focusable);
  tick(3);  // Beta Mail alone: the category is part checked again
  run(464, 417);
  EXPECT_EQ(a11y.states(checkbox(1)), ostrel::a11y::state_mixed | ostrel::a11y::state_focusable);
  expand(1);  // by a click on the row, which selects it too
  run(464, 417);
  EXPECT_EQ(a11y.states(row(1)),
            ostrel::a11y::state_collapsed | ostrel::a11y::state_selected | ostrel::a11y::state_selectable);
}

// Real clicks through hit testing, on the laid-out page.
TEST_F(CleanupPageTest, PointerClicksReachBoxesRowsAndTheColumnFit) {
  finish_load(sample_entries());
  run(464, 417);
  page->fit_columns();
  run(464, 417);
  const float measure = ostrel::element_rect(by_id("cleanup-measure")).width;
  const float size_column =
      ostrel::element_rect(ostrel::next_sibling(ostrel::first_child(by_id("list-cleanup-head")))).width;
  EXPECT_EQ(ostrel::get_attribute(ostrel::first_child(by_id("list-cleanup-head")), "style", 5, nullptr),
            "width:" + std::to_string(vx::ui::first_column_width(measure, size_column)) + "px");

  ostrel::Keyboard keyboard{*doc, tree};
  ostrel::Pointer pointer{*doc, tree, &keyboard};
  const auto press = [&](ostrel::Node* node) {
    const ostrel::Rect r = ostrel::element_rect(node);
    pointer.down(0, r.x + r.width / 2, r.y + r.height / 2, 0, false);
    pointer.up(0, r.x + r.width / 2, r.y + r.height / 2, 0);
    run(464, 417);
  };
  press(ostrel::query_selector(row(1), ".cu-count", 9));
  ASSERT_EQ(page->model().rows().size(), 7u) << "a click on a category opens it";
  press(checkbox(2));  // alpha Chat's box
  EXPECT_FALSE(page->model().items()[item_index("alpha Chat")].checked);
  EXPECT_FALSE(ostrel::is_checked(checkbox(2)));
  press(ostrel::query_selector(row(2), ".cu-warn", 8));  // the warning sign is part of the row
  EXPECT_TRUE(page->model().items()[item_index("alpha Chat")].checked);
  press(checkbox(1));  // the category's box: all three
  EXPECT_TRUE(page->model().items()[item_index("Beta Mail")].checked);
  EXPECT_EQ(services->saved.back(), "+Beta Mail\r\n");
  key(ostrel::key_arrow_down);
  EXPECT_EQ(page->active_row(), 2u) << "the clicked row is where the keys go on";
}

}  // namespace
namespace {

// A long list: rows are made only near the list's view, and everything a user
// does reaches the rows wherever they are.
TEST_F(CleanupPageTest, ALongListMakesOnlyTheRowsNearItsView) {
  std::vector<RuleEntry> entries;
  for (int i = 0; i < 900; ++i) entries.push_back(entry("App " + std::to_string(1000 + i), 3022));
  finish_load(std::move(entries));
  run(464, 417);
  page->shown();
  expand(0);
  run(464, 417);
  ASSERT_EQ(page->model().rows().size(), 901u);
  std::size_t made = 0;
  while (row(made)) ++made;
  EXPECT_GT(made, 10u);
  EXPECT_LT(made, 120u) << "a screenful and some spare, not 901 rows";

  // The keys walk past the rows made: each row selected is made and shown
  // (a frame between keys, as the window draws).
  for (int i = 0; i < 149; ++i) {
    key(ostrel::key_arrow_down);
    run(464, 417);
  }
  EXPECT_EQ(page->active_row(), 149u);
  ASSERT_NE(row(149), nullptr);
  EXPECT_TRUE(ostrel::ui::Element(row(149)).has_class("active"));
  run(464, 417);
  const ostrel::Rect list = ostrel::element_rect(by_id("list-cleanup")), shown = ostrel::element_rect(row(149));
  EXPECT_NEAR(shown.y + shown.height, list.y + list.height, 0.5);
  EXPECT_EQ(row(0), nullptr) << "the top rows are dropped";

  // A tick far down and a change to every row reach the rows made later too.
  tick(149);
  EXPECT_FALSE(page->model().items()[148].checked);
  ostrel::scroll_to(by_id("list-cleanup"), 0, 0);  // the wheel or the bar: the list hears of it
  run(464, 417);
  ASSERT_NE(row(0), nullptr);
  EXPECT_TRUE(ostrel::ui::Element(row(0)).has_class("part"));
  dialogs->menu_choice = menu_none;
  ostrel::fire(ostrel::event_contextmenu, by_id("list-cleanup"), {});
  vx::ui::scroll_row_into_view(doc, "list-cleanup", "list-cleanup-head", 800);
  run(464, 417);
  ASSERT_NE(row(800), nullptr);
  EXPECT_FALSE(ostrel::is_checked(checkbox(800)));

  // Closing the category from far down leaves the categories alone.
  for (int i = 0; i < 2; ++i) key(ostrel::key_left);
  run(464, 417);
  EXPECT_EQ(page->model().rows().size(), 1u);
  EXPECT_EQ(page->active_row(), 0u);
  EXPECT_NE(row(0), nullptr);
  EXPECT_EQ(row(1), nullptr);
  for (ostrel::Node* n = row(0); n; n = ostrel::next_sibling(n))
    EXPECT_FALSE(vx::ui::is_gap_row(n)) << "no gap is left below the last row";
}

}  // namespace
