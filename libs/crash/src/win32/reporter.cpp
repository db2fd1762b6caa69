#include "crash/win32/reporter.h"

#include <windows.h>

#include <psapi.h>

#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <source_location>
#include <vector>

#include "common/win32/text.h"
#include "crash/notes.h"
#include "crash/privacy.h"
#include "crash/report.h"
#include "crash/upload.h"
#include "crash/writer.h"
#include "net/win32/winhttp.h"

namespace vx::crash::win32 {
namespace {

// Everything below is made at installation; the exception path only reads it
// and writes into the static areas.
struct State {
  Settings settings;
  std::string header;
  std::vector<std::string> module_names;
  std::array<Module, max_modules> modules{};
  std::size_t module_count = 0;
  std::wstring title;
  DWORD main_thread = 0;
  ULONGLONG installed_at = 0;
  LPTOP_LEVEL_EXCEPTION_FILTER previous = nullptr;
  std::terminate_handler previous_terminate = nullptr;
  HANDLE wake = nullptr, done = nullptr;
};

State* state = nullptr;
std::atomic<bool> installing{false};
std::atomic<bool> reported{false};
std::atomic<int> panics{0};

// The report being handed to the sender.
std::array<char, report_capacity> report_area;
std::atomic<std::size_t> report_length{0};
std::atomic<bool> report_ready{false};
std::string panic_text;  // a panic's report, made the ordinary way

std::array<char, 264> message_area;
std::array<wchar_t, 264> message_wide;
std::array<char, 32> time_area;
std::array<std::uint64_t, max_frames> frame_area;

std::string read_registry_text(const wchar_t* name) {
  wchar_t text[256] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name, RRF_RT_REG_SZ, nullptr,
                   text, &size) != ERROR_SUCCESS)
    return {};
  return vx::win32::narrow(text);
}

std::string environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n == 0 || n >= 1024 ? std::string() : vx::win32::narrow(std::wstring_view(value, n));
}

std::string build_header(const Settings& settings) {
  Header header;
  header.executable = settings.program;
  header.version = settings.version + ".0";
  header.compiler = std::string(compiler_version());
  const std::string product = read_registry_text(L"ProductName"), build = read_registry_text(L"CurrentBuildNumber");
  header.os = os_description(product.empty() ? std::nullopt : std::optional<std::string_view>(product),
                             build.empty() ? std::nullopt : std::optional<std::string_view>(build));
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  header.system_language = vx::win32::narrow(locale);
  header.app_language = settings.language;
  header.processors = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
  header.free_mb = memory.ullAvailPhys / 1'048'576;
  header.total_mb = memory.ullTotalPhys / 1'048'576;
  header.pid = GetCurrentProcessId();
#ifdef NDEBUG
  header.debug = false;
#else
  header.debug = true;
#endif
  return format_header(header);
}

void read_modules(State& s) {
  HMODULE handles[max_modules];
  DWORD needed = 0;
  if (!EnumProcessModules(GetCurrentProcess(), handles, sizeof handles, &needed)) return;
  const std::size_t count = std::min<std::size_t>(needed / sizeof(HMODULE), max_modules);
  std::vector<std::pair<MODULEINFO, std::string>> found;
  for (std::size_t i = 0; i < count; ++i) {
    MODULEINFO info{};
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleInformation(GetCurrentProcess(), handles[i], &info, sizeof info)) continue;
    std::wstring_view name(path, GetModuleFileNameW(handles[i], path, MAX_PATH));
    if (const std::size_t slash = name.find_last_of(L'\\'); slash != std::wstring_view::npos)
      name.remove_prefix(slash + 1);
    found.emplace_back(info, vx::win32::narrow(name));
  }
  // The names stay where they are for the life of the process; the table points into them.
  s.module_names.reserve(found.size());
  for (auto& [info, name] : found) {
    s.module_names.push_back(std::move(name));
    s.modules[s.module_count++] = {reinterpret_cast<std::uint64_t>(info.lpBaseOfDll), info.SizeOfImage,
                                   s.module_names.back()};
  }
}

std::span<const Module> modules() { return {state->modules.data(), state->module_count}; }

std::string_view now_text() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  Writer w(time_area);
  w.dec(t.wYear);
  w.text('-');
  w.dec(t.wMonth, 2);
  w.text('-');
  w.dec(t.wDay, 2);
  w.text(' ');
  w.dec(t.wHour, 2);
  w.text(':');
  w.dec(t.wMinute, 2);
  w.text(':');
  w.dec(t.wSecond, 2);
  return w.finish();
}

// Up to 48 return addresses, unwinding a copy of the context with the
// image's function tables.
std::span<const std::uint64_t> unwind(CONTEXT context) {
  std::size_t count = 0;
  while (count < max_frames && context.Rip) {
    frame_area[count++] = context.Rip;
    DWORD64 image = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &image, nullptr);
    if (!function) {
      // A leaf function: its return address is at the top of the stack.
      if (!context.Rsp) break;
      context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
      context.Rsp += 8;
      continue;
    }
    void* handler_data = nullptr;
    DWORD64 frame = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, image, context.Rip, function, &context, &handler_data, &frame, nullptr);
  }
  return {frame_area.data(), count};
}

// Hands the report to the sender and waits a bounded time for the upload.
void send_and_wait(std::size_t length) {
  report_length.store(length);
  ResetEvent(state->done);
  report_ready.store(true);
  SetEvent(state->wake);
  WaitForSingleObject(state->done, 20000);
}

