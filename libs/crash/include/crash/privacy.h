// The account name taken out of a report before it leaves the machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::crash {

// The names to hide, from the values of USERPROFILE and HOME (their last path
// component, "\" or "/" separated, trailing separators ignored) and USERNAME
// (whole). Empty names, drive names such as "C:" (a profile at a drive's
// root) and repeats are dropped.
std::vector<std::string> user_names(std::optional<std::string> userprofile, std::optional<std::string> home,
                                    std::optional<std::string> username);

// For every name: "\Users\<name>\" becomes "\Users\%USER%\" (matched without
// regard to ASCII case, as Windows paths are; "Users" keeps the case it had),
// "/home/<name>/" becomes "/home/%USER%/" (exact case), and every other
// occurrence of the name in its exact case becomes "%USER%". Longer names go
// first, so a name inside another cannot leave part of it behind. Names
// shorter than two bytes are skipped: replacing them everywhere would garble
// the whole report.
std::string hide_user(std::string_view report, const std::vector<std::string>& names);

}  // namespace vx::crash
