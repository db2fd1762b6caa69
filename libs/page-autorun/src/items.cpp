#include "page-autorun/items.h"

#include <cstdio>

#include "common/path_vars.h"
#include "common/text.h"

namespace vx::autorun {

std::string_view source_tag(const AutorunItem& item) {
  switch (item.kind) {
    case SourceKind::folder:
      return "FILE";
    case SourceKind::registry:
      return hive_short_name(item.hive);
    case SourceKind::task:
      return "SCHE";
    case SourceKind::service:
      return "SERV";
  }
  return {};
}

std::string item_key(const AutorunItem& item) { return to_upper(std::string(source_tag(item)) + "|" + item.location); }

std::string icon_key(const AutorunItem& item) {
  switch (item.kind) {
    case SourceKind::task:
      return "vx-2.png";
    case SourceKind::service:
      return "vx-3.png";
    default:
      if (item.target.empty()) return "vx-1.png";
      // A comma in the path would be read back as the start of an icon index.
      return "exe1:" + item.target + (item.target.contains(',') ? ",0" : "");
  }
}

bool is_startup_file(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = file_name.substr(dot);
  for (std::string_view known : {".url", ".lnk", ".exe", ".bat", ".cmd", ".com"})
    if (iequals_ascii(extension, known)) return true;
  return false;
}

AutorunItem folder_item(std::string_view folder, std::string_view file_name, Hive hive, bool enabled) {
  AutorunItem item;
  const std::size_t dot = file_name.rfind('.');
  item.name = std::string(file_name.substr(0, dot));
  item.location = std::string(folder) + "\\" + std::string(file_name);
  item.target = item.location;
  item.kind = SourceKind::folder;
  item.hive = hive;
  item.enabled = enabled;
  return item;
}

AutorunItem run_item(Hive hive, std::string_view key_path, std::string_view value_name, std::string_view data,
                     bool enabled) {
  AutorunItem item;
  item.name = std::string(value_name);
  item.location = std::string(hive_short_name(hive)) + std::string(key_path) + "\\" + std::string(value_name);
  item.target = command_target(data);
  item.command = std::string(data);
  item.key_path = std::string(key_path);
  item.kind = SourceKind::registry;
  item.hive = hive;
  item.enabled = enabled;
  return item;
}

AutorunItem task_item(std::string_view name, bool enabled) {
  AutorunItem item;
  item.name = std::string(name);
  item.location = "\\" + std::string(name);
  item.kind = SourceKind::task;
  item.enabled = enabled;
  return item;
}

AutorunItem service_item(std::string_view service_name, std::string_view display_name, std::string_view binary_path,
                         std::uint32_t start_type) {
  AutorunItem item;
  item.name = std::string(display_name);
  item.location = std::string(service_name);
  item.target = std::string(binary_path);
  item.command = std::string(binary_path);
  item.start_type = start_type;
  item.kind = SourceKind::service;
  item.enabled = start_type == 2;
  return item;
}

std::optional<ApprovedValue> approved_value(const AutorunItem& item) {
  if (item.kind == SourceKind::folder)
    return ApprovedValue{item.hive,
                         "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder",
                         std::string(file_name_of(item.location))};
  if (item.kind == SourceKind::registry) {
    const bool wow = ascii_lower(item.key_path).find("wow6432node") != std::string::npos;
    return ApprovedValue{item.hive,
                         std::string("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run") +
                             (wow ? "32" : ""),
                         item.name};
  }
  return std::nullopt;
}

bool approved_on(std::optional<std::span<const std::uint8_t>> value) {
  return !value || value->size() != 12 || (*value)[0] == 2;
}

std::array<std::uint8_t, 12> approved_bytes(bool on, std::uint64_t filetime) {
  std::array<std::uint8_t, 12> bytes{};
  bytes[0] = on ? 2 : 3;
  for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<std::uint8_t>(filetime >> (8 * i));
  return bytes;
}

std::string product_name_query(std::uint16_t language, std::uint16_t code_page) {
  char query[64];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\ProductName", language, code_page);
  return query;
}

}  // namespace vx::autorun
