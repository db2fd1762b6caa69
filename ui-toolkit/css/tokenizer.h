// CSS tokens as the syntax defines them, before blocks are grouped. The sheet
// parser builds the component tree of stylesheet.h from them; it also needs the
// tokens a tree cannot hold (closers, bad strings, CDO) and source offsets, to
// hand a rule's prelude text to the selector parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::css::syntax {

enum class Kind : std::uint8_t {
  ident,
  function,    // text: name, "(" consumed
  at_keyword,  // text: without "@"
  hash,        // text: without "#"
  string,
  bad_string,  // a raw newline ended it
  url,
  bad_url,
  number,
  percentage,
  dimension,  // text: unit, ASCII lower case
  whitespace,
  delim,  // text: the character
  comma,
  colon,
  semicolon,
  cdo,  // "<!--"
  cdc,  // "-->"
  open_paren,
  close_paren,
  open_square,
  close_square,
  open_curly,
  close_curly,
  eof,
};

struct Lexeme {
  Kind kind = Kind::eof;
  bool is_integer = false;
  double number = 0;
  std::string text;
  std::size_t begin = 0, end = 0;  // byte range in the preprocessed text
};

// CR, CRLF and FF become LF; NUL and invalid UTF-8 (lone surrogates included)
// become U+FFFD. The lexer expects text in this form.
std::string preprocess(std::string_view text);

class Lexer {
 public:
  explicit Lexer(std::string_view preprocessed) : s_(preprocessed) {}

  // The next token, comments skipped; Kind::eof at the end, as often as asked.
  Lexeme next();

 private:
  char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }
  bool valid_escape(std::size_t i) const;
  bool starts_ident(std::size_t i) const;
  bool starts_number(std::size_t i) const;
  void consume_escape(std::string& out);
  std::string consume_name();
  void consume_string(Lexeme& t);
  void consume_numeric(Lexeme& t);
  void consume_ident_like(Lexeme& t);
  void consume_url(Lexeme& t);
  void consume_bad_url_rest();

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace ostrel::css::syntax
