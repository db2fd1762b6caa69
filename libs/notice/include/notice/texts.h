// What the update notices say, in the interface language, and the footer link
// of a note, made safe for the task dialog's link markup.
#pragma once

#include <string>
#include <string_view>

namespace vx::notice {

struct NoticeTexts {
  std::string_view bar_title;
  std::string_view instruction;  // the dialog's main instruction
  std::string_view content;      // two paragraphs, a blank line between them
};

// By two-letter language code; English for any other code, and for any code
// that is not exactly two characters long ("pt-BR").
const NoticeTexts& notice_texts(std::string_view language);

// `<a href="url">text</a>` with both escaped; empty unless both are given and
// the address is an http or https page (nothing else is ever opened).
std::string footer_link(std::string_view text, std::string_view url);

// Whether an address from the server may be opened: http:// or https://, no
// control characters, at most 2,048 bytes.
bool is_web_address(std::string_view url);

// A server's text for a check box or a link: control characters as spaces,
// cut at `max_bytes` (on a character boundary).
std::string plain_text(std::string_view text, std::size_t max_bytes = 512);

}  // namespace vx::notice
