// The startup items of a scratch prefix: files in the user's Startup folder,
// Run values in both views, a service; switched and deleted for real.
#include "page-autorun/win32/sources.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/path_vars.h"
#include "common/text.h"
#include "common/win32/text.h"
#include "page-autorun/win32/tasks_services.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::autorun;
using namespace vx::autorun::win32;

constexpr wchar_t run_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t wow_run_key[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

void set_string(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

// The bytes of a value, empty when it is missing.
std::string value_bytes(HKEY root, const std::wstring& path, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return {};
  BYTE data[64];
  DWORD size = sizeof data;
  const bool found = RegQueryValueExW(key, name, nullptr, nullptr, data, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found ? std::string(reinterpret_cast<char*>(data), size) : std::string();
}

const ListedItem* find(const std::vector<ListedItem>& items, std::string_view key) {
  const auto at = std::ranges::find_if(items, [&](const ListedItem& listed) { return item_key(listed.item) == key; });
  return at == items.end() ? nullptr : &*at;
}

class StartupSources : public ::testing::Test {
 protected:
  fs::path startup = [] {
    const std::optional<std::string> folder = vx::known_folder(vx::KnownFolder::Startup);
    return fs::path(vx::win32::widen(folder.value_or("")));
  }();
  void SetUp() override {
    ASSERT_FALSE(startup.empty());
    fs::create_directories(startup / "Folder.lnk");  // a folder is never an item
    for (const char* name : {"Tool.backup.lnk", "readme.txt", "run.CMD"}) std::ofstream(startup / name) << "x";
  }
  void TearDown() override {
    for (const char* name : {"Tool.backup.lnk", "readme.txt", "run.CMD", "Folder.lnk"}) fs::remove_all(startup / name);
  }
  std::string folder_key(const char* file) {
    return "FILE|" + vx::to_upper(vx::win32::narrow((startup / file).wstring()));
  }
};

TEST_F(StartupSources, FolderFilesAreListedSwitchedAndDeleted) {
  std::vector<ListedItem> items = load_items();
  const ListedItem* tool = find(items, folder_key("Tool.backup.lnk"));
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->item.name, "Tool.backup");
  EXPECT_EQ(tool->item.hive, vx::Hive::hkcu);
  EXPECT_TRUE(tool->item.enabled);
  EXPECT_NE(find(items, folder_key("run.CMD")), nullptr);
  EXPECT_EQ(find(items, folder_key("readme.txt")), nullptr);
  EXPECT_EQ(find(items, folder_key("Folder.lnk")), nullptr);

  const AutorunItem item = tool->item;
  ASSERT_TRUE(set_enabled(item, false));
  const std::wstring approved =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
  const std::string bytes = value_bytes(HKEY_CURRENT_USER, approved, L"Tool.backup.lnk");
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_NE(bytes.substr(4), std::string(8, '\0')) << "the time of the change";
  EXPECT_TRUE(fs::exists(startup / "Tool.backup.lnk")) << "switching off moves nothing";
  items = load_items();
  EXPECT_FALSE(find(items, folder_key("Tool.backup.lnk"))->item.enabled);
  ASSERT_TRUE(set_enabled(item, true));
  EXPECT_TRUE(find(load_items(), folder_key("Tool.backup.lnk"))->item.enabled);

  ASSERT_TRUE(delete_item(item));
  EXPECT_FALSE(fs::exists(startup / "Tool.backup.lnk"));
  EXPECT_EQ(value_bytes(HKEY_CURRENT_USER, approved, L"Tool.backup.lnk"), "") << "its state goes with it";
  EXPECT_TRUE(delete_item(item)) << "a file someone else removed counts as deleted";

  // Only a file that really is in the Startup folder is deleted.
  const fs::path elsewhere = startup.parent_path() / "Elsewhere.lnk";
  std::ofstream(elsewhere) << "x";
  AutorunItem forged = item;
  forged.location = vx::win32::narrow(elsewhere.wstring());
  const vx::Result<> refused = delete_item(forged);
  EXPECT_FALSE(refused);
  EXPECT_TRUE(fs::exists(elsewhere));
  fs::remove(elsewhere);
}

TEST_F(StartupSources, RunValuesInBothViewsWithProductNames) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\msiexec.exe";  // Wine's notepad.exe has no version resource
  set_string(HKEY_CURRENT_USER, run_key, L"VorlixRunTest", L"\"" + program + L"\" /s");
  set_string(HKEY_LOCAL_MACHINE, wow_run_key, L"VorlixWowTest", L"C:\\Tools\\wow.exe");

  std::vector<ListedItem> items = load_items();
  const ListedItem* user = find(items, "HKCU|HKCU\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\VORLIXRUNTEST");
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->item.target, vx::win32::narrow(program));
  EXPECT_EQ(user->product_name, "Wine Installer") << "from the version resource of msiexec.exe";
  const ListedItem* wow =
      find(items, "HKLM|HKLM\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\VORLIXWOWTEST");
  ASSERT_NE(wow, nullptr);
  EXPECT_TRUE(wow->product_name.empty()) << "no such file";
  const std::vector<std::string> icons = new_icon_keys(items);
  EXPECT_NE(std::ranges::find(icons, "exe1:" + vx::win32::narrow(program)), icons.end());
  EXPECT_TRUE(new_icon_keys(items).empty()) << "each icon is handed out once per process";

  ASSERT_TRUE(set_enabled(wow->item, false));
  const std::string run32 =
      value_bytes(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32",
                  L"VorlixWowTest");
  ASSERT_EQ(run32.size(), 12u) << "a Wow6432Node value keeps its state under Run32";
  EXPECT_EQ(run32[0], 3);

  const AutorunItem gone = user->item;
  ASSERT_TRUE(delete_item(gone));
  EXPECT_EQ(value_bytes(HKEY_CURRENT_USER, run_key, L"VorlixRunTest"), "");
  EXPECT_TRUE(delete_item(gone)) << "a value someone else removed counts as deleted";
  ASSERT_TRUE(delete_item(wow->item));
  EXPECT_EQ(
      value_bytes(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32",
                  L"VorlixWowTest"),
      "");
}

