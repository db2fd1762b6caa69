#include "crash/report.h"

#include <algorithm>

namespace vx::crash {

std::string_view exception_name(std::uint32_t code) noexcept {
  switch (code) {
    case 0xC0000005:
      return "Access Violation";
    case 0xC000001D:
      return "Illegal Instruction";
    case 0xC0000025:
      return "Noncontinuable Exception";
    case 0xC000008C:
      return "Array Bounds Exceeded";
    case 0xC000008E:
      return "Float Divide by Zero";
    case 0xC0000090:
      return "Float Invalid Operation";
    case 0xC0000094:
      return "Integer Divide by Zero";
    case 0xC0000096:
      return "Privileged Instruction";
    case 0xC00000FD:
      return "Stack Overflow";
    case 0xC0000374:
      return "Heap Corruption";
    case 0xC0000409:
      return "Stack Buffer Overrun";
    case 0xE06D7363:
      return "C++ Exception";
    default:
      return "Native Exception";
  }
}

void write_address(Writer& out, std::optional<std::uint64_t> address, std::span<const Module> modules) noexcept {
  if (address) {
    for (const Module& m : modules) {
      // Written as a difference so a module at the top of the address space
      // cannot overflow base + size.
      if (*address >= m.base && *address - m.base < m.size) {
        out.text(m.name);
        out.text(" +");
        out.hex(*address - m.base, 8, true);
        return;
      }
    }
  }
  out.text("(unknown module) +");
  if (address) {
    out.hex(*address, 16, true);
  } else {
    out.text("????????");
  }
}

std::string os_description(std::optional<std::string_view> product_name, std::optional<std::string_view> build) {
  std::string text(product_name && !product_name->empty() ? *product_name : "Windows");
  if (build && !build->empty()) text.append(" (build ").append(*build).append(")");
  text += " x86_64";
  return text;
}

std::string_view compiler_version() noexcept {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#elif defined(_MSC_VER)
  return "MSVC";
#else
  return "unknown";
#endif
}

namespace {

void line(Writer& out, std::string_view name, std::string_view value) noexcept {
  out.label(name);
  out.text(value);
  out.line_end();
}

void write_uptime(Writer& out, std::uint64_t ms) noexcept {
  out.dec(ms / 1000);
  out.text('.');
  out.dec(ms % 1000, 3);
  out.text(" s");
}

// The lines every report starts its crash section with.
void write_when_and_where(Writer& out, std::string_view header, std::string_view datetime, std::uint64_t uptime_ms,
                          std::uint32_t thread_id, std::string_view type) noexcept {
  out.text(header);
  out.line_end();
  line(out, "date/time", datetime);
  out.label("up time");
  write_uptime(out, uptime_ms);
  out.line_end();
  out.label("thread id");
  out.dec(thread_id);
  out.line_end();
  line(out, "exception type", type);
}

void write_register(Writer& out, std::string_view name, std::uint64_t value) noexcept {
  out.text(name);
  out.text('=');
  out.hex(value, 16, true);
}

void write_registers(Writer& out, const NativeCrash& c) noexcept {
  static constexpr std::string_view indent = "                    ";  // under the first register
  out.label("registers");
  write_register(out, "rip", c.rip);
  write_register(out, " rsp", c.rsp);
  write_register(out, " rbp", c.rbp);
  out.line_end();
  out.text(indent);
  write_register(out, "rax", c.rax);
  write_register(out, " rcx", c.rcx);
  write_register(out, " rdx", c.rdx);
  out.line_end();
  out.text(indent);
  write_register(out, "rbx", c.rbx);
  write_register(out, " rsi", c.rsi);
  write_register(out, " rdi", c.rdi);
  out.line_end();
}

// The stack, the notes and the module table, from the blank line on.
void write_rest(Writer& out, std::uint32_t thread_id, bool main_thread, std::span<const std::uint64_t> frames,
                std::span<const Module> modules, const NotesRing& notes) noexcept {
  out.line_end();
  out.text(main_thread ? "main thread (" : "thread (");
  out.hex(thread_id, 4, false);
  out.text("):");
  out.text("\r\ncallstack:\r\n");
  for (const std::uint64_t frame : frames.first(std::min(frames.size(), max_frames))) {
    out.text("    ");
    write_address(out, frame, modules);
    out.line_end();
  }
  if (notes.any()) {
    out.text("\r\nnotes:\r\n");
    notes.write(out);
  }
  out.text("\r\nmodules:\r\n");
  for (const Module& m : modules.first(std::min(modules.size(), max_modules))) {
    out.text("  ");
    out.hex(m.base, 16, true);
    out.text("  ");
    out.text(m.name);
    out.line_end();
  }
}

}  // namespace

std::string format_header(const Header& h) {
  std::string text;
  const auto add = [&](std::string_view name, std::string_view value) {
    text.append(name).append(name.size() < 18 ? 18 - name.size() : 0, ' ').append(": ").append(value).append("\r\n");
  };
  add("executable", h.executable);
  add("version", h.version);
  add("compiled with", h.compiler);
  add("operating system", h.os);
  add("system language", h.system_language);
  add("app language", h.app_language);
  add("processors", std::to_string(h.processors));
  add("physical memory", std::to_string(h.free_mb) + "/" + std::to_string(h.total_mb) + " MB (free/total)");
  add("process id", std::to_string(h.pid));
  add("build", h.debug ? "debug" : "release");
  return text;
}

std::string_view write_native_report(std::span<char> buffer, std::string_view header, const NativeCrash& c,
                                     std::span<const Module> modules, const NotesRing& notes) noexcept {
  Writer out(buffer);
  write_when_and_where(out, header, c.datetime, c.uptime_ms, c.thread_id, "native");
  out.label("exception code");
  out.hex(c.code, 8, true);
  out.text(' ');
  out.text(exception_name(c.code));
  out.line_end();
  out.label("fault address");
  out.hex(c.address, 16, true);
  out.line_end();
  out.label("fault module");
  write_address(out, c.address, modules);
  out.line_end();
  if (c.code == access_violation && c.operand) {
    out.label("fault operand");
    switch (c.operand->first) {
      case 0:
        out.text(" (read)");
        break;
      case 1:
        out.text(" (write)");
        break;
      case 8:
        out.text(" (execute)");
        break;
      default:
        out.text(" (access ");
        out.sdec(c.operand->first);
        out.text(")");
    }
    out.text(" at ");
    out.hex(c.operand->second, 16, true);
    out.line_end();
  }
  write_registers(out, c);
  write_rest(out, c.thread_id, c.main_thread, c.frames, modules, notes);
  return out.finish();
}

std::string_view short_message(std::span<char, 264> area, std::uint32_t code, std::uint64_t address) noexcept {
  Writer out(area);
  out.text(exception_name(code));
  out.text(" at ");
  out.hex(address, 16, true);
  return out.finish();
}

std::string panic_report(std::string_view header, std::string_view message, std::string_view location,
                         std::string_view datetime, std::uint64_t uptime_ms, std::uint32_t thread_id, bool main_thread,
                         std::span<const std::uint64_t> frames, std::span<const Module> modules,
                         const NotesRing& notes) {
  std::string text(report_capacity, '\0');
  Writer out(text);
  write_when_and_where(out, header, datetime, uptime_ms, thread_id, "panic");
  out.label("exception message");
  out.text("panic: ");
  // One line, whatever the panic's text holds.
  for (const char ch : message) out.text(static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch);
  out.line_end();
  line(out, "fault location", location);
  write_rest(out, thread_id, main_thread, frames, modules, notes);
  text.resize(out.finish().size());
  return text;
}

}  // namespace vx::crash
