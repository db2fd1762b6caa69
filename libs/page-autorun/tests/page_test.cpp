// The startup page on the program's own document, with fake loads and
// pop-ups standing in for the worker threads and the native boxes.
#include "page-autorun/page.h"

#include <gtest/gtest.h>

#include <cstring>

#include "i18n/templates.h"
#include "pages/fake_dialogs.h"
#include "src/controls.h"
#include "tests/pipeline_fixture.h"
#include "ui/list_table.h"

namespace {

using namespace vx::autorun;
using vx::Hive;

struct FakeServices final : Services {
  struct Load {
    std::uint64_t generation;
    bool fresh;
    std::function<void(Batch)> accept;
  };
  std::vector<Load> loads;
  std::vector<std::pair<AutorunItem, bool>> switched;
  std::optional<vx::Error> switch_error;
  std::vector<std::pair<AutorunItem, std::function<void(vx::Result<>)>>> deletes;
  std::vector<std::pair<std::string, std::string>> written;
  std::vector<std::string> urls;

  void start_load(std::uint64_t generation, bool fresh, std::function<void(Batch)> accept) override {
    loads.push_back({generation, fresh, std::move(accept)});
  }
  vx::Result<> set_enabled(const AutorunItem& item, bool on) override {
    switched.emplace_back(item, on);
    if (switch_error) return std::unexpected(*switch_error);
    return {};
  }
  void start_delete(AutorunItem item, std::function<void(vx::Result<>)> done) override {
    deletes.emplace_back(std::move(item), std::move(done));
  }
  vx::Result<> write_file(const std::string& path, std::string_view bytes) override {
    written.emplace_back(path, std::string(bytes));
    return {};
  }
  void open_url(const std::string& url) override { urls.push_back(url); }
};

constexpr char startup[] = "C:\\Users\\x\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

// Tool (on), OneDrive (Run, on), Hidden (Run, off), Vorlix (Run, protected by
// name), a task, and services on demand, automatic and disabled.
std::vector<ListedItem> machine() {
  std::vector<ListedItem> items;
  items.push_back({folder_item(startup, "Tool.lnk", Hive::hkcu, true), "Tool Suite"});
  items.push_back({run_item(Hive::hkcu, run_keys[2].path, "OneDrive", "C:\\od.exe", true), ""});
  items.push_back({run_item(Hive::hkcu, run_keys[2].path, "Hidden", "C:\\h.exe", false), ""});
  items.push_back({run_item(Hive::hklm, run_keys[0].path, "VorlixTray", "C:\\v.exe", true), ""});
  items.push_back({task_item("Nightly", true), ""});
  items.push_back({service_item("demand", "On Demand", "d.exe", 3), ""});
  items.push_back({service_item("auto", "Automatic", "a.exe", 2), ""});
  items.push_back({service_item("off", "Disabled", "o.exe", 4), ""});
  return items;
}

vx::process::KeepLists lists() {
  vx::process::KeepLists keep;
  keep[vx::process::ListKind::name].add("vorlix");
  keep[vx::process::ListKind::path].add("unwanted.lnk*");
  return keep;
}

struct StartupPage : ostrel::InputTest {
  FakeServices* services = nullptr;
  vx::testing::FakeDialogs* dialogs = nullptr;
  std::unique_ptr<AutorunPage> page;

  void SetUp() override {
    load(vx::i18n::expand_template(vx::i18n::compose_document(), "en"), vx::i18n::compose_style());
    for (const char* id : {"tab-home", "panel-home"}) ostrel::remove_class(by_id(id), "active", 6);
    for (const char* id : {"tab-startup", "panel-startup"}) ostrel::add_class(by_id(id), "active", 6);
    auto fake_services = std::make_unique<FakeServices>();
    auto fake_dialogs = std::make_unique<vx::testing::FakeDialogs>();
    services = fake_services.get();
    dialogs = fake_dialogs.get();
    page =
        std::make_unique<AutorunPage>(ostrel::ui::DocumentRef(doc), std::move(fake_services), std::move(fake_dialogs));
    vx::ui::AppContext context;
    context.language = "en";
    context.update.origin = "https://vorlix.test";
    page->open(context, lists());
  }
  // Answers the latest load with the items.
  void answer(std::vector<ListedItem> items, std::size_t which = SIZE_MAX) {
    ASSERT_FALSE(services->loads.empty());
    FakeServices::Load& load = services->loads[which == SIZE_MAX ? services->loads.size() - 1 : which];
    load.accept({load.generation, load.fresh, std::move(items), {}});
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Row& row : page->rows()) out.push_back(row.display_name);
    return out;
  }
  ostrel::Node* row(std::size_t i) { return vx::ui::row_element(doc, "list-autorun-head", i); }
  bool has_class(ostrel::Node* node, const char* name) { return ostrel::ui::Element(node).has_class(name); }
  void click(ostrel::Node* node) { ostrel::activate(node, {}); }
  void key(std::uint32_t code) { ostrel::fire(ostrel::event_keydown, by_id("list-autorun"), {.key = code}); }
  void right_click(ostrel::Node* node) { ostrel::fire(ostrel::event_contextmenu, node, {}); }
  std::string button() { return ostrel::ui::Element(by_id("btn-autorun-toggle")).text(); }
  bool button_enabled() {
    return ostrel::get_attribute(by_id("btn-autorun-toggle"), "disabled", 8, nullptr) == nullptr;
  }
};

