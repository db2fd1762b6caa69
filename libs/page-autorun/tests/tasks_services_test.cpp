// Tasks and services against fakes of the Task Scheduler and the service
// control manager: what is listed, what a switch writes, and when and how a
// service is deleted.
#include "page-autorun/tasks_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using namespace vx::autorun;

class FakeTasks final : public TaskLibrary {
 public:
  std::optional<std::vector<TaskInfo>> tasks = std::vector<TaskInfo>{};

  vx::Result<std::vector<TaskInfo>> root_tasks() override {
    if (!tasks) return vx::fail("system", "GetTasks 0x80070005");
    return *tasks;
  }
  vx::Result<> set_enabled(std::string_view, bool) override { return {}; }
  vx::Result<> remove(std::string_view) override { return {}; }
};

struct FakeService {
  ServiceInfo info;
  bool running = false;
  int polls_to_stop = 0;  // status reads until a requested stop takes effect; -1: never
  bool stop_requested = false;
  bool marked_for_deletion = false;
};

class FakeServices final : public ServiceManager {
 public:
  std::map<std::string, FakeService> services_by_name;
  int pauses = 0;

  void add(std::string name, std::uint32_t start_type, bool running = false, int polls_to_stop = 0) {
    FakeService& service = services_by_name[name];
    service.info = {name, name + " display", "\"C:\\" + name + ".exe\" -k", start_type};
    service.running = running;
    service.polls_to_stop = polls_to_stop;
  }

  std::vector<ServiceInfo> services() override {
    std::vector<ServiceInfo> listed;
    for (const auto& [name, service] : services_by_name) listed.push_back(service.info);
    return listed;
  }
  vx::Result<> set_start_type(std::string_view name, std::uint32_t start_type) override {
    const auto found = services_by_name.find(std::string(name));
    if (found == services_by_name.end()) return vx::fail("system", std::string(name) + ": 1060");
    found->second.info.start_type = start_type;
    return {};
  }
  vx::Result<std::unique_ptr<OpenedService>> open(std::string_view name) override;
  void pause(std::chrono::milliseconds interval) override {
    EXPECT_EQ(interval.count(), 300);
    ++pauses;
  }
};

class FakeOpened final : public OpenedService {
 public:
  explicit FakeOpened(FakeService& service) : service_(service) {}
  vx::Result<std::uint32_t> start_type() override { return service_.info.start_type; }
  std::optional<bool> stopped() override {
    if (service_.stop_requested && service_.running && service_.polls_to_stop >= 0 && service_.polls_to_stop-- == 0)
      service_.running = false;
    return !service_.running;
  }
  void request_stop() override { service_.stop_requested = true; }
  vx::Result<> remove() override {
    service_.marked_for_deletion = true;
    return {};
  }

 private:
  FakeService& service_;
};

vx::Result<std::unique_ptr<OpenedService>> FakeServices::open(std::string_view name) {
  const auto found = services_by_name.find(std::string(name));
  if (found == services_by_name.end())
    return vx::fail("system", std::string(name) + ": The specified service does not exist as an installed service.");
  return std::make_unique<FakeOpened>(found->second);
}

TEST(AutorunTasks, RootTasksAreListedByNameAndAnUnreadableLibraryListsNone) {
  FakeTasks tasks;
  tasks.tasks = std::vector<TaskInfo>{{"Updater", true}, {"Backup nightly", false}};
  std::vector<AutorunItem> items;
  add_task_items(items, tasks);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "Updater");
  EXPECT_EQ(items[0].location, "\\Updater");
  EXPECT_EQ(item_key(items[1]), "SCHE|\\BACKUP NIGHTLY");
  EXPECT_TRUE(items[0].enabled);
  EXPECT_FALSE(items[1].enabled);
  EXPECT_TRUE(items[1].target.empty());
  EXPECT_EQ(icon_key(items[1]), "vx-2.png");

  tasks.tasks.reset();
  items.clear();
  add_task_items(items, tasks);
  EXPECT_TRUE(items.empty());
}

TEST(AutorunServices, StartTypesMapToOnAndOffAndSwitchingNeverGoesBackToOnDemand) {
  FakeServices services;
  services.add("Auto", 2);
  services.add("Demand", 3);
  services.add("Off", 4);
  std::vector<AutorunItem> items;
  add_service_items(items, services);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_TRUE(items[0].enabled);
  EXPECT_FALSE(items[1].enabled) << "on demand is off";
  EXPECT_FALSE(items[2].enabled);
  EXPECT_EQ(items[1].name, "Demand display");
  EXPECT_EQ(items[1].location, "Demand");
  EXPECT_EQ(items[1].command, "\"C:\\Demand.exe\" -k");
  EXPECT_EQ(items[1].start_type, 3u);

  ASSERT_TRUE(set_service_enabled(services, items[1], true));
  EXPECT_EQ(services.services_by_name["Demand"].info.start_type, 2u);
  ASSERT_TRUE(set_service_enabled(services, items[1], false));
  EXPECT_EQ(services.services_by_name["Demand"].info.start_type, 4u);
  AutorunItem gone = items[0];
  gone.location = "Gone";
  EXPECT_EQ(set_service_enabled(services, gone, false).error().message, "Gone: 1060");
}

TEST(AutorunServices, OnlyADisabledServiceIsDeletedAndARunningOneIsStoppedFirst) {
  FakeServices services;
  services.add("Auto", 2);
  services.add("Demand", 3);
  services.add("Stopped", 4);
  services.add("Running", 4, true, 3);
  std::vector<AutorunItem> items;
  add_service_items(items, services);
  const auto item = [&](std::string_view name) {
    return *std::ranges::find_if(items, [&](const AutorunItem& i) { return i.location == name; });
  };

  for (const char* name : {"Auto", "Demand"}) {
    const vx::Result<> refused = delete_service(services, item(name));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, std::string(name) + ": 사용 안 함이 아님");
    EXPECT_FALSE(services.services_by_name[name].marked_for_deletion);
  }

  ASSERT_TRUE(delete_service(services, item("Stopped")));
  EXPECT_TRUE(services.services_by_name["Stopped"].marked_for_deletion);
  EXPECT_FALSE(services.services_by_name["Stopped"].stop_requested) << "a stopped service is not asked again";
  EXPECT_EQ(services.pauses, 0);

  ASSERT_TRUE(delete_service(services, item("Running")));
  EXPECT_TRUE(services.services_by_name["Running"].stop_requested);
  EXPECT_FALSE(services.services_by_name["Running"].running);
  EXPECT_TRUE(services.services_by_name["Running"].marked_for_deletion);
  EXPECT_EQ(services.pauses, 4) << "polled until it reported stopped";

  AutorunItem gone = item("Stopped");
  gone.location = "Gone";
  EXPECT_EQ(delete_service(services, gone).error().message,
            "Gone: The specified service does not exist as an installed service.");
}

TEST(AutorunServices, AServiceThatWillNotStopIsStillMarkedForDeletionAfterThirtyPolls) {
  FakeServices services;
  services.add("Stubborn", 4, true, -1);
  std::vector<AutorunItem> items;
  add_service_items(items, services);
  ASSERT_TRUE(delete_service(services, items[0]));
  EXPECT_EQ(services.pauses, 30);
  EXPECT_TRUE(services.services_by_name["Stubborn"].running);
  EXPECT_TRUE(services.services_by_name["Stubborn"].marked_for_deletion);
}

}  // namespace
