// The companion's command line, language, paths and tray tip.
#include "service/companion.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace vx::service;

CommandLine parsed(std::vector<std::string> args) { return parse_command_line(args); }

TEST(CommandLine, SwitchesMatchWholeInAnyCaseAndOrder) {
  const CommandLine line = parsed({"extra", "/START", "/Inst", "/install", "-uninst"});
  EXPECT_TRUE(line.install && line.scheduled);
  EXPECT_FALSE(line.uninstall || line.language);
  EXPECT_TRUE(parsed({"/inst", "/UNINST"}).uninstall);
  const CommandLine none = parsed({"/inst ", "inst", "/lang", "/lan=fr", ""});
  EXPECT_FALSE(none.install || none.uninstall || none.scheduled || none.language);
}

TEST(CommandLine, LanguageIsTheFirstTwoCharactersElseTheLocaleElseEnglish) {
  EXPECT_EQ(parsed({"/LANG=FRench"}).language, "fr");
  EXPECT_EQ(parsed({"/lang=한국어"}).language, "한국") << "characters, not bytes";
  EXPECT_EQ(parsed({"/lang="}).language, "en") << "an empty value keeps English, not the locale";
  EXPECT_EQ(parsed({"/lang=de", "/start", "/lang=IT"}).language, "it") << "the last one wins";

  bool asked = false;
  EXPECT_EQ(choose_language(parsed({"/lang=ru"}), [&] { return asked = true, std::string("ko"); }), "ru");
  EXPECT_FALSE(asked);
  EXPECT_EQ(choose_language(parsed({}), [] { return std::string("KO"); }), "ko");
  EXPECT_EQ(choose_language(parsed({}), [] { return std::string(); }), "en");
  EXPECT_EQ(choose_language(parsed({}), nullptr), "en");
}

TEST(CompanionPaths, TheMainProgramLivesInTheCompanionsFolder) {
  EXPECT_EQ(main_program_path("C:\\Program Files\\Vorlix\\VorlixService.exe"), "C:\\Program Files\\Vorlix\\Vorlix.exe");
  EXPECT_EQ(main_program_path("C:\\VorlixService.exe"), "C:\\Vorlix.exe");
  EXPECT_EQ(folder_of("C:\\VorlixService.exe"), "C:\\") << "a drive's root, not the drive-relative C:";
  EXPECT_EQ(folder_of("\\\\host\\share\\VorlixService.exe"), "\\\\host\\share");
  EXPECT_EQ(main_program_path("VorlixService.exe"), "Vorlix.exe");
}

TEST(TrayTip, ShowsTheVersionUpToItsLastDotWithinTheTipsSize) {
  EXPECT_EQ(tray_tip("Vorlix", "4.0.1.0"), "Vorlix 4.0.1");
  EXPECT_EQ(tray_tip("Vorlix", "4"), "Vorlix 4");
  // A character of two UTF-16 units that would pass the limit goes whole.
  EXPECT_EQ(tray_tip(std::string(126, 'x') + "😀", "1.0"), std::string(126, 'x'));
}

}  // namespace
