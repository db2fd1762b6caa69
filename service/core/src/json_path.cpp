#include "service/json_path.h"

#include <vector>

#include "common/text.h"

namespace vx::service {
namespace {

constexpr bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool ends_bare_value(char c) { return c == ',' || c == '}' || c == ']' || is_space(c); }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A forward-only cursor over the body. Every step checks the end, so a cut or
// garbled body simply ends the search.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  void skip_space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  }
  bool take(char c) {
    skip_space();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // Moves to the value of `key` in the object whose "{" was just taken.
  bool find_member(std::string_view key) {
    if (take('}')) return false;
    std::string name;
    for (;;) {
      skip_space();
      name.clear();
      if (!read_string(&name) || !take(':')) return false;
      if (name == key) return true;
      if (!skip_value() || !take(',')) return false;
    }
  }

  std::string read_leaf() {
    skip_space();
    if (pos_ >= text_.size()) return {};
    std::string out;
    const char c = text_[pos_];
    if (c == '"') return read_string(&out) ? out : std::string();
    if (c == '{' || c == '[') return {};
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !ends_bare_value(text_[pos_])) ++pos_;
    const std::string_view bare = text_.substr(start, pos_ - start);
    if (bare == "null") return {};
    return is_valid_utf8(bare) ? std::string(bare) : sanitize_utf8(bare);
  }

 private:
  // At an opening quote: reads up to the closing one, unescaping into `out`
  // (or only skipping when it is null). False when the text never closes.
  bool read_string(std::string* out) {
    if (pos_ >= text_.size() || text_[pos_] != '"') return false;
    ++pos_;
    bool raw_non_ascii = false;
    for (;;) {
      const std::size_t run = pos_;
      while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\\') {
        raw_non_ascii |= static_cast<unsigned char>(text_[pos_]) >= 0x80;
        ++pos_;
      }
      if (out) out->append(text_.substr(run, pos_ - run));
      if (pos_ >= text_.size()) return false;
      if (text_[pos_++] == '"') break;
      if (pos_ >= text_.size()) return false;
      const char escaped = text_[pos_++];
      if (!out) continue;
      switch (escaped) {
        case 't':
          out->push_back('\t');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 'u':
          if (const int unit = read_hex4(); unit >= 0) {
            append_unit(*out, static_cast<char32_t>(unit));
          } else {
            out->push_back('u');  // not four digits: the letter stands for itself
          }
          break;
        default:
          raw_non_ascii |= static_cast<unsigned char>(escaped) >= 0x80;
          out->push_back(escaped);
      }
    }
    // Bytes copied as they were are the only ones that can be invalid UTF-8.
    if (out && raw_non_ascii && !is_valid_utf8(*out)) *out = sanitize_utf8(*out);
    return true;
  }

  // Four hexadecimal digits at the cursor, consumed; -1 (nothing consumed) otherwise.
  int read_hex4() {
    if (text_.size() - pos_ < 4) return -1;
    int value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const int digit = hex_digit(text_[pos_ + i]);
      if (digit < 0) return -1;
      value = value * 16 + digit;
    }
    pos_ += 4;
    return value;
  }

  // One UTF-16 unit from \uXXXX. A high surrogate joins with a "\uXXXX" low
  // surrogate right after it; a surrogate left alone has no UTF-8 form.
  void append_unit(std::string& out, char32_t unit) {
    if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
      const std::size_t mark = pos_;
      pos_ += 2;
      const int low = read_hex4();
      if (low >= 0xDC00 && low <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00));
        return;
      }
      pos_ = mark;  // the next escape is read on its own
    }
    append_utf8(out, unit);  // a lone surrogate becomes U+FFFD
  }

  bool skip_value() {
    skip_space();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '"') return read_string(nullptr);
    if (c == '{' || c == '[') return skip_nested();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !ends_bare_value(text_[pos_])) ++pos_;
    return pos_ > start;
  }

  // An object or array as a whole, brackets matched, strings skipped so their
  // brackets do not count. Iterative, with the nesting bounded.
  bool skip_nested() {
    std::vector<char> closers;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '"') {
        if (!read_string(nullptr)) return false;
        continue;
      }
      ++pos_;
      if (c == '{' || c == '[') {
        if (closers.size() >= max_json_depth) return false;
        closers.push_back(c == '{' ? '}' : ']');
      } else if (c == '}' || c == ']') {
        if (closers.back() != c) return false;
        closers.pop_back();
        if (closers.empty()) return true;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string json_text(std::string_view body, std::string_view path) {
  if (body.size() > max_json_body) return {};
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  Cursor cursor(body);
  for (;;) {
    const std::size_t dot = path.find('.');
    const std::string_view segment = path.substr(0, dot);
    if (segment.size() > max_path_segment || !cursor.take('{') || !cursor.find_member(segment)) return {};
    if (dot == std::string_view::npos) break;
    path.remove_prefix(dot + 1);
  }
  return cursor.read_leaf();
}

}  // namespace vx::service
