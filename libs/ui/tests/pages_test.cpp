#include "ui/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace vx::ui;

// Writes what the program asked of it into a shared log.
struct FakePage final : Page {
  std::string name;
  std::vector<std::string>& log;
  FakePage(std::string n, std::vector<std::string>& l) : name(std::move(n)), log(l) {}
  void open(const AppContext& context, const vx::process::KeepLists& lists) override {
    log.push_back(name + " open " + context.language + " " + std::to_string(lists[vx::process::ListKind::path].size()));
  }
  void shown() override { log.push_back(name + " shown"); }
  void lists_changed(const vx::process::KeepLists&) override { log.push_back(name + " lists"); }
  void reload() override { log.push_back(name + " reload"); }
};

struct PageRouting : ::testing::Test {
  std::vector<std::string> log;
  Pages pages;
  AppContext context;
  vx::process::KeepLists lists;
  void SetUp() override {
    context.language = "ko";
    pages.add(PageId::startup, std::make_unique<FakePage>("startup", log));
    pages.add(PageId::cleanup, std::make_unique<FakePage>("cleanup", log));
  }
};

TEST_F(PageRouting, APageOpensOnItsFirstVisitOnly) {
  EXPECT_TRUE(pages.visit(PageId::startup, context, lists));
  EXPECT_FALSE(pages.visit(PageId::startup, context, lists)) << "a second click builds nothing";
  EXPECT_FALSE(pages.visit(PageId::bundle, context, lists)) << "a page without a module opens nothing";
  EXPECT_FALSE(pages.is_open(PageId::bundle));
  EXPECT_TRUE(pages.visit(PageId::cleanup, context, lists)) << "pages keep their own flags";
  EXPECT_EQ(log, (std::vector<std::string>{"startup open ko 0", "startup shown", "startup shown", "cleanup open ko 0",
                                           "cleanup shown"}))
      << "every visit shows the page, the first opens it before";
}

TEST_F(PageRouting, ResultsListsAndReloadsReachOpenPagesOnly) {
  EXPECT_FALSE(pages.deliver(PageId::cleanup, [&](Page&) { log.push_back("result"); })) << "not open yet: dropped";
  pages.lists_changed(lists);
  EXPECT_FALSE(pages.reload(PageId::cleanup));
  EXPECT_TRUE(log.empty());

  pages.visit(PageId::cleanup, context, lists);
  log.clear();
  EXPECT_TRUE(pages.deliver(PageId::cleanup,
                            [&](Page& page) { log.push_back("result for " + static_cast<FakePage&>(page).name); }));
  pages.lists_changed(lists);
  EXPECT_TRUE(pages.reload(PageId::cleanup));
  EXPECT_FALSE(pages.reload(PageId::startup));
  EXPECT_EQ(log, (std::vector<std::string>{"result for cleanup", "cleanup lists", "cleanup reload"}));
}

}  // namespace
