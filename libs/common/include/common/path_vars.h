// Paths stored with a leading folder variable (%ProgramFiles%\Vendor\app.exe),
// command lines as Windows stores them for autostart and uninstall entries,
// and the shell's known folders they are built on. All text is UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx {

enum class KnownFolder : std::uint8_t {
  ProgramData,
  Windows,
  PublicDocuments,
  RoamingAppData,
  ProgramFiles,
  ProgramFilesX86,
  ProgramFilesCommon,
  ProgramFilesCommonX86,
  Startup,
  CommonStartup,
  LocalAppData,
  LocalAppDataLow,
  Profile,
  Documents,
  Desktop,
  Music,
  Pictures,
  Videos,
  System,
  SystemX86,
  Public,
  Downloads,
};
inline constexpr std::size_t known_folder_count = 22;

// A folder's path for the calling user without trailing backslashes; absent
// when the shell cannot give it (and always, natively, unless a lookup was
// installed with set_known_folder_lookup).
std::optional<std::string> known_folder(KnownFolder kind);

using FolderLookup = std::function<std::optional<std::string>(KnownFolder)>;

// Replaces where known_folder gets its answers; for tests on machines without
// the shell. Must be called before the first expand or contract.
void set_known_folder_lookup(FolderLookup lookup);

// The nine variables and their folders, in the order they are tried.
class PathVariables {
 public:
  explicit PathVariables(const FolderLookup& lookup);
  std::string expand(std::string_view path) const;
  std::string contract(std::string_view path) const;
  const std::vector<std::pair<std::string_view, std::string>>& rows() const { return rows_; }

 private:
  std::vector<std::pair<std::string_view, std::string>> rows_;  // variable, folder
};

// With the process's table, built once from known_folder on first use.
std::string expand_path_vars(std::string_view path);
std::string contract_path_vars(std::string_view path);

struct SplitCommand {
  std::string program;
  std::string args;
  friend bool operator==(const SplitCommand&, const SplitCommand&) = default;
};

SplitCommand split_command_line(std::string_view command);

// "X:\..." with a drive letter, no "." or ".." component and no stream name:
// the only paths the elevated program acts on. Network, root-relative and
// relative paths depend on who serves them or on the current folder.
bool is_absolute_drive_path(std::string_view path);

// The part after the last backslash or colon; the whole text without either.
std::string_view file_name_of(std::string_view path);

// The file a stored command starts: the program, or the DLL that rundll32 is
// told to load; variables expanded and doubled backslashes made single.
std::string command_target(std::string_view command);
// The same with a given variable table.
std::string command_target(std::string_view command, const PathVariables& variables);

}  // namespace vx
