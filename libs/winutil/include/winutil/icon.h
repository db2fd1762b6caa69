// Icon image names, "exe<class>:<source>", and the built-in pictures shown when
// a file's icon cannot be read. Portable; the rendering itself is in
// winutil/win32/icon.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::winutil {

// Size classes: 0 a program (installed programs), 1 a startup program; 2 and 3
// are the task and service pictures.
inline constexpr unsigned icon_class_count = 4;

struct IconKey {
  unsigned size_class = 0;
  std::string path;        // empty when the source has no usable path
  std::int32_t index = 0;  // icon index within the file
};

// The key's class and source, the source split into path and index: the path
// may be in double quotes; otherwise the text after the last comma is the index
// (an optional sign and decimal digits; anything else counts as 0). Absent
// when the key does not start with "exe", a class of digits below 4 and ":".
std::optional<IconKey> parse_icon_key(std::string_view key);

// The PNG bytes of the built-in picture of a class ("vx-0.png" ... "vx-3.png");
// empty for a class of 4 or more.
std::string_view fallback_icon_png(unsigned size_class) noexcept;

// Of these "exe" keys, the ones not claimed before in this process, each once:
// the pages render only those, so every file's icon is made once per process.
// Safe from any thread.
std::vector<std::string> claim_icon_keys(std::vector<std::string> keys);

}  // namespace vx::winutil
