// The bundle page on the program's own document, with a fake inventory and a
// fake shell standing in for the worker thread and the uninstallers.
#include "page-install/page.h"

#include <gtest/gtest.h>

#include "i18n/templates.h"
#include "pages/fake_dialogs.h"
#include "src/controls.h"
#include "tests/pipeline_fixture.h"
#include "ui/list_table.h"

namespace {

using namespace vx::install;

struct FakeServices final : Services {
  struct Load {
    std::uint64_t generation;
    std::vector<std::string> bundle_keys;
    std::function<void(Batch)> accept;
  };
  std::vector<Load> loads;
  std::vector<std::string> started;  // "desktop|program|args" or "direct|program|args"
  std::optional<vx::Error> desktop_error, direct_error;

  void start_load(std::uint64_t generation, std::vector<std::string> bundle_keys,
                  std::function<void(Batch)> accept) override {
    loads.push_back({generation, std::move(bundle_keys), std::move(accept)});
  }
  vx::Result<> start_as_desktop_user(const std::string& program, const std::string& arguments) override {
    started.push_back("desktop|" + program + "|" + arguments);
    if (desktop_error) return std::unexpected(*desktop_error);
    return {};
  }
  vx::Result<> start_directly(const std::string& program, const std::string& arguments) override {
    started.push_back("direct|" + program + "|" + arguments);
    if (direct_error) return std::unexpected(*direct_error);
    return {};
  }
};

InstalledProgram program(std::string name, std::string publisher, std::string uninstall = "C:\\u.exe") {
  InstalledProgram p;
  p.display_name = std::move(name);
  p.publisher = std::move(publisher);
  p.uninstall_string = std::move(uninstall);
  return p;
}

// Newest first, as the inventory hands them over.
std::vector<InstalledProgram> machine() {
  return {program("SafeBank Guard 4", "Guard Co", "C:\\Program Files\\Guard\\uninst.exe /S"),
          program("Office Suite", "Big Co"),
          program("safebank guard 4", "Other Co"),     // another case: a different name, also on the list
          program("SafeBank Guard 4", "Reseller"),     // same name again: not shown twice
          program("My SafeBank Helper", "Helper Co"),  // the list entry only in the middle
          program("KeyShield", ""),
          program("// comment", "x")};
}

vx::process::KeepLists lists() {
  vx::process::KeepLists keep;
  for (const char* entry : {"SafeBank", "keyshield", "//", ""}) keep[vx::process::ListKind::bundle].add(entry);
  return keep;
}

struct BundlePage : ostrel::InputTest {
  FakeServices* services = nullptr;
  vx::testing::FakeDialogs* dialogs = nullptr;
  std::unique_ptr<InstallPage> page;