void tell_user(std::string_view message) {
  if (!state->settings.message_box) return;
  const int n = MultiByteToWideChar(CP_UTF8, 0, message.data(), static_cast<int>(message.size()), message_wide.data(),
                                    static_cast<int>(message_wide.size() - 1));
  message_wide[n > 0 ? n : 0] = L'\0';
  MessageBoxW(nullptr, message_wide.data(), state->title.c_str(), MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

LONG WINAPI on_exception(EXCEPTION_POINTERS* info) {
  const auto pass_on = [info] { return state->previous ? state->previous(info) : EXCEPTION_CONTINUE_SEARCH; };
  // Only the first crash is reported; a second one while reporting goes on at once.
  if (!info || !info->ExceptionRecord || !info->ContextRecord || reported.exchange(true)) return pass_on();
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  const CONTEXT& context = *info->ContextRecord;
  NativeCrash crash{};
  crash.datetime = now_text();
  crash.uptime_ms = GetTickCount64() - state->installed_at;
  crash.thread_id = GetCurrentThreadId();
  crash.main_thread = crash.thread_id == state->main_thread;
  crash.code = record.ExceptionCode;
  crash.address = reinterpret_cast<std::uint64_t>(record.ExceptionAddress);
  if (record.ExceptionCode == access_violation && record.NumberParameters >= 2)
    crash.operand = std::pair{static_cast<int>(record.ExceptionInformation[0]),
                              static_cast<std::uint64_t>(record.ExceptionInformation[1])};
  crash.rip = context.Rip;
  crash.rsp = context.Rsp;
  crash.rbp = context.Rbp;
  crash.rax = context.Rax;
  crash.rcx = context.Rcx;
  crash.rdx = context.Rdx;
  crash.rbx = context.Rbx;
  crash.rsi = context.Rsi;
  crash.rdi = context.Rdi;
  crash.frames = unwind(context);
  const std::string_view text = write_native_report(report_area, state->header, crash, modules(), notes());
  send_and_wait(text.size());
  tell_user(short_message(std::span<char, 264>(message_area), crash.code, crash.address));
  return pass_on();
}

// A fatal internal error: the same report, made the ordinary way (the
// program is not in an exception), sent and told; then the program ends.
void report_panic(std::string_view text, std::string_view location) {
  if (panics.fetch_add(1) >= state->settings.panic_limit || reported.exchange(true)) return;
  const std::string message = "panic: " + std::string(text);
  void* frames[max_frames];
  const USHORT count = RtlCaptureStackBackTrace(2, max_frames, frames, nullptr);
  std::array<std::uint64_t, max_frames> addresses{};
  for (USHORT i = 0; i < count; ++i) addresses[i] = reinterpret_cast<std::uint64_t>(frames[i]);
  const DWORD thread = GetCurrentThreadId();
  panic_text = panic_report(state->header, text, location, now_text(), GetTickCount64() - state->installed_at, thread,
                            thread == state->main_thread, {addresses.data(), count}, modules(), notes());
  send_and_wait(0);
  tell_user(message);
}

void on_terminate() {
  std::string text(unknown_payload);
  try {
    if (const std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
  } catch (const std::exception& error) {
    text = error.what();
  } catch (...) {
  }
  report_panic(text, "(unknown)");
  if (state->previous_terminate) state->previous_terminate();
  std::abort();
}

DWORD WINAPI sender(void*) {
  for (;;) {
    WaitForSingleObject(state->wake, INFINITE);
    if (!report_ready.exchange(false)) continue;
    const std::size_t length = report_length.load();
    const std::string text = length ? std::string(report_area.data(), length) : panic_text;
    const std::string hidden =
        hide_user(text, user_names(environment(L"USERPROFILE"), environment(L"HOME"), environment(L"USERNAME")));
    UploadSettings upload{state->settings.program, state->settings.version + ".0", state->settings.user_agent,
                          state->settings.connect_timeout, state->settings.receive_timeout};
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    const std::uint64_t ns = (ticks - 116444736000000000ull) * 100;
    net::win32::WinHttpTransport transport;
    (void)upload_report(transport, state->settings.origin, upload, hidden, ns);
    SetEvent(state->done);
  }
}

}  // namespace

Result<> install(const Settings& settings) {
  if (installing.exchange(true)) return fail("state", "이미 설치됨");
  auto s = std::make_unique<State>();
  s->settings = settings;
  s->header = build_header(settings);
  read_modules(*s);
  s->title = vx::win32::widen(settings.title);
  s->main_thread = GetCurrentThreadId();
  s->installed_at = GetTickCount64();
  s->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  s->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  state = s.release();  // lives as long as the process
  const HANDLE thread = CreateThread(nullptr, 0, sender, nullptr, 0, nullptr);
  if (!thread || !state->wake || !state->done)
    return fail("system", "보고 스레드를 만들지 못했습니다: " + std::to_string(GetLastError()));
  CloseHandle(thread);
  state->previous = SetUnhandledExceptionFilter(on_exception);
  state->previous_terminate = std::set_terminate(on_terminate);
  return {};
}

void fail_invariant(std::string_view what, std::source_location where) {
  if (state) {
    std::string location =
        std::string(where.file_name()) + ":" + std::to_string(where.line()) + ":" + std::to_string(where.column());
    report_panic(what, location);
  }
  std::abort();
}

void crash_test() {
  add_note("crash test");
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  std::abort();
}

}  // namespace vx::crash::win32