TEST_F(StartupPage, ListsWhatIsOnUnlessProtectedAndShowsEverythingWithAll) {
  ASSERT_EQ(services->loads.size(), 1u);
  EXPECT_TRUE(services->loads[0].fresh);
  EXPECT_FALSE(button_enabled());
  answer(machine());
  EXPECT_EQ(names(), (std::vector<std::string>{"Tool Suite", "OneDrive", "Nightly", "Automatic"}))
      << "off items and the protected Run value are left out";
  EXPECT_TRUE(has_class(by_id("autorun-empty"), "hidden"));
  EXPECT_EQ(ostrel::ui::Element(row(0)).text(), "Tool SuiteStartup");
  ostrel::Node* icon = ostrel::query_selector(row(0), "img", 3);
  EXPECT_STREQ(ostrel::get_attribute(icon, "src", 3, nullptr), (std::string("exe1:") + startup + "\\Tool.lnk").c_str());
  EXPECT_STREQ(ostrel::get_attribute(ostrel::query_selector(row(3), ".ar-from img", 12), "src", 3, nullptr),
               "src-service.svg");

  ostrel::Node* all = by_id("f-autorun-all");
  click(all);
  ASSERT_EQ(services->loads.size(), 2u);
  EXPECT_TRUE(services->loads[1].fresh);
  answer(machine());
  EXPECT_EQ(names(), (std::vector<std::string>{"Tool Suite", "OneDrive", "Hidden", "Nightly", "On Demand", "Automatic",
                                               "Disabled"}));
  EXPECT_TRUE(has_class(row(2), "off"));
  click(ostrel::query_selector(row(2), ".ar-name", 8));
  EXPECT_EQ(page->selection(), 2u);
  EXPECT_TRUE(has_class(row(2), "active"));
  EXPECT_TRUE(button_enabled());
  EXPECT_EQ(button(), "Enable");

  // The server's name list grows: the shown rows are filtered again.
  vx::process::KeepLists more = lists();
  more[vx::process::ListKind::name].add("onedrive");
  page->lists_changed(more);
  EXPECT_EQ(names(),
            (std::vector<std::string>{"Tool Suite", "Hidden", "Nightly", "On Demand", "Automatic", "Disabled"}));
  EXPECT_EQ(page->selection(), 1u) << "Hidden stays selected";
}

TEST_F(StartupPage, SwitchingKeepsTheRowUntilAFreshReload) {
  answer(machine());
  click(ostrel::query_selector(row(1), ".ar-name", 8));  // OneDrive
  EXPECT_EQ(button(), "Disable");
  click(by_id("btn-autorun-toggle"));
  ASSERT_EQ(services->switched.size(), 1u);
  EXPECT_EQ(services->switched[0].first.name, "OneDrive");
  EXPECT_FALSE(services->switched[0].second);
  ASSERT_EQ(services->loads.size(), 2u);
  EXPECT_FALSE(services->loads[1].fresh);
  std::vector<ListedItem> after = machine();
  after[1].item.enabled = false;
  answer(after);
  EXPECT_EQ(names()[1], "OneDrive") << "in its place";
  EXPECT_TRUE(has_class(row(1), "off"));
  EXPECT_EQ(button(), "Enable");
  key(0x74);  // F5
  answer(after);
  EXPECT_EQ(names(), (std::vector<std::string>{"Tool Suite", "Nightly", "Automatic"}));
  EXPECT_EQ(page->selection(), std::nullopt);
  EXPECT_FALSE(button_enabled());
  EXPECT_EQ(button(), "Disable") << "as in the template";

  // A failed switch says why and still reloads.
  click(ostrel::query_selector(row(0), ".ar-name", 8));
  services->switch_error = vx::Error{"system", "StartupApproved HKCU\\x: 오류 5"};
  click(by_id("btn-autorun-toggle"));
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].first, "An error has occurred.\nStartupApproved HKCU\\x: 오류 5");
  EXPECT_EQ(services->loads.size(), 4u);
}

TEST_F(StartupPage, OnlyTheLatestReloadIsShownAndKeysMoveTheSelection) {
  answer(machine());
  key(0x74);
  key(0x74);
  ASSERT_EQ(services->loads.size(), 3u);
  std::vector<ListedItem> first = machine();
  first.resize(1);
  answer(first, 1);  // the first F5's batch arrives late
  EXPECT_EQ(names().size(), 4u) << "dropped";
  answer(machine(), 2);
  EXPECT_EQ(names().size(), 4u);
  key(0x28);
  EXPECT_EQ(page->selection(), 0u) << "the first key selects the first row";
  for (int i = 0; i < 6; ++i) key(0x28);
  EXPECT_EQ(page->selection(), 3u) << "clamped at the end";
  key(0x26);
  EXPECT_EQ(page->selection(), 2u);
}

