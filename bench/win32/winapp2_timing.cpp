// The rule engine on the real file system, run by hand under Windows or Wine:
//   1. the load job on a scratch profile where 300 applications are installed:
//      its time as its log line reports it, and the most times any folder was
//      listed;
//   2. an analysis of 100,000 files against a plain recursive listing of the
//      same folders;
//   3. the cleaning of 10,000 files (each opened once, checked on its handle
//      and deleted through it) against DeleteFileW on each path.
// The scratch tree is made once in the temporary folder and kept for later runs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/win32/text.h"
#include "winapp2/jobs.h"
#include "winapp2/rule_text.h"
#include "winapp2/win32/system.h"

namespace {

namespace fs = std::filesystem;
using namespace vx::winapp2;
using Clock = std::chrono::steady_clock;

// The real file system, counting how often each folder is listed.
class CountingFileSystem final : public FileSystem {
 public:
  std::map<std::string, int> listed;
  std::optional<std::vector<DirEntry>> list(std::string_view folder) override {
    ++listed[vx::to_lower(folder)];
    return real_.list(folder);
  }
  bool exists(std::string_view path) override { return real_.exists(path); }
  bool is_folder(std::string_view path) override { return real_.is_folder(path); }
  std::optional<std::string> final_path(std::string_view path) override { return real_.final_path(path); }
  std::optional<OpenedFolder> open_folder(std::string_view path, Follow follow,
                                          std::optional<FileId> expected) override {
    return real_.open_folder(path, follow, expected);
  }
  bool delete_file(std::string_view, FileId) override { return false; }  // measuring only
  bool remove_folder(std::string_view, FileId) override { return false; }

 private:
  win32::Win32FileSystem real_;
};

// The user's folders moved into the scratch profile.
class ScratchEnvironment final : public Environment {
 public:
  explicit ScratchEnvironment(std::string profile) : profile_(std::move(profile)) {}
  std::optional<std::string> known_folder(vx::KnownFolder kind) override {
    switch (kind) {
      case vx::KnownFolder::Profile:
        return profile_;
      case vx::KnownFolder::LocalAppData:
        return profile_ + "\\AppData\\Local";
      case vx::KnownFolder::RoamingAppData:
        return profile_ + "\\AppData\\Roaming";
      case vx::KnownFolder::LocalAppDataLow:
        return profile_ + "\\AppData\\LocalLow";
      default:
        return real_.known_folder(kind);
    }
  }
  std::optional<std::string> temp_folder() override { return profile_ + "\\AppData\\Local\\Temp"; }
  std::optional<std::string> variable(std::string_view name) override { return real_.variable(name); }

