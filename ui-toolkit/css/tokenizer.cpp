#include "css/tokenizer.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "common/text.h"

namespace ostrel::css::syntax {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
// Every byte of a multi-byte UTF-8 sequence is >= 0x80, so names can be copied
// byte by byte.
bool is_name_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool is_name(char c) { return is_name_start(c) || is_digit(c) || c == '-'; }
bool is_non_printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x08 || u == 0x0B || (u >= 0x0E && u <= 0x1F) || u == 0x7F;
}

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Significant digits beyond this cannot change a double; dropping them keeps
// the conversion short for hostile input.
constexpr std::size_t max_significant_digits = 40;
constexpr std::int64_t max_exponent = 1'000'000'000;

// Locale-independent: std::from_chars never looks at the C locale.
double to_double(bool negative, const std::string& integer, const std::string& fraction, std::int64_t exponent) {
  std::string digits = integer + fraction;
  std::int64_t exp10 = exponent - static_cast<std::int64_t>(fraction.size());
  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0.0;
  digits.erase(0, first);
  if (digits.size() > max_significant_digits) {
    exp10 += static_cast<std::int64_t>(digits.size() - max_significant_digits);
    digits.resize(max_significant_digits);
  }
  const std::int64_t magnitude = static_cast<std::int64_t>(digits.size()) + exp10;  // digits before the point
  const double big = std::numeric_limits<double>::max();
  if (magnitude > 400) return negative ? -big : big;
  if (magnitude < -400) return 0.0;
  std::string repr = digits + "e" + std::to_string(exp10);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(repr.data(), repr.data() + repr.size(), value);
  (void)ptr;
  if (ec == std::errc::result_out_of_range)
    value = magnitude > 0 ? big : 0.0;
  else if (ec != std::errc())
    value = 0.0;
  return negative ? -value : value;
}

}  // namespace

