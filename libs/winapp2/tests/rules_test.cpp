#include "winapp2/rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "winapp2/rule_text.h"

namespace {

using namespace vx::winapp2;

// One entry's text with detection, and the keys given.
std::vector<RuleEntry> entry(std::string_view keys, std::string_view name = "App") {
  return parse_rules("[" + std::string(name) + "]\r\nDetectFile=%ProgramFiles%\\App\r\n" + std::string(keys));
}

TEST(RuleVersion, FromAVersionCommentInTheFirstLines) {
  EXPECT_EQ(read_rule_version("\xEF\xBB\xBF; Version: 260828\r\n; # of entries: 4,075\r\n"), 260828u);
  EXPECT_EQ(read_rule_version(";VERSION:+12\n"), 12u);
  EXPECT_EQ(read_rule_version("; Version: 12a\n; Version: 13\n"), 0u) << "the first version line decides";
  EXPECT_EQ(read_rule_version("; Version: 99999999999\n"), 0u);
  EXPECT_EQ(read_rule_version("; Version:\n"), 0u);
  std::string late(20, '\n');
  EXPECT_EQ(read_rule_version(late + "; Version: 5\n"), 0u) << "only the first 20 lines";
}

TEST(ParseRules, HeadersNamesAndIgnoredSections) {
  const auto entries = parse_rules(
      "[Winapp2.ini Header]\nDetectFile=x\nFileKey1=%Temp%\n"
      "[Version 1]\nDetectFile=x\nFileKey1=%Temp%\n"
      "[Adobe Reader *]\nDetectFile=x\nFileKey1=%Temp%\n"
      "FileKey2=%Temp%|*.log\n"  // keys of an ordinary section go on being read
      "[Short]\nDetect=HKCU\\Software\\x\nDetectOS=10.0\nFileKey=%Temp%\nRegKey1=HKCU\\Software\\x\n"
      "[No detection]\nFileKey1=%Temp%\n"
      "[Nothing to clean]\nDetectFile=x\nExcludeKey1=FILE|%Temp%\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Adobe Reader");
  EXPECT_EQ(entries[0].file_keys.size(), 2u);
  EXPECT_EQ(entries[1].name, "Short");
  EXPECT_TRUE(entries[1].file_keys.empty()) << "a FileKey without a number is ignored";
  EXPECT_EQ(entries[1].reg_keys.size(), 1u);
}

TEST(ParseRules, KeysAndTheirValues) {
  const auto e = entry(
      "DetectFile12=%AppData%\\App\r\nDetect=HKCU\\Software\\App\r\n"
      "FileKey1=%Temp%|RECURSE\r\nFileKey2=%Temp%|*.log; ;*.tmp|removeself\r\n"
      "FileKey3=%Temp%|*.bak|SOMETIMES|extra\r\nFileKey4=%Temp%||\r\n"
      "RegKey1=HKCU\\Software\\App|LastPath\r\nRegKey2=HKCU\\Software\\App|\r\nRegKey3=HKCU\\Software\\App\\Cache\r\n"
      "ExcludeKey1=FILE|%Temp%\\|keep.log\r\nExcludeKey2=path|%Temp%\\Keep\\\r\nExcludeKey3=REG|"
      "HKCU\\Software\\App\\Keep\r\n"
      "ExcludeKey4=ODD\r\nLangSecRef=+3021\r\nDefault=TRUE\r\nWarning=Careful\r\nSection=Games\r\n");
  ASSERT_EQ(e.size(), 1u);
  const RuleEntry& r = e[0];
  EXPECT_EQ(r.detect_file, (std::vector<std::string>{"%ProgramFiles%\\App", "%AppData%\\App"}));
  EXPECT_EQ(r.detect, std::vector<std::string>{"HKCU\\Software\\App"});
  EXPECT_EQ(r.file_keys[0], (FileKey{"%Temp%", {"*.*"}, FileKeyFlag::recurse}));
  EXPECT_EQ(r.file_keys[1], (FileKey{"%Temp%", {"*.log", "*.tmp"}, FileKeyFlag::remove_self}));
  EXPECT_EQ(r.file_keys[2], (FileKey{"%Temp%", {"*.bak"}, FileKeyFlag::none}));
  EXPECT_EQ(r.file_keys[3], (FileKey{"%Temp%", {"*.*"}, FileKeyFlag::none}));
  EXPECT_EQ(r.reg_keys[0], (RegKey{"HKCU\\Software\\App", "LastPath"}));
  EXPECT_EQ(r.reg_keys[1], (RegKey{"HKCU\\Software\\App", ""}));
  EXPECT_EQ(r.reg_keys[2], (RegKey{"HKCU\\Software\\App\\Cache", std::nullopt}));
  EXPECT_EQ(r.exclude_keys[0], (ExcludeKey{ExcludeKind::file, "%Temp%\\", "keep.log"}));
  EXPECT_EQ(r.exclude_keys[1], (ExcludeKey{ExcludeKind::path, "%Temp%\\Keep\\", std::nullopt}));
  EXPECT_EQ(r.exclude_keys[2].kind, ExcludeKind::reg);
  EXPECT_EQ(r.exclude_keys[3], (ExcludeKey{ExcludeKind::file, "", std::nullopt}));
  EXPECT_EQ(r.lang_sec_ref, 3021u);
  EXPECT_TRUE(r.default_on);
  EXPECT_EQ(r.warning, "Careful");

  EXPECT_FALSE(entry("FileKey1=%Temp%\nDefault=1\n")[0].default_on);
  EXPECT_FALSE(entry("FileKey1=%Temp%\nLangSecRef=30a1\n")[0].lang_sec_ref);
  EXPECT_FALSE(entry("FileKey1=%Temp%\nLangSecRef=-\n")[0].lang_sec_ref);
  EXPECT_EQ(entry("FileKey1=%Temp%\nSection=A\nSection=B\n")[0].section, "B") << "the last line wins";
}

TEST(Finalisation, PersonalBrowserDataStartsUncheckedAndWhole) {
  for (const char* keys :
       {"FileKey1=%LocalAppData%\\Browser\\Bookmarks|*.*\n", "FileKey1=%LocalAppData%\\Browser|Bookmarks\n",
        "FileKey1=%AppData%\\Mozilla|places.sqlite;History\n"}) {
    const auto e = entry(keys);
    ASSERT_EQ(e.size(), 1u) << keys;
    EXPECT_FALSE(e[0].default_on) << keys;
    EXPECT_FALSE(e[0].usage_history) << keys;
  }
  EXPECT_TRUE(entry("FileKey1=%LocalAppData%\\Browser\\BookmarksBackup|*.tmp\n")[0].default_on)
      << "\\bookmarks counts only as a whole folder name";
  EXPECT_FALSE(entry("FileKey1=%Temp%|*.tmp\n", "Browser Autofill *")[0].default_on);
  EXPECT_FALSE(entry("FileKey1=%Temp%|*.tmp\n", "Chat History")[0].default_on);
}

TEST(Finalisation, UsageHistoryIsSplitOffUnchecked) {
  const auto split = entry("FileKey1=%LocalAppData%\\Browser|Current Session;Preferences\nDefault=True\n");
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[0].file_keys,
            (std::vector<FileKey>{{"%LocalAppData%\\Browser", {"Preferences"}, FileKeyFlag::none}}));
  EXPECT_TRUE(split[0].default_on);
  EXPECT_EQ(split[1].file_keys,
            (std::vector<FileKey>{{"%LocalAppData%\\Browser", {"Current Session"}, FileKeyFlag::none}}));
  EXPECT_FALSE(split[1].default_on);
  EXPECT_TRUE(split[1].usage_history);
  EXPECT_EQ(split[1].detect_file, split[0].detect_file);
  EXPECT_EQ(identity_key(split[1]), "App|record");

