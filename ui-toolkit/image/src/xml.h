// A small pull reader for the XML that SVG files use. It knows elements,
// attributes and the constructs to step over (declarations, comments, CDATA,
// doctype); text content is skipped. No recursion: the open elements live in a
// vector, so nesting depth costs memory in proportion to the input only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::image::detail {

struct XmlAttribute {
  std::string_view name;
  std::string value;  // character and entity references resolved
};

class XmlReader {
 public:
  enum class Event {
    Start,  // name() and attributes() describe the element
    End,    // name() is the element that closed; a self-closing tag gives Start then End
    Eof,    // input ran out (possibly inside a tag), or the root element closed
    Error,  // malformed markup
  };

  explicit XmlReader(std::string_view text);

  Event next();
  std::string_view name() const { return name_; }
  const std::vector<XmlAttribute>& attributes() const { return attributes_; }
  // Elements open after the last event, the current Start element included.
  std::size_t depth() const { return open_.size(); }

 private:
  Event start_tag();
  Event end_tag();

  std::string_view text_;
  std::size_t pos_ = 0;
  std::vector<std::string_view> open_;
  std::vector<XmlAttribute> attributes_;
  std::string_view name_;
  bool pending_end_ = false;
  bool root_seen_ = false;
  bool finished_ = false;
  bool failed_ = false;
};

// Offset just past the prolog item starting at `pos` (an XML declaration or
// processing instruction, a comment, a doctype), or npos when the text there
// is none of those or is cut off.
std::size_t skip_markup_declaration(std::string_view text, std::size_t pos);

// Character references and the five predefined entities; unknown entities are
// kept as written.
std::string decode_references(std::string_view raw);

constexpr bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// Characters that end element and attribute names.
constexpr bool ends_xml_name(char c) {
  return is_xml_space(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}
// The part of a qualified name after its prefix ("svg" for "svg:svg").
constexpr std::string_view local_name(std::string_view name) {
  const std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

}  // namespace ostrel::image::detail
