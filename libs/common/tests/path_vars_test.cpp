#include "common/path_vars.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using vx::KnownFolder;

// A typical 64-bit Windows, with the Windows folder given a trailing backslash
// as some shells do.
std::optional<std::string> typical_folder(KnownFolder kind) {
  static const std::map<KnownFolder, std::string> folders = {
      {KnownFolder::ProgramData, "C:\\ProgramData"},
      {KnownFolder::Windows, "C:\\Windows\\"},
      {KnownFolder::PublicDocuments, "C:\\Users\\Public\\Documents"},
      {KnownFolder::RoamingAppData, "C:\\Users\\홍길동\\AppData\\Roaming"},
      {KnownFolder::ProgramFiles, "C:\\Program Files"},
      {KnownFolder::ProgramFilesX86, "C:\\Program Files (x86)"},
      {KnownFolder::ProgramFilesCommon, "C:\\Program Files\\Common Files"},
      {KnownFolder::ProgramFilesCommonX86, "C:\\Program Files (x86)\\Common Files"},
  };
  const auto it = folders.find(kind);
  return it == folders.end() ? std::nullopt : std::optional(it->second);
}

const vx::PathVariables& typical() {
  static const vx::PathVariables table(typical_folder);
  return table;
}

TEST(PathVariables, ALeadingVariableExpandsWhateverItsCase) {
  EXPECT_EQ(typical().expand("%programfiles%\\A\\b.exe"), "C:\\Program Files\\A\\b.exe");
  EXPECT_EQ(typical().expand("%PROGRAMFILES(X86)%\\A"), "C:\\Program Files (x86)\\A");
  EXPECT_EQ(typical().expand("%WinDir%\\x"), "C:\\Windows\\x");
  EXPECT_EQ(typical().expand("%AppData%\\Vorlix\\NoClean.txt"),
            "C:\\Users\\홍길동\\AppData\\Roaming\\Vorlix\\NoClean.txt");
  // Only at the very start, and only before a backslash.
  for (const char* unchanged : {"%ProgramFiles%", "%ProgramFiles%x", "C:\\%ProgramFiles%\\x", "%Unknown%\\x", ""})
    EXPECT_EQ(typical().expand(unchanged), unchanged);
}

TEST(PathVariables, FoldersContractToTheFirstVariableInOrder) {
  EXPECT_EQ(typical().contract(typical().expand("%WinDir%\\x")), "%SystemRoot%\\x");
  EXPECT_EQ(typical().contract("C:\\Program Files (x86)\\Common Files\\x.dll"), "%CommonProgramFiles(x86)%\\x.dll");
  EXPECT_EQ(typical().contract("c:\\program files (x86)\\App\\a.exe"), "%ProgramFiles(x86)%\\App\\a.exe");
  EXPECT_EQ(typical().contract("C:\\Program Files\\App\\a.exe"), "%ProgramFiles%\\App\\a.exe");
  EXPECT_EQ(typical().contract("C:\\users\\홍길동\\appdata\\roaming\\x"), "%AppData%\\x");
  EXPECT_EQ(typical().contract("C:\\Program Files"), "C:\\Program Files") << "the folder itself stays";
  EXPECT_EQ(typical().contract("C:\\Program Filesx\\a"), "C:\\Program Filesx\\a");
}

TEST(PathVariables, FoldersTheShellCannotGiveAreLeftOut) {
  const vx::PathVariables partial([](KnownFolder kind) -> std::optional<std::string> {
    if (kind == KnownFolder::ProgramFiles) return "D:\\Apps";
    if (kind == KnownFolder::Windows) return "";  // unusable: as good as missing
    return std::nullopt;
  });
  ASSERT_EQ(partial.rows().size(), 1u);
  EXPECT_EQ(partial.expand("%ProgramFiles%\\a"), "D:\\Apps\\a");
  EXPECT_EQ(partial.expand("%SystemRoot%\\a"), "%SystemRoot%\\a");
  EXPECT_EQ(partial.contract("\\a"), "\\a");
}

