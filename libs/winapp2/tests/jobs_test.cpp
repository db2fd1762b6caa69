#include "winapp2/jobs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "winapp2/memory_system.h"

namespace {

using namespace vx::winapp2;

TEST(SizeText, UnitsOf1024) {
  EXPECT_EQ(size_text(0), "0 B");
  EXPECT_EQ(size_text(1023), "1023 B");
  EXPECT_EQ(size_text(1536), "1.5 KB");
  EXPECT_EQ(size_text(1048576), "1.0 MB");
  EXPECT_EQ(size_text(1073741824ull * 3 / 2), "1.50 GB");
}

struct Jobs : ::testing::Test {
  MemoryFileSystem fs;
  MemoryRegistry registry;
  MemoryEnvironment env = MemoryEnvironment::typical();
  PathContext context = build_path_context(fs, registry, env);

  std::vector<JobItem> items(std::string_view rules) {
    std::vector<JobItem> out;
    std::size_t row = 0;
    for (RuleEntry& e : parse_rules(rules)) out.push_back({std::move(e), row++, std::nullopt});
    return out;
  }
  std::vector<Progress> progress;
  std::optional<CleanCounts> done;
  CleanCounts clean(std::vector<JobItem>& job) {
    CleaningEvents events;
    events.entry = [&](Progress p, std::size_t) { progress.push_back(p); };
    events.done = [&](CleanCounts counts) { done = counts; };
    testing::internal::CaptureStderr();
    const CleanCounts counts = run_cleaning(context, job, events);
    log = testing::internal::GetCapturedStderr();
    return counts;
  }
  std::string log;
};

TEST_F(Jobs, LoadKeepsTheFirstOfEachNameThatIsDetected) {
  fs.add_folder("C:\\Users\\user\\AppData\\Local\\App");
  const RuleText rules{260828,
                       "[App *]\nDetectFile=%LocalAppData%\\Missing\nFileKey1=%Temp%\n"
                       "[App]\nDetectFile=%LocalAppData%\\App\nFileKey1=%Temp%\n"
                       "[Other]\nDetectFile=%LocalAppData%\\App\nFileKey1=%Temp%\n"};
  testing::internal::CaptureStderr();
  const LoadResult result = load_entries(context, rules);
  const std::string line = testing::internal::GetCapturedStderr();
  ASSERT_EQ(result.entries.size(), 1u) << "the undetected first \"App\" still shadows the second";
  EXPECT_EQ(result.entries[0].name, "Other");
  EXPECT_TRUE(line.starts_with("[cleanup] Winapp2 260828 설치 1개 ")) << line;
  EXPECT_TRUE(line.ends_with("s\n")) << line;
}

TEST_F(Jobs, AnalysisTotalsWhatEachEntryFound) {
  fs.add_file("C:\\Users\\user\\AppData\\Local\\Temp\\a.tmp", 1000);
  fs.add_file("C:\\Users\\user\\AppData\\Local\\Temp\\b.log", 536);
  registry.add_key(vx::Hive::hkcu, "Software\\App\\Cache");
  const auto job = items(
      "[One]\nDetectFile=C:\\\nFileKey1=%Temp%|*.tmp\n"
      "[Two]\nDetectFile=C:\\\nFileKey1=%Temp%\nRegKey1=HKCU\\Software\\App\\Cache\n");
  std::vector<std::size_t> rows;
  std::optional<AnalysisTotals> totals;
  AnalysisEvents events;
  events.entry = [&](Progress p, std::size_t row, ResolvedEntry) {
    progress.push_back(p);
    rows.push_back(row);
  };
  events.done = [&](AnalysisTotals t) { totals = t; };
  run_analysis(context, job, events);
  EXPECT_EQ(progress, (std::vector<Progress>{{1, 2}, {2, 2}}));
  EXPECT_EQ(totals, (AnalysisTotals{3, 1, 2536})) << "a file two entries found counts twice";
  EXPECT_EQ(rows, (std::vector<std::size_t>{0, 1}));
  EXPECT_TRUE(fs.removed().empty()) << "analysis deletes nothing";
}

TEST_F(Jobs, CleaningDeletesOnlyWhatWasFoundAndCountsWhatWent) {
  const std::string temp = "C:\\Users\\user\\AppData\\Local\\Temp\\";
  fs.add_file(temp + "gone.tmp", 100);
  fs.add_file(temp + "locked.tmp", 200);
  fs.add_file(temp + "readonly.tmp", 300, attribute::read_only);
  fs.add_file(temp + "keep.log", 400);
  fs.lock(temp + "locked.tmp");
  auto job = items("[Temp]\nDetectFile=C:\\\nFileKey1=%Temp%|*.tmp\n");
  job[0].analysis = resolve_entry(context, job[0].entry);
  ASSERT_EQ(job[0].analysis->files.size(), 3u);
  fs.erase(temp + "gone.tmp");  // deleted by someone else meanwhile
  const std::size_t before = fs.removed().size();

  const CleanCounts counts = clean(job);
  EXPECT_EQ(counts.files, 1u);
  EXPECT_EQ(counts.bytes, 300u) << "neither the vanished nor the locked file counts";
  EXPECT_EQ(std::vector<std::string>(fs.removed().begin() + static_cast<std::ptrdiff_t>(before), fs.removed().end()),
            std::vector<std::string>{"c:\\users\\user\\appdata\\local\\temp\\readonly.tmp"});
  EXPECT_TRUE(fs.contains(temp + "keep.log"));
  EXPECT_EQ(log, "[cleanup] Temp 파일 1/3 레지스트리 0/0\n");
  EXPECT_EQ(progress, std::vector<Progress>{(Progress{1, 1})});
  EXPECT_EQ(done, (CleanCounts{1, 0, 300}));
}

TEST_F(Jobs, RegistryKeysGoAroundTheirExclusions) {
  registry.add_value(vx::Hive::hkcu, "Software\\App", "Setting");
  registry.add_value(vx::Hive::hkcu, "Software\\App\\Keep", "Mine");
  registry.add_value(vx::Hive::hkcu, "Software\\App\\Cache\\Deep", "x");
  registry.add_key(vx::Hive::hkcu, "Software\\App\\Parent\\Keep2");
  registry.add_key(vx::Hive::hkcu, "Software\\App\\Parent\\Other");
  registry.add_value(vx::Hive::hkcu, "Software\\Other", "Stay");
  auto job = items(
      "[App]\nDetectFile=C:\\\nRegKey1=HKCU\\Software\\App\nRegKey2=HKCU\\Software\\Missing|Gone\n"
      "ExcludeKey1=REG|HKCU\\Software\\App\\Keep\nExcludeKey2=REG|HKEY_CURRENT_USER\\Software\\App\\Parent\\Keep2\n");
  const CleanCounts counts = clean(job);
  EXPECT_EQ(counts.registry, 1u) << "the key counts once; a missing key is no item";
  EXPECT_TRUE(registry.key_exists(vx::Hive::hkcu, "Software\\App"));
  EXPECT_FALSE(registry.value_exists(vx::Hive::hkcu, "Software\\App", "Setting"));
  EXPECT_TRUE(registry.value_exists(vx::Hive::hkcu, "Software\\App\\Keep", "Mine"));
  EXPECT_FALSE(registry.key_exists(vx::Hive::hkcu, "Software\\App\\Cache"));
  EXPECT_TRUE(registry.key_exists(vx::Hive::hkcu, "Software\\App\\Parent\\Keep2"));
  EXPECT_FALSE(registry.key_exists(vx::Hive::hkcu, "Software\\App\\Parent\\Other"));
  EXPECT_TRUE(registry.value_exists(vx::Hive::hkcu, "Software\\Other", "Stay"));

  // A whole hive is never deleted, whatever the list says.
  const RegistryItem hive{vx::Hive::hkcu, "", std::nullopt};
  JobItem whole{parse_rules("[H]\nDetectFile=C:\\\nRegKey1=HKCU\\Software\\Other\n")[0], 0,
                ResolvedEntry{{}, 0, {hive}}};
  std::vector<JobItem> job2{whole};
  EXPECT_EQ(clean(job2).registry, 0u);
  EXPECT_TRUE(registry.value_exists(vx::Hive::hkcu, "Software\\Other", "Stay"));
}

TEST_F(Jobs, RemoveSelfFoldersGoOnlyWhenEmpty) {
  const std::string app = "C:\\Users\\user\\AppData\\Local\\App\\";
  fs.add_file(app + "Cache\\a.tmp", 1);
  fs.add_file(app + "Cache\\Sub\\b.tmp", 1);
  fs.add_folder(app + "Cache\\Empty");
  fs.add_file(app + "Held\\c.tmp", 1);
  fs.add_file(app + "Held\\hidden.dat", 1, attribute::hidden);
  fs.add_file(app + "Held\\Inner\\d.tmp", 1);
  fs.add_file("C:\\Users\\user\\Documents\\Mine\\e.tmp", 1);
  fs.add_link(app + "Cache\\ToDocs", "C:\\Users\\user\\Documents\\Mine");
  auto job = items(
      "[App]\nDetectFile=C:\\\nFileKey1=%LocalAppData%\\App\\Cache|*.*|REMOVESELF\n"
      "FileKey2=%LocalAppData%\\App\\Held|*.tmp|REMOVESELF\nFileKey3=%UserProfile%\\Documents|*.*|REMOVESELF\n");
  clean(job);
  EXPECT_FALSE(fs.contains(app + "Cache\\Sub"));
  EXPECT_FALSE(fs.contains(app + "Cache\\Empty"));
  EXPECT_TRUE(fs.contains(app + "Cache")) << "the link inside keeps it (a link is never entered or removed)";
  EXPECT_TRUE(fs.contains(app + "Held\\hidden.dat"));
  EXPECT_FALSE(fs.contains(app + "Held\\Inner")) << "emptied subfolders go";
  EXPECT_TRUE(fs.contains("C:\\Users\\user\\Documents\\Mine\\e.tmp"));
  for (const std::string& path : fs.removed()) EXPECT_FALSE(path.starts_with("c:\\users\\user\\documents")) << path;

  // A rule naming a drive or the profile removes no empty folder anywhere below it.
  fs.add_folder("C:\\Tools\\Empty");
  fs.add_folder("C:\\Users\\user\\AppData\\Roaming\\Empty");
  auto roots = items(
      "[Roots]\nDetectFile=C:\\\nFileKey1=%SystemDrive%|*.none|REMOVESELF\nFileKey2=%UserProfile%|*.none|REMOVESELF\n");
  clean(roots);
  EXPECT_TRUE(fs.contains("C:\\Tools\\Empty"));
  EXPECT_TRUE(fs.contains("C:\\Users\\user\\AppData\\Roaming\\Empty"));
}

}  // namespace
