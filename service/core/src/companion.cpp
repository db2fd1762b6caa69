#include "service/companion.h"

#include "characters.h"
#include "common/text.h"

namespace vx::service {
namespace {

constexpr std::string_view lang_prefix = "/lang=";

}  // namespace

CommandLine parse_command_line(std::span<const std::string> args) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (iequals_ascii(arg, "/inst")) {
      line.install = true;
    } else if (iequals_ascii(arg, "/uninst")) {
      line.uninstall = true;
    } else if (iequals_ascii(arg, "/start")) {
      line.scheduled = true;
    } else if (starts_with_ascii_ci(arg, lang_prefix)) {
      const std::string_view code = first_characters(std::string_view(arg).substr(lang_prefix.size()), 2);
      line.language = code.empty() ? std::string("en") : sanitize_utf8(ascii_lower(code));
    }
  }
  return line;
}

std::string choose_language(const CommandLine& command_line, const std::function<std::string()>& locale_language) {
  if (command_line.language) return *command_line.language;
  const std::string locale = locale_language ? ascii_lower(trim(locale_language())) : std::string();
  return locale.empty() ? std::string("en") : locale;
}

std::string folder_of(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return {};
  // "C:\x.exe" lives in "C:\", not in the drive-relative "C:".
  if (slash == 2 && path[1] == ':') return std::string(path.substr(0, 3));
  if (slash == 0) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, slash));
}

std::string main_program_path(std::string_view companion_path) {
  std::string folder = folder_of(companion_path);
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + "Vorlix.exe";
}

std::string tray_tip(std::string_view product, std::string_view file_version) {
  if (const std::size_t dot = file_version.rfind('.'); dot != std::string_view::npos) {
    file_version = file_version.substr(0, dot);
  }
  const std::string tip = sanitize_utf8(std::string(product) + " " + std::string(file_version));
  return std::string(fit_utf16(tip, max_tray_tip));
}

}  // namespace vx::service
