#include "process/win32/close_job.h"

#include <tlhelp32.h>
#include <wincrypt.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>

#include "common/path_vars.h"
#include "common/text.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "process/win32/noclean.h"
#include "winutil/win32/sign.h"

namespace vx::process::win32 {
namespace {

using Handle = vx::win32::UniqueHandle;

template <class F>
F ntdll_function(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(ntdll, name))) : nullptr;
}

using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using NtSetSystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG);
using IsProcessCriticalFn = BOOL(WINAPI*)(HANDLE, PBOOL);

// SystemProcessIdInformation: the image path of a process we may not open.
std::string image_path_from_system(std::uint32_t id, std::span<const std::pair<std::string, std::string>> drives) {
  static const auto query = ntdll_function<NtQuerySystemInformationFn>("NtQuerySystemInformation");
  if (!query) return {};
  struct {
    HANDLE process_id;
    UNICODE_STRING image_name;
  } info{};
  std::wstring buffer(32767, L'\0');
  info.process_id = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(id));
  info.image_name.Buffer = buffer.data();
  info.image_name.MaximumLength = static_cast<USHORT>((buffer.size() - 1) * sizeof(wchar_t));
  if (query(88, &info, sizeof info, nullptr) < 0) return {};
  const std::size_t units = std::min<std::size_t>(info.image_name.Length / sizeof(wchar_t), buffer.size());
  return drive_path(vx::win32::narrow(std::wstring_view(buffer.data(), units)), drives);
}

std::string lower_name(std::string_view path) { return to_lower(file_name_of(path)); }

// Programs Windows cannot run without; consulted only where the system cannot
// say which processes are critical (Wine exports no IsProcessCritical).
bool is_critical_system_image(const std::string& path) {
  static constexpr std::string_view bare[] = {"system", "registry", "secure system", "memory compression"};
  static constexpr std::string_view in_system_folder[] = {"smss.exe",     "csrss.exe", "wininit.exe", "winlogon.exe",
                                                          "services.exe", "lsass.exe", "lsaiso.exe"};
  const std::string name = lower_name(path);
  if (path.find('\\') == std::string::npos && std::ranges::find(bare, name) != std::end(bare)) return true;
  if (std::ranges::find(in_system_folder, name) == std::end(in_system_folder)) return false;
  const std::optional<std::string> system = known_folder(KnownFolder::System);
  // A bare name (the path could not be read) gets the benefit of the doubt.
  return path.find('\\') == std::string::npos ||
         (system && to_lower(path) == to_lower(*system + "\\" + std::string(file_name_of(path))));
}

void log_skipped(const ProcessEntry& target, bool critical) {
  std::fprintf(stderr, "[kill] 건너뜀 %u %s (중요 %s)\n", static_cast<unsigned>(target.id), target.path.c_str(),
               critical ? "true" : "false");
}

void enable_quota_privilege() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
  Handle token(raw);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, L"SeIncreaseQuotaPrivilege", &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// Gives the system file cache's memory back: minimum and maximum working set
// both "as little as possible".
void flush_file_cache() {
  static const auto set = ntdll_function<NtSetSystemInformationFn>("NtSetSystemInformation");
  if (!set) return;
  unsigned char block[72] = {};
  std::fill(block + 24, block + 40, 0xFF);
  set(21, block, sizeof block);
}

void trim_browsers() {
  Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (!is_browser(vx::win32::narrow(entry.szExeFile))) continue;
    Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_QUOTA, FALSE, entry.th32ProcessID));
    if (process) SetProcessWorkingSetSize(process.get(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
  }
}

}  // namespace

