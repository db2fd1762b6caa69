// The rule engine on a real scratch folder and registry key of the Wine prefix.
#include "winapp2/win32/system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/win32/text.h"
#include "winapp2/jobs.h"
#include "winapp2/paths.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::winapp2;

// Removes a scratch tree of plain files and folders, however deep (the
// standard library cannot reach below MAX_PATH here).
void remove_tree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_tree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

class RealMachine : public ::testing::Test {
 protected:
  fs::path root = fs::temp_directory_path() / "vorlix-rules-test";
  win32::Win32FileSystem files;
  win32::Win32Registry registry;
  win32::Win32Environment environment;

  void SetUp() override {
    TearDown();
    fs::create_directories(root / "sub");
    fs::create_directories(root / "keep");
  }
  void TearDown() override {
    remove_tree(L"\\\\?\\" + root.wstring());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VorlixRulesTest");
  }
  std::string write(const fs::path& relative, std::size_t size, DWORD attributes = 0) {
    const fs::path path = root / relative;
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    if (attributes) SetFileAttributesW(path.c_str(), attributes);
    return vx::win32::narrow(path.wstring());
  }
  std::string path_text() const { return vx::win32::narrow(root.wstring()); }
};

TEST_F(RealMachine, AnEntryCollectsWhatItNamesAndSparesTheRest) {
  const std::string a = write("a.tmp", 3), readonly = write("ro.tmp", 4, FILE_ATTRIBUTE_READONLY),
                    nested = write("sub\\b.tmp", 5);
  write("hidden.tmp", 6, FILE_ATTRIBUTE_HIDDEN);
  write("system.tmp", 6, FILE_ATTRIBUTE_SYSTEM);
  write("keep\\c.tmp", 7);
  write("note.txt", 8);
  const std::string rules = "[Test]\nDetectFile=" + path_text() + "\nFileKey1=" + path_text() +
                            "|*.tmp|RECURSE\nExcludeKey1=PATH|" + path_text() + "\\keep\\\n";
  const std::vector<RuleEntry> entries = parse_rules(rules);
  ASSERT_EQ(entries.size(), 1u);
  PathContext context = build_path_context(files, registry, environment);
  EXPECT_TRUE(is_detected(context, entries[0]));
  const ResolvedEntry found = resolve_entry(context, entries[0]);
  std::vector<std::string> paths;
  for (const FoundFile& f : found.files) paths.push_back(f.path);
  std::ranges::sort(paths);
  std::vector<std::string> expected = {a, nested, readonly};
  std::ranges::sort(expected);
  EXPECT_EQ(paths, expected);
  EXPECT_EQ(found.total_size, 12u);
}

TEST_F(RealMachine, FoldersDeeperThanMaxPathStillList) {
  fs::path deep = root;
  while (deep.wstring().size() < 300) deep /= "a-rather-long-folder-name";
  ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + root.wstring()).c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  std::wstring built = L"\\\\?\\" + root.wstring();
  for (const auto& part : fs::relative(deep, root)) {
    built += L"\\" + part.wstring();
    CreateDirectoryW(built.c_str(), nullptr);
  }
  const std::string deep_text = vx::win32::narrow(deep.wstring());
  EXPECT_TRUE(files.is_folder(deep_text));
  const auto listing = files.list(vx::win32::narrow(deep.parent_path().wstring()));
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->size(), 1u);
}

