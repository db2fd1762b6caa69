#include "winutil/icon.h"

#include <array>
#include <cstddef>
#include <mutex>
#include <unordered_set>

#include "i18n/templates.h"

namespace vx::winutil {
namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An icon index as registry values write it ("-101", "+2", "3"); 0 for
// anything else, including a number that does not fit.
std::int32_t parse_index(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  std::int64_t value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return 0;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) return 0;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

std::optional<IconKey> parse_icon_key(std::string_view key) {
  if (!key.starts_with("exe")) return std::nullopt;
  key.remove_prefix(3);
  const std::size_t colon = key.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view digits = key.substr(0, colon);
  if (digits.empty()) return std::nullopt;
  for (const char c : digits)
    if (!is_digit(c)) return std::nullopt;
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 1 || static_cast<unsigned>(digits[0] - '0') >= icon_class_count) return std::nullopt;

  IconKey out;
  out.size_class = static_cast<unsigned>(digits[0] - '0');
  std::string_view source = key.substr(colon + 1);
  if (source.starts_with('"')) {
    const std::size_t close = source.find('"', 1);
    if (close == std::string_view::npos) return out;  // unterminated: no usable path
    out.path = source.substr(1, close - 1);
    const std::string_view rest = source.substr(close + 1);
    const std::size_t comma = rest.rfind(',');
    if (comma != std::string_view::npos) out.index = parse_index(rest.substr(comma + 1));
    return out;
  }
  const std::size_t comma = source.rfind(',');
  if (comma == std::string_view::npos) {
    out.path = source;
  } else {
    out.path = source.substr(0, comma);
    out.index = parse_index(source.substr(comma + 1));
  }
  return out;
}

std::string_view fallback_icon_png(unsigned size_class) noexcept {
  static constexpr std::array<std::string_view, icon_class_count> names = {"vx-0.png", "vx-1.png", "vx-2.png",
                                                                           "vx-3.png"};
  return size_class < names.size() ? vx::i18n::builtin_file(names[size_class]) : std::string_view{};
}

std::vector<std::string> claim_icon_keys(std::vector<std::string> keys) {
  static std::mutex mutex;
  static std::unordered_set<std::string> claimed;
  const std::lock_guard lock(mutex);
  std::erase_if(keys, [](const std::string& key) { return !key.starts_with("exe") || !claimed.insert(key).second; });
  return keys;
}

}  // namespace vx::winutil