 private:
  std::string profile_;
  win32::Win32Environment real_;
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void make_tree(const fs::path& root) {
  if (fs::exists(root / "done")) return;
  std::puts("making 100,000 files (once)...");
  for (int a = 0; a < 100; ++a)
    for (int b = 0; b < 10; ++b) {
      const fs::path dir = root / ("d" + std::to_string(a)) / ("e" + std::to_string(b));
      fs::create_directories(dir);
      for (int f = 0; f < 100; ++f) std::ofstream(dir / ("file" + std::to_string(f) + ".tmp")) << 'x';
    }
  std::ofstream(root / "done") << 1;
}

std::size_t plain_listing(win32::Win32FileSystem& files, const std::string& dir) {
  std::size_t count = 0;
  if (const auto entries = files.list(dir))
    for (const DirEntry& e : *entries) count += e.is_folder() ? plain_listing(files, dir + "\\" + e.name) : 1;
  return count;
}

}  // namespace

int main() {
  const fs::path scratch = fs::temp_directory_path() / "vorlix-winapp2-timing";
  const std::string profile = vx::win32::narrow((scratch / "profile").wstring());

  // 1. The load job with 300 applications installed in the scratch profile.
  const RuleText rules{read_rule_version(builtin_rule_text()), std::string(builtin_rule_text())};
  ScratchEnvironment environment(profile);
  CountingFileSystem counting;
  win32::Win32Registry registry;
  {
    PathContext context = build_path_context(counting, registry, environment);
    int installed = 0;
    for (const RuleEntry& e : parse_rules(rules.text)) {
      if (installed == 300) break;
      if (e.detect_file.empty() || e.detect_file[0].find_first_of("*?") != std::string::npos) continue;
      const std::string path = substitute_variables(context, e.detect_file[0]);
      if (!path.starts_with(profile)) continue;
      fs::create_directories(fs::path(vx::win32::widen(path)));
      ++installed;
    }
    std::printf("applications installed in the scratch profile: %d\n", installed);
  }
  counting.listed.clear();
  PathContext context = build_path_context(counting, registry, environment);
  const LoadResult loaded = load_entries(context, rules);
  const auto most = std::ranges::max_element(counting.listed, {}, [](const auto& p) { return p.second; });
  std::printf("load job: %.1f ms, %zu entries detected, %zu folders listed, at most %d times each\n",
              std::chrono::duration<double, std::milli>(loaded.elapsed).count(), loaded.entries.size(),
              counting.listed.size(), most == counting.listed.end() ? 0 : most->second);

  // 2. Analysis against a plain listing of 100,000 files.
  const fs::path tree = scratch / "tree";
  make_tree(tree);
  const std::string tree_text = vx::win32::narrow(tree.wstring());
  win32::Win32FileSystem files;
  double plain = 1e9, analysis = 1e9;
  std::size_t listed = 0, found = 0;
  for (int run = 0; run < 3; ++run) {
    auto start = Clock::now();
    listed = plain_listing(files, tree_text);
    plain = std::min(plain, ms_since(start));
    const auto entry = parse_rules("[Bench]\nDetectFile=" + tree_text + "\nFileKey1=" + tree_text + "|*.tmp|RECURSE\n");
    PathContext job = build_path_context(files, registry, environment);
    start = Clock::now();
    found = resolve_entry(job, entry.at(0)).files.size();
    analysis = std::min(analysis, ms_since(start));
  }
  std::printf("plain listing: %zu files in %.1f ms; analysis: %zu files in %.1f ms (%.2fx)\n", listed, plain, found,
              analysis, analysis / plain);

  // 3. Cleaning against deleting by path, on a tree made anew for each.
  const fs::path doomed = scratch / "clean";
  auto make_doomed = [&] {
    std::vector<std::wstring> paths;
    for (int a = 0; a < 100; ++a) {
      const fs::path dir = doomed / ("d" + std::to_string(a));
      fs::create_directories(dir);
      for (int f = 0; f < 100; ++f) {
        paths.push_back((dir / ("file" + std::to_string(f) + ".tmp")).wstring());
        std::ofstream(fs::path(paths.back())) << 'x';
      }
    }
    return paths;
  };
  double by_path = 1e9, cleaning = 1e9;
  std::size_t deleted = 0;
  for (int run = 0; run < 3; ++run) {
    const std::vector<std::wstring> paths = make_doomed();
    auto start = Clock::now();
    for (const std::wstring& path : paths) DeleteFileW((L"\\\\?\\" + path).c_str());
    by_path = std::min(by_path, ms_since(start));

    make_doomed();
    const std::string doomed_text = vx::win32::narrow(doomed.wstring());
    std::vector<JobItem> job{
        {parse_rules("[Bench]\nDetectFile=" + doomed_text + "\nFileKey1=" + doomed_text + "|*.tmp|RECURSE\n").at(0), 0,
         std::nullopt}};
    PathContext clean_context = build_path_context(files, registry, environment);
    job[0].analysis = resolve_entry(clean_context, job[0].entry);
    start = Clock::now();
    deleted = run_cleaning(clean_context, job, {}).files;
    cleaning = std::min(cleaning, ms_since(start));
  }
  std::printf("deleting by path: 10000 files in %.1f ms; cleaning: %zu files in %.1f ms (%.2fx, %.1f us more a file)\n",
              by_path, deleted, cleaning, cleaning / by_path, (cleaning - by_path) * 1000 / 10000);
  return 0;
}
