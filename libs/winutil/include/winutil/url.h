// The command-line form of a web address handed to the shell.
#pragma once

#include <string>
#include <string_view>
#include "common/error.h"

namespace vx::winutil {

// `url` in double quotes, as the single argument of the shell program. Only
// absolute http and https addresses are accepted: the shell would run a local
// file or another scheme's handler just as readily. Characters that could end
// the quoted argument or split it (", \, blanks, control characters) are
// percent-encoded, so an address from a server answer cannot add arguments.
Result<std::string> quoted_url_argument(std::string_view url);  // "argument" for anything else

}  // namespace vx::winutil
