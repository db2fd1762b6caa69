// Whole small files, written at once.
#pragma once

#include <string>
#include <string_view>

#include "common/error.h"

namespace vx {

// Makes `path` hold exactly `bytes`: written beside it first and then put in
// its place, so a failure leaves the old file whole. The folder is created
// when missing; a link at the file's name is replaced, never written through.
Result<> replace_file(const std::string& path, std::string_view bytes);

}  // namespace vx