TEST_F(StartupSources, ServicesAreSwitchedBetweenAutomaticAndDisabledAndDeletedOnlyWhenDisabled) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring binary = std::wstring(system) + L"\\notepad.exe";
  SC_HANDLE created = CreateServiceW(manager, L"VorlixTestSvc", L"Vorlix Test Service", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                     binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(created, nullptr);
  CloseServiceHandle(created);
  const auto start_type = [&] {
    SC_HANDLE service = OpenServiceW(manager, L"VorlixTestSvc", SERVICE_QUERY_CONFIG);
    BYTE buffer[8192];
    DWORD size = 0;
    QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer), sizeof buffer, &size);
    CloseServiceHandle(service);
    return reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer)->dwStartType;
  };

  const std::vector<ListedItem> items = load_items();
  const ListedItem* listed = find(items, "SERV|VORLIXTESTSVC");
  ASSERT_NE(listed, nullptr);
  const AutorunItem item = listed->item;
  EXPECT_EQ(item.name, "Vorlix Test Service");
  EXPECT_FALSE(item.enabled) << "on demand is off";
  ASSERT_TRUE(set_enabled(item, true));
  EXPECT_EQ(start_type(), 2u);
  const vx::Result<> refused = delete_item(item);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "VorlixTestSvc: 사용 안 함이 아님");
  ASSERT_TRUE(set_enabled(item, false));
  EXPECT_EQ(start_type(), 4u) << "off is disabled, never on demand again";
  ASSERT_TRUE(delete_item(item));
  EXPECT_EQ(find(load_items(), "SERV|VORLIXTESTSVC"), nullptr);
  CloseServiceHandle(manager);
}

// The test service of this build, installed and started in the prefix.
class RunningService {
 public:
  RunningService(SC_HANDLE manager, const wchar_t* name, bool stubborn) {
    wchar_t self[MAX_PATH];
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::wstring command = L"\"" + path.substr(0, path.find_last_of(L'\\') + 1) + L"vorlix-test-service.exe\"" +
                                 (stubborn ? L" --stubborn" : L"");
    DeleteService(OpenServiceW(manager, name, DELETE));  // left over from an earlier run
    service_ = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service_ || !StartServiceW(service_, 0, nullptr)) return;
    for (int i = 0; i < 200 && state() != SERVICE_RUNNING; ++i) Sleep(25);
  }
  ~RunningService() {
    // A stubborn one is ended here, so the system can finish removing it.
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (service_ &&
        QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &size) &&
        status.dwProcessId != 0) {
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId)) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
    if (service_) {
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
  }
  DWORD state() const {
    SERVICE_STATUS status{};
    return service_ && QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
  }
  DWORD start_type() const {
    BYTE buffer[8192];
    DWORD size = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    return QueryServiceConfigW(service_, config, sizeof buffer, &size) ? config->dwStartType : 0;
  }

 private:
  SC_HANDLE service_ = nullptr;
};