TEST_F(StartupPage, TheMenuOffersDeleteForSwitchedOffItemsAndDisabledServicesOnly) {
  click(by_id("f-autorun-all"));
  answer(machine());
  const auto menu_for = [&](ostrel::Node* where) {
    right_click(where);
    return dialogs->menus.back();
  };
  EXPECT_EQ(menu_for(ostrel::query_selector(row(0), ".ar-name", 8)), "Save List") << "Tool is on";
  EXPECT_EQ(page->selection(), 0u) << "the row under the pointer is selected first";
  EXPECT_EQ(menu_for(ostrel::query_selector(row(2), ".ar-name", 8)), "Delete|-|Save List") << "Hidden is off";
  EXPECT_EQ(menu_for(ostrel::query_selector(row(4), ".ar-name", 8)), "Save List") << "a service on demand";
  EXPECT_EQ(menu_for(ostrel::query_selector(row(5), ".ar-name", 8)), "Save List") << "an automatic service";
  EXPECT_EQ(menu_for(ostrel::query_selector(row(6), ".ar-name", 8)), "Delete|-|Save List") << "a disabled service";
  EXPECT_EQ(menu_for(by_id("list-autorun")), "Save List") << "empty space below the rows";
}

TEST_F(StartupPage, DeletingAsksFirstAndSaysWhatHappened) {
  click(by_id("f-autorun-all"));
  answer(machine());
  dialogs->menu_choice = command_delete;
  dialogs->answer = false;
  right_click(ostrel::query_selector(row(6), ".ar-name", 8));
  ASSERT_EQ(dialogs->questions.size(), 1u);
  EXPECT_EQ(dialogs->questions[0],
            "Do you want to delete the selected item?\n\nDisabled\n\nDeleted items cannot be restored.");
  EXPECT_TRUE(services->deletes.empty()) << "No deletes nothing";
  dialogs->answer = true;
  right_click(ostrel::query_selector(row(6), ".ar-name", 8));
  ASSERT_EQ(services->deletes.size(), 1u);
  services->deletes[0].second({});
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].second, vx::ui::BoxIcon::information) << "a deleted service is announced";
  EXPECT_FALSE(services->loads.back().fresh);

  right_click(ostrel::query_selector(row(2), ".ar-name", 8));  // Hidden, a Run value
  ASSERT_EQ(services->deletes.size(), 2u);
  testing::internal::CaptureStderr();
  services->deletes[1].second(vx::fail("system", "HKCU\\Run\\Hidden: 오류 5"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[autorun] 삭제 실패 HKCU\\Run\\Hidden: 오류 5\n");
  EXPECT_EQ(dialogs->messages.back().first, "Failed to delete.\nHKCU\\Run\\Hidden: 오류 5");
  EXPECT_EQ(dialogs->messages.back().second, vx::ui::BoxIcon::warning);
}

TEST_F(StartupPage, SavingTheListWritesEverythingTheLastLoadFound) {
  answer(machine());
  dialogs->menu_choice = command_save_list;
  right_click(by_id("list-autorun"));
  EXPECT_TRUE(services->written.empty()) << "a cancelled dialog writes nothing";
  ASSERT_EQ(dialogs->save_requests.size(), 1u);
  EXPECT_EQ(dialogs->save_requests[0].title, "Save");
  EXPECT_EQ(dialogs->save_requests[0].types,
            (std::vector<std::pair<std::string, std::string>>{{"Text (*.txt)", "*.txt"}, {"All (*.*)", "*.*"}}));
  EXPECT_EQ(dialogs->save_requests[0].default_extension, "txt");
  dialogs->save_path = "C:\\out\\list.txt";
  right_click(by_id("list-autorun"));
  ASSERT_EQ(services->written.size(), 1u);
  const std::string& text = services->written[0].second;
  EXPECT_TRUE(
      text.starts_with("\xEF\xBB\xBF"
                       "FILE|Tool|"))
      << text;
  EXPECT_NE(text.find(std::string("FILE|Tool|") + startup + "\\Tool.lnk\r\n"), std::string::npos);
  EXPECT_NE(text.find("HKCU|Hidden|HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Hidden\r\n"),
            std::string::npos)
      << "hidden items are saved too";
  EXPECT_NE(text.find("SERV|Disabled|off\r\n"), std::string::npos);
}

TEST_F(StartupPage, ADoubleClickOpensTheItemsPageOnTheSite) {
  std::vector<ListedItem> items = machine();
  items.push_back({run_item(Hive::hkcu, run_keys[2].path, "Mein Späť", "C:\\m.exe", true), ""});
  answer(items);
  ostrel::fire(ostrel::event_dblclick, ostrel::query_selector(row(1), ".ar-name", 8), {});
  ostrel::fire(ostrel::event_dblclick, ostrel::query_selector(row(4), ".ar-name", 8), {});
  EXPECT_EQ(services->urls, (std::vector<std::string>{"https://vorlix.test/entry/hkcu/onedrive",
                                                      "https://vorlix.test/entry/hkcu/mein%20sp%C3%A4%C5%A5"}));
}

}  // namespace