std::string preprocess(std::string_view text) {
  const std::string clean = vx::sanitize_utf8(text);
  std::string out;
  out.reserve(clean.size());
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const char c = clean[i];
    if (c == '\r') {
      out += '\n';
      if (i + 1 < clean.size() && clean[i + 1] == '\n') ++i;
    } else if (c == '\f') {
      out += '\n';
    } else if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

// The text has no NUL after preprocessing, so at() returns '\0' only past the end.
bool Lexer::valid_escape(std::size_t i) const { return at(i) == '\\' && at(i + 1) != '\n'; }

bool Lexer::starts_ident(std::size_t i) const {
  const char c = at(i);
  if (c == '-') return is_name_start(at(i + 1)) || at(i + 1) == '-' || valid_escape(i + 1);
  if (c == '\\') return valid_escape(i);
  return is_name_start(c);
}

bool Lexer::starts_number(std::size_t i) const {
  char c = at(i);
  if (c == '+' || c == '-') c = at(++i);
  if (c == '.') return is_digit(at(i + 1));
  return is_digit(c);
}

// pos_ is just past the backslash.
void Lexer::consume_escape(std::string& out) {
  if (pos_ >= s_.size()) {
    vx::append_utf8(out, vx::replacement_character);
    return;
  }
  if (is_hex(s_[pos_])) {
    char32_t value = 0;
    for (int n = 0; n < 6 && is_hex(at(pos_)); ++n, ++pos_)
      value = value * 16 + static_cast<char32_t>(hex_value(s_[pos_]));
    if (is_space(at(pos_))) ++pos_;
    if (value == 0) value = vx::replacement_character;
    vx::append_utf8(out, value);  // surrogates and values past U+10FFFF become U+FFFD
    return;
  }
  const std::size_t length = vx::decode_utf8(s_, pos_).length;
  out.append(s_.substr(pos_, length));
  pos_ += length;
}

std::string Lexer::consume_name() {
  std::string out;
  for (;;) {
    if (is_name(at(pos_))) {
      const std::size_t start = pos_;
      while (is_name(at(pos_))) ++pos_;
      out.append(s_.substr(start, pos_ - start));
    } else if (valid_escape(pos_)) {
      ++pos_;
      consume_escape(out);
    } else {
      return out;
    }
  }
}

void Lexer::consume_string(Lexeme& t) {
  const char quote = s_[pos_++];
  t.kind = Kind::string;
  for (;;) {
    if (pos_ >= s_.size()) return;  // EOF closes the string
    const char c = s_[pos_];
    if (c == quote) {
      ++pos_;
      return;
    }
    if (c == '\n') {
      t.kind = Kind::bad_string;  // the newline stays for the next token
      return;
    }
    if (c == '\\') {
      ++pos_;
      if (pos_ >= s_.size()) return;
      if (s_[pos_] == '\n') {
        ++pos_;  // line continuation
        continue;
      }
      consume_escape(t.text);
      continue;
    }
    t.text += c;
    ++pos_;
  }
}

void Lexer::consume_numeric(Lexeme& t) {
  bool negative = false;
  if (s_[pos_] == '+' || s_[pos_] == '-') negative = s_[pos_++] == '-';
  std::string integer, fraction;
  std::int64_t exponent = 0;
  t.is_integer = true;
  while (is_digit(at(pos_))) integer += s_[pos_++];
  if (at(pos_) == '.' && is_digit(at(pos_ + 1))) {
    t.is_integer = false;
    ++pos_;
    while (is_digit(at(pos_))) fraction += s_[pos_++];
  }
  const char e = at(pos_);
  const char after = at(pos_ + 1);
  if ((e == 'e' || e == 'E') && (is_digit(after) || ((after == '+' || after == '-') && is_digit(at(pos_ + 2))))) {
    t.is_integer = false;
    ++pos_;
    bool negative_exponent = false;
    if (s_[pos_] == '+' || s_[pos_] == '-') negative_exponent = s_[pos_++] == '-';
    while (is_digit(at(pos_))) {
      exponent = exponent * 10 + (s_[pos_++] - '0');
      if (exponent > max_exponent) exponent = max_exponent;
    }
    if (negative_exponent) exponent = -exponent;
  }
  t.number = to_double(negative, integer, fraction, exponent);
  if (starts_ident(pos_)) {
    t.kind = Kind::dimension;
    t.text = vx::ascii_lower(consume_name());
  } else if (at(pos_) == '%') {
    ++pos_;
    t.kind = Kind::percentage;
  } else {
    t.kind = Kind::number;
  }
}

void Lexer::consume_ident_like(Lexeme& t) {
  t.text = consume_name();
  if (at(pos_) != '(') {
    t.kind = Kind::ident;
    return;
  }
  ++pos_;
  t.kind = Kind::function;
  if (!vx::iequals_ascii(t.text, "url")) return;
  while (is_space(at(pos_)) && is_space(at(pos_ + 1))) ++pos_;
  const char c0 = at(pos_), c1 = at(pos_ + 1);
  // A quoted address stays a function whose argument is a string token.
  if (c0 == '"' || c0 == '\'' || (is_space(c0) && (c1 == '"' || c1 == '\''))) return;
  t.text.clear();
  consume_url(t);
}

void Lexer::consume_url(Lexeme& t) {
  t.kind = Kind::url;
  while (is_space(at(pos_))) ++pos_;
  for (;;) {
    if (pos_ >= s_.size()) return;
    const char c = s_[pos_];
    if (c == ')') {
      ++pos_;
      return;
    }
    if (is_space(c)) {
      while (is_space(at(pos_))) ++pos_;
      if (pos_ >= s_.size()) return;
      if (s_[pos_] == ')') {
        ++pos_;
        return;
      }
      break;
    }
    if (c == '"' || c == '\'' || c == '(' || is_non_printable(c)) break;
    if (c == '\\') {
      if (!valid_escape(pos_)) break;
      ++pos_;
      consume_escape(t.text);
      continue;
    }
    t.text += c;
    ++pos_;
  }
  t.kind = Kind::bad_url;
  t.text.clear();
  consume_bad_url_rest();
}

void Lexer::consume_bad_url_rest() {
  std::string ignored;
  while (pos_ < s_.size()) {
    if (s_[pos_] == ')') {
      ++pos_;
      return;
    }
    if (valid_escape(pos_)) {
      ++pos_;
      ignored.clear();
      consume_escape(ignored);  // an escaped ")" does not end the token
    } else {
      ++pos_;
    }
  }
}

Lexeme Lexer::next() {
  while (at(pos_) == '/' && at(pos_ + 1) == '*') {
    const std::size_t close = s_.find("*/", pos_ + 2);
    pos_ = close == std::string_view::npos ? s_.size() : close + 2;
  }
  Lexeme t;
  t.begin = pos_;
  if (pos_ >= s_.size()) {
    t.end = pos_;
    return t;
  }
  const char c = s_[pos_];
  const auto single = [&](Kind kind) {
    ++pos_;
    t.kind = kind;
  };
  const auto delim = [&] {
    t.kind = Kind::delim;
    t.text.assign(1, c);
    ++pos_;
  };
  if (is_space(c)) {
    while (is_space(at(pos_))) ++pos_;
    t.kind = Kind::whitespace;
  } else if (c == '"' || c == '\'') {
    consume_string(t);
  } else if (c == '#') {
    if (is_name(at(pos_ + 1)) || valid_escape(pos_ + 1)) {
      ++pos_;
      t.kind = Kind::hash;
      t.text = consume_name();
    } else {
      delim();
    }
  } else if (c == '(') {
    single(Kind::open_paren);
  } else if (c == ')') {
    single(Kind::close_paren);
  } else if (c == '[') {
    single(Kind::open_square);
  } else if (c == ']') {
    single(Kind::close_square);
  } else if (c == '{') {
    single(Kind::open_curly);
  } else if (c == '}') {
    single(Kind::close_curly);
  } else if (c == ',') {
    single(Kind::comma);
  } else if (c == ':') {
    single(Kind::colon);
  } else if (c == ';') {
    single(Kind::semicolon);
  } else if (c == '+' || c == '.') {
    if (starts_number(pos_))
      consume_numeric(t);
    else
      delim();
  } else if (c == '-') {
    if (starts_number(pos_)) {
      consume_numeric(t);
    } else if (at(pos_ + 1) == '-' && at(pos_ + 2) == '>') {
      pos_ += 3;
      t.kind = Kind::cdc;
    } else if (starts_ident(pos_)) {
      consume_ident_like(t);
    } else {
      delim();
    }
  } else if (c == '<') {
    if (s_.substr(pos_, 4) == "<!--") {
      pos_ += 4;
      t.kind = Kind::cdo;
    } else {
      delim();
    }
  } else if (c == '@') {
    if (starts_ident(pos_ + 1)) {
      ++pos_;
      t.kind = Kind::at_keyword;
      t.text = consume_name();
    } else {
      delim();
    }
  } else if (c == '\\') {
    if (valid_escape(pos_))
      consume_ident_like(t);
    else
      delim();
  } else if (is_digit(c)) {
    consume_numeric(t);
  } else if (is_name_start(c)) {
    consume_ident_like(t);
  } else {
    delim();  // only ASCII reaches here: every non-ASCII byte starts a name
  }
  t.end = pos_;
  return t;
}

}  // namespace ostrel::css::syntax
