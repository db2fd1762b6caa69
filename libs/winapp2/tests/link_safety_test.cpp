// The cleaner runs elevated, and many rule paths lie where any user can write:
// these are the attacks such a user can try with links, junctions and folders
// swapped between two calls, on a machine in memory.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <functional>

#include "common/text.h"
#include "winapp2/jobs.h"
#include "winapp2/memory_system.h"

namespace {

using namespace vx::winapp2;

const std::string temp = "C:\\Users\\user\\AppData\\Local\\Temp";
const std::string documents = "C:\\Users\\user\\Documents";

struct LinkSafety : ::testing::Test {
  MemoryFileSystem fs;
  MemoryRegistry registry;
  MemoryEnvironment env = MemoryEnvironment::typical();
  std::string log;

  std::vector<JobItem> job(std::string_view rules) {
    std::vector<JobItem> out;
    for (RuleEntry& e : parse_rules(rules)) out.push_back({std::move(e), out.size(), std::nullopt});
    return out;
  }
  void analyse(std::vector<JobItem>& items) {
    PathContext context = build_path_context(fs, registry, env);
    for (JobItem& item : items) item.analysis = resolve_entry(context, item.entry);
  }
  CleanCounts clean(std::vector<JobItem>& items) {
    PathContext context = build_path_context(fs, registry, env);
    testing::internal::CaptureStderr();
    const CleanCounts counts = run_cleaning(context, items, {});
    log = testing::internal::GetCapturedStderr();
    return counts;
  }
  std::vector<std::string> removed_under(std::string_view folder) const {
    std::vector<std::string> out;
    std::string prefix = vx::to_lower(folder) + "\\";
    for (const std::string& path : fs.removed())
      if (path.starts_with(prefix) || path + "\\" == prefix) out.push_back(path);
    return out;
  }
};

// A drive root is writable by every user. With a rule that matches
// "%SystemDrive%\*.tmp", a junction "C:\x.tmp" would lead the cleaner into
// another user's profile.
TEST_F(LinkSafety, AJunctionAWildcardMatchesIsNeverFollowed) {
  fs.add_file("C:\\Qoobox\\log.txt", 10);
  fs.add_file("C:\\Users\\other\\Documents\\thesis.docx", 1000);
  fs.add_file("C:\\Users\\other\\AppData\\Local\\cache.bin", 100);
  fs.add_folder("C:\\Users\\other\\Saved\\Empty");
  fs.add_link("C:\\x.tmp", "C:\\Users\\other", true, MemoryFileSystem::junction_tag);
  // The same rule's literal path as a junction out of the user's profile.
  fs.add_link("C:\\Qoobox\\LastRun", "C:\\Users\\other\\AppData", true, MemoryFileSystem::junction_tag);
  fs.add_file("C:\\real.tmp\\junk.dat", 5);  // a folder the rule is meant for
  const std::string rules =
      "[ComboFix *]\nDetectFile=%SystemDrive%\\Qoobox\nFileKey1=%SystemDrive%|ComboFix.txt\n"
      "FileKey2=%SystemDrive%\\*.tmp|*|REMOVESELF\nFileKey3=%SystemDrive%\\Qoobox|*.txt\n"
      "FileKey4=%SystemDrive%\\Qoobox\\LastRun|*|REMOVESELF\n";
  PathContext context = build_path_context(fs, registry, env);
  testing::internal::CaptureStderr();
  const LoadResult loaded = load_entries(context, RuleText{1, rules});
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(loaded.entries.size(), 1u);

  std::vector<JobItem> items{{loaded.entries[0], 0, std::nullopt}};
  analyse(items);
  std::vector<std::string> found;
  for (const FoundFile& f : items[0].analysis->files) found.push_back(f.path);
  EXPECT_EQ(found, (std::vector<std::string>{"C:\\real.tmp\\junk.dat", "C:\\Qoobox\\log.txt"}));

  items[0].analysis.reset();  // and cleaning on its own resolves alike
  const CleanCounts counts = clean(items);
  EXPECT_EQ(counts.files, 2u);
  EXPECT_TRUE(removed_under("C:\\Users").empty()) << removed_under("C:\\Users").front();
  EXPECT_TRUE(fs.contains("C:\\Users\\other\\Saved\\Empty"));
  EXPECT_TRUE(fs.contains("C:\\x.tmp")) << "the junction itself is not removed through";
  EXPECT_EQ(fs.final_path("C:\\x.tmp"), "C:\\Users\\other");
  EXPECT_FALSE(fs.contains("C:\\real.tmp")) << "the real folder it matched is emptied and removed";
}

// Between the analysis and the cleaning, a user swaps a folder of their temp
// folder for a junction to a place with files of the same names.
TEST_F(LinkSafety, CleaningDeletesOnlyTheFilesTheAnalysisFound) {
  fs.add_file(temp + "\\Sub\\a.tmp", 100);
  fs.add_file(temp + "\\Sub\\b.tmp", 100);
  fs.add_file(temp + "\\replaced.tmp", 50);
  fs.add_file(temp + "\\kept.tmp", 7);
  fs.add_file(documents + "\\a.tmp", 1);
  fs.add_file(documents + "\\b.tmp", 1);
  auto items = job("[Temp]\nDetectFile=C:\\\nFileKey1=%Temp%|*.tmp|RECURSE\n");
  analyse(items);
  ASSERT_EQ(items[0].analysis->files.size(), 4u);

  fs.erase(temp + "\\Sub");
  fs.add_link(temp + "\\Sub", documents, true, MemoryFileSystem::junction_tag);
  fs.erase(temp + "\\replaced.tmp");
  fs.add_file(temp + "\\replaced.tmp", 50);  // another file of the same name
  const CleanCounts counts = clean(items);
  EXPECT_EQ(counts.files, 1u);
  EXPECT_EQ(counts.bytes, 7u) << "what was skipped is not counted";
  EXPECT_EQ(log, "[cleanup] Temp 파일 1/4 레지스트리 0/0\n");
  EXPECT_TRUE(fs.contains(documents + "\\a.tmp"));
  EXPECT_TRUE(fs.contains(documents + "\\b.tmp"));
  EXPECT_TRUE(fs.contains(temp + "\\replaced.tmp"));
  EXPECT_FALSE(fs.contains(temp + "\\kept.tmp"));
}

// The same swap in the middle of a walk, after the parent was listed.
TEST_F(LinkSafety, AFolderSwappedDuringTheWalkIsNotEntered) {
  fs.add_file(temp + "\\Sub\\a.tmp", 1);
  fs.add_file(documents + "\\a.tmp", 1);
  bool swapped = false;
  fs.before_open = [&](std::string_view path) {
    if (swapped || !path.ends_with("\\Sub")) return;
    swapped = true;
    const std::string sub(path);
    fs.erase(sub);
    fs.add_link(sub, documents, true, MemoryFileSystem::junction_tag);
  };
  auto items = job("[Temp]\nDetectFile=C:\\\nFileKey1=%Temp%|*.tmp|RECURSE\n");
  analyse(items);
  EXPECT_TRUE(swapped);
  EXPECT_TRUE(items[0].analysis->files.empty());
  clean(items);
  EXPECT_TRUE(fs.contains(documents + "\\a.tmp"));
}

TEST_F(LinkSafety, AFolderRemovalNeverGoesThroughALink) {
  fs.add_folder(documents + "\\EmptyA");
  fs.add_folder(documents + "\\Projects\\EmptyB");
  fs.add_folder("C:\\Users\\user\\AppData\\Local\\Moved\\Empty");
  fs.add_link("C:\\Users\\user\\AppData\\Local\\App\\Cache", documents, true, MemoryFileSystem::junction_tag);
  fs.add_link("C:\\Users\\user\\AppData\\Local\\App\\Moved", "C:\\Users\\user\\AppData\\Local\\Moved");
  fs.add_folder("C:\\Users\\user\\AppData\\Local\\App\\Logs\\Old");
  auto items = job(
      "[App]\nDetectFile=C:\\\nFileKey1=%LocalAppData%\\App\\Cache|*.tmp|REMOVESELF\n"
      "FileKey2=%LocalAppData%\\App\\Moved|*.tmp|REMOVESELF\nFileKey3=%LocalAppData%\\App\\Logs|*.tmp|REMOVESELF\n");
  clean(items);
  EXPECT_TRUE(fs.contains(documents + "\\EmptyA"));
  EXPECT_TRUE(fs.contains(documents + "\\Projects\\EmptyB"));
  EXPECT_TRUE(fs.contains("C:\\Users\\user\\AppData\\Local\\Moved\\Empty")) << "not even within the profile";
  EXPECT_EQ(fs.removed(), (std::vector<std::string>{"c:\\users\\user\\appdata\\local\\app\\logs\\old",
                                                    "c:\\users\\user\\appdata\\local\\app\\logs"}));
}

// Network, root-relative and relative paths depend on a server or on the
// current folder; a downloaded rule file may hold them.
TEST_F(LinkSafety, PathsThatAreNotDrivePathsAreRefused) {
  fs.add_file("\\\\server\\share\\cache\\a.tmp", 1);
  fs.add_file("C:\\Windows\\Temp\\b.tmp", 1);
  fs.add_file("C:\\Windows\\Temp\\c.tmp", 1);
  fs.current_folder = "C:\\Windows";
  env.variables["NETCACHE"] = "\\\\server\\share\\cache";
  ASSERT_TRUE(fs.exists("\\\\server\\share\\cache\\a.tmp") && fs.exists("\\Windows\\Temp\\b.tmp") &&
              fs.exists("Temp\\c.tmp"))
      << "the machine would serve them";
  auto items =
      job("[Net]\nDetectFile=C:\\\nFileKey1=\\\\server\\share\\cache|*.tmp\nFileKey2=\\Windows\\Temp|*.tmp\n"
          "FileKey3=Temp|*.tmp|REMOVESELF\nFileKey4=%NetCache%|*.tmp\nFileKey5=C:\\Windows\\..\\Windows\\Temp|*.tmp\n"
          "[Detect]\nDetectFile=\\\\server\\share\\cache\nFileKey1=%Temp%\n");
  PathContext context = build_path_context(fs, registry, env);
  testing::internal::CaptureStderr();
  const ResolvedEntry found = resolve_entry(context, items[0].entry);
  const bool detected = is_detected(context, items[1].entry);
  const std::string lines = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(found.files.empty());
  EXPECT_FALSE(detected);
  EXPECT_EQ(lines,
            "[cleanup] Net 경로 거부 \\\\server\\share\\cache\n[cleanup] Detect 경로 거부 \\\\server\\share\\cache\n")
      << "once per entry";
  items.pop_back();
  clean(items);
  EXPECT_TRUE(fs.removed().empty());
}

// The program's workers have Windows' default stack of 1 MiB.
void on_small_stack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 1 << 20);
  pthread_t thread;
  auto run = [](void* w) -> void* {
    (*static_cast<const std::function<void()>*>(w))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST_F(LinkSafety, TenThousandLevelsFinish) {
  std::string deep = temp + "\\deep";
  for (int level = 0; level < 10000; ++level) {
    deep += "\\d";
    if (level == 5000) fs.add_file(deep + "\\middle.tmp", 3);
  }
  fs.add_file(deep + "\\bottom.tmp", 4);
  auto items = job("[Deep]\nDetectFile=C:\\\nFileKey1=%Temp%\\deep|*.tmp|REMOVESELF\n");
  CleanCounts counts;
  on_small_stack([&] {
    analyse(items);
    counts = clean(items);
  });
  ASSERT_TRUE(items[0].analysis);
  EXPECT_EQ(items[0].analysis->files.size(), 2u);
  EXPECT_EQ(counts.files, 2u);
  EXPECT_EQ(counts.bytes, 7u);
  EXPECT_FALSE(fs.contains(temp + "\\deep")) << "every emptied level is removed, the top last";
  EXPECT_EQ(fs.removed().size(), 2u + 10001u);
}

}  // namespace
