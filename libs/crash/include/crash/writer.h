// Report text written into a fixed buffer without allocating, so that it can
// run inside the exception filter, where the heap may be the thing that broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vx::crash {

// Size of the static report area.
inline constexpr std::size_t report_capacity = 61'440;

// Appended in place of the text that did not fit.
inline constexpr std::string_view truncated_marker = "\r\n... (truncated)\r\n";

class Writer {
 public:
  explicit Writer(std::span<char> buffer) noexcept : buffer_(buffer) {}

  // Whatever does not fit is dropped and the writer is marked cut; writing
  // on after that is harmless.
  void text(std::string_view s) noexcept;
  void text(char c) noexcept { text(std::string_view(&c, 1)); }
  // At least min_digits (1 to 16) digits, zero-padded.
  void hex(std::uint64_t v, int min_digits, bool upper) noexcept;
  // At least min_digits (1 to 20) digits, zero-padded.
  void dec(std::uint64_t v, int min_digits = 1) noexcept;
  void sdec(std::int64_t v) noexcept;
  // The name padded with spaces to 18 characters, then ": ".
  void label(std::string_view name) noexcept;
  void line_end() noexcept { text("\r\n"); }

  std::size_t size() const noexcept { return size_; }
  bool cut() const noexcept { return cut_; }

  // The text written. When some was dropped, the text is cut back (to a UTF-8
  // character boundary) so that truncated_marker fits after it, and the
  // marker is appended. Calling it again gives the same text.
  std::string_view finish() noexcept;

 private:
  std::span<char> buffer_;
  std::size_t size_ = 0;
  bool cut_ = false;
  bool marked_ = false;
};

}  // namespace vx::crash
