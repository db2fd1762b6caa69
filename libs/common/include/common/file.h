// Whole small files, read at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx {

// The bytes of the file at `path` (UTF-8); none when it is missing, unreadable
// or larger than `max_bytes`. Others may keep the file open for writing
// meanwhile, as an editor does.
std::optional<std::string> read_file(const std::string& path, std::uint64_t max_bytes);

}  // namespace vx
