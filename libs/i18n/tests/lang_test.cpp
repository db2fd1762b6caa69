#include "i18n/lang.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"

namespace {

using vx::i18n::choose_language;
using vx::i18n::lang_table;
using vx::i18n::languages;
using vx::i18n::lookup;

std::multiset<std::string> placeholders_of(std::string_view text) {
  static const std::regex placeholder(R"(\{[a-z]+\})");
  std::multiset<std::string> found;
  const std::string s(text);
  for (auto it = std::sregex_iterator(s.begin(), s.end(), placeholder); it != std::sregex_iterator(); ++it) {
    found.insert(it->str());
  }
  return found;
}

TEST(LangTable, EveryKeyHasATextInEveryLanguage) {
  ASSERT_EQ(lang_table().size(), 54u);
  std::set<std::string_view> keys;
  for (const auto& row : lang_table()) {
    EXPECT_TRUE(keys.insert(row.key).second) << "key given twice: " << row.key;
    for (std::size_t column = 0; column < languages.size(); ++column) {
      const std::string_view text = row.texts[column];
      EXPECT_FALSE(text.empty()) << row.key << " in " << languages[column];
      EXPECT_TRUE(vx::is_valid_utf8(text)) << row.key << " in " << languages[column];
      EXPECT_EQ(text, vx::trim(text)) << row.key << " in " << languages[column] << " has stray blanks";
      // A translation that lost or renamed a placeholder would show "{n}" or drop the number.
      EXPECT_EQ(placeholders_of(text), placeholders_of(row.texts[vx::i18n::fallback_column]))
          << row.key << " in " << languages[column];
    }
  }
}

TEST(LangTable, ColumnsAreInLanguageOrder) {
  const std::vector<std::string_view> home = {"처음화면", "Home",    "ホーム", "主页",    "Главная",
                                              "Home",     "Accueil", "Inicio", "الرئيسية"};
  for (std::size_t column = 0; column < languages.size(); ++column) {
    EXPECT_EQ(lookup("nav.home", languages[column]), home[column]) << languages[column];
  }
  // Texts whose exact form matters: full-width and ASCII question marks, a
  // non-literal Spanish wording, the ellipsis character.
  EXPECT_EQ(lookup("autorun.delete_confirm", "ja"), "選択した項目を削除しますか？");
  EXPECT_EQ(lookup("cleanup.warn_confirm", "ja"), "注意が必要な項目が選択されています。クリーンしますか?");
  EXPECT_EQ(lookup("install.uninstall", "es"), "Desinstalar todo");
  EXPECT_EQ(lookup("common.loading", "en"), "Loading\u2026");
  EXPECT_EQ(lookup("cleanup.cleaned", "ar"), "تم تنظيف {size} ({files} ملف، {regs} عنصر سجل)");
  EXPECT_EQ(lookup("cleanup.cat.other", "ru"), "Прочее");
}

TEST(Lookup, UnknownLanguagesReadEnglishAndUnknownKeysAreAbsent) {
  EXPECT_EQ(lookup("nav.cleanup", "ko"), "파일정리");
  for (const char* language : {"de", "", "pt", "KO", "ko-KR", " ko"}) {
    EXPECT_EQ(lookup("nav.cleanup", language), "Cleanup") << '"' << language << '"';
  }
  for (const char* key : {"no.such.key", "", "NAV.HOME", " nav.home", "nav.home ", "nav"}) {
    EXPECT_EQ(lookup(key, "ko"), std::nullopt) << '"' << key << '"';
  }
  // Placeholders are the caller's to fill.
  EXPECT_EQ(lookup("cleanup.scanning", "en"), "Analyzing\u2026 {i}/{n}");
}

struct ChooseLanguage : ::testing::Test {
  int locale_asked = 0;
  std::string locale;
  std::string choose(std::vector<std::string> args) {
    return choose_language(args, [this] {
      ++locale_asked;
      return locale;
    });
  }
};

TEST_F(ChooseLanguage, CommandLineWinsOverTheSystem) {
  locale = "ko-KR";
  EXPECT_EQ(choose({"Vorlix.exe", "--dry-run", "--lang", "ja"}), "ja");
  EXPECT_EQ(choose({"--lang", "  Ja-JP "}), "ja");
  EXPECT_EQ(choose({"--lang", "de"}), "de");  // kept, though it reads English texts
  EXPECT_EQ(locale_asked, 0);
  EXPECT_EQ(choose({"--lang", "fr", "--lang", "es"}), "fr");
}

TEST_F(ChooseLanguage, MissingOrBlankValueFallsBackToTheSystem) {
  locale = "ko-KR";
  EXPECT_EQ(choose({"Vorlix.exe", "--lang"}), "ko");
  EXPECT_EQ(choose({"--lang", " \t\u3000"}), "ko");
  EXPECT_EQ(choose({"--lang", ""}), "ko");
  // Only the first "--lang" counts: a blank one is not rescued by a later one.
  EXPECT_EQ(choose({"--lang", " ", "--lang", "fr"}), "ko");
  // Switches are whole, case-sensitive arguments.
  EXPECT_EQ(choose({"--LANG", "fr", "--lang=fr", "-lang", "fr"}), "ko");
  EXPECT_EQ(locale_asked, 5);
}

TEST_F(ChooseLanguage, LocaleNamesAreCutAndLowerCased) {
  const std::pair<const char*, const char*> cases[] = {
      {"ko-KR", "ko"},      {"zh_CN", "zh"},   {"PT-br", "pt"}, {"", "en"},  {"en", "en"},   {"sr-Latn-RS", "sr"},
      {"zh_Hans-CN", "zh"}, {" ko -KR", "ko"}, {"-KR", "en"},   {"_", "en"}, {"ÄB-x", "Äb"}, {"x-ko_KR", "x"},
  };
  for (const auto& [name, expected] : cases) {
    locale = name;
    EXPECT_EQ(choose({"Vorlix.exe"}), expected) << '"' << name << '"';
  }
  // The command-line value goes through the same cut.
  EXPECT_EQ(choose({"--lang", "-x"}), "en");
  EXPECT_EQ(choose({"--lang", "ZH_tw"}), "zh");
}

TEST(ChooseLanguageWithoutLocale, DefaultsToEnglish) {
  EXPECT_EQ(choose_language({}, nullptr), "en");
  const std::vector<std::string> args = {"--lang", "it"};
  EXPECT_EQ(choose_language(args, nullptr), "it");
}

TEST(TextWith, PlaceholdersAreFilledLiterallyEverywhere) {
  EXPECT_EQ(vx::i18n::text_with("cleanup.scanning", "en", {{"{i}", "2"}, {"{n}", "9"}}), "Analyzing… 2/9");
  EXPECT_EQ(vx::i18n::text_with("cleanup.scanning", "ko", {{"{i}", "{n}"}, {"{n}", "3"}}), "분석 중… 3/3")
      << "values are not protected from later placeholders, in order";
  EXPECT_EQ(vx::i18n::text_with("no.such.key", "en", {{"key", "x"}}), "no.such.x");
}

}  // namespace
