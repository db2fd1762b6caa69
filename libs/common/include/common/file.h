// Whole small files, read and written at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace vx {

// The bytes of the file at `path` (UTF-8); none when it is missing, unreadable
// or larger than `max_bytes`. Others may keep the file open for writing
// meanwhile, as an editor does.
std::optional<std::string> read_file(const std::string& path, std::uint64_t max_bytes);

// Makes `path` hold exactly `bytes`: written beside it first and then put in
// its place, so a failure leaves the old file whole. The folder is created
// when missing; a link at the file's name is replaced, never written through.
Result<> replace_file(const std::string& path, std::string_view bytes);

}  // namespace vx
