// The companion reads its server's answer with a small path reader instead of
// a JSON tree: each value is looked up by a dotted path ("info.style") in the
// whole body, everything on the way skipped unread. Kept free of std::expected
// so the fuzz build (clang 14) can reach it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx::service {

// Larger bodies are not read at all: every path reads as empty.
inline constexpr std::size_t max_json_body = 10 * 1024 * 1024;
// Arrays and objects nested deeper than this, on the way to a value, make it
// unreadable (empty) rather than costing memory without end.
inline constexpr std::size_t max_json_depth = 10'000;
// A longer path segment can name no key the companion asks for.
inline constexpr std::size_t max_path_segment = 63;

// The value at `path`: each dot-separated segment must be a key of the object
// reached so far, compared exactly after unescaping; the first such key wins.
// A string comes back unescaped (\t \n \r as controls, \uXXXX as that UTF-16
// unit with surrogate pairs joined, any other escaped character as itself);
// a number or true/false as written. Empty when the path is not there, when
// the value is null, an object or an array, or when the body is malformed
// before the value is reached. A UTF-8 byte-order mark is skipped; the result
// is always valid UTF-8 (bad bytes become U+FFFD).
std::string json_text(std::string_view body, std::string_view path);

}  // namespace vx::service
