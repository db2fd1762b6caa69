#include "xml.h"

#include <cstdint>
#include <optional>

#include "common/text.h"

namespace ostrel::image::detail {
namespace {

constexpr std::size_t max_attributes = 256;
// Long enough for any valid reference ("&#x0010FFFF;"), short enough that a
// stray '&' never scans far.
constexpr std::size_t max_reference_length = 12;

std::size_t skip_space(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_xml_space(text[pos])) ++pos;
  return pos;
}

std::size_t skip_doctype(std::string_view text, std::size_t pos) {
  // The internal subset may hold '>' inside brackets and quoted literals.
  int brackets = 0;
  char quote = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      if (brackets > 0) --brackets;
    } else if (c == '>' && brackets == 0) {
      return pos + 1;
    }
  }
  return std::string_view::npos;
}

std::size_t after(std::string_view text, std::size_t from, std::string_view terminator) {
  const std::size_t at = text.find(terminator, from);
  return at == std::string_view::npos ? at : at + terminator.size();
}

bool starts_with_ci(std::string_view text, std::size_t pos, std::string_view prefix) {
  return vx::starts_with_ascii_ci(text.substr(pos), prefix);
}

std::optional<char32_t> parse_char_reference(std::string_view digits, bool hex) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    std::uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<std::uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      d = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      d = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + d;
    if (value > 0x10FFFF) return vx::replacement_character;
  }
  if (value == 0) return vx::replacement_character;
  return static_cast<char32_t>(value);
}

}  // namespace

std::size_t skip_markup_declaration(std::string_view text, std::size_t pos) {
  if (text.substr(pos).starts_with("<?")) return after(text, pos + 2, "?>");
  if (text.substr(pos).starts_with("<!--")) return after(text, pos + 4, "-->");
  if (starts_with_ci(text, pos, "<!DOCTYPE")) return skip_doctype(text, pos + 9);
  return std::string_view::npos;
}

std::string decode_references(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const std::size_t amp = raw.find('&', pos);
    out.append(raw.substr(pos, amp - pos));
    if (amp == std::string_view::npos) break;
    pos = amp;
    const std::size_t semi = raw.substr(amp, max_reference_length + 1).find(';');
    if (semi == std::string_view::npos) {
      out.push_back('&');
      ++pos;
      continue;
    }
    const std::string_view body = raw.substr(amp + 1, semi - 1);
    std::optional<char32_t> cp;
    if (body == "amp")
      cp = U'&';
    else if (body == "lt")
      cp = U'<';
    else if (body == "gt")
      cp = U'>';
    else if (body == "quot")
      cp = U'"';
    else if (body == "apos")
      cp = U'\'';
    else if (body.starts_with("#x"))
      cp = parse_char_reference(body.substr(2), true);
    else if (body.starts_with("#"))
      cp = parse_char_reference(body.substr(1), false);
    if (!cp) {
      out.push_back('&');
      ++pos;
      continue;
    }
    vx::append_utf8(out, *cp);
    pos = amp + semi + 1;
  }
  return out;
}

XmlReader::XmlReader(std::string_view text) : text_(text) {
  if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

XmlReader::Event XmlReader::next() {
  if (pending_end_) {
    pending_end_ = false;
    name_ = open_.back();
    open_.pop_back();
    if (open_.empty()) finished_ = true;
    return Event::End;
  }
  if (failed_) return Event::Error;
  if (finished_) return Event::Eof;
  attributes_.clear();
  for (;;) {
    if (open_.empty()) {
      // Outside the root only markup and white space may appear.
      pos_ = skip_space(text_, pos_);
      if (pos_ < text_.size() && text_[pos_] != '<') return failed_ = true, Event::Error;
    } else {
      pos_ = text_.find('<', pos_);
    }
    if (pos_ >= text_.size()) return finished_ = true, Event::Eof;

    const std::string_view rest = text_.substr(pos_);
    const bool doctype = starts_with_ci(text_, pos_, "<!DOCTYPE");
    if (doctype && root_seen_) return failed_ = true, Event::Error;
    if (doctype || rest.starts_with("<?") || rest.starts_with("<!--")) {
      pos_ = skip_markup_declaration(text_, pos_);
      if (pos_ == std::string_view::npos) return finished_ = true, Event::Eof;
      continue;
    }
    if (rest.starts_with("<![CDATA[")) {
      if (open_.empty()) return failed_ = true, Event::Error;
      pos_ = after(text_, pos_ + 9, "]]>");
      if (pos_ == std::string_view::npos) return finished_ = true, Event::Eof;
      continue;
    }
    if (rest.starts_with("<!")) return failed_ = true, Event::Error;
    return rest.starts_with("</") ? end_tag() : start_tag();
  }
}

XmlReader::Event XmlReader::start_tag() {
  std::size_t p = pos_ + 1;
  const std::size_t name_start = p;
  while (p < text_.size() && !ends_xml_name(text_[p])) ++p;
  if (p >= text_.size()) return finished_ = true, Event::Eof;
  if (p == name_start) return failed_ = true, Event::Error;
  const std::string_view name = text_.substr(name_start, p - name_start);

  for (;;) {
    p = skip_space(text_, p);
    if (p >= text_.size()) return finished_ = true, Event::Eof;
    if (text_[p] == '>' || text_[p] == '/') {
      const bool self_closing = text_[p] == '/';
      if (self_closing) {
        if (p + 1 >= text_.size()) return finished_ = true, Event::Eof;
        if (text_[p + 1] != '>') return failed_ = true, Event::Error;
        ++p;
      }
      pos_ = p + 1;
      open_.push_back(name);
      root_seen_ = true;
      name_ = name;
      pending_end_ = self_closing;
      return Event::Start;
    }
    const std::size_t attr_start = p;
    while (p < text_.size() && !ends_xml_name(text_[p])) ++p;
    if (p == attr_start) return failed_ = true, Event::Error;
    const std::string_view attr_name = text_.substr(attr_start, p - attr_start);
    p = skip_space(text_, p);
    if (p >= text_.size()) return finished_ = true, Event::Eof;
    if (text_[p] != '=') return failed_ = true, Event::Error;
    p = skip_space(text_, p + 1);
    if (p >= text_.size()) return finished_ = true, Event::Eof;
    const char quote = text_[p];
    if (quote != '"' && quote != '\'') return failed_ = true, Event::Error;
    const std::size_t close = text_.find(quote, p + 1);
    if (close == std::string_view::npos) return finished_ = true, Event::Eof;
    if (attributes_.size() < max_attributes) {
      attributes_.push_back({attr_name, decode_references(text_.substr(p + 1, close - p - 1))});
    }
    p = close + 1;
  }
}

XmlReader::Event XmlReader::end_tag() {
  std::size_t p = pos_ + 2;
  const std::size_t name_start = p;
  while (p < text_.size() && !ends_xml_name(text_[p])) ++p;
  const std::string_view name = text_.substr(name_start, p - name_start);
  p = skip_space(text_, p);
  if (p >= text_.size()) return finished_ = true, Event::Eof;
  if (text_[p] != '>' || open_.empty() || open_.back() != name) return failed_ = true, Event::Error;
  pos_ = p + 1;
  open_.pop_back();
  if (open_.empty()) finished_ = true;
  name_ = name;
  return Event::End;
}

}  // namespace ostrel::image::detail