TEST(SplitCommandLine, QuotedExtensionAndSpaceForms) {
  using vx::SplitCommand;
  EXPECT_EQ(vx::split_command_line("  \"C:\\a b\\c.exe\" -x "), (SplitCommand{"C:\\a b\\c.exe", "-x"}));
  EXPECT_EQ(vx::split_command_line("\"C:\\a b\\c.exe -x"), (SplitCommand{"C:\\a b\\c.exe -x", ""}));
  EXPECT_EQ(vx::split_command_line("C:\\Program Files\\App\\app.exe /min"),
            (SplitCommand{"C:\\Program Files\\App\\app.exe", "/min"}));
  EXPECT_EQ(vx::split_command_line("c:\\tools\\run.cmd arg"), (SplitCommand{"c:\\tools\\run.cmd", "arg"}));
  EXPECT_EQ(vx::split_command_line("C:\\my.company\\tool.exe"), (SplitCommand{"C:\\my.com", "pany\\tool.exe"}))
      << "the earliest listed extension cuts, even inside a folder name";
  EXPECT_EQ(vx::split_command_line("C:\\App\\setup.msi"), (SplitCommand{"C:\\App\\setup.msi", ""}));
  EXPECT_EQ(vx::split_command_line("notepad file.txt"), (SplitCommand{"notepad", "file.txt"}));
  EXPECT_EQ(vx::split_command_line("notepad"), (SplitCommand{"notepad", ""}));
  EXPECT_EQ(vx::split_command_line(" \t "), (SplitCommand{}));
  // "ß" upper-cases to two letters: byte positions would not line up, so the space form decides.
  EXPECT_EQ(vx::split_command_line("C:\\Straße\\a.exe b"), (SplitCommand{"C:\\Straße\\a.exe", "b"}));
}

TEST(CommandTarget, TheProgramOrTheDllRundllLoads) {
  EXPECT_EQ(vx::command_target("rundll32.exe \"C:\\x\\y.dll\",Entry", typical()), "C:\\x\\y.dll");
  EXPECT_EQ(vx::command_target("C:\\Windows\\System32\\RUNDLL32.EXE shell32.dll,Control_RunDLL", typical()),
            "shell32.dll");
  EXPECT_EQ(vx::command_target("rundll32.exe \"C:\\x\\y.dll", typical()), "") << "a quote never closed";
  EXPECT_EQ(vx::command_target("rundll32.exe", typical()), "rundll32.exe");
  EXPECT_EQ(vx::command_target("\\??\\C:\\Windows\\x.exe", typical()), "C:\\Windows\\x.exe");
  EXPECT_EQ(vx::command_target("\"%ProgramFiles%\\\\App\\\\a.exe\" /s", typical()), "C:\\Program Files\\App\\a.exe");
  EXPECT_EQ(vx::command_target("app.exe", typical()), "app.exe") << "no search for a bare name";
}

TEST(FileNameOf, AfterTheLastBackslashOrColon) {
  EXPECT_EQ(vx::file_name_of("C:\\Windows\\explorer.exe"), "explorer.exe");
  EXPECT_EQ(vx::file_name_of("C:x.exe"), "x.exe");
  EXPECT_EQ(vx::file_name_of("x.exe"), "x.exe");
  EXPECT_EQ(vx::file_name_of("C:\\dir\\"), "");
}

TEST(AbsoluteDrivePath, OnlyLocalDrivePathsWithoutDotsOrStreams) {
  for (const char* good : {"C:\\", "c:\\Temp\\x.tmp", "Z:/a/b", "C:\\a..b\\.hidden", "C:\\캐시"})
    EXPECT_TRUE(vx::is_absolute_drive_path(good)) << good;
  for (const char* bad : {"", "C:", "C:Temp", "\\\\server\\share\\x", "\\\\?\\C:\\x", "\\Windows\\Temp", "Temp\\x",
                          "1:\\x", "C:\\a\\..\\Users", "C:\\a\\.\\b", "C:\\a\\..", "C:\\file.txt:stream", "%Temp%\\x"})
    EXPECT_FALSE(vx::is_absolute_drive_path(bad)) << bad;
  EXPECT_FALSE(vx::is_absolute_drive_path(std::string_view("C:\\a\0b", 6)))
      << "a NUL would cut the path at the system call";
}

// The process's own table takes the installed lookup, once.
TEST(PathVariables, TheProcessTableIsBuiltOnceFromTheLookup) {
  vx::set_known_folder_lookup(typical_folder);
  EXPECT_EQ(vx::expand_path_vars("%ProgramData%\\x"), "C:\\ProgramData\\x");
  vx::set_known_folder_lookup([](KnownFolder) -> std::optional<std::string> { return "Z:\\Other"; });
  EXPECT_EQ(vx::contract_path_vars("C:\\ProgramData\\x"), "%ProgramData%\\x") << "not rebuilt";
  EXPECT_EQ(vx::known_folder(KnownFolder::Music), "Z:\\Other");
  vx::set_known_folder_lookup(nullptr);
}

}  // namespace
