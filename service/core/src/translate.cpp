#include "service/translate.h"

#include "common/text.h"

namespace vx::service {
namespace {

// Case-insensitive as the system compares texts: code point by code point,
// simple case mapping.
bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const DecodedChar x = decode_utf8(a, i), y = decode_utf8(b, j);
    if (x.code_point != y.code_point && simple_lower(x.code_point) != simple_lower(y.code_point)) return false;
    i += x.length;
    j += y.length;
  }
  return i == a.size() && j == b.size();
}

// The two characters "\n" in a table text stand for a line break.
std::string unescape_line_breaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> resource_text(std::string_view resource, const Decompressor& decompress) {
  if (!resource.starts_with(compressed_tag)) return std::string(resource);
  if (resource.size() < 8 || !decompress) return std::nullopt;
  std::uint32_t size = 0;
  for (int i = 7; i >= 4; --i) size = (size << 8) | static_cast<unsigned char>(resource[i]);
  std::optional<std::string> text = decompress(resource.substr(8), size);
  if (!text || text->size() != size) return std::nullopt;
  return text;
}

TranslationTable TranslationTable::parse(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::string clean = sanitize_utf8(text);
  TranslationTable table;
  std::size_t block = 0;
  bool new_block = true;
  for (std::string_view rest = clean; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    // A line of only spaces still parts two blocks: merging them would hand
    // one message's translation to another.
    if (trim(line).empty()) {
      new_block = true;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (new_block) {
      block = table.entries_.size();
      new_block = false;
    }
    table.entries_.push_back(
        {std::string(trim(line.substr(0, equals))), unescape_line_breaks(line.substr(equals + 1)), block});
  }
  return table;
}

TranslationTable TranslationTable::from_resource(std::string_view resource, const Decompressor& decompress) {
  const std::optional<std::string> text = resource_text(resource, decompress);
  return text ? parse(*text) : TranslationTable();
}

std::string TranslationTable::lookup(std::string_view source, std::string_view language) const {
  for (const Entry& found : entries_) {
    if (!same_text_ignoring_case(found.text, source)) continue;
    const std::string* english = nullptr;
    for (std::size_t i = found.block; i < entries_.size() && entries_[i].block == found.block; ++i) {
      if (entries_[i].language == language) return entries_[i].text;
      if (!english && entries_[i].language == "en") english = &entries_[i].text;
    }
    return english ? *english : std::string(source);
  }
  return std::string(source);
}

std::string missing_program_text(const TranslationTable& table, std::string_view language) {
  return table.lookup(message::missing_config, language) + "\n\n" + table.lookup(message::missing_reinstall, language);
}

}  // namespace vx::service
