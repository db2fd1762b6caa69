// The program's memory under Windows or Wine, against the floor of the
// graphics stack it draws with. Run it by hand:
//   tools/wine-run --root build/windows/wine --prefix memory build/windows/bin/memory-footprint.exe [--runs N]
// Each figure comes from a process of its own (this program started again
// with --mode), measured from inside once its window has settled:
//   floor  a window with a Direct2D DC target on a bitmap (as the view
//          draws), DirectWrite and WIC: two frames of a line of text and
//          parts of a bitmap, nothing of ours;
//   warm   the same after 2,000 such frames: under Wine the graphics stack
//          then holds some 70 MB more (a pool of its own that drawing
//          bitmaps fills, seen whatever draws them), which a program that has
//          drawn that much carries too;
//   home   the program's own window (the App the program runs) on its home page;
//   list   the same window on the cleanup tab with every entry of the built-in
//          rule file detected (a user rule file made from it, removed again
//          afterwards) and every category open: the real list of about 4,100
//          rule sections (4,556 rows with the usage-history parts and the
//          categories);
//   listpage  the toolkit alone: bench/list_page.h's 4,100-row page in a view
//          of its own in a window of the same size.
// "Own share" is a figure less the floor's. --mode home|list [--hold S] runs
// one process and prints its figures (--hold then keeps its window S seconds
// longer, for a look from outside).
#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <psapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "../list_page.h"
#include "app.h"
#include "common/win32/text.h"
#include "host_window.h"
#include "i18n/templates.h"
#include "main_window.h"
#include "memory_probe.h"
#include "ostrel/ostrel.h"
#include "page-cleanup/page.h"
#include "program_window.h"
#include "src/memory_usage.h"
#include "ui/list_table.h"
#include "win32/view_window.h"
#include "winapp2/rule_text.h"
#include "winapp2/rules.h"

namespace {

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;
using vorlix_bench::click;
using vorlix_bench::ProgramWindow;
using vorlix_bench::pump_for;
using vorlix_bench::pump_until;

constexpr double mib = 1024.0 * 1024.0;

using vorlix_bench::Figures;

// The view's own counters, by owner.
void toolkit(HWND view, Figures& out) {
  ostrel::MemoryUsage usage;
  if (!ostrel::win32::memory_usage(view, usage)) return;
  usage.each([&](std::string_view name, std::size_t bytes) {
    out.add("view." + std::string(name), static_cast<double>(bytes));
  });
}

// The built-in rule file with every entry detected: each section's detection
// lines replaced by a key that every machine has, under a version above the
// built-in one so that the program takes it.
std::string every_entry_detected() {
  std::string out = "; Version: 4294967294\r\n";
  std::istringstream in{std::string(vx::winapp2::builtin_rule_text())};
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string key = line.substr(0, line.find('='));
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.starts_with("; version:")) continue;
    if (line.find('=') != std::string::npos && (key.starts_with("detect") || key == "specialdetect")) continue;
    out += line + "\r\n";
    if (line.starts_with('[')) out += "Detect=HKCU\\Software\r\n";
  }
  return out;
}