  void SetUp() override {
    load(vx::i18n::expand_template(vx::i18n::compose_document(), "en"), vx::i18n::compose_style());
    for (const char* id : {"tab-home", "panel-home"}) ostrel::remove_class(by_id(id), "active", 6);
    for (const char* id : {"tab-bundle", "panel-bundle"}) ostrel::add_class(by_id(id), "active", 6);
    auto fake_services = std::make_unique<FakeServices>();
    auto fake_dialogs = std::make_unique<vx::testing::FakeDialogs>();
    services = fake_services.get();
    dialogs = fake_dialogs.get();
    page =
        std::make_unique<InstallPage>(ostrel::ui::DocumentRef(doc), std::move(fake_services), std::move(fake_dialogs));
    vx::ui::AppContext context;
    context.language = "en";
    page->open(context, lists());
  }
  void answer(std::vector<InstalledProgram> programs, std::size_t which = SIZE_MAX,
              std::vector<std::pair<std::string, std::string>> images = {}) {
    ASSERT_FALSE(services->loads.empty());
    FakeServices::Load& load = services->loads[which == SIZE_MAX ? services->loads.size() - 1 : which];
    load.accept({load.generation, std::move(programs), std::move(images)});
  }
  std::vector<std::string> shown() {
    std::vector<std::string> out;
    for (std::size_t i = 0; ostrel::Node* r = row(i); ++i) out.push_back(ostrel::ui::Element(r).text());
    return out;
  }
  ostrel::Node* row(std::size_t i) { return vx::ui::row_element(doc, "list-install-head", i); }
  void key(std::uint32_t code) { ostrel::fire(ostrel::event_keydown, by_id("list-install"), {.key = code}); }
  bool button_enabled() {
    return ostrel::get_attribute(by_id("btn-install-uninstall"), "disabled", 8, nullptr) == nullptr;
  }
  std::string empty_text() { return ostrel::ui::Element(by_id("install-empty")).text(); }
  bool empty_hidden() { return ostrel::ui::Element(by_id("install-empty")).has_class("hidden"); }
};

TEST_F(BundlePage, ShowsTheFirstProgramOfEachBundleNameWithItsPublisher) {
  EXPECT_EQ(empty_text(), "Loading…");
  EXPECT_FALSE(button_enabled());
  answer(machine());
  EXPECT_EQ(shown(),
            (std::vector<std::string>{"SafeBank Guard 4Guard Co", "safebank guard 4Other Co", "KeyShieldUnknown"}));
  EXPECT_TRUE(empty_hidden());
  EXPECT_STREQ(ostrel::get_attribute(ostrel::query_selector(row(0), "img.ic", 6), "src", 3, nullptr), "vx-0.png");

  // The server's lists arrive: the open page is filtered again.
  vx::process::KeepLists more = lists();
  more[vx::process::ListKind::bundle].add("office");
  page->lists_changed(more);
  EXPECT_EQ(shown().size(), 4u);

  // Nothing of the list installed.
  page->reload();
  answer({program("Office Suite", "Big Co")});
  page->lists_changed(lists());
  EXPECT_TRUE(shown().empty());
  EXPECT_FALSE(empty_hidden());
  EXPECT_EQ(empty_text(), "Nothing to uninstall");
}

TEST_F(BundlePage, IconsAreAskedForWhatTheListsShowAndAgainWhenTheListsShowMore) {
  ASSERT_EQ(services->loads.size(), 1u);
  EXPECT_EQ(services->loads[0].bundle_keys, lists()[vx::process::ListKind::bundle].keys());
  std::vector<InstalledProgram> programs = machine();
  programs[0].icon_path = "C:\\Guard\\guard.exe";
  programs[1].icon_path = "C:\\Office\\office.exe";
  answer(programs, SIZE_MAX, {{"exe0:C:\\Guard\\guard.exe", "png"}});
  EXPECT_STREQ(ostrel::get_attribute(ostrel::query_selector(row(0), "img.ic", 6), "src", 3, nullptr),
               "exe0:C:\\Guard\\guard.exe");

  page->lists_changed(lists());
  EXPECT_EQ(services->loads.size(), 1u) << "every shown icon was delivered";
  vx::process::KeepLists more = lists();
  more[vx::process::ListKind::bundle].add("office");
  page->lists_changed(more);
  EXPECT_EQ(shown().size(), 4u) << "shown at once, without its picture";
  ASSERT_EQ(services->loads.size(), 2u) << "loaded again for the new row's icon";
  EXPECT_EQ(services->loads[1].bundle_keys, more[vx::process::ListKind::bundle].keys());
}

TEST_F(BundlePage, OnlyTheLatestLoadIsShownAndTheSelectionFollowsItsProgram) {
  answer(machine());
  key(0x28);
  key(0x28);
  EXPECT_EQ(page->selection(), 1u);
  EXPECT_TRUE(button_enabled());
  key(0x74);
  key(0x74);
  ASSERT_EQ(services->loads.size(), 3u);
  answer({program("KeyShield", "")}, 1);  // the first F5's batch arrives late
  EXPECT_EQ(shown().size(), 3u) << "dropped";
  std::vector<InstalledProgram> newer = machine();
  newer.erase(newer.begin());  // the selected program moves up a row
  answer(newer, 2);
  ASSERT_EQ(page->selection(), 0u);
  EXPECT_EQ(page->rows()[0]->publisher, "Other Co");
  page->reload();  // gone: nothing selected
  answer({program("KeyShield", "")});
  EXPECT_FALSE(page->selection());
  EXPECT_FALSE(button_enabled());
  key(0x26);
  EXPECT_EQ(page->selection(), 0u) << "the first key selects the first row";
}

TEST_F(BundlePage, UninstallingStartsThroughTheDesktopAndFallsBackToADirectStart) {
  answer(machine());
  ostrel::fire(ostrel::event_dblclick, ostrel::query_selector(row(0), "td", 2), {});
  EXPECT_EQ(services->started, (std::vector<std::string>{"desktop|C:\\Program Files\\Guard\\uninst.exe|/S"}))
      << "an unquoted path with spaces is split after its .exe";
  EXPECT_EQ(page->selection(), 0u);
  ASSERT_EQ(services->loads.size(), 2u) << "reloaded at once, without waiting";
  answer(machine());

  services->started.clear();
  services->desktop_error = vx::Error{"system", "FindWindowSW 0x80004005"};
  testing::internal::CaptureStderr();
  ostrel::activate(by_id("btn-install-uninstall"), {});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[install] 일반 권한 실행 실패, 직접 실행: FindWindowSW 0x80004005\n");
  EXPECT_EQ(services->started, (std::vector<std::string>{"desktop|C:\\Program Files\\Guard\\uninst.exe|/S",
                                                         "direct|C:\\Program Files\\Guard\\uninst.exe|/S"}));
  EXPECT_TRUE(dialogs->messages.empty());

  services->direct_error = vx::Error{"system", "The system cannot find the file specified."};
  ostrel::activate(by_id("btn-install-uninstall"), {});
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].first, "An error has occurred.\nThe system cannot find the file specified.");
  EXPECT_EQ(dialogs->messages[0].second, vx::ui::BoxIcon::warning);
  EXPECT_EQ(services->loads.size(), 4u) << "a failed start reloads too";

  // An uninstall string of only quotes names nothing to start.
  answer({program("KeyShield", "", "\"\"  ")});
  services->started.clear();
  ostrel::fire(ostrel::event_dblclick, ostrel::query_selector(row(0), "td", 2), {});
  EXPECT_TRUE(services->started.empty());
  EXPECT_EQ(dialogs->messages.back().first, "An error has occurred.\n\"\"  ");
}

}  // namespace
