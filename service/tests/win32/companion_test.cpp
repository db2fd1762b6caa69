// VorlixService under Wine, started as the user would start it: one copy per
// session, the tray icon and its menu, the exception list, the scheduled
// start, and the update check against the dev server.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "start_task.h"
#include "update_worker.h"
#include "win32/devserver.h"
#include "win32/process.h"
#include "win32/screen.h"
#include "win32/wine_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::testing;
using vx::service::win32::start_task_exists;

constexpr UINT tray_message = WM_APP + 2;

std::wstring companion_path() { return beside_tests(L"vorlix-test-companion.exe"); }

std::wstring class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring text_of(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// The first top-level window of `pid` with this class (any class when empty).
HWND window_of(DWORD pid, const std::wstring& class_name, DWORD ms = 20000, bool visible = false) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  do {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && (class_name.empty() || class_of(w) == class_name) && (!visible || IsWindowVisible(w)))
        return w;
    }
    Sleep(30);
  } while (GetTickCount64() < deadline);
  return nullptr;
}

// A child control of `parent` showing exactly `text`.
HWND child_with_text(HWND parent, const std::wstring& text) {
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (text_of(c) == text) return c;
  return nullptr;
}

// The tray icon is there when the shell lets us change it.
bool has_tray_icon(HWND owner) {
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = owner;
  icon.uID = 1;
  icon.uFlags = NIF_TIP;
  GetWindowTextW(owner, icon.szTip, 128);
  return Shell_NotifyIconW(NIM_MODIFY, &icon);
}

fs::path exception_list() {
  wchar_t folder[MAX_PATH];
  GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
  return fs::path(folder) / L"Vorlix" / L"NoClean.txt";
}

// Notepad windows showing the exception list, closed on the way out.
HWND notepad_with_list(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  do {
    for (HWND w = FindWindowW(L"Notepad", nullptr); w; w = FindWindowExW(nullptr, w, L"Notepad", nullptr))
      if (text_of(w).find(L"NoClean") != std::wstring::npos) return w;
    Sleep(50);
  } while (GetTickCount64() < deadline);
  return nullptr;
}

// Closes every Notepad window and waits until they are gone: a Notepad left
// open would keep the test's output open after it ends.
bool close_notepads() {
  for (int i = 0; i < 100; ++i, Sleep(100)) {
    const HWND open = FindWindowW(L"Notepad", nullptr);
    if (!open) return true;
    PostMessageW(open, WM_CLOSE, 0, 0);
  }
  return false;
}

class Companion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = DevServer::find();
    if (server) trusted = server->trust();
  }
  void SetUp() override {
    if (!server) GTEST_SKIP() << "no dev server (run through ctest)";
    ASSERT_TRUE(trusted);
    ASSERT_TRUE(server->set_scenario(R"({"companion":{"status":"ok"}})"));
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"VORLIX_TEST_ORIGIN", nullptr);
    if (server) server->set_scenario("{}");
  }

  // Starts the companion and waits for its tray window.
  HWND start(Process& process, const std::wstring& arguments = L"/lang=en") {
    if (!process.start(companion_path(), arguments, log.wstring())) return nullptr;
    return window_of(process.info.dwProcessId, L"SvcVorlix");
  }
  // The companion's requests to its check address after the first `skip`.
  std::vector<Recorded> checks(std::size_t skip) {
    std::vector<Recorded> all = server->requests(), found;
    for (std::size_t i = skip; i < all.size(); ++i)
      if (all[i].path == "/vorlix.php") found.push_back(all[i]);
    return found;
  }
  // Waits until the program's standard error holds `text`.
  bool log_has(const std::string& text, unsigned ms = 20000) { return file_has(log, text, ms); }

  static inline std::optional<DevServer> server;
  static inline bool trusted = false;
  fs::path log = fs::temp_directory_path() / "vorlix-companion.log";
};

