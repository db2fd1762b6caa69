// The cleanup jobs on the real machine: each runs on a worker, and what it
// reports arrives on the window thread, in order. A user rule file newer than
// the built-in one names a scratch application in roaming AppData.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cleanup_jobs.h"
#include "common/win32/text.h"
#include "job_window.h"
#include "page-cleanup/wording.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::winapp2;

using vx::app::testing::JobWindow;

void write(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

constexpr wchar_t test_key[] = L"Software\\VorlixJobsTest";

void create_key(const std::wstring& subkey, const wchar_t* value = nullptr) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  if (value) RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
  RegCloseKey(key);
}

bool key_exists(const std::wstring& subkey) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

class CleanupJobs : public ::testing::Test {
 protected:
  fs::path roaming = [] {
    wchar_t buffer[MAX_PATH];
    GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH);
    return fs::path(buffer);
  }();
  fs::path app = roaming / "VorlixJobsTest";
  fs::path rule_file = roaming / "Vorlix" / "Winapp2.ini";
  fs::path selection_file = roaming / "Vorlix" / "Cleanup.txt";
  JobWindow job_window;
  HWND window = job_window.get();
  DWORD window_thread = GetCurrentThreadId();

  void SetUp() override { ASSERT_NE(window, nullptr); }
  void TearDown() override {
    fs::remove(rule_file);
    fs::remove(selection_file);
    std::error_code ignored;
    fs::permissions(app / "sub" / "b.tmp", fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(app, ignored);
    RegDeleteTreeW(HKEY_CURRENT_USER, test_key);
  }
};

TEST_F(CleanupJobs, LoadAnalyseAndCleanReportOnTheWindowThread) {
  write(rule_file,
        "; Version: 999999999\r\n"
        "[Jobs Test]\r\nLangSecRef=3024\r\nDetectFile=%AppData%\\VorlixJobsTest\r\n"
        "FileKey1=%AppData%\\VorlixJobsTest|*.tmp|RECURSE\r\n"
        "FileKey2=%AppData%\\VorlixJobsTest\\Empty|*.*|REMOVESELF\r\n"
        "RegKey1=HKCU\\Software\\VorlixJobsTest\r\n"
        "ExcludeKey1=REG|HKCU\\Software\\VorlixJobsTest\\Keep\r\n\r\n"
        "[jobs test]\r\nLangSecRef=3024\r\nDetectFile=%AppData%\\VorlixJobsTest\r\n"
        "FileKey1=%AppData%\\VorlixJobsTest|*.*\r\n\r\n"
        "[Not Here]\r\nLangSecRef=3024\r\nDetectFile=%AppData%\\VorlixNowhere\r\n"
        "FileKey1=%AppData%\\VorlixNowhere|*.*\r\n");
  write(selection_file, "\xEF\xBB\xBF-Jobs Test\r\n+Other|record\r\n");
  write(app / "a.tmp", std::string(1000, 'a'));
  write(app / "sub" / "b.tmp", std::string(536, 'b'));
  write(app / "keep.txt", "kept");
  fs::create_directories(app / "Empty" / "Inner");
  fs::permissions(app / "sub" / "b.tmp", fs::perms::owner_write, fs::perm_options::remove);  // read-only
  create_key(test_key, L"Value");
  create_key(std::wstring(test_key) + L"\\Keep");
  create_key(std::wstring(test_key) + L"\\Drop");

  std::optional<LoadResult> loaded;
  std::vector<DWORD> threads;
  vx::app::start_load_job(window, [&](LoadResult result) {
    threads.push_back(GetCurrentThreadId());
    loaded = std::move(result);
  });
  ASSERT_TRUE(JobWindow::pump_until([&] { return loaded.has_value(); }));
  EXPECT_EQ(loaded->version, 999999999u);
  ASSERT_EQ(loaded->entries.size(), 1u) << "the first of a name only, and only what is there";
  EXPECT_EQ(loaded->entries[0].name, "Jobs Test");
  EXPECT_EQ(loaded->selection, (std::vector<SelectionLine>{{"Jobs Test", false}, {"Other|record", true}}));

  std::vector<std::string> texts;
  std::vector<std::size_t> rows;
  std::optional<ResolvedEntry> analysis;
  bool done = false;
  std::vector<JobItem> items{{loaded->entries[0], 7, std::nullopt}};
  // The texts are the page's wording of what the jobs report.
  vx::app::start_analysis_job(window, items,
                              {[&](Progress progress, std::size_t row, ResolvedEntry result) {
                                 threads.push_back(GetCurrentThreadId());
                                 texts.push_back(vx::page_cleanup::analysis_progress(progress, "en"));
                                 rows.push_back(row);
                                 analysis = std::move(result);
                               },
                               [&](AnalysisTotals totals) {
                                 threads.push_back(GetCurrentThreadId());
                                 texts.push_back(vx::page_cleanup::analysis_done(totals, "en"));
                                 done = true;
                               }});
  ASSERT_TRUE(JobWindow::pump_until([&] { return done; }));
  EXPECT_EQ(texts, (std::vector<std::string>{"Analyzing… 1/1", "2 files · 1 registry items · 1.5 KB"}));
  EXPECT_EQ(rows, (std::vector<std::size_t>{7}));
  ASSERT_TRUE(analysis);
  EXPECT_EQ(analysis->total_size, 1536u);
  EXPECT_TRUE(fs::exists(app / "a.tmp")) << "analysing deletes nothing";

  texts.clear();
  rows.clear();
  done = false;
  items[0].analysis = analysis;
  vx::app::start_clean_job(window, items,
                           {[&](Progress progress, std::size_t row) {
                              threads.push_back(GetCurrentThreadId());
                              texts.push_back(vx::page_cleanup::cleaning_progress(progress, "en"));
                              rows.push_back(row);
                            },
                            [&](CleanCounts counts) {
                              threads.push_back(GetCurrentThreadId());
                              texts.push_back(vx::page_cleanup::cleaning_done(counts, "en"));
                              done = true;
                            }});
  ASSERT_TRUE(JobWindow::pump_until([&] { return done; }));
  EXPECT_EQ(texts, (std::vector<std::string>{"Cleaning… 1/1", "1.5 KB cleaned (2 files, 1 registry items)"}));
  EXPECT_EQ(rows, (std::vector<std::size_t>{7}));
  EXPECT_FALSE(fs::exists(app / "a.tmp"));
  EXPECT_FALSE(fs::exists(app / "sub" / "b.tmp")) << "read-only files go too";
  EXPECT_TRUE(fs::exists(app / "keep.txt"));
  EXPECT_FALSE(fs::exists(app / "Empty")) << "an empty RemoveSelf folder goes with its empty folders";
  EXPECT_TRUE(key_exists(std::wstring(test_key) + L"\\Keep"));
  EXPECT_FALSE(key_exists(std::wstring(test_key) + L"\\Drop"));

  for (DWORD thread : threads) EXPECT_EQ(thread, window_thread);
}

}  // namespace
