#include "process/keep_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/path_vars.h"

namespace {

using namespace vx::process;

// Every test sees the same folders: the table is built once per process.
class TypicalFolders : public ::testing::Environment {
 public:
  void SetUp() override {
    vx::set_known_folder_lookup([](vx::KnownFolder kind) -> std::optional<std::string> {
      switch (kind) {
        case vx::KnownFolder::ProgramFiles:
          return "C:\\Program Files";
        case vx::KnownFolder::ProgramFilesX86:
          return "C:\\Program Files (x86)";
        case vx::KnownFolder::Windows:
          return "C:\\Windows";
        default:
          return std::nullopt;
      }
    });
  }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new TypicalFolders);

TEST(BuiltinLists, LoadWithTheirDuplicatesDropped) {
  const KeepLists lists = builtin_keep_lists();
  EXPECT_EQ(lists[ListKind::path].size(), 258u);
  EXPECT_EQ(lists[ListKind::name].size(), 83u);
  EXPECT_EQ(lists[ListKind::bundle].size(), 37u);
  EXPECT_EQ(lists[ListKind::signer].size(), 3u);
  for (std::size_t i = 0; i < list_count; ++i) {
    const std::string_view text = builtin_list_text(static_cast<ListKind>(i));
    EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF")) << i;
    EXPECT_TRUE(text.ends_with("\r\n")) << i;
  }
  const auto& path = lists[ListKind::path];
  EXPECT_EQ(path.raw().front(), "WmiPrvSE.exe*");
  EXPECT_EQ(path.raw().back(), "%SystemRoot%\\SYSWOW64\\TUCTLSystem.exe");
  EXPECT_EQ(path.keys().back(), "c:\\windows\\syswow64\\tuctlsystem.exe") << "variable expanded, lower-cased";
  EXPECT_EQ(std::ranges::count(path.raw(), "ShellHost.exe*"), 1);
  EXPECT_NE(std::ranges::find(path.raw(), "Vorlix.exe*"), path.raw().end());
  EXPECT_EQ(lists[ListKind::name].raw().front(), "Vorlix");
  EXPECT_EQ(lists[ListKind::name].raw().back(), "WSLService");
  EXPECT_EQ(lists[ListKind::bundle].raw()[3], "우리은행 보안 로그 수집기");
  EXPECT_EQ(lists[ListKind::signer].raw().front(), "Ostrelnet");
}

TEST(KeepList, EntriesAreTrimmedAndDuplicatesIgnoreAsciiCase) {
  KeepList list =
      load_list_text("\xEF\xBB\xBF\xEF\xBB\xBF  WmiPrvSE.exe*\t\r\n\r\n \u3000 \r\nwmiprvse.exe*\nÄpp.exe*\näpp.exe*");
  EXPECT_EQ(list.raw(), (std::vector<std::string>{"WmiPrvSE.exe*", "Äpp.exe*", "äpp.exe*"}))
      << "blank lines skipped; only ASCII case makes a duplicate";
  EXPECT_EQ(list.keys()[1], "äpp.exe*") << "keys are lower-cased in full";
  EXPECT_EQ(merge_lines(list, "WMIPRVSE.EXE*\r\nnew.exe*"), 1u);
}

TEST(PathRule, StarEntriesNameFilesOtherEntriesArePiecesOfPaths) {
  const std::vector<std::string> explorer_star = load_list_text("Explorer.exe*").keys();
  EXPECT_TRUE(matches_path(explorer_star, "C:\\Windows\\explorer.exe"));
  EXPECT_FALSE(matches_path(explorer_star, "C:\\Tools\\explorer2.exe"));
  const std::vector<std::string> explorer = load_list_text("explorer").keys();
  EXPECT_TRUE(matches_path(explorer, "C:\\Windows\\explorer.exe"));
  EXPECT_TRUE(matches_path(explorer, "C:\\Tools\\explorer2.exe"));
  EXPECT_TRUE(matches_path(explorer, "D:\\Explorer Tools\\x.exe"));

  const std::vector<std::string> pscan = load_list_text("%ProgramFiles%\\AhnLab\\V3Lite30\\PScan.exe").keys();
  EXPECT_TRUE(matches_path(pscan, "C:\\PROGRAM FILES\\AhnLab\\V3Lite30\\PScan.exe"));
  EXPECT_FALSE(matches_path(pscan, "D:\\AhnLab\\V3Lite30\\PScan.exe"));
  EXPECT_FALSE(matches_path(pscan, "C:\\Program Files\\AhnLab\\V3Lite30\\PScan.ex")) << "a longer key never matches";

  // "//" lines are comments; a one-character key is not.
  EXPECT_FALSE(matches_path(load_list_text("//notepad.exe*").keys(), "C:\\Windows\\notepad.exe"));
  EXPECT_TRUE(matches_path(load_list_text("/").keys(), "C:/odd/path"));
  EXPECT_FALSE(matches_path({}, "C:\\a.exe"));
}

TEST(SignerRule, TheSignerNameBeginsWithTheKey) {
  const std::vector<std::string> keys = load_list_text("Ostrelnet\n//x\n").keys();
  EXPECT_TRUE(matches_signer(keys, "Ostrelnet Co., Ltd."));
  EXPECT_TRUE(matches_signer(keys, "OSTRELNET"));
  EXPECT_FALSE(matches_signer(keys, "The Ostrelnet Group"));
  EXPECT_FALSE(matches_signer(keys, "Ostrel"));
  EXPECT_FALSE(matches_signer(keys, ""));
  EXPECT_FALSE(matches_signer(keys, "//x signer")) << "comment keys match nothing";
}

TEST(ServerLists, MergeListByListInOrder) {
  KeepLists lists = builtin_keep_lists();
  const std::size_t before = lists[ListKind::path].size();
  std::array<std::vector<std::string>, list_count> server;
  server[0] = {"new.exe*", " explorer.exe* ", "", "new.exe*"};
  server[3] = {"Another Signer"};
  EXPECT_EQ(merge_lists(lists, server), 2u);
  EXPECT_EQ(lists[ListKind::path].size(), before + 1);
  EXPECT_EQ(lists[ListKind::path].raw().back(), "new.exe*");
  EXPECT_TRUE(matches_signer(lists[ListKind::signer].keys(), "Another Signer Ltd"));
}

TEST(ListFiles, EveryEncodingDecodesToTheSameLines) {
  const auto no_ansi = [](std::string_view) -> std::optional<std::string> { return std::nullopt; };
  // UTF-16 LE with a mark, CR LF and a blank line: one entry per non-blank line.
  std::string utf16le = "\xFF\xFE";
  for (const char16_t unit : std::u16string_view(u"a.exe*\r\n\r\n한b")) {
    utf16le += static_cast<char>(unit & 0xFF);
    utf16le += static_cast<char>(unit >> 8);
  }
  KeepList list = load_list_text(decode_list_file(utf16le, no_ansi));
  EXPECT_EQ(list.raw(), (std::vector<std::string>{"a.exe*", "한b"}));
  EXPECT_EQ(decode_list_file(std::string("\xFE\xFF\0a\xD8\0\0b", 8), no_ansi),
            "a\xEF\xBF\xBD"
            "b")
      << "big-endian, an unpaired surrogate replaced";
  EXPECT_EQ(decode_list_file("\xEF\xBB\xBF"
                             "ok\xFF",
                             no_ansi),
            "ok\xEF\xBF\xBD");
  EXPECT_EQ(decode_list_file("plain \xED\x95\x9C", no_ansi), "plain \xED\x95\x9C") << "valid UTF-8 as it is";
  // Not UTF-8: the ANSI code page decides, and replacement characters when it cannot.
  const auto cp949 = [](std::string_view bytes) -> std::optional<std::string> {
    if (bytes == "\xC7\xD1") return "한";
    return std::nullopt;
  };
  EXPECT_EQ(decode_list_file("\xC7\xD1", cp949), "한");
  EXPECT_EQ(decode_list_file("\xC7\xD1", no_ansi), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(decode_list_file("\xFF\xFE", no_ansi), "") << "two bytes: only a UTF-16 mark";
  EXPECT_EQ(decode_list_file(std::string("\xFF\xFE"
                                         "a\0b",
                                         5),
                             no_ansi),
            "a\xEF\xBF\xBD")
      << "a cut-off unit";
}

}  // namespace
