// The rule file carried inside the program.
#pragma once

#include <string_view>

namespace vx::winapp2 {

// The built-in rule text: UTF-8 with CRLF line ends, as published.
std::string_view builtin_rule_text() noexcept;

}  // namespace vx::winapp2