TEST_F(Companion, OneCopyPerSessionWithItsTrayIconBackAfterTheShellRestarts) {
  Process first;
  const HWND tray = start(first);
  ASSERT_NE(tray, nullptr);
  EXPECT_FALSE(IsWindowVisible(tray));
  EXPECT_EQ(text_of(tray), L"Vorlix");
  EXPECT_TRUE(has_tray_icon(tray));

  Process second;
  ASSERT_TRUE(second.start(companion_path(), L"/lang=en"));
  EXPECT_EQ(second.wait_exit(10000), 0u) << "a second copy ends at once";

  // The shell forgets the icon when it restarts, then says so to everyone.
  NOTIFYICONDATAW gone{};
  gone.cbSize = sizeof gone;
  gone.hWnd = tray;
  gone.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
  EXPECT_FALSE(has_tray_icon(tray));
  PostMessageW(tray, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (!has_tray_icon(tray) && GetTickCount64() < deadline) Sleep(50);
  EXPECT_TRUE(has_tray_icon(tray));

  PostMessageW(tray, WM_COMMAND, 103, 0);  // "Quit"
  EXPECT_EQ(first.wait_exit(10000), 0u);
  EXPECT_FALSE(has_tray_icon(tray));
}

// Wine keeps menus per process, so only the menu's window can be seen from
// here; its words are checked through the message box below.
TEST_F(Companion, ARightClickOnTheIconOpensTheMenu) {
  Process companion;
  const HWND tray = start(companion);
  ASSERT_NE(tray, nullptr);
  PostMessageW(tray, tray_message, 1, WM_RBUTTONUP);
  const HWND menu = window_of(companion.info.dwProcessId, L"#32768", 10000, true);
  ASSERT_NE(menu, nullptr) << "no menu";
  PostMessageW(tray, WM_CANCELMODE, 0, 0);
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (IsWindowVisible(menu) && GetTickCount64() < deadline) Sleep(30);
  EXPECT_FALSE(IsWindowVisible(menu));
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
}

TEST_F(Companion, TheExceptionListIsCreatedWhenMissingNeverEmptiedAndOpenedInNotepad) {
  Process companion;
  const HWND tray = start(companion);
  ASSERT_NE(tray, nullptr);
  const fs::path list = exception_list();
  fs::remove(list);
  PostMessageW(tray, WM_COMMAND, 101, 0);
  HWND notepad = notepad_with_list(20000);
  ASSERT_NE(notepad, nullptr) << "Notepad did not open the list";
  ASSERT_TRUE(fs::exists(list));
  EXPECT_EQ(fs::file_size(list), 0u);
  ASSERT_TRUE(close_notepads());

  std::ofstream(list, std::ios::binary) << "keep.exe\r\n";
  PostMessageW(tray, WM_COMMAND, 101, 0);
  notepad = notepad_with_list(20000);
  ASSERT_NE(notepad, nullptr);
  EXPECT_EQ(read_text(list), "keep.exe\n") << "an existing list is opened as it is";
  EXPECT_TRUE(close_notepads());
  fs::remove(list);
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
}

TEST_F(Companion, InstallRegistersTheStartAndRaisesTheMainProgramUninstallRemovesIt) {
  Process companion;
  const HWND tray = start(companion);
  ASSERT_NE(tray, nullptr);
  Process main;
  ASSERT_TRUE(main.start(beside_tests(L"Vorlix.exe"), L"--lang en"));
  const HWND window = window_of(main.info.dwProcessId, L"TFrmVorlix", 20000, true);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window));

  // The running copy stays; the second one registers, raises and ends.
  Process install;
  ASSERT_TRUE(install.start(companion_path(), L"/inst /lang=en"));
  EXPECT_EQ(install.wait_exit(20000), 0u) << "the task could not be registered";
  EXPECT_FALSE(IsIconic(window)) << "the main program was not raised";
  EXPECT_TRUE(start_task_exists("Vorlix"));

  for (int round = 0; round < 2; ++round) {  // a missing task is no failure
    Process uninstall;
    ASSERT_TRUE(uninstall.start(companion_path(), L"/UNINST"));
    EXPECT_EQ(uninstall.wait_exit(20000), 0u);
    EXPECT_FALSE(start_task_exists("Vorlix"));
  }
  EXPECT_EQ(WaitForSingleObject(companion.info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "uninstalling touches nothing else";
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(main.wait_exit(10000), 0u);
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
}

TEST_F(Companion, AnUnreachableServerIsAskedSixTimesThenNothingIsShown) {
  SetEnvironmentVariableW(L"VORLIX_TEST_ORIGIN", L"https://localhost:1");
  Process companion;
  const HWND tray = start(companion);
  ASSERT_NE(tray, nullptr);
  ASSERT_TRUE(log_has("[update] 업데이트 확인 실패 (6/6): ", 60000)) << read_text(log);
  Sleep(1000);
  const std::string said = read_text(log);
  for (int i = 1; i <= 6; ++i) EXPECT_NE(said.find("(" + std::to_string(i) + "/6)"), std::string::npos) << said;
  EXPECT_EQ(said.find("(7/6)"), std::string::npos);
  EXPECT_EQ(window_of(companion.info.dwProcessId, L"OUpdateDialog", 0), nullptr);
  EXPECT_EQ(window_of(companion.info.dwProcessId, L"OUpdateBar", 0), nullptr);
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
}

TEST_F(Companion, QuittingCancelsARequestTheServerIsSlowToAnswer) {
  ASSERT_TRUE(server->set_scenario(R"({"delay":{"/vorlix.php":12},"companion":{"update":"https://vorlix.app/x"}})"));
  const std::size_t before = server->requests().size();
  Process companion;
  const HWND tray = start(companion);
  ASSERT_NE(tray, nullptr);
  ASSERT_EQ(server->wait_for_requests(before + 1).size(), before + 1);
  const ULONGLONG asked = GetTickCount64();
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
  // Windows ends the cancelled request at once; Wine lets it run, and the
  // companion leaves it behind after 3 s. Either way, not the server's 12 s.
  EXPECT_LT(GetTickCount64() - asked, 9000u) << "the exit waited for the server";
  EXPECT_EQ(checks(before).size(), 1u) << "no retry after the stop";
}

// In this process: the worker refuses a second start while the first runs.
TEST_F(Companion, OneCheckAtATime) {
  ASSERT_TRUE(server->set_scenario(R"({"delay":{"/vorlix.php":12}})"));
  vx::service::win32::UpdateCheck check;
  vx::service::CheckConfig config =
      vx::service::companion_check_config(VORLIX_SERVER_ORIGIN "/vorlix.php", "4.0.1.0", "en");
  EXPECT_FALSE(check.start(vx::service::CheckConfig{}, nullptr, WM_APP + 1, {})) << "no URL";
  ASSERT_TRUE(check.start(config, nullptr, WM_APP + 1, {}));
  EXPECT_TRUE(check.running());
  EXPECT_FALSE(check.start(config, nullptr, WM_APP + 1, {}));
  const ULONGLONG stopping = GetTickCount64();
  check.stop();
  EXPECT_LT(GetTickCount64() - stopping, 5000u);
  EXPECT_FALSE(check.running());
}

TEST_F(Companion, AnOfferedUpdateAcceptedOpensItsPageAndEndsTheCompanion) {
  if (!has_url_logger()) GTEST_SKIP() << "no URL logger in this prefix";
  // No "status": the companion offers the update all the same.
  ASSERT_TRUE(server->set_scenario(
      R"({"companion":{"update":"https://vorlix.app/get?v=9","info":{"style":"HOLD","text":"Do not ask again"}}})"));
  const std::size_t before = server->requests().size();
  Process companion;
  const HWND tray = start(companion, L"/lang=ko");
  ASSERT_NE(tray, nullptr);
  const HWND dialog = window_of(companion.info.dwProcessId, L"OUpdateDialog", 30000, true);
  ASSERT_NE(dialog, nullptr) << read_text(log);

  const std::vector<Recorded> asked = checks(before);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].header("User-Version"), "4.0.1.0");
  EXPECT_EQ(asked[0].header("User-Language"), "ko");
  EXPECT_EQ(asked[0].header("User-Debug"), "false");
  EXPECT_EQ(asked[0].header("User-Union").value_or("").size(), 32u);
  EXPECT_EQ(asked[0].header("User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");

  const HWND hold = child_with_text(dialog, L"Do not ask again");
  const HWND yes = child_with_text(dialog, L"예");
  ASSERT_NE(hold, nullptr);
  ASSERT_NE(yes, nullptr);
  SendMessageW(hold, BM_CLICK, 0, 0);
  if (const Capture picture = capture(dialog); picture.width > 0)
    save_artifact(picture, L"companion-update-dialog.png");
  PostMessageW(yes, BM_CLICK, 0, 0);
  EXPECT_TRUE(url_was_opened("https://vorlix.app/get?v=9"));
  EXPECT_EQ(companion.wait_exit(15000), 0u) << "accepting ends the companion";

  // The hold request says only who asks, and what.
  bool held = false;
  for (const Recorded& request : checks(before))
    if (request.header("User-Command") == "hold") {
      held = true;
      EXPECT_EQ(request.header("User-Version"), "4.0.1.0");
      EXPECT_FALSE(request.header("User-Union"));
    }
  EXPECT_TRUE(held);
}

TEST_F(Companion, ANoticeShowsTheBarInTheCornerAndQuittingClosesIt) {
  ASSERT_TRUE(server->set_scenario(R"({"companion":{"notify":"https://vorlix.app/news"}})"));
  Process companion;
  const HWND tray = start(companion, L"/lang=es");
  ASSERT_NE(tray, nullptr);
  const HWND bar = window_of(companion.info.dwProcessId, L"OUpdateBar", 30000, true);
  ASSERT_NE(bar, nullptr) << read_text(log);
  EXPECT_EQ(window_of(companion.info.dwProcessId, L"OUpdateDialog", 0), nullptr);
  RECT at{}, work{};
  GetWindowRect(bar, &at);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_LE(at.right, work.right);
  EXPECT_LE(at.bottom, work.bottom);
  EXPECT_GT(at.bottom, work.bottom - 60) << "beside the notification area";
  if (const Capture picture = capture(bar); picture.width > 0) save_artifact(picture, L"companion-update-bar-es.png");
  PostMessageW(tray, WM_COMMAND, 103, 0);
  EXPECT_EQ(companion.wait_exit(10000), 0u);
  EXPECT_FALSE(IsWindow(bar));
}

// The box speaks the language asked for, English for one without texts.
TEST_F(Companion, WithoutTheMainProgramItSaysSoInItsLanguageAndOpensTheWebSite) {
  if (!has_url_logger()) GTEST_SKIP() << "no URL logger in this prefix";
  const fs::path alone = fs::temp_directory_path() / L"companion-alone";
  fs::create_directories(alone);
  const fs::path copy = alone / L"VorlixService.exe";
  fs::copy_file(companion_path(), copy, fs::copy_options::overwrite_existing);
  const std::wstring english = L"The application configuration file is invalid.\n\nPlease reinstall and run.";
  const struct {
    const wchar_t* arguments;
    std::wstring text;
  } cases[] = {
      {L"/lang=en", english},
      {L"/LANG=fr",
       L"Le fichier de configuration de l'application n'est pas valide.\n\nVeuillez réinstaller et exécuter."},
      {L"/lang=xx", english},
      {L"/lang=ko", L"응용 프로그램 구성 파일이 잘못되었습니다.\n\n다시 설치 후 실행해 주십시오."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Process companion;
    ASSERT_TRUE(companion.start(copy.wstring(), c.arguments));
    const HWND box = window_of(companion.info.dwProcessId, L"#32770", 20000, true);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text_of(box), L"Vorlix");
    bool said = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      said |= text_of(child) == c.text;
    EXPECT_TRUE(said);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(companion.wait_exit(10000), 0u);
  }
  EXPECT_TRUE(url_was_opened("https://vorlix.app/"));
  EXPECT_EQ(FindWindowW(L"SvcVorlix", nullptr), nullptr) << "nothing stays behind";
  fs::remove_all(alone);
}

}  // namespace
