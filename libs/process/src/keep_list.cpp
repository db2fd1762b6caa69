#include "process/keep_list.h"

#include "common/embedded.h"
#include "common/path_vars.h"
#include "common/text.h"

VX_EMBEDDED(vx_process_path_list)
VX_EMBEDDED(vx_process_name_list)
VX_EMBEDDED(vx_process_bundle_list)
VX_EMBEDDED(vx_process_signer_list)

namespace vx::process {
namespace {

bool is_comment(std::string_view key) { return key.starts_with("//"); }

std::string utf16_bytes_to_utf8(std::string_view bytes, bool big_endian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]), second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  std::string text = utf16_to_utf8(units);
  if (bytes.size() % 2) append_utf8(text, replacement_character);  // a cut-off last unit
  return text;
}

}  // namespace

bool KeepList::add(std::string_view entry) {
  entry = trim(entry);
  if (entry.empty() || !seen_.insert(ascii_lower(entry)).second) return false;
  keys_.push_back(to_lower(expand_path_vars(entry)));
  raw_.emplace_back(entry);
  return true;
}

std::size_t merge_lines(KeepList& list, std::string_view text) {
  while (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t added = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    added += list.add(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return added;
}

KeepList load_list_text(std::string_view text) {
  KeepList list;
  merge_lines(list, text);
  return list;
}

std::string_view builtin_list_text(ListKind kind) {
  switch (kind) {
    case ListKind::path:
      return embedded_bytes(vx_process_path_list, vx_process_path_list_size);
    case ListKind::name:
      return embedded_bytes(vx_process_name_list, vx_process_name_list_size);
    case ListKind::bundle:
      return embedded_bytes(vx_process_bundle_list, vx_process_bundle_list_size);
    case ListKind::signer:
      return embedded_bytes(vx_process_signer_list, vx_process_signer_list_size);
  }
  return {};
}

KeepLists builtin_keep_lists() {
  KeepLists lists;
  for (std::size_t i = 0; i < list_count; ++i)
    lists.lists[i] = load_list_text(builtin_list_text(static_cast<ListKind>(i)));
  return lists;
}

std::size_t merge_lists(KeepLists& lists, const std::array<std::vector<std::string>, list_count>& server) {
  std::size_t added = 0;
  for (std::size_t i = 0; i < list_count; ++i)
    for (const std::string& entry : server[i]) added += lists.lists[i].add(entry);
  return added;
}

bool matches_path(const std::vector<std::string>& keys, std::string_view path) {
  const std::string lower = to_lower(path);
  const std::string_view name = file_name_of(lower);
  for (const std::string& key : keys) {
    if (key.empty() || is_comment(key)) continue;
    if (key.back() == '*') {
      if (std::string_view(key).substr(0, key.size() - 1) == name) return true;
    } else if (lower.find(key) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool matches_signer(const std::vector<std::string>& keys, std::string_view signer) {
  if (signer.empty()) return false;
  const std::string lower = to_lower(signer);
  for (const std::string& key : keys)
    if (!key.empty() && !is_comment(key) && lower.starts_with(key)) return true;
  return false;
}

std::string decode_list_file(std::string_view bytes, const AnsiDecoder& ansi) {
  if (bytes.starts_with("\xFF\xFE")) return utf16_bytes_to_utf8(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return utf16_bytes_to_utf8(bytes.substr(2), true);
  if (bytes.starts_with("\xEF\xBB\xBF")) return sanitize_utf8(bytes.substr(3));
  if (is_valid_utf8(bytes)) return std::string(bytes);
  if (ansi) {
    if (std::optional<std::string> text = ansi(bytes)) return std::move(*text);
  }
  return sanitize_utf8(bytes);
}

}  // namespace vx::process