  const auto only = entry("RegKey1=HKCU\\Software\\Explorer\\BagMRU\nRegKey2=HKCU\\Software\\App|TypedPaths\n");
  ASSERT_EQ(only.size(), 1u) << "all history: one entry, unchecked, with its plain name";
  EXPECT_FALSE(only[0].default_on);
  EXPECT_FALSE(only[0].usage_history);
  EXPECT_EQ(identity_key(only[0]), "App");

  EXPECT_FALSE(is_usage_history("%LocalAppData%\\Browser\\Session Storage\\"));
  EXPECT_TRUE(is_usage_history("Session Storage\\History")) << "a spared phrase spares only itself";
  EXPECT_FALSE(is_usage_history("*.jumplisticon"));
  EXPECT_TRUE(is_usage_history("%AppData%\\Microsoft\\Windows\\Recent\\AutomaticDestinations"));
  EXPECT_TRUE(is_usage_history("LASTVISITEDPidlMRU"));
}

TEST(Categories, LangSecRefThenSection) {
  RuleEntry e;
  EXPECT_EQ(entry_category(e), (Category{60, "cleanup.cat.other"}));
  e.lang_sec_ref = 3029;
  EXPECT_EQ(entry_category(e), (Category{11, "Google Chrome"}));
  e.lang_sec_ref = 3041;
  e.section = " games ";
  EXPECT_EQ(entry_category(e), (Category{40, "cleanup.cat.games"}));
  e.section = "Other Web Browser";
  EXPECT_EQ(entry_category(e), (Category{23, "Other Web Browser"}));
  e.section = "AI";
  EXPECT_EQ(entry_category(e), (Category{50, "AI"}));
  e.section = "  ";
  EXPECT_EQ(entry_category(e).order, 60);
}