std::string file_signer(const std::string& path) {
  using namespace vx::winutil::win32;
  if (std::optional<std::string> signer = embedded_signer(path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED))
    return std::move(*signer);
  // System files are mostly signed through a catalog that lists their hash.
  Handle file(CreateFileW(vx::win32::widen(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::optional<std::string> catalog = catalog_file(file.get(), "SHA256");
  if (!catalog) catalog = catalog_file(file.get(), std::nullopt);
  if (!catalog) return {};
  return embedded_signer(*catalog, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED).value_or(std::string());
}

MemoryStatus memory_status() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return {};
  return {status.ullTotalPhys, status.ullAvailPhys};
}

std::string process_image_path(HANDLE process) {
  std::wstring buffer(32768, L'\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) return {};
  buffer.resize(size);
  return vx::win32::narrow(buffer);
}

std::vector<std::pair<std::string, std::string>> drive_map() {
  std::vector<std::pair<std::string, std::string>> drives;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const wchar_t drive[3] = {static_cast<wchar_t>(L'A' + i), L':', L'\0'};
    wchar_t device[1024];
    if (QueryDosDeviceW(drive, device, 1024) == 0) continue;
    drives.emplace_back(vx::win32::narrow(drive), vx::win32::narrow(device));  // the first name of the list
  }
  return drives;
}

std::vector<ProcessEntry> snapshot_processes(std::span<const std::pair<std::string, std::string>> drives) {
  std::vector<ProcessEntry> out;
  Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0) continue;
    std::string path;
    if (Handle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)})
      path = process_image_path(process.get());
    if (path.empty()) path = image_path_from_system(entry.th32ProcessID, drives);
    if (path.empty()) path = vx::win32::narrow(entry.szExeFile);
    out.push_back({std::move(path), entry.th32ProcessID});
  }
  return out;
}

bool is_critical(HANDLE process, const std::string& path) {
  static const auto query = [] {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? reinterpret_cast<IsProcessCriticalFn>(
                          reinterpret_cast<void*>(GetProcAddress(kernel32, "IsProcessCritical")))
                    : nullptr;
  }();
  if (!query) return is_critical_system_image(path);
  BOOL critical = FALSE;
  return !query(process, &critical) || critical;
}

std::vector<std::uint32_t> terminate_targets(std::span<const ProcessEntry> targets, DWORD deadline_ms) {
  const DWORD self = GetCurrentProcessId();
  std::vector<std::pair<std::uint32_t, Handle>> waiting;
  for (const ProcessEntry& target : targets) {
    if (target.id == 0 || target.id == self) continue;
    Handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, target.id));
    if (!process) continue;
    if (is_critical(process.get(), target.path)) {
      log_skipped(target, true);
      continue;
    }
    // The id may have been reused since the snapshot: never end a program nobody judged.
    const std::string now = process_image_path(process.get());
    if (now.size() != target.path.size() || !iequals_ascii(now, target.path)) {
      log_skipped(target, false);
      continue;
    }
    TerminateProcess(process.get(), 0);
    waiting.emplace_back(target.id, std::move(process));
  }
  std::vector<std::pair<std::uint32_t, HANDLE>> handles;
  for (const auto& [id, process] : waiting) handles.emplace_back(id, process.get());
  return wait_within(handles, deadline_ms);
}

std::vector<std::uint32_t> wait_within(std::span<const std::pair<std::uint32_t, HANDLE>> handles, DWORD deadline_ms) {
  std::vector<std::uint32_t> ended;
  const ULONGLONG deadline = GetTickCount64() + deadline_ms;
  for (const auto& [id, handle] : handles) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (WaitForSingleObject(handle, left) == WAIT_OBJECT_0) ended.push_back(id);
  }
  return ended;
}

CloseOutcome run_close_job(CloseJob job) {
  CloseOutcome out;
  merge_noclean_files(job.path_list, job.noclean_files);
  enable_quota_privilege();
  out.before = memory_status();
  const auto drives = drive_map();
  out.processes = snapshot_processes(drives);

  SignerLookup signer_of;
  if (job.signer_of) signer_of = [f = job.signer_of](const std::string& path) { return f(path); };
  Decisions decisions = decide(out.processes, GetCurrentProcessId(), job.path_list, job.signer_list, signer_of);
  out.states = std::move(decisions.states);

  std::size_t target_count = 0;
  for (std::size_t i = 0; i < out.processes.size(); ++i) {
    if (out.states[i] != ProcessState::target) continue;
    ++target_count;
    std::fprintf(stderr, "[clean] 대상 %u %s\n", static_cast<unsigned>(out.processes[i].id),
                 out.processes[i].path.c_str());
  }
  const std::vector<ProcessEntry> chosen = targets_for_mode(out.processes, out.states, job.mode);
  const std::vector<std::uint32_t> ended = terminate_targets(chosen);
  const std::size_t closed = mark_closed(out.processes, out.states, ended);
  std::fprintf(stderr, "[clean] 종료 대상 %zu개, 닫힘 %zu개 (%s)\n", target_count, closed, describe(job.mode).c_str());
  std::fflush(stderr);

  flush_file_cache();
  trim_browsers();
  out.after = memory_status();
  out.signers = report_signers(decisions.signer_cache);
  return out;
}

}  // namespace vx::process::win32
