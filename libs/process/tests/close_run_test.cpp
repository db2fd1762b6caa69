#include "process/close_run.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace vx::process;
using State = ProcessState;

std::vector<std::string> args(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

TEST(RunMode, FromTheCommandLine) {
  EXPECT_EQ(run_mode_from_args(args({"Vorlix.exe"})), RunMode{});
  EXPECT_EQ(run_mode_from_args(args({"--kill-only", "notepad.exe", "--dry-run"})), (RunMode{RunMode::dry_run, ""}));
  EXPECT_EQ(run_mode_from_args(args({"--lang", "ko", "--kill-only", "Notepad.exe"})),
            (RunMode{RunMode::only, "Notepad.exe"}));
  EXPECT_EQ(run_mode_from_args(args({"--kill-only"})).kind, RunMode::dry_run) << "no name: nothing ends";
  EXPECT_EQ(run_mode_from_args(args({"--kill-only", "--lang", "ko"})).kind, RunMode::dry_run);
  EXPECT_EQ(run_mode_from_args(args({"--Kill-Only", "x.exe"})).kind, RunMode::all) << "switches are case-sensitive";
  EXPECT_EQ(describe({}), "All");
  EXPECT_EQ(describe({RunMode::dry_run, ""}), "DryRun");
  EXPECT_EQ(describe({RunMode::only, "notepad.exe"}), "Only(\"notepad.exe\")");
}

struct CloseRun : ::testing::Test {
  KeepList paths = load_list_text("svchost.exe*\nC:\\Tools\\Keep\\");
  KeepList signers = load_list_text("Ostrelnet");
  std::vector<std::string> looked_up;
  SignerLookup signer_of = [this](const std::string& path) {
    looked_up.push_back(path);
    return path.find("signed") != std::string::npos ? std::string("Ostrelnet Co., Ltd.") : std::string();
  };
};

TEST_F(CloseRun, KeepsItselfProtectedPathsAndTrustedSigners) {
  const std::vector<ProcessEntry> entries = {
      {"C:\\Users\\me\\Vorlix.exe", 7},
      {"C:\\Windows\\System32\\svchost.exe", 8},
      {"C:\\Tools\\Keep\\a.exe", 9},
      {"C:\\Apps\\signed.exe", 10},
      {"C:\\Apps\\plain.exe", 11},
      {"C:\\Apps\\plain.exe", 12},
      {"", 13},
      {"C:\\Users\\me\\Vorlix.exe", 14},
      {"signed.exe", 15},
      {"\\\\server\\share\\signed.exe", 16},
  };
  const Decisions d = decide(entries, 7, paths, signers, signer_of);
  EXPECT_EQ(d.states, (std::vector<State>{State::kept, State::kept, State::kept, State::kept, State::target,
                                          State::target, State::target, State::target, State::target, State::target}))
      << "another copy of this program is judged like any other";
  EXPECT_EQ(looked_up,
            (std::vector<std::string>{"C:\\Apps\\signed.exe", "C:\\Apps\\plain.exe", "C:\\Users\\me\\Vorlix.exe"}))
      << "one lookup per distinct path, none for a protected one or one that is not a full drive path";
  EXPECT_EQ(d.signer_cache.at("C:\\Apps\\signed.exe"), "Ostrelnet Co., Ltd.");
}

TEST_F(CloseRun, AnEmptySignerListReadsNoSignature) {
  const std::vector<ProcessEntry> entries = {{"C:\\Apps\\signed.exe", 10}};
  const Decisions d = decide(entries, 1, paths, KeepList{}, signer_of);
  EXPECT_EQ(d.states, std::vector<State>{State::target});
  EXPECT_TRUE(looked_up.empty());
  EXPECT_TRUE(report_signers(d.signer_cache).empty());
}

TEST_F(CloseRun, TheModeChoosesTargetsAndEndedOnesAreClosed) {
  const std::vector<ProcessEntry> entries = {{"C:\\Windows\\notepad.exe", 1},
                                             {"C:\\Apps\\NOTEPAD.EXE", 2},
                                             {"C:\\Apps\\other.exe", 3},
                                             {"C:\\Windows\\notepad.exe", 4}};
  std::vector<State> states = {State::target, State::target, State::target, State::kept};
  EXPECT_EQ(targets_for_mode(entries, states, {}).size(), 3u);
  EXPECT_TRUE(targets_for_mode(entries, states, {RunMode::dry_run, ""}).empty());
  const auto only = targets_for_mode(entries, states, {RunMode::only, "Notepad.exe"});
  ASSERT_EQ(only.size(), 2u);
  EXPECT_EQ(only[1].id, 2u) << "file names compared without case; the kept one is not a target";

  const std::uint32_t ended[] = {2, 4, 99};
  EXPECT_EQ(mark_closed(entries, states, ended), 1u);
  EXPECT_EQ(states, (std::vector<State>{State::target, State::closed, State::target, State::kept}));
}

TEST(ReportSigners, OnePathPerSignerOrderedBySigner) {
  const std::map<std::string, std::string> cache = {
      {"C:\\b.exe", "Zeta Ltd"}, {"C:\\a.exe", "zeta ltd"}, {"C:\\c.exe", "Alpha"}, {"C:\\d.exe", ""}};
  EXPECT_EQ(report_signers(cache),
            (std::vector<std::pair<std::string, std::string>>{{"C:\\c.exe", "Alpha"}, {"C:\\a.exe", "zeta ltd"}}));
}

TEST(DrivePath, DevicePathsBecomeDrivePaths) {
  const std::vector<std::pair<std::string, std::string>> drives = {{"C:", "\\Device\\HarddiskVolume3"},
                                                                   {"D:", "\\Device\\HarddiskVolume30"}};
  EXPECT_EQ(drive_path("\\Device\\HarddiskVolume30\\x.exe", drives), "D:\\x.exe");
  EXPECT_EQ(drive_path("\\Device\\HarddiskVolume3\\Windows\\x.exe", drives), "C:\\Windows\\x.exe");
  EXPECT_EQ(drive_path("\\Device\\HarddiskVolume3", drives), "");
  EXPECT_EQ(drive_path("\\Device\\Mup\\server\\x.exe", drives), "");
}

TEST(PathMatcher, AnswersAsThePathRuleDoes) {
  const KeepList list = builtin_keep_lists()[ListKind::path];
  const PathMatcher matcher(list.keys());
  std::vector<std::string> paths = {"C:\\Windows\\explorer.exe",
                                    "C:\\x\\ShellHost.exe",
                                    "Secure System",
                                    "C:\\Program Files\\Tool\\tool.exe",
                                    "C:\\Windows\\System32\\sihost.exe",
                                    "%SystemRoot%\\System32\\sihost.exe",
                                    "C:\\dir\\",
                                    "",
                                    "registry"};
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) {  // pieces of real entries in made-up folders
    const std::string& raw = list.raw()[random() % list.size()];
    paths.push_back("C:\\Folder" + std::to_string(i) + "\\" +
                    (raw.back() == '*' ? raw.substr(0, raw.size() - 1) : raw));
  }
  for (const std::string& path : paths) EXPECT_EQ(matcher.matches(path), matches_path(list.keys(), path)) << path;
}

}  // namespace