// Puts the user rule file in place for the list, and what was there back
// afterwards (moved aside meanwhile: held in memory it would count).
class UserRuleFile {
 public:
  UserRuleFile() {
    const std::optional<std::string> path = vx::winapp2::user_rule_path();
    if (!path) return;
    path_ = fs::path(vx::win32::widen(*path));
    saved_ = path_;
    saved_ += L".memory-footprint";
    std::error_code ignored;
    had_one_ = fs::exists(path_, ignored) && MoveFileExW(path_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING);
    fs::create_directories(path_.parent_path(), ignored);
    std::ofstream(path_, std::ios::binary) << every_entry_detected();
  }
  ~UserRuleFile() {
    if (path_.empty()) return;
    if (had_one_)
      MoveFileExW(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
    else
      DeleteFileW(path_.c_str());
  }
  UserRuleFile(const UserRuleFile&) = delete;
  UserRuleFile& operator=(const UserRuleFile&) = delete;
  bool ok() const { return !path_.empty(); }

 private:
  fs::path path_, saved_;
  bool had_one_ = false;
};

int program_mode(bool list, double hold, Figures& out) {
  std::optional<UserRuleFile> rules;
  if (list && !rules.emplace().ok()) return 1;
  ProgramWindow window;
  if (!window.start()) return 1;
  const std::unique_ptr<vx::app::App>& app = window.app;
  const HWND view = window.view;
  ostrel::Document* doc = window.doc;
  const auto by_id = [&](const char* id) { return window.by_id(id); };
  if (list) {
    click(view, by_id("tab-cleanup"));
    if (!pump_until([&] { return ostrel::ui::Element(by_id("cu-status")).text() != ""; }, 60000)) return 2;
    pump_for(500);
    // The list makes only the rows near its view, so the page's model counts them.
    const auto model = [&] {
      const vx::page_cleanup::Model* found = nullptr;
      app->pages().deliver(vx::ui::PageId::cleanup, [&](vx::ui::Page& page) {
        if (auto* cleanup = dynamic_cast<vx::page_cleanup::CleanupPage*>(&page)) found = &cleanup->model();
      });
      return found;
    };
    if (!model()) return 2;
    const std::size_t categories = model()->groups().size();
    // From the last category up, so the ones above keep their rows; each is
    // scrolled into view first, where a click can reach it.
    for (std::size_t i = categories; i-- > 0;) {
      vx::ui::scroll_row_into_view(doc, "list-cleanup", "list-cleanup-head", i);
      pump_for(60);
      ostrel::Node* row = vx::ui::row_element(doc, "list-cleanup-head", i);
      if (!row) return 2;
      click(view, ostrel::query_selector(row, ".cu-count", 9));
      pump_for(60);
    }
    ostrel::scroll_to(by_id("list-cleanup"), 0, 0);
    out.add("rows (count)", static_cast<double>(model()->rows().size()));
    out.add("categories (count)", static_cast<double>(categories));
  }
  pump_for(2000);
  vorlix_bench::measure_process(out);
  toolkit(view, out);
  // The cleanup page's entries: the rules parsed from the rule file that apply here.
  out.add("page.cleanup", static_cast<double>(app->pages().memory_usage(vx::ui::PageId::cleanup)));
  if (hold > 0) {
    out.print();
    out.values.clear();
    pump_for(static_cast<DWORD>(hold * 1000));
  }
  DestroyWindow(app->window());
  return 0;
}

// The toolkit alone: bench/list_page.h's page of 4,100 rows in a view of its
// own, in a window of the program's size.
int list_page_mode(Figures& out) {
  const HWND host = vorlix_bench::host_window_for_client(L"VorlixMemoryListPage", L"list page",
                                                         vx::app::main_window_style | WS_VISIBLE,
                                                         vx::app::client_width_96, vx::app::client_height_96);
  if (!host) return 1;
  ostrel::View* view = ostrel::view_new();
  const std::string html = vorlix_bench::page(4100);
  ostrel::load_html(view, html.data(), html.size());
  ostrel::load_css(view, vorlix_bench::list_sheet, sizeof vorlix_bench::list_sheet - 1);
  ostrel::set_bounds(view, 0, 0, vx::app::client_width_96, vx::app::client_height_96);
  if (ostrel::attach(view, host) != ostrel::status_ok) return 1;
  pump_for(3000);
  vorlix_bench::measure_process(out);
  toolkit(FindWindowExW(host, nullptr, L"OstrelUIView", nullptr), out);
  ostrel::view_free(view);
  DestroyWindow(host);
  return 0;
}

int run_mode(std::string_view mode, double hold) {
  Figures figures;
  const int rc = mode == "listpage" ? list_page_mode(figures) : program_mode(mode == "list", hold, figures);
  figures.print();
  return rc;
}

std::wstring beside_self(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Runs a program with the arguments and reads the figures it prints.
std::optional<Figures> figures_of(const std::wstring& exe, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return std::nullopt;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION pi{};
  const bool started =
      CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
  CloseHandle(write);
  std::string text;
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (text.find("\nend") == std::string::npos && ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
      text.append(buffer, got);
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "memory-footprint: a measured process did not end; ended it\n");
      TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(read);
  Figures out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.rfind(' ');
    if (space != std::string::npos) out.add(line.substr(0, space), std::atof(line.c_str() + space + 1));
  }
  if (!out.get("resident")) return std::nullopt;
  return out;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int compare(int runs) {
  constexpr const char* modes[] = {"floor", "warm", "home", "list", "listpage"};
  std::map<std::string, std::vector<Figures>> by_mode;
  for (int run = 0; run < runs; ++run) {
    for (const char* mode : modes) {
      // The id makes each command line unique: the process finds itself in /proc by it.
      const std::wstring id = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(run);
      const std::wstring size =
          std::to_wstring(vx::app::client_width_96) + L" " + std::to_wstring(vx::app::client_height_96) + L" " + id;
      std::optional<Figures> f =
          std::strcmp(mode, "floor") == 0 ? figures_of(beside_self(L"memory-floor.exe"), size)
          : std::strcmp(mode, "warm") == 0
              ? figures_of(beside_self(L"memory-floor.exe"), size + L" 2000")
              : figures_of(beside_self(L"memory-footprint.exe"), L"--mode " + vx::win32::widen(mode) + L" --id " + id);
      if (!f) {
        std::fprintf(stderr, "memory-footprint: the %s process gave no figures\n", mode);
        return 1;
      }
      by_mode[mode].push_back(std::move(*f));
    }
  }
  const auto value = [&](const char* mode, std::string_view name) {
    std::vector<double> v;
    for (const Figures& f : by_mode[mode])
      if (const auto x = f.get(name)) v.push_back(*x);
    return median(v);
  };
  std::printf("Median of %d run%s; MB of 2^20 bytes. Own share: the figure less the floor's.\n", runs,
              runs == 1 ? "" : "s");
  std::printf("%-6s %10s %10s %14s %14s\n", "", "resident", "private", "own resident", "own private");
  for (const char* mode : modes) {
    std::printf("%-6s %10.1f %10.1f", mode, value(mode, "resident") / mib, value(mode, "private") / mib);
    if (std::strcmp(mode, "floor") != 0)
      std::printf(" %14.1f %14.1f", (value(mode, "resident") - value("floor", "resident")) / mib,
                  (value(mode, "private") - value("floor", "private")) / mib);
    std::printf("\n");
  }
  std::printf("The list: %.0f rows in %.0f categories.\n", value("list", "rows (count)"),
              value("list", "categories (count)"));
  // Opening every category draws thousands of frames: the list may carry the
  // graphics stack's pool, which the warm floor holds too.
  std::printf("The list against the warm floor: %.1f own resident, %.1f own private.\n",
              (value("list", "resident") - value("warm", "resident")) / mib,
              (value("list", "private") - value("warm", "private")) / mib);

  std::printf("\n%-34s %10s %10s %10s %10s %10s\n", "MB", "floor", "warm", "home", "list", "listpage");
  std::vector<std::string> names;
  for (const char* mode : modes)
    for (const auto& [name, v] : by_mode[mode].front().values)
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  for (const std::string& name : names) {
    if (name == "resident" || name == "private" || name.starts_with("rows") || name.starts_with("categories")) continue;
    const bool count = name.ends_with("(count)");
    std::printf("%-34s", name.c_str());
    for (const char* mode : modes) {
      if (!by_mode[mode].front().get(name)) {
        std::printf(" %10s", "");
        continue;
      }
      const double v = value(mode, name);
      if (count)
        std::printf(" %10.0f", v);
      else
        std::printf(" %10.2f", v / mib);
    }
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string_view mode;
  double hold = 0;
  int runs = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    if (arg == "--mode") mode = argv[i + 1];
    if (arg == "--hold") hold = std::atof(argv[i + 1]);
    if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (mode == "home" || mode == "list" || mode == "listpage") {
    ostrel::win32::use_windows_views();
    return run_mode(mode, hold);
  }
  if (!mode.empty()) return 2;
  return compare(runs);
}