TEST_F(RealMachine, RegistryVariablesAndPaths) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VorlixRulesTest\\Sub", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const DWORD one = 1;
  RegSetValueExW(key, L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(key);
  EXPECT_TRUE(registry.key_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\Sub"));
  EXPECT_TRUE(registry.value_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\Sub", "version"));
  EXPECT_FALSE(registry.value_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\Sub", "Other"));

  PathContext context = build_path_context(files, registry, environment);
  const std::string temp = substitute_variables(context, "%Temp%");
  EXPECT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_TRUE(files.is_folder(temp));
  EXPECT_EQ(substitute_variables(context, "%SystemDrive%").size(), 3u);
  SetEnvironmentVariableW(L"VORLIX_RULES_TEST", L"D:\\From\\Env\\");
  EXPECT_EQ(substitute_variables(context, "%vorlix_rules_test%\\x"), "D:\\From\\Env\\x");

  const std::string folder = path_text();
  const auto real = files.final_path(folder);
  ASSERT_TRUE(real);
  EXPECT_TRUE(_stricmp(real->c_str(), folder.c_str()) == 0) << *real;
  EXPECT_FALSE(files.exists(folder + "\\missing"));
  EXPECT_FALSE(files.list(folder + "\\missing"));
  EXPECT_EQ(files.list(folder + "\\sub")->size(), 0u) << "an empty folder lists as nothing";
}

TEST_F(RealMachine, CleaningDeletesReadOnlyFilesLeavesLockedOnesAndKeepsExcludedKeys) {
  const std::string plain = write("a.tmp", 3), readonly = write("ro.tmp", 4, FILE_ATTRIBUTE_READONLY),
                    locked = write("sub\\locked.tmp", 5), nested = write("keep\\b.tmp", 6);
  write("keep\\note.txt", 1);
  // Held open without delete sharing, as a running program would.
  const HANDLE holder =
      CreateFileW(vx::win32::widen(locked).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  HKEY key = nullptr;
  for (const wchar_t* sub : {L"Software\\VorlixRulesTest\\App\\Keep", L"Software\\VorlixRulesTest\\App\\Cache\\Deep"}) {
    RegCreateKeyExW(HKEY_CURRENT_USER, sub, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegCloseKey(key);
  }
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VorlixRulesTest\\App", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                  nullptr);
  const DWORD one = 1;
  RegSetValueExW(key, L"Setting", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(key);

  const std::string rules = "[Test]\nDetectFile=" + path_text() + "\nFileKey1=" + path_text() +
                            "|*.tmp|REMOVESELF\nRegKey1=HKCU\\Software\\VorlixRulesTest\\App\n"
                            "ExcludeKey1=REG|HKCU\\Software\\VorlixRulesTest\\App\\Keep\n";
  std::vector<JobItem> job{{parse_rules(rules).at(0), 0, std::nullopt}};
  PathContext context = build_path_context(files, registry, environment);
  const CleanCounts counts = run_cleaning(context, job, {});
  CloseHandle(holder);

  EXPECT_EQ(counts.files, 3u);
  EXPECT_EQ(counts.bytes, 13u);
  EXPECT_EQ(counts.registry, 1u);
  for (const std::string& gone : {plain, readonly, nested}) EXPECT_FALSE(files.exists(gone)) << gone;
  EXPECT_TRUE(files.exists(locked)) << "a locked file is left";
  EXPECT_TRUE(files.exists(path_text() + "\\keep\\note.txt"));
  EXPECT_FALSE(files.exists(path_text() + "\\keep\\b.tmp"));
  EXPECT_TRUE(files.is_folder(path_text() + "\\sub")) << "the locked file holds its folder";
  EXPECT_TRUE(registry.key_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\App\\Keep"));
  EXPECT_FALSE(registry.key_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\App\\Cache"));
  EXPECT_FALSE(registry.value_exists(vx::Hive::hkcu, "Software\\VorlixRulesTest\\App", "Setting"));
  EXPECT_FALSE(registry.delete_tree(vx::Hive::hkcu, "")) << "never a whole hive";
  EXPECT_TRUE(registry.delete_tree(vx::Hive::hkcu, "Software\\VorlixRulesTest\\Missing"));
}

// What the analysis found is deleted only while it is still that file: one
// replaced meanwhile by another of the same name, or reached through a folder
// replaced meanwhile, is left and not counted.
TEST_F(RealMachine, CleaningLeavesWhatWasReplacedAfterTheAnalysis) {
  write("a.tmp", 3);
  write("b.tmp", 4);
  write("sub\\c.tmp", 5);
  const std::string rules = "[Test]\nDetectFile=" + path_text() + "\nFileKey1=" + path_text() + "|*.tmp|RECURSE\n";
  std::vector<JobItem> job{{parse_rules(rules).at(0), 0, std::nullopt}};
  PathContext context = build_path_context(files, registry, environment);
  job[0].analysis = resolve_entry(context, job[0].entry);
  ASSERT_EQ(job[0].analysis->files.size(), 3u);

  // Made first and renamed over, so the new file cannot take the old one's id.
  write("new.tmp", 30);
  ASSERT_TRUE(MoveFileExW((root / "new.tmp").c_str(), (root / "a.tmp").c_str(), MOVEFILE_REPLACE_EXISTING));
  ASSERT_TRUE(MoveFileExW((root / "sub").c_str(), (root / "old-sub").c_str(), 0));
  fs::create_directories(root / "sub");
  write("sub\\c.tmp", 50);

  const CleanCounts counts = run_cleaning(context, job, {});
  EXPECT_EQ(counts.files, 1u);
  EXPECT_EQ(counts.bytes, 4u);
  EXPECT_EQ(fs::file_size(root / "a.tmp"), 30u);
  EXPECT_EQ(fs::file_size(root / "sub" / "c.tmp"), 50u);
  EXPECT_TRUE(fs::exists(root / "old-sub" / "c.tmp")) << "moved away, it is no longer where it was found";
  EXPECT_FALSE(fs::exists(root / "b.tmp"));
}

// Deeper than MAX_PATH, walked and removed through handles. Wine looks every
// component of a path up again and reaches files through Unix paths of at
// most 4,096 bytes, so the tree here is 500 levels; the in-memory tests take
// 10,000 levels on a worker-sized stack.
TEST_F(RealMachine, DeepTreesAreWalkedAndRemoved) {
  std::wstring deep = L"\\\\?\\" + root.wstring() + L"\\deep";
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  for (int level = 0; level < 500; ++level) {
    deep += L"\\d";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << level;
  }
  const HANDLE file = CreateFileW((deep + L"\\bottom.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "1234", 4, &written, nullptr);
  CloseHandle(file);

  const std::string rules =
      "[Deep]\nDetectFile=" + path_text() + "\nFileKey1=" + path_text() + "\\deep|*.tmp|REMOVESELF\n";
  std::vector<JobItem> job{{parse_rules(rules).at(0), 0, std::nullopt}};
  PathContext context = build_path_context(files, registry, environment);
  job[0].analysis = resolve_entry(context, job[0].entry);
  ASSERT_EQ(job[0].analysis->files.size(), 1u);
  const CleanCounts counts = run_cleaning(context, job, {});
  EXPECT_EQ(counts.files, 1u);
  EXPECT_EQ(counts.bytes, 4u);
  EXPECT_FALSE(fs::exists(root / "deep")) << "every emptied level is removed";
}

TEST_F(RealMachine, PathsThatAreNotDrivePathsAreRefused) {
  write("sub\\a.tmp", 1);
  write("b.tmp", 1);
  const std::string text = path_text();
  ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
  const std::string rules =
      "[Elsewhere]\nDetectFile=" + text + "\nFileKey1=sub|*.tmp|REMOVESELF\nFileKey2=" + text.substr(2) +
      "|*.tmp\nFileKey3=\\\\localhost\\C$" + text.substr(2) + "|*.tmp\nFileKey4=" + text + "\\sub\\..|*.tmp\n";
  std::vector<JobItem> job{{parse_rules(rules).at(0), 0, std::nullopt}};
  PathContext context = build_path_context(files, registry, environment);
  testing::internal::CaptureStderr();
  const ResolvedEntry found = resolve_entry(context, job[0].entry);
  const CleanCounts counts = run_cleaning(context, job, {});
  const std::string log = testing::internal::GetCapturedStderr();
  SetCurrentDirectoryW(fs::temp_directory_path().c_str());
  EXPECT_TRUE(found.files.empty());
  EXPECT_EQ(counts.files, 0u);
  EXPECT_TRUE(fs::exists(root / "sub" / "a.tmp"));
  EXPECT_TRUE(fs::exists(root / "b.tmp"));
  EXPECT_NE(log.find("[cleanup] Elsewhere 경로 거부 sub\n"), std::string::npos) << log;
}

}  // namespace
