#include "crash/writer.h"

#include <algorithm>
#include <cstring>

namespace vx::crash {

void Writer::text(std::string_view s) noexcept {
  const std::size_t room = buffer_.size() - size_;
  const std::size_t n = std::min(room, s.size());
  if (n > 0) std::memcpy(buffer_.data() + size_, s.data(), n);
  size_ += n;
  if (n < s.size()) cut_ = true;
}

void Writer::hex(std::uint64_t v, int min_digits, bool upper) noexcept {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char out[16];
  int n = 0;
  const int least = std::clamp(min_digits, 1, 16);
  while (n < least || v != 0) {
    out[15 - n] = digits[v & 0xF];
    v >>= 4;
    ++n;
  }
  text(std::string_view(out + 16 - n, static_cast<std::size_t>(n)));
}

void Writer::dec(std::uint64_t v, int min_digits) noexcept {
  char out[20];
  std::size_t n = 0;
  const auto least = static_cast<std::size_t>(std::clamp(min_digits, 1, 20));
  do {
    out[19 - n] = static_cast<char>('0' + v % 10);
    v /= 10;
    ++n;
  } while (v != 0 || n < least);
  text(std::string_view(out + 20 - n, n));
}

void Writer::sdec(std::int64_t v) noexcept {
  if (v < 0) {
    text('-');
    // Negated in unsigned arithmetic: -INT64_MIN does not fit in int64.
    dec(0 - static_cast<std::uint64_t>(v));
  } else {
    dec(static_cast<std::uint64_t>(v));
  }
}

void Writer::label(std::string_view name) noexcept {
  static constexpr std::string_view spaces = "                  ";
  text(name);
  if (name.size() < spaces.size()) text(spaces.substr(name.size()));
  text(": ");
}

std::string_view Writer::finish() noexcept {
  if (cut_ && !marked_) {
    marked_ = true;
    const std::size_t marker = std::min(truncated_marker.size(), buffer_.size());
    std::size_t keep = std::min(size_, buffer_.size() - marker);
    // Back off continuation bytes so a multi-byte character is not split.
    const std::size_t floor = keep >= 3 ? keep - 3 : 0;
    std::size_t at = keep;
    while (at > floor && (static_cast<unsigned char>(buffer_[at]) & 0xC0) == 0x80) --at;
    if (at < keep && (static_cast<unsigned char>(buffer_[at]) & 0xC0) == 0xC0) keep = at;
    std::memcpy(buffer_.data() + keep, truncated_marker.data(), marker);
    size_ = keep + marker;
  }
  return {buffer_.data(), size_};
}

}  // namespace vx::crash
