#include "common/path_vars.h"

#include <algorithm>
#include <mutex>

#include "common/text.h"
#include "folder_lookup.h"

namespace vx {
namespace {

constexpr std::array<std::pair<std::string_view, KnownFolder>, 9> variable_table = {{
    {"%ProgramData%", KnownFolder::ProgramData},
    {"%SystemRoot%", KnownFolder::Windows},
    {"%Public%", KnownFolder::PublicDocuments},
    {"%AppData%", KnownFolder::RoamingAppData},
    {"%WinDir%", KnownFolder::Windows},
    {"%CommonProgramFiles(x86)%", KnownFolder::ProgramFilesCommonX86},
    {"%CommonProgramFiles%", KnownFolder::ProgramFilesCommon},
    {"%ProgramFiles(x86)%", KnownFolder::ProgramFilesX86},
    {"%ProgramFiles%", KnownFolder::ProgramFiles},
}};

// Whether `path` starts with `prefix` (full Unicode case folding of both) and
// goes on with a backslash.
bool starts_with_folder(std::string_view path, std::string_view prefix) {
  if (prefix.empty() || path.size() <= prefix.size() || path[prefix.size()] != '\\') return false;
  return to_lower(path.substr(0, prefix.size())) == to_lower(prefix);
}

const PathVariables& process_variables() {
  static const PathVariables table([](KnownFolder kind) { return known_folder(kind); });
  return table;
}

std::optional<std::size_t> earliest_extension(std::string_view upper) {
  std::optional<std::size_t> best;
  for (const std::string_view ext : {".EXE", ".BAT", ".COM", ".CMD", ".MSI"}) {
    const std::size_t at = upper.find(ext);
    if (at != std::string_view::npos && (!best || at < *best)) best = at;
  }
  return best;
}

std::string collapse_double_backslashes(std::string text) {
  std::size_t at = 0;
  while ((at = text.find("\\\\", at)) != std::string::npos) text.erase(at, 1);
  return text;
}

}  // namespace

FolderLookup& installed_folder_lookup() {
  static FolderLookup lookup;
  return lookup;
}

void set_known_folder_lookup(FolderLookup lookup) { installed_folder_lookup() = std::move(lookup); }

#ifndef _WIN32
// No shell here: only what a test installed.
std::optional<std::string> known_folder(KnownFolder kind) {
  if (const FolderLookup& lookup = installed_folder_lookup()) return lookup(kind);
  return std::nullopt;
}
#endif

PathVariables::PathVariables(const FolderLookup& lookup) {
  for (const auto& [variable, kind] : variable_table) {
    if (std::optional<std::string> folder = lookup(kind)) {
      // A folder path with its trailing backslashes removed; an empty one could match nothing sensible.
      while (!folder->empty() && folder->back() == '\\') folder->pop_back();
      if (!folder->empty()) rows_.emplace_back(variable, std::move(*folder));
    }
  }
}

std::string PathVariables::expand(std::string_view path) const {
  for (const auto& [variable, folder] : rows_)
    if (starts_with_folder(path, variable)) return folder + std::string(path.substr(variable.size()));
  return std::string(path);
}

std::string PathVariables::contract(std::string_view path) const {
  for (const auto& [variable, folder] : rows_)
    if (starts_with_folder(path, folder)) return std::string(variable) + std::string(path.substr(folder.size()));
  return std::string(path);
}

std::string expand_path_vars(std::string_view path) { return process_variables().expand(path); }
std::string contract_path_vars(std::string_view path) { return process_variables().contract(path); }

SplitCommand split_command_line(std::string_view command) {
  const std::string_view text = trim(command);
  if (text.empty()) return {};
  if (text.front() == '"') {
    const std::size_t close = text.find('"', 1);
    if (close == std::string_view::npos) return {std::string(text.substr(1)), {}};
    return {std::string(trim(text.substr(1, close - 1))), std::string(trim(text.substr(close + 1)))};
  }
  const std::string upper = to_upper(text);
  if (upper.size() == text.size()) {
    if (const std::optional<std::size_t> ext = earliest_extension(upper)) {
      const std::size_t cut = *ext + 4;
      if (cut == text.size()) return {std::string(text), {}};
      return {std::string(trim(text.substr(0, cut))), std::string(trim(text.substr(cut)))};
    }
  }
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return {std::string(text), {}};
  return {std::string(trim(text.substr(0, space))), std::string(trim(text.substr(space + 1)))};
}

bool is_absolute_drive_path(std::string_view path) {
  if (path.size() < 3 || ascii_lower(path[0]) < 'a' || ascii_lower(path[0]) > 'z' || path[1] != ':' ||
      (path[2] != '\\' && path[2] != '/'))
    return false;
  if (path.find('\0') != std::string_view::npos || path.find(':', 2) != std::string_view::npos) return false;
  for (std::string_view rest = path.substr(3); !rest.empty();) {
    const std::size_t slash = rest.find_first_of("\\/");
    const std::string_view part = rest.substr(0, slash);
    if (part == "." || part == "..") return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return true;
}

std::string_view file_name_of(std::string_view path) {
  const std::size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string command_target(std::string_view command, const PathVariables& variables) {
  if (command.starts_with("\\??\\")) command.remove_prefix(4);
  const SplitCommand split = split_command_line(command);
  std::string target = split.program;
  if (iequals_ascii(file_name_of(split.program), "rundll32.exe") && !split.args.empty()) {
    std::string_view args = trim(split.args);
    if (!args.empty() && args.front() == '"') {
      const std::size_t close = args.find('"', 1);
      args = close == std::string_view::npos ? std::string_view() : args.substr(1, close - 1);
    }
    target = std::string(args.substr(0, args.find(',')));
  }
  return collapse_double_backslashes(variables.expand(target));
}

std::string command_target(std::string_view command) { return command_target(command, process_variables()); }

}  // namespace vx
