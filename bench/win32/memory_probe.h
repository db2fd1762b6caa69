// How the memory benchmarks measure a process from inside, shared by the
// floor program and the program's own figures.
//
// Resident and private memory: under Wine, Windows' own counters are not
// usable (the working set Wine reports follows the peak, and the private
// usage is always 0), so the Unix process is read instead, through drive Z:
// (/proc/<pid>/status and smaps_rollup of the process whose command line is
// ours): resident is VmRSS, private is RssAnon plus VmSwap, the anonymous
// memory only this process holds. smaps' Private_Clean + Private_Dirty is
// printed beside it but not used: it also counts the pages of shared
// libraries that no other process happens to map at that moment (LLVM and
// Mesa under Wine), so it moves with whatever else runs. On Windows, the
// working set and the private usage are used as they are.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlix_bench {

// Figures of one process, by name in print order; bytes unless named otherwise.
struct Figures {
  std::vector<std::pair<std::string, double>> values;
  void add(std::string name, double value) { values.emplace_back(std::move(name), value); }
  std::optional<double> get(std::string_view name) const {
    for (const auto& [n, v] : values)
      if (n == name) return v;
    return std::nullopt;
  }
  // One "name value" line each, then "end": the reader stops there rather
  // than wait for the process to end (under Wine an exit has been seen to hang).
  void print() const {
    for (const auto& [name, value] : values) std::printf("%s %.0f\n", name.c_str(), value);
    std::printf("end\n");
    std::fflush(stdout);
  }
};

inline std::string read_all(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A command line as /proc shows it and as Windows gives it compare equal
// after this: arguments apart by single spaces, no quotes.
inline std::string normalized(std::string_view line) {
  std::string out;
  for (char c : line) {
    if (c == '"') continue;
    if (c == '\0' || c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      continue;
    }
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Under Wine, this process's folder in /proc; empty elsewhere.
inline std::wstring own_proc_folder() {
  const wchar_t* wide = GetCommandLineW();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string mine(static_cast<std::size_t>(std::max(n, 1)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, mine.data(), n, nullptr, nullptr);
  mine = normalized(mine);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::wstring result;
  do {
    const std::wstring name = found.cFileName;
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
      continue;
    const std::wstring folder = L"Z:\\proc\\" + name + L"\\";
    if (normalized(read_all(folder + L"cmdline")) == mine) {
      result = folder;
      break;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return result;
}

// "Name:   123 kB" lines of a /proc file, in bytes.
inline std::optional<double> kb_field(const std::string& text, std::string_view name) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + at, end - at);
    if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':') {
      unsigned long long kb = 0;
      if (std::sscanf(std::string(line.substr(name.size() + 1)).c_str(), "%llu", &kb) == 1)
        return static_cast<double>(kb) * 1024;
    }
    at = end + 1;
  }
  return std::nullopt;
}

// resident, private and peak (and the parts behind them under Wine).
inline void process_memory(Figures& out) {
  if (const std::wstring proc = own_proc_folder(); !proc.empty()) {
    const std::string status = read_all(proc + L"status");
    const std::string rollup = read_all(proc + L"smaps_rollup");
    const auto field = [](const std::string& text, std::string_view name) { return kb_field(text, name).value_or(0); };
    out.add("resident", field(status, "VmRSS"));
    out.add("private", field(status, "RssAnon") + field(status, "VmSwap"));
    out.add("peak", field(status, "VmHWM"));
    out.add("unix.file", field(status, "RssFile"));
    out.add("unix.shmem", field(status, "RssShmem"));
    out.add("smaps.private", field(rollup, "Private_Clean") + field(rollup, "Private_Dirty"));
    return;
  }
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) return;
  out.add("resident", static_cast<double>(pmc.WorkingSetSize));
  out.add("private", static_cast<double>(pmc.PrivateUsage));
  out.add("peak", static_cast<double>(pmc.PeakWorkingSetSize));
}

// Resident bytes of [base, base + size), a page at a time (QueryWorkingSetEx;
// Wine answers it from /proc/self/pagemap).
inline double resident_in(const void* base, std::size_t size) {
  constexpr std::size_t page = 4096;
  std::vector<PSAPI_WORKING_SET_EX_INFORMATION> pages;
  double bytes = 0;
  const auto* start = static_cast<const char*>(base);
  for (std::size_t done = 0; done + page <= size;) {
    const std::size_t count = std::min<std::size_t>((size - done) / page, 4096);
    pages.resize(count);
    for (std::size_t i = 0; i < count; ++i) pages[i].VirtualAddress = const_cast<char*>(start + done + i * page);
    if (!QueryWorkingSetEx(GetCurrentProcess(), pages.data(), static_cast<DWORD>(count * sizeof pages[0]))) return 0;
    for (const auto& p : pages)
      if (p.VirtualAttributes.Valid) bytes += page;
    done += count * page;
  }
  return bytes;
}

// The address space as Windows sees it, resident: the executable's image,
// the mapped font files and private memory.
inline void address_space(Figures& out) {
  const auto* self = reinterpret_cast<const void*>(GetModuleHandleW(nullptr));
  double image = 0, fonts = 0, windows_private = 0;
  MEMORY_BASIC_INFORMATION mbi;
  for (const char* at = nullptr; VirtualQuery(at, &mbi, sizeof mbi) == sizeof mbi;) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_IMAGE && mbi.AllocationBase == self)
      image += resident_in(mbi.BaseAddress, mbi.RegionSize);
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
      windows_private += resident_in(mbi.BaseAddress, mbi.RegionSize);
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_MAPPED) {
      wchar_t name[MAX_PATH] = {};
      std::wstring file(name, GetMappedFileNameW(GetCurrentProcess(), mbi.BaseAddress, name, MAX_PATH));
      for (wchar_t& c : file) c = static_cast<wchar_t>(towlower(c));
      if (file.ends_with(L".ttf") || file.ends_with(L".otf") || file.ends_with(L".ttc"))
        fonts += resident_in(mbi.BaseAddress, mbi.RegionSize);
    }
    const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= at) break;
    at = next;
  }
  out.add("image.resident", image);
  out.add("fontfiles.resident", fonts);
  // Private memory Windows knows of (heaps, stacks, VirtualAlloc): the rest of
  // the private figure is the Unix libraries' (under Wine, Mesa's and LLVM's).
  out.add("windows.private", windows_private);
}

// Every heap of the process walked: what is handed out, and what lies free
// in committed memory (fragmentation).
inline void heaps(Figures& out) {
  std::vector<HANDLE> handles(GetProcessHeaps(0, nullptr) + 16);
  handles.resize(GetProcessHeaps(static_cast<DWORD>(handles.size()), handles.data()));
  double busy = 0, free_bytes = 0, committed = 0, blocks = 0;
  for (HANDLE heap : handles) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heap, &e)) {
      if (e.wFlags & PROCESS_HEAP_REGION) {
        committed += e.Region.dwCommittedSize;
      } else if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        busy += e.cbData + e.cbOverhead;
        ++blocks;
      } else if (!(e.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE)) {
        free_bytes += e.cbData;
      }
    }
    HeapUnlock(heap);
  }
  out.add("heap.blocks (count)", blocks);
  out.add("heap.busy", busy);
  out.add("heap.free", free_bytes);
  out.add("heap.regions", committed);
}

inline void measure_process(Figures& out) {
  process_memory(out);
  address_space(out);
  heaps(out);
}

}  // namespace vorlix_bench
