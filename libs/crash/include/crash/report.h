// The crash report's text, built from plain values the Windows side collects.
// The native report is written allocation-free into a caller's buffer; the
// header is built once beforehand and the panic report may allocate.
//
// Layout (CR LF line ends, labels padded to 18 characters then ": "):
//   the header, a blank line, the crash section ending with the registers,
//   a blank line, "main thread (1a2c):" or "thread (1a2c):", "callstack:"
//   and the frames indented 4 spaces, then "\r\nnotes:\r\n" with the notes
//   (only when there are any) and "\r\nmodules:\r\n" with the module table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "crash/notes.h"
#include "crash/writer.h"

namespace vx::crash {

inline constexpr std::size_t max_modules = 192;
inline constexpr std::size_t max_frames = 48;
inline constexpr std::uint32_t access_violation = 0xC0000005;

// "Access Violation", "Integer Divide by Zero", ...; "Native Exception" for a
// code not in the table.
std::string_view exception_name(std::uint32_t code) noexcept;

struct Module {
  std::uint64_t base = 0, size = 0;
  std::string_view name;  // file name; the text must outlive the report
};

// "name +0001A2B0" (offset from the module's base, upper-case hex, at least 8
// digits) for the first module holding the address, else "(unknown module) +"
// and the address in 16 digits; no address at all gives
// "(unknown module) +????????".
void write_address(Writer& out, std::optional<std::uint64_t> address, std::span<const Module> modules) noexcept;

// "Windows 10 Pro (build 19045) x86_64" from the ProductName and
// CurrentBuildNumber values; "Windows" stands in for a name that could not be
// read, and the build part is left out when the number could not be.
std::string os_description(std::optional<std::string_view> product_name, std::optional<std::string_view> build);
// The compiler this library was built with, e.g. "GCC 12.2.0".
std::string_view compiler_version() noexcept;

struct Header {
  std::string executable, version;  // version already ending in ".0"
  std::string compiler, os, system_language, app_language;
  unsigned processors = 0;
  std::uint64_t free_mb = 0, total_mb = 0;
  std::uint32_t pid = 0;
  bool debug = false;
};

// The ten fixed lines, each ending in CR LF.
std::string format_header(const Header& header);

struct NativeCrash {
  std::string_view datetime;  // local time, as the caller formats it
  std::uint64_t uptime_ms = 0;
  std::uint32_t thread_id = 0;
  bool main_thread = false;
  std::uint32_t code = 0;
  std::uint64_t address = 0;
  // Access violations: (0 read, 1 write, 8 execute; the faulting address).
  std::optional<std::pair<int, std::uint64_t>> operand;
  std::uint64_t rip = 0, rsp = 0, rbp = 0, rax = 0, rcx = 0, rdx = 0, rbx = 0, rsi = 0, rdi = 0;
  std::span<const std::uint64_t> frames;  // at most max_frames are written
};

// The whole report in `buffer` (normally report_capacity bytes), cut with
// truncated_marker when it does not fit. Never allocates or locks.
std::string_view write_native_report(std::span<char> buffer, std::string_view header, const NativeCrash& crash,
                                     std::span<const Module> modules, const NotesRing& notes) noexcept;

// What the message box says: the exception's name, " at " and the address
// in 16 upper-case hex digits, written into `area`.
std::string_view short_message(std::span<char, 264> area, std::uint32_t code, std::uint64_t address) noexcept;

// The message a panic without a text payload reports.
inline constexpr std::string_view unknown_payload = "(unknown payload)";

// The same report for a panic: exception type "panic", the message line
// "panic: " + message (control characters turned into spaces), the location
// as "file:line:column", the captured frames; no code, address or registers.
// Cut like the native report at report_capacity bytes.
std::string panic_report(std::string_view header, std::string_view message, std::string_view location,
                         std::string_view datetime, std::uint64_t uptime_ms, std::uint32_t thread_id, bool main_thread,
                         std::span<const std::uint64_t> frames, std::span<const Module> modules,
                         const NotesRing& notes);

}  // namespace vx::crash