TEST(RuleTextChoice, TheUserCopyOnlyWhenStrictlyNewer) {
  const std::string builtin = "; Version: 260828\r\n[A]\r\n";
  EXPECT_EQ(choose_rule_text(builtin, std::nullopt).version, 260828u);
  EXPECT_EQ(choose_rule_text(builtin, "; Version: 260828\r\n[User]").text, builtin) << "equal is not newer";
  EXPECT_EQ(choose_rule_text(builtin, "[User]").text, builtin);
  const RuleText newer = choose_rule_text(builtin, "; Version: 260829\r\n[\xFF]");
  EXPECT_EQ(newer.version, 260829u);
  EXPECT_EQ(newer.text, "; Version: 260829\r\n[\xEF\xBF\xBD]") << "invalid bytes replaced";
}

// The public file as the program carries it, when the build found it.
TEST(BuiltinRules, TellingEntriesOfThePublicFile) {
  const std::string_view text = builtin_rule_text();
  const std::vector<RuleEntry> entries = parse_rules(text);
  ASSERT_FALSE(entries.empty());
  if (read_rule_version(text) < 260000) GTEST_SKIP() << "the sample rule file is embedded";
  EXPECT_GT(entries.size(), 3500u);
  const auto autofill = std::ranges::find_if(entries, [](const RuleEntry& e) {
    return e.lang_sec_ref == 3029u && e.name.find("Autofill") != std::string::npos;
  });
  ASSERT_NE(autofill, entries.end());
  EXPECT_FALSE(autofill->default_on);
  EXPECT_TRUE(
      std::ranges::any_of(autofill->file_keys, [](const FileKey& k) { return k.flag == FileKeyFlag::remove_self; }));
  // A Windows shell entry: registry keys only, its BagMRU key counted as usage history.
  const auto shell = std::ranges::find_if(entries, [](const RuleEntry& e) {
    return e.lang_sec_ref == 3025u &&
           std::ranges::any_of(e.reg_keys, [](const RegKey& k) { return k.key.find("BagMRU") != std::string::npos; });
  });
  ASSERT_NE(shell, entries.end());
  EXPECT_TRUE(shell->file_keys.empty());
  EXPECT_FALSE(shell->default_on);
  EXPECT_EQ(entry_category(*shell).label, "cleanup.cat.windows");
  // An application sparing one of its files.
  EXPECT_TRUE(std::ranges::any_of(entries, [](const RuleEntry& e) {
    return std::ranges::any_of(e.exclude_keys,
                               [](const ExcludeKey& k) { return k.kind == ExcludeKind::file && k.pattern; });
  }));
  // Usage-history parts follow their entries directly.
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].usage_history) {
      EXPECT_EQ(entries[i - 1].name, entries[i].name);
    }
  }
}

}  // namespace