// The service manager learns of a killed service process on its own thread, and
// only then removes a service marked for deletion, so the removal is waited for.
bool removed_soon(SC_HANDLE manager, const wchar_t* name) {
  for (int i = 0; i < 200; ++i) {
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (!service) return true;
    CloseServiceHandle(service);
    Sleep(25);
  }
  return false;
}

// The same manager, waiting a moment instead of 300 ms between two polls.
class QuickServiceManager final : public Win32ServiceManager {
 public:
  int pauses = 0;
  void pause(std::chrono::milliseconds) override {
    ++pauses;
    Sleep(10);
  }
};

TEST_F(StartupSources, ARunningServiceIsStoppedBeforeItIsDeletedAndOneThatWillNotStopIsDeletedAnyway) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  {
    const RunningService running(manager, L"VorlixRunningSvc", false);
    ASSERT_EQ(running.state(), static_cast<DWORD>(SERVICE_RUNNING));
    const std::vector<ListedItem> items = load_items();
    const ListedItem* listed = find(items, "SERV|VORLIXRUNNINGSVC");
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->item.start_type, 3u);
    EXPECT_NE(listed->item.command.find("vorlix-test-service.exe"), std::string::npos);
    ASSERT_TRUE(set_enabled(listed->item, false));
    EXPECT_EQ(running.start_type(), 4u);
    QuickServiceManager services;
    ASSERT_TRUE(delete_item(listed->item, services));
    EXPECT_EQ(running.state(), static_cast<DWORD>(SERVICE_STOPPED)) << "asked to stop and waited for";
    EXPECT_LT(services.pauses, 30);
  }
  // The system removes a deleted service once the last handle to it closes.
  EXPECT_EQ(OpenServiceW(manager, L"VorlixRunningSvc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(find(load_items(), "SERV|VORLIXRUNNINGSVC"), nullptr);
  {
    const RunningService stubborn(manager, L"VorlixStubbornSvc", true);
    ASSERT_EQ(stubborn.state(), static_cast<DWORD>(SERVICE_RUNNING));
    const std::vector<ListedItem> items = load_items();
    const ListedItem* listed = find(items, "SERV|VORLIXSTUBBORNSVC");
    ASSERT_NE(listed, nullptr);
    ASSERT_TRUE(set_enabled(listed->item, false));
    QuickServiceManager services;
    ASSERT_TRUE(delete_item(listed->item, services)) << "marked for deletion although it still runs";
    EXPECT_EQ(services.pauses, 30);
    EXPECT_EQ(stubborn.state(), static_cast<DWORD>(SERVICE_RUNNING));
  }
  EXPECT_TRUE(removed_soon(manager, L"VorlixStubbornSvc")) << "gone once it ended";
  CloseServiceHandle(manager);
}

}  // namespace

namespace {

void set_raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, run_key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

// Run values of every type and size, odd names, and a crowded Startup folder.
TEST_F(StartupSources, OddRegistryDataAndCrowdedFoldersLoadWithoutHarm) {
  const std::vector<BYTE> binary(100, 0xAB);
  set_raw(L"VorlixOddBinary", REG_BINARY, binary.data(), static_cast<DWORD>(binary.size()));
  const wchar_t multi[] = L"C:\\a.exe\0C:\\b.exe\0";
  set_raw(L"VorlixOddMulti", REG_MULTI_SZ, multi, sizeof multi);
  const DWORD number = 7;
  set_raw(L"VorlixOddDword", REG_DWORD, &number, sizeof number);
  const std::wstring long_text(32 * 1024, L'x');  // 64 KB of UTF-16
  set_raw(L"VorlixOddLong", REG_SZ, long_text.c_str(), static_cast<DWORD>((long_text.size() + 1) * 2));
  const wchar_t with_nul[] = L"C:\\first.exe\0C:\\hidden.exe";
  set_raw(L"VorlixOddNul", REG_SZ, with_nul, sizeof with_nul);
  const std::wstring unicode = L"Ünïcödé 한글 \u2603.lnk";
  std::ofstream(startup / unicode) << "x";
  for (int i = 0; i < 3000; ++i) std::ofstream(startup / ("crowd" + std::to_string(i) + ".tmp")) << "";

  const ULONGLONG started = GetTickCount64();
  const std::vector<ListedItem> items = load_items();
  std::printf("load with 3,000 other files in the Startup folder: %llu ms\n", GetTickCount64() - started);
  const std::string prefix = "HKCU|HKCU\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";
  for (const char* name : {"VORLIXODDBINARY", "VORLIXODDMULTI", "VORLIXODDDWORD"}) {
    const ListedItem* odd = find(items, prefix + name);
    ASSERT_NE(odd, nullptr) << name;
    EXPECT_EQ(odd->item.command, "") << name << ": only text values have a command";
  }
  ASSERT_NE(find(items, prefix + "VORLIXODDLONG"), nullptr);
  EXPECT_EQ(find(items, prefix + "VORLIXODDLONG")->item.command.size(), long_text.size());
  ASSERT_NE(find(items, prefix + "VORLIXODDNUL"), nullptr);
  EXPECT_EQ(find(items, prefix + "VORLIXODDNUL")->item.command, "C:\\first.exe") << "text ends at its first NUL";
  const ListedItem* shortcut = find(items, "FILE|" + vx::to_upper(vx::win32::narrow((startup / unicode).wstring())));
  ASSERT_NE(shortcut, nullptr);
  EXPECT_EQ(shortcut->item.name, "Ünïcödé 한글 ☃");

  for (const wchar_t* name :
       {L"VorlixOddBinary", L"VorlixOddMulti", L"VorlixOddDword", L"VorlixOddLong", L"VorlixOddNul"})
    RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key, name);
  for (int i = 0; i < 3000; ++i) fs::remove(startup / ("crowd" + std::to_string(i) + ".tmp"));
  fs::remove(startup / unicode);
}

}  // namespace

