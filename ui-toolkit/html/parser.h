// HTML parser for the documents the program ships and builds: never fails,
// recovers from malformed input the way browsers do for the subset we use.
#pragma once

#include <string_view>

#include "dom/dom.h"

namespace ostrel {

// Parses UTF-8 text (invalid sequences become U+FFFD) into a new tree under
// `container`, a node of `document` with no children. The tree always has an
// html element with head and body, like a browser's. May throw std::bad_alloc;
// the caller then releases `container`.
void parse_html(Document& document, Node* container, std::string_view text);

// Decodes one character reference at text[pos] == '&'. Returns the number of
// bytes consumed (0 when it is no reference) and appends the decoded text.
std::size_t decode_character_reference(std::string_view text, std::size_t pos, bool in_attribute, std::string& out);

}  // namespace ostrel
