#include "crash/report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

// Counts the heap allocations of the calling thread while it is counting, to
// show the exception path makes none.
namespace {
thread_local bool counting = false;
thread_local int allocations = 0;
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (counting) ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size) {
  if (void* p = operator new(size, std::nothrow)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using namespace vx::crash;

std::string lines(std::initializer_list<std::string_view> list) {
  std::string text;
  for (const std::string_view l : list) text.append(l).append("\r\n");
  return text;
}

TEST(CrashWriter, NumbersAndLabels) {
  std::array<char, 256> area{};
  Writer out(area);
  out.hex(0, 1, true);
  out.text('|');
  out.hex(0xABC, 2, false);
  out.text('|');
  out.hex(0x1F, 8, true);
  out.text('|');
  out.hex(std::numeric_limits<std::uint64_t>::max(), 40, false);
  out.text('|');
  out.dec(0);
  out.text('|');
  out.dec(std::numeric_limits<std::uint64_t>::max());
  out.text('|');
  out.dec(7, 2);
  out.text('|');
  out.dec(45, 3);
  out.text('|');
  out.dec(12345, 2);
  out.text('|');
  out.sdec(std::numeric_limits<std::int64_t>::min());
  out.line_end();
  out.label("up time");
  out.label("exception message");
  out.label("a label of twenty ch");
  EXPECT_EQ(out.finish(),
            "0|abc|0000001F|ffffffffffffffff|0|18446744073709551615|07|045|12345|-9223372036854775808\r\n"
            "up time           : exception message : a label of twenty ch: ");
  EXPECT_FALSE(out.cut());
}

TEST(CrashWriter, OverflowIsCutToMakeRoomForTheMarker) {
  std::array<char, 30> area{};
  Writer exact{std::span(area).first(5)};
  exact.text("abcde");
  EXPECT_EQ(exact.finish(), "abcde") << "a text that just fits is not cut";

  Writer out(area);
  out.text("0123456789");
  out.text("0123456789");
  out.text("0123456789!");
  out.text("more");
  EXPECT_TRUE(out.cut());
  EXPECT_EQ(out.finish(), "01234567890\r\n... (truncated)\r\n");
  EXPECT_EQ(out.finish(), "01234567890\r\n... (truncated)\r\n") << "finishing twice marks once";

  Writer korean(area);
  korean.text("0123456789");  // the cut falls inside the first 3-byte character
  korean.text("한한한한한한한");
  EXPECT_EQ(korean.finish(), "0123456789\r\n... (truncated)\r\n");

  Writer tiny{std::span(area).first(4)};
  tiny.text("abcdef");
  EXPECT_EQ(tiny.finish(), "\r\n..");
}

TEST(CrashNames, TableAndShortMessage) {
  EXPECT_EQ(exception_name(0xC0000005), "Access Violation");
  EXPECT_EQ(exception_name(0xC0000094), "Integer Divide by Zero");
  EXPECT_EQ(exception_name(0xC00000FD), "Stack Overflow");
  EXPECT_EQ(exception_name(0xE06D7363), "C++ Exception");
  EXPECT_EQ(exception_name(0xC0000006), "Native Exception");
  EXPECT_EQ(exception_name(0), "Native Exception");

  std::array<char, 264> area{};
  EXPECT_EQ(short_message(area, 0xC0000025, 0x7FF8'1234'ABCD), "Noncontinuable Exception at 00007FF81234ABCD");
  EXPECT_EQ(short_message(area, 0x80000003, 0), "Native Exception at 0000000000000000");
}

TEST(CrashAddress, ModuleAndOffsetOrUnknown) {
  const std::vector<Module> modules = {{0x1'4000'0000, 0x10000, "Vorlix.exe"},
                                       {0xFFFF'FFFF'FFFF'0000, 0x10000, "top.dll"}};
  const auto text = [&](std::optional<std::uint64_t> address) {
    std::array<char, 128> area{};
    Writer out(area);
    write_address(out, address, modules);
    return std::string(out.finish());
  };
  EXPECT_EQ(text(0x1'4000'0000), "Vorlix.exe +00000000");
  EXPECT_EQ(text(0x1'4000'FFFF), "Vorlix.exe +0000FFFF");
  EXPECT_EQ(text(0x1'4001'0000), "(unknown module) +0000000140010000") << "base + size is outside";
  EXPECT_EQ(text(0xFFFF'FFFF'FFFF'FFFF), "top.dll +0000FFFF") << "no overflow at the top of the address space";
  EXPECT_EQ(text(std::nullopt), "(unknown module) +????????");
}

TEST(CrashHeader, LabelsOrderAndSystemName) {
  EXPECT_EQ(os_description("Windows 10 Pro", "19045"), "Windows 10 Pro (build 19045) x86_64");
  EXPECT_EQ(os_description(std::nullopt, "19045"), "Windows (build 19045) x86_64");
  EXPECT_EQ(os_description("Windows 11 Home", std::nullopt), "Windows 11 Home x86_64");

  Header h{"Vorlix", "4.0.1.0", "GCC 12", "Windows 10 Pro (build 19045) x86_64", "ko-KR", "ko", 8, 2048,
           16384,    4242,      true};
  EXPECT_EQ(format_header(h),
            lines({"executable        : Vorlix", "version           : 4.0.1.0", "compiled with     : GCC 12",
                   "operating system  : Windows 10 Pro (build 19045) x86_64", "system language   : ko-KR",
                   "app language      : ko", "processors        : 8", "physical memory   : 2048/16384 MB (free/total)",
                   "process id        : 4242", "build             : debug"}));
}

struct NativeReport : ::testing::Test {
  const std::string header = lines({"executable        : Vorlix", "version           : 4.0.1.0"});
  const std::vector<Module> modules = {{0x1'4000'0000, 0x20000, "Vorlix.exe"},
                                       {0x7FF8'1234'0000, 0x100000, "C:\\Windows\\System32\\ntdll.dll"}};
  const std::vector<std::uint64_t> frames = {0x1'4000'1234, 0x7FF8'1234'0010, 0xDEAD};
  NotesRing notes;
  std::vector<char> buffer = std::vector<char>(report_capacity);

  NativeCrash crash() const {
    NativeCrash c;
    c.datetime = "2024-05-01 12:34:56";
    c.uptime_ms = 12'045;
    c.thread_id = 0x1A2C;
    c.main_thread = true;
    c.code = 0xC0000005;
    c.address = 0x1'4000'1234;
    c.operand = {{1, 0x10}};
    c.rip = 0x1'4000'1234;
    c.rsp = 0x14FE00;
    c.rax = 1;
    c.rcx = 2;
    c.rdx = 3;
    c.rbx = 4;
    c.rsi = 5;
    c.rdi = 0xFFFF'FFFF'FFFF'FFFF;
    c.frames = frames;
    return c;
  }
};

TEST_F(NativeReport, WholeTextOfASmallCase) {
  notes.add("crash test");
  notes.add("page\topened");
  EXPECT_EQ(write_native_report(buffer, header, crash(), modules, notes),
            header + lines({"",
                            "date/time         : 2024-05-01 12:34:56",
                            "up time           : 12.045 s",
                            "thread id         : 6700",
                            "exception type    : native",
                            "exception code    : C0000005 Access Violation",
                            "fault address     : 0000000140001234",
                            "fault module      : Vorlix.exe +00001234",
                            "fault operand     :  (write) at 0000000000000010",
                            "registers         : rip=0000000140001234 rsp=000000000014FE00 rbp=0000000000000000",
                            "                    rax=0000000000000001 rcx=0000000000000002 rdx=0000000000000003",
                            "                    rbx=0000000000000004 rsi=0000000000000005 rdi=FFFFFFFFFFFFFFFF",
                            "",
                            "main thread (1a2c):",
                            "callstack:",
                            "    Vorlix.exe +00001234",
                            "    C:\\Windows\\System32\\ntdll.dll +00000010",
                            "    (unknown module) +000000000000DEAD",
                            "",
                            "notes:",
                            "  crash test",
                            "  page opened",
                            "",
                            "modules:",
                            "  0000000140000000  Vorlix.exe",
                            "  00007FF812340000  C:\\Windows\\System32\\ntdll.dll"}));
}

TEST_F(NativeReport, ExceptionPathNeverAllocates) {
  notes.add("before");
  const NativeCrash c = crash();
  std::array<char, 264> area{};
  counting = true;
  notes.add("during the crash");
  const std::string_view text = write_native_report(buffer, header, c, modules, notes);
  const std::string_view message = short_message(area, c.code, c.address);
  counting = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_NE(text.find("  during the crash\r\n"), std::string_view::npos);
  EXPECT_EQ(message, "Access Violation at 0000000140001234");
}

TEST_F(NativeReport, OtherThreadOtherCodeNoNotesAndAtMost48Frames) {
  const std::vector<std::uint64_t> many(60, 0x1'4000'0010);
  NativeCrash c = crash();
  c.main_thread = false;
  c.thread_id = 0x5;
  c.code = 0xC0000094;
  c.frames = many;  // the operand is ignored for anything but an access violation
  const std::string text(write_native_report(buffer, header, c, modules, notes));

  EXPECT_NE(text.find("\r\nexception code    : C0000094 Integer Divide by Zero\r\n"), std::string::npos);
  EXPECT_EQ(text.find("fault operand"), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\nthread (0005):\r\ncallstack:\r\n"), std::string::npos);
  EXPECT_EQ(text.find("notes:"), std::string::npos);
  std::size_t count = 0;
  for (std::size_t at = text.find("    Vorlix.exe +00000010\r\n"); at != std::string::npos;
       at = text.find("    Vorlix.exe +00000010\r\n", at + 1))
    ++count;
  EXPECT_EQ(count, 48u);
}

TEST_F(NativeReport, SmallBufferEndsWithTheMarker) {
  const std::string whole(write_native_report(buffer, header, crash(), modules, notes));
  std::vector<char> small(400);
  const std::string_view cut = write_native_report(small, header, crash(), modules, notes);
  EXPECT_EQ(cut.size(), 400u);
  ASSERT_TRUE(cut.ends_with(truncated_marker));
  EXPECT_EQ(cut.substr(0, 400 - truncated_marker.size()), whole.substr(0, 400 - truncated_marker.size()));
}

TEST_F(NativeReport, PanicHasMessageAndLocationInsteadOfCodeAndRegisters) {
  notes.add("crash test");
  const std::string text = panic_report(header, "index out of range\r\nlen 3", "src/a.cpp:10:5", "2024-05-01", 1'500,
                                        0x1A2C, false, frames, modules, notes);
  EXPECT_TRUE(text.starts_with(
      header +
      lines({"", "date/time         : 2024-05-01", "up time           : 1.500 s", "thread id         : 6700",
             "exception type    : panic", "exception message : panic: index out of range  len 3",
             "fault location    : src/a.cpp:10:5", "", "thread (1a2c):", "callstack:", "    Vorlix.exe +00001234"})))
      << text;
  EXPECT_EQ(text.find("registers"), std::string::npos);
  EXPECT_EQ(text.find("exception code"), std::string::npos);
  EXPECT_NE(text.find("\r\nnotes:\r\n  crash test\r\n\r\nmodules:\r\n"), std::string::npos);

  const std::string huge = panic_report(header, std::string(70'000, 'x'), "", "", 0, 1, true, {}, {}, notes);
  EXPECT_EQ(huge.size(), report_capacity);
  EXPECT_TRUE(huge.ends_with(truncated_marker));
}

}  // namespace
