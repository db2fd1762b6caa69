#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "../folder_lookup.h"
#include "common/path_vars.h"
#include "common/win32/text.h"

namespace vx {
namespace {

const GUID* folder_id(KnownFolder kind) {
  static const GUID* const ids[known_folder_count] = {
      &FOLDERID_ProgramData,
      &FOLDERID_Windows,
      &FOLDERID_PublicDocuments,
      &FOLDERID_RoamingAppData,
      &FOLDERID_ProgramFiles,
      &FOLDERID_ProgramFilesX86,
      &FOLDERID_ProgramFilesCommon,
      &FOLDERID_ProgramFilesCommonX86,
      &FOLDERID_Startup,
      &FOLDERID_CommonStartup,
      &FOLDERID_LocalAppData,
      &FOLDERID_LocalAppDataLow,
      &FOLDERID_Profile,
      &FOLDERID_Documents,
      &FOLDERID_Desktop,
      &FOLDERID_Music,
      &FOLDERID_Pictures,
      &FOLDERID_Videos,
      &FOLDERID_System,
      &FOLDERID_SystemX86,
      &FOLDERID_Public,
      &FOLDERID_Downloads,
  };
  const auto index = static_cast<std::size_t>(kind);
  return index < known_folder_count ? ids[index] : nullptr;
}

}  // namespace

std::optional<std::string> known_folder(KnownFolder kind) {
  if (const FolderLookup& lookup = installed_folder_lookup()) return lookup(kind);
  const GUID* id = folder_id(kind);
  PWSTR wide = nullptr;
  if (!id || FAILED(SHGetKnownFolderPath(*id, 0, nullptr, &wide))) {
    CoTaskMemFree(wide);
    return std::nullopt;
  }
  // A path that is not valid UTF-16 is no path we could open again.
  std::string path = vx::win32::narrow_exact(wide).value_or(std::string());
  CoTaskMemFree(wide);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace vx