namespace {

// Wine lists no tasks, but registers, finds and deletes them by name.
TEST_F(StartupSources, ATaskIsDeletedByItsName) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    Microsoft::WRL::ComPtr<ITaskService> service;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                              reinterpret_cast<void**>(service.GetAddressOf())));
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_HRESULT_SUCCEEDED(service->Connect(empty, empty, empty, empty));
    Microsoft::WRL::ComPtr<ITaskFolder> root;
    BSTR slash = SysAllocString(L"\\");
    ASSERT_HRESULT_SUCCEEDED(service->GetFolder(slash, root.GetAddressOf()));
    SysFreeString(slash);
    Microsoft::WRL::ComPtr<ITaskDefinition> definition;
    ASSERT_HRESULT_SUCCEEDED(service->NewTask(0, definition.GetAddressOf()));
    Microsoft::WRL::ComPtr<IActionCollection> actions;
    Microsoft::WRL::ComPtr<IAction> action;
    Microsoft::WRL::ComPtr<IExecAction> exec;
    ASSERT_HRESULT_SUCCEEDED(definition->get_Actions(actions.GetAddressOf()));
    ASSERT_HRESULT_SUCCEEDED(actions->Create(TASK_ACTION_EXEC, action.GetAddressOf()));
    ASSERT_HRESULT_SUCCEEDED(action.As(&exec));
    BSTR program = SysAllocString(L"C:\\windows\\system32\\notepad.exe");
    exec->put_Path(program);
    SysFreeString(program);
    BSTR name = SysAllocString(L"VorlixPageTask");
    Microsoft::WRL::ComPtr<IRegisteredTask> registered;
    ASSERT_HRESULT_SUCCEEDED(root->RegisterTaskDefinition(name, definition.Get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                                          TASK_LOGON_NONE, empty, registered.GetAddressOf()));
    SysFreeString(name);
  }
  const AutorunItem task = task_item("VorlixPageTask", true);
  EXPECT_TRUE(set_enabled(task, false)) << "found by its name";
  ASSERT_TRUE(delete_item(task));
  const vx::Result<> again = delete_item(task);
  ASSERT_FALSE(again) << "gone";
  EXPECT_TRUE(again.error().message.starts_with("\\VorlixPageTask: ")) << again.error().message;
  CoUninitialize();
}

// A value name that does not convert exactly could never be switched or
// deleted again: it ends that key's list, and nothing breaks.
TEST_F(StartupSources, AValueNameThatIsNotUtf16EndsThatKeysList) {
  const wchar_t bad_name[] = {L'V', L'x', L'B', L'a', L'd', 0xD800, 0};
  set_raw(bad_name, REG_SZ, L"C:\\bad.exe", 22);
  const std::vector<ListedItem> items = load_items();
  for (const ListedItem& listed : items) EXPECT_TRUE(vx::is_valid_utf8(listed.item.name)) << listed.item.location;
  RegDeleteKeyValueW(HKEY_CURRENT_USER, run_key, bad_name);
}

}  // namespace
