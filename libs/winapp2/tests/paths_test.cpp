#include "winapp2/paths.h"

#include <gtest/gtest.h>

#include <chrono>

#include "winapp2/memory_system.h"

namespace {

using namespace vx::winapp2;

// A typical machine in memory: user "user" on drive C:.
struct Machine : ::testing::Test {
  MemoryFileSystem fs;
  MemoryRegistry registry;
  MemoryEnvironment env = MemoryEnvironment::typical();
  PathContext context() { return build_path_context(fs, registry, env); }

  std::vector<std::string> expand(std::string_view path) {
    PathContext c = context();
    return expand_rule_path(c, path);
  }
  // The files an entry with these keys collects.
  std::vector<std::string> collected(std::string_view keys) {
    const auto entries = parse_rules("[E]\nDetectFile=C:\\\n" + std::string(keys));
    EXPECT_EQ(entries.size(), 1u);
    PathContext c = context();
    std::vector<std::string> files;
    for (const FoundFile& f : resolve_entry(c, entries.at(0)).files) files.push_back(f.path);
    return files;
  }
  RuleEntry one(std::string_view text) {
    auto entries = parse_rules(text);
    EXPECT_EQ(entries.size(), 1u);
    return entries.at(0);
  }
};

TEST_F(Machine, VariablesFromTheTableTheEnvironmentOrAsWritten) {
  env.variables["PATHEXT"] = ".COM;.EXE\\";
  env.variables["NOSUCHVAR"] = "D:\\Found";
  PathContext c = context();
  EXPECT_EQ(substitute_variables(c, "%localappdata%\\X"), "C:\\Users\\user\\AppData\\Local\\X");
  EXPECT_EQ(substitute_variables(c, "%LOCALAPPDATA%\\X"), "C:\\Users\\user\\AppData\\Local\\X");
  EXPECT_EQ(substitute_variables(c, "%Temp%\\x"), "C:\\Users\\user\\AppData\\Local\\Temp\\x");
  EXPECT_EQ(substitute_variables(c, "%Public%\\x"), "C:\\Users\\Public\\x") << "the public profile, not its Documents";
  EXPECT_EQ(substitute_variables(c, "%PATHEXT%"), ".COM;.EXE");
  EXPECT_EQ(substitute_variables(c, "%NoSuchVar%\\X"), "D:\\Found\\X");
  EXPECT_EQ(substitute_variables(c, "%Other%\\X"), "%Other%\\X");
  EXPECT_EQ(substitute_variables(c, "a%%b%Temp"), "a%%b%Temp");
  EXPECT_EQ(substitute_variables(c, "x\\%WinDir%\\y"), "x\\C:\\Windows\\y") << "anywhere in the path";
  EXPECT_EQ(substitute_variables(c, "%SystemDrive%"), "C:\\");
}

TEST_F(Machine, ProgramFilesPathsHaveTheirThirtyTwoBitTwin) {
  fs.add_folder("C:\\Program Files\\Vendor\\App");
  fs.add_folder("C:\\Program Files (x86)\\Vendor\\App");
  EXPECT_EQ(expand("%ProgramFiles%\\Vendor\\App"),
            (std::vector<std::string>{"C:\\Program Files\\Vendor\\App", "C:\\Program Files (x86)\\Vendor\\App"}));
  EXPECT_EQ(expand("%ProgramFiles(x86)%\\Vendor\\App").size(), 1u) << "no twin for the 32-bit folder itself";
  EXPECT_EQ(expand("%ProgramFiles%\\Vendor\\*").size(), 2u);
}

TEST_F(Machine, FolderWildcardsExpandThroughOneListingPerFolder) {
  const std::string packages = "C:\\Users\\user\\AppData\\Local\\Packages\\";
  fs.add_folder(packages + "AD2F1837.HPScanandCapture_v10z8vjag6ke6\\AC");
  fs.add_folder(packages + "AD2F1837.HPScanandCapture_other\\AC");
  fs.add_folder(packages + "Microsoft.Photos_8wekyb3d8bbwe\\AC");
  fs.add_file(packages + "AD2F1837.HPScanandCapture_file", 1);
  PathContext c = context();
  const auto found = expand_rule_path(c, "%LocalAppData%\\Packages\\*.HPScanandCapture_*\\AC");
  EXPECT_EQ(found, (std::vector<std::string>{packages + "AD2F1837.HPScanandCapture_other\\AC",
                                             packages + "AD2F1837.HPScanandCapture_v10z8vjag6ke6\\AC"}));
  expand_rule_path(c, "%LocalAppData%\\Packages\\Microsoft.*\\AC");
  EXPECT_EQ(fs.listings().at("c:\\users\\user\\appdata\\local\\packages"), 1) << "the cache lists each folder once";
  EXPECT_TRUE(expand_rule_path(c, "*:\\Temp").empty()) << "a wildcard drive names nothing";
  EXPECT_EQ(expand_rule_path(c, "C:\\No\\Wildcards\\Here\\").front(), "C:\\No\\Wildcards\\Here");
}

TEST(WildcardMatch, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(wildcard_match("*.*", "README"));
  EXPECT_TRUE(wildcard_match("*.LOG", "debug.log"));
  EXPECT_TRUE(wildcard_match("f?o*bar", "fXoYYbar"));
  EXPECT_FALSE(wildcard_match("f?o*bar", "fobar"));
  EXPECT_TRUE(wildcard_match("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(wildcard_match("*.tmp", "a.tmp.bak"));
  EXPECT_TRUE(wildcard_match("캐시?", "캐시1"));
  EXPECT_TRUE(wildcard_match("ÄPP*", "äpp.exe"));
  // Pathological patterns stay fast: one backtrack point, no exponential search.
  const std::string name(20000, 'a'), pattern = std::string(200, '*') + std::string(40, 'a') + "b";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(wildcard_match(pattern, name));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(Machine, DetectionBySpecialTestRegistryOrFile) {
  registry.add_value(vx::Hive::hkcu, "Software\\App", "Path");
  fs.add_folder("C:\\Users\\user\\AppData\\Roaming\\Mozilla\\Firefox");
  PathContext c = context();
  EXPECT_TRUE(is_detected(c, one("[A]\nDetect=HKEY_CURRENT_USER\\Software\\App\\\nFileKey1=%Temp%\n")));
  EXPECT_TRUE(is_detected(c, one("[A]\nDetect=HKCU\\Software\\App|Path\nFileKey1=%Temp%\n")));
  EXPECT_FALSE(is_detected(c, one("[A]\nDetect=HKCU\\Software\\App|Other\nFileKey1=%Temp%\n")));
  EXPECT_FALSE(is_detected(c, one("[A]\nDetect=HKXX\\Software\\App\nFileKey1=%Temp%\n")));
  EXPECT_TRUE(is_detected(c, one("[A]\nDetectFile=%AppData%\\Moz*\\Firefox\nFileKey1=%Temp%\n")));
  EXPECT_TRUE(is_detected(c, one("[A]\nSpecialDetect=det_firefox\nDetect=HKCU\\None\nFileKey1=%Temp%\n")));
  EXPECT_FALSE(is_detected(c, one("[A]\nSpecialDetect=DET_CHROME\nDetect=HKCU\\Software\\App\nFileKey1=%Temp%\n")))
      << "a known special test alone decides";
  EXPECT_TRUE(is_detected(c, one("[A]\nSpecialDetect=DET_NEW\nDetect=HKCU\\Software\\App\nFileKey1=%Temp%\n")));
}

TEST_F(Machine, ExistenceComesFromOneListingPerFolder) {
  fs.add_folder("C:\\Users\\user\\AppData\\Roaming\\Vendor\\App");
  fs.add_link("C:\\Users\\user\\AppData\\Roaming\\Dangling", "C:\\Nowhere");
  fs.add_file("C:\\top.txt", 1);
  PathContext c = context();
  EXPECT_TRUE(exists_in_listings(c, "C:\\USERS\\user\\appdata\\roaming\\vendor\\app\\"));
  EXPECT_FALSE(exists_in_listings(c, "C:\\Users\\user\\AppData\\Roaming\\Vendor\\Other"));
  EXPECT_FALSE(exists_in_listings(c, "C:\\Users\\user\\AppData\\Roaming\\Gone\\Deeper\\Still"));
  EXPECT_FALSE(exists_in_listings(c, "C:\\Users\\user\\AppData\\Roaming\\Dangling")) << "a link must lead somewhere";
  EXPECT_TRUE(exists_in_listings(c, "C:\\top.txt"));
  for (const auto& [folder, times] : fs.listings()) EXPECT_EQ(times, 1) << folder;
  EXPECT_FALSE(fs.listings().contains("c:\\users\\user\\appdata\\roaming\\gone")) << "a missing folder is never listed";
}

TEST_F(Machine, UserFoldersAndRootsAreNeverCollectedFrom) {
  const std::string profile = "C:\\Users\\user";
  for (const char* folder :
       {"", "\\Documents", "\\Desktop", "\\Downloads", "\\Music", "\\Pictures", "\\Videos", "\\Documents\\Deep\\Down"})
    fs.add_file(profile + folder + "\\junk.tmp", 10);
  fs.add_file(profile + "\\AppData\\Local\\junk.tmp", 10);
  fs.add_file("C:\\junk.tmp", 10);
  fs.add_file("C:\\Users\\Public\\junk.tmp", 10);
  fs.add_file("C:\\Users\\Public\\Documents\\junk.tmp", 10);
  fs.add_file("C:\\Users\\Public\\Other\\junk.tmp", 10);
  EXPECT_EQ(collected("FileKey1=%UserProfile%|*.tmp|RECURSE\n"),
            std::vector<std::string>{profile + "\\AppData\\Local\\junk.tmp"});
  EXPECT_EQ(collected("FileKey1=%SystemDrive%|*.tmp\n"), std::vector<std::string>{}) << "nothing from a drive root";
  EXPECT_EQ(collected("FileKey1=%Public%|*.tmp|RECURSE\n"),
            std::vector<std::string>{"C:\\Users\\Public\\Other\\junk.tmp"});
  EXPECT_TRUE(collected("FileKey1=%Documents%|*.tmp|RECURSE\n").empty());
}

TEST_F(Machine, ExclusionsSpareFoldersPatternsAndSingleFiles) {
  const std::string app = "C:\\ProgramData\\App";
  for (const char* f : {"\\a.log", "\\settings.dat", "\\Keep\\b.log", "\\Sub\\c.ini", "\\Sub\\settings.dat", "\\d.ini"})
    fs.add_file(app + f, 1);
  EXPECT_EQ(collected("FileKey1=%ProgramData%\\App|*.*|RECURSE\nExcludeKey1=PATH|%ProgramData%\\App\\Keep\\\n"
                      "ExcludeKey2=FILE|%ProgramData%\\App|settings.dat\nExcludeKey3=PATH|%ProgramData%\\App|*.ini\n"),
            (std::vector<std::string>{app + "\\a.log", app + "\\Sub\\settings.dat"}));
}

TEST_F(Machine, AttributesLinksAndRepeats) {
  const std::string dir = "C:\\Users\\user\\AppData\\Local\\App";
  fs.add_file(dir + "\\plain.tmp", 5);
  fs.add_file(dir + "\\hidden.tmp", 5, attribute::hidden);
  fs.add_file(dir + "\\system.tmp", 5, attribute::system);
  fs.add_file(dir + "\\readonly.tmp", 5, attribute::read_only);
  fs.add_file(dir + "\\IndexedDB\\chrome-extension_abc\\x.tmp", 5);
  fs.add_file("C:\\Users\\user\\Documents\\precious.tmp", 5);
  fs.add_file("C:\\Elsewhere\\other.tmp", 5);
  fs.add_link(dir + "\\ToDocuments", "C:\\Users\\user\\Documents");
  fs.add_link(dir + "\\ToElsewhere", "C:\\Elsewhere", true, MemoryFileSystem::junction_tag);
  fs.add_link(dir + "\\Unreadable", "C:\\Elsewhere", true, 0);  // a reparse point whose tag cannot be read
  fs.add_link(dir + "\\file-link.tmp", "C:\\Elsewhere\\other.tmp", false);
  const auto files = collected("FileKey1=%LocalAppData%\\App|*.tmp|RECURSE\nFileKey2=%LocalAppData%\\App|plain.tmp\n");
  EXPECT_EQ(files, (std::vector<std::string>{dir + "\\plain.tmp", dir + "\\readonly.tmp"}))
      << "no hidden, system, linked or extension files; each file once";

  // A link that is the rule's own path is followed there, within the user's
  // profile only and never into the user's folders; files are known by where
  // they really are.
  fs.add_file("C:\\Users\\user\\AppData\\Local\\Moved\\other.tmp", 5);
  fs.add_link("C:\\Users\\user\\AppData\\Local\\Cache", "C:\\Users\\user\\AppData\\Local\\Moved");
  fs.add_link("C:\\Users\\user\\AppData\\Local\\Away", "C:\\Elsewhere");
  fs.add_link("C:\\Users\\user\\AppData\\Local\\Docs", "C:\\Users\\user\\Documents");
  EXPECT_EQ(collected("FileKey1=%LocalAppData%\\Cache|*.tmp\n"),
            std::vector<std::string>{"C:\\Users\\user\\AppData\\Local\\Moved\\other.tmp"});
  EXPECT_TRUE(collected("FileKey1=%LocalAppData%\\Away|*.tmp\n").empty()) << "out of the profile";
  EXPECT_TRUE(collected("FileKey1=%LocalAppData%\\Docs|*.tmp\n").empty());
  EXPECT_TRUE(collected("FileKey1=%LocalAppData%\\App\\plain.tmp\n").empty())
      << "a path naming a file collects nothing";
}

TEST_F(Machine, RegistryItemsSkipWholeHivesAndExclusions) {
  registry.add_key(vx::Hive::hkcu, "Software\\X\\Sub");
  registry.add_key(vx::Hive::hkcu, "Software\\Y");
  registry.add_value(vx::Hive::hkcu, "Software\\Y", "Version");
  PathContext c = context();
  const RuleEntry e =
      one("[A]\nDetectFile=C:\\\nRegKey1=HKCU\nRegKey2=HKEY_CURRENT_USER\\Software\\X\nRegKey3=HKCU\\Software\\X\\Sub\n"
          "RegKey4=HKCU\\Software\\Y|Version\nRegKey5=HKCU\\Software\\Y|Missing\nRegKey6=HKCU\\Software\\Gone\n"
          "ExcludeKey1=REG|HKCU\\Software\\X\\Sub\n");
  const auto items = resolve_entry(c, e).registry;
  EXPECT_EQ(items, (std::vector<RegistryItem>{{vx::Hive::hkcu, "Software\\X", std::nullopt},
                                              {vx::Hive::hkcu, "Software\\Y", "Version"}}));
  const RuleEntry spared =
      one("[A]\nDetectFile=C:\\\nRegKey1=HKCU\\Software\\X\\Sub\\Deeper\nExcludeKey1=REG|HKCU\\Software\\X\n");
  EXPECT_TRUE(resolve_entry(c, spared).registry.empty()) << "an exclusion spares its subtree";
}

}  // namespace
