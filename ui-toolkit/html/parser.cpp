#include "html/parser.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"

namespace ostrel {
namespace {

constexpr bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_alnum(char c) { return is_alpha(c) || is_digit(c); }

bool all_space(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return is_html_space(c); });
}

struct NamedReference {
  std::string_view name;
  char32_t code_point;
  bool legacy;  // recognised without the closing ";"
};

// The references our documents and the pages' texts use, sorted by name.
constexpr NamedReference named_references[] = {
    {"amp", '&', true},       {"apos", '\'', false},     {"bull", 0x2022, false},  {"copy", 0xA9, true},
    {"gt", '>', true},        {"hellip", 0x2026, false}, {"laquo", 0xAB, true},    {"ldquo", 0x201C, false},
    {"lsquo", 0x2018, false}, {"lt", '<', true},         {"mdash", 0x2014, false}, {"middot", 0xB7, true},
    {"nbsp", 0xA0, true},     {"ndash", 0x2013, false},  {"quot", '"', true},      {"raquo", 0xBB, true},
    {"rdquo", 0x201D, false}, {"reg", 0xAE, true},       {"rsquo", 0x2019, false}, {"times", 0xD7, true},
    {"trade", 0x2122, false},
};

// Numeric references that name C1 controls mean Windows-1252 characters.
constexpr char32_t c1_replacements[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                          0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// SVG attribute and tag names are case-sensitive; the tokenizer lower-cases, so
// restore the camel case the way browsers do.
std::string_view svg_name_fixup(std::string_view lower) {
  static constexpr std::string_view names[] = {
      "viewBox",           "preserveAspectRatio", "linearGradient", "radialGradient", "clipPath",
      "gradientTransform", "gradientUnits",       "textLength",     "foreignObject",  "clipPathUnits",
      "patternUnits",      "stdDeviation",        "baseProfile",    "markerWidth",    "markerHeight"};
  for (std::string_view n : names)
    if (vx::iequals_ascii(n, lower)) return n;
  return lower;
}

struct Token {
  enum Kind { start_tag, end_tag, text } kind;
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  bool self_closing = false;
  std::string data;
};

class TreeBuilder {
 public:
  TreeBuilder(Document& doc, Node* container) : doc_(doc), container_(container) {}

  void start_tag(Token& t);
  void end_tag(const std::string& name);
  void text(std::string_view data);
  void finish();

  // The raw-text element that was just opened, if any (the tokenizer then
  // reads its content up to the matching end tag).
  TagKind raw_text_kind() const { return raw_text_; }

 private:
  enum class Mode { before_html, before_head, in_head, after_head, in_body };

  Node* current() const { return open_.empty() ? html_ : open_.back(); }
  Node* make_element(std::string_view name, const std::vector<std::pair<std::string, std::string>>& attrs);
  void ensure_html();
  void ensure_head();
  void ensure_body();
  bool insert(Node* element, bool push);  // true when pushed on the open stack
  void close_p_if_open();
  bool has_open(TagKind kind, std::initializer_list<TagKind> boundaries) const;
  void pop_until(TagKind kind);
  void pop_until_any(std::initializer_list<TagKind> kinds);
  void merge_attributes(Node* element, const Token& t);
  Node* current_table_context() const;
  Node* open_table() const;

  static constexpr std::size_t max_depth = 512;

  Document& doc_;
  Node* container_;
  Node* html_ = nullptr;
  Node* head_ = nullptr;
  Node* body_ = nullptr;
  std::vector<Node*> open_;  // the stack of open elements below html
  Mode mode_ = Mode::before_html;
  int svg_depth_ = 0;
  TagKind raw_text_ = TagKind::other;
};

Node* TreeBuilder::make_element(std::string_view name, const std::vector<std::pair<std::string, std::string>>& attrs) {
  const bool foreign = svg_depth_ > 0 || name == "svg";
  Node* element = doc_.create_element(foreign ? svg_name_fixup(name) : name);
  for (const auto& [key, value] : attrs) {
    const Atom atom = doc_.names.intern(foreign ? svg_name_fixup(key) : std::string_view(key));
    if (!find_attribute(element, atom)) set_attribute_value(element, atom, value);  // first one wins
  }
  return element;
}

void TreeBuilder::ensure_html() {
  if (html_) return;
  html_ = doc_.create_element("html");
  link_child(container_, html_, nullptr);
  mode_ = Mode::before_head;
}

void TreeBuilder::ensure_head() {
  ensure_html();
  if (head_) return;
  head_ = doc_.create_element("head");
  link_child(html_, head_, nullptr);
  mode_ = Mode::in_head;
}

void TreeBuilder::ensure_body() {
  ensure_head();
  if (!body_) {
    body_ = doc_.create_element("body");
    link_child(html_, body_, nullptr);
  }
  if (mode_ != Mode::in_body) {
    open_.clear();
    open_.push_back(body_);
    mode_ = Mode::in_body;
  }
}

bool TreeBuilder::insert(Node* element, bool push) {
  link_child(current(), element, nullptr);
  // Like browsers, stop nesting past a fixed depth: deeper elements become
  // siblings, which keeps every later step linear on hostile input.
  if (!push || open_.size() >= max_depth) return false;
  open_.push_back(element);
  return true;
}

bool TreeBuilder::has_open(TagKind kind, std::initializer_list<TagKind> boundaries) const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    const TagKind k = (*it)->tag_kind;
    if (k == kind) return true;
    if (std::find(boundaries.begin(), boundaries.end(), k) != boundaries.end()) return false;
  }
  return false;
}

void TreeBuilder::pop_until(TagKind kind) {
  while (open_.size() > 1) {
    const TagKind k = open_.back()->tag_kind;
    open_.pop_back();
    if (k == kind) return;
  }
}

void TreeBuilder::pop_until_any(std::initializer_list<TagKind> kinds) {
  while (open_.size() > 1) {
    const TagKind k = open_.back()->tag_kind;
    open_.pop_back();
    if (std::find(kinds.begin(), kinds.end(), k) != kinds.end()) return;
  }
}

void TreeBuilder::close_p_if_open() {
  if (has_open(TagKind::p, {TagKind::button, TagKind::table, TagKind::td, TagKind::th, TagKind::svg}))
    pop_until(TagKind::p);
}

void TreeBuilder::merge_attributes(Node* element, const Token& t) {
  for (const auto& [key, value] : t.attributes) {
    const Atom atom = doc_.names.intern(key);
    if (!find_attribute(element, atom)) set_attribute_value(element, atom, value);
  }
}

Node* TreeBuilder::open_table() const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if ((*it)->tag_kind == TagKind::table) return *it;
    if ((*it)->tag_kind == TagKind::svg) return nullptr;
  }
  return nullptr;
}

Node* TreeBuilder::current_table_context() const {
  const TagKind k = current()->tag_kind;
  return (k == TagKind::table || k == TagKind::tbody || k == TagKind::thead || k == TagKind::tfoot || k == TagKind::tr)
             ? current()
             : nullptr;
}

bool closes_p(TagKind k) {
  switch (k) {
    case TagKind::div:
    case TagKind::p:
    case TagKind::ul:
    case TagKind::ol:
    case TagKind::li:
    case TagKind::table:
    case TagKind::header:
    case TagKind::main:
    case TagKind::footer:
    case TagKind::nav:
    case TagKind::section:
    case TagKind::article:
    case TagKind::aside:
    case TagKind::h1:
    case TagKind::h2:
    case TagKind::h3:
    case TagKind::h4:
    case TagKind::h5:
    case TagKind::h6:
    case TagKind::pre:
    case TagKind::form:
    case TagKind::hr:
      return true;
    default:
      return false;
  }
}

bool is_head_element(TagKind k) {
  return k == TagKind::meta || k == TagKind::title || k == TagKind::link || k == TagKind::style ||
         k == TagKind::script || k == TagKind::base;
}

void TreeBuilder::start_tag(Token& t) {
  raw_text_ = TagKind::other;
  const Atom tag_atom = doc_.names.intern(t.name);
  const TagKind kind = svg_depth_ > 0 ? TagKind::other : tag_kind_of(tag_atom);

  if (svg_depth_ > 0) {  // foreign content: every tag nests, "/>" closes
    Node* element = make_element(t.name, t.attributes);
    if (insert(element, !t.self_closing)) ++svg_depth_;
    return;
  }

  if (kind == TagKind::html) {
    if (html_)
      merge_attributes(html_, t);
    else {
      html_ = make_element("html", t.attributes);
      link_child(container_, html_, nullptr);
      mode_ = Mode::before_head;
    }
    return;
  }
  ensure_html();
  if (kind == TagKind::head) {
    if (!head_)
      ensure_head();  // a second head is ignored
    else
      merge_attributes(head_, t);
    return;
  }
  if (mode_ == Mode::before_head) ensure_head();
  if (mode_ == Mode::in_head && is_head_element(kind)) {
    Node* element = make_element(t.name, t.attributes);
    link_child(head_, element, nullptr);
    if (kind == TagKind::style || kind == TagKind::script || kind == TagKind::title) {
      open_.push_back(element);
      raw_text_ = kind;
    }
    return;
  }
  if (kind == TagKind::body) {
    if (body_)
      merge_attributes(body_, t);
    else {
      body_ = make_element("body", t.attributes);
      link_child(html_, body_, nullptr);
    }
    ensure_body();
    return;
  }
  ensure_body();
  // A column group holds only columns: anything else closes it, as in browsers.
  if (current()->tag_kind == TagKind::colgroup && kind != TagKind::col) open_.pop_back();

  if (closes_p(kind)) close_p_if_open();
  switch (kind) {
    case TagKind::li:
      if (has_open(TagKind::li, {TagKind::ul, TagKind::ol, TagKind::table, TagKind::div})) pop_until(TagKind::li);
      break;
    case TagKind::option:
      if (current()->tag_kind == TagKind::option) open_.pop_back();
      break;
    case TagKind::optgroup:
      if (current()->tag_kind == TagKind::option) open_.pop_back();
      if (current()->tag_kind == TagKind::optgroup) open_.pop_back();
      break;
    case TagKind::td:
    case TagKind::th:
      if (open_table()) {
        if (has_open(TagKind::td, {TagKind::table, TagKind::tr}) ||
            has_open(TagKind::th, {TagKind::table, TagKind::tr}))
          pop_until_any({TagKind::td, TagKind::th});
        if (current()->tag_kind != TagKind::tr) {
          if (current()->tag_kind == TagKind::table) insert(doc_.create_element("tbody"), true);
          if (current()->tag_kind == TagKind::tbody || current()->tag_kind == TagKind::thead ||
              current()->tag_kind == TagKind::tfoot)
            insert(doc_.create_element("tr"), true);
        }
      }
      break;
    case TagKind::tr:
      if (open_table()) {
        if (has_open(TagKind::tr, {TagKind::table})) pop_until(TagKind::tr);
        if (current()->tag_kind == TagKind::table) insert(doc_.create_element("tbody"), true);
      }
      break;
    case TagKind::tbody:
    case TagKind::thead:
    case TagKind::tfoot:
      if (open_table()) {
        while (open_.size() > 1 && current()->tag_kind != TagKind::table) open_.pop_back();
      }
      break;
    case TagKind::col:
      if (current()->tag_kind == TagKind::table) insert(doc_.create_element("colgroup"), true);
      break;
    case TagKind::table:
    case TagKind::caption:
    case TagKind::colgroup:
      break;
    default:
      break;
  }

  Node* element = make_element(t.name, t.attributes);
  if (kind == TagKind::svg) {
    if (insert(element, !t.self_closing)) svg_depth_ = 1;
    return;
  }
  const bool is_void = is_void_element(kind);
  insert(element, !is_void);
  if (kind == TagKind::style || kind == TagKind::script || kind == TagKind::title || kind == TagKind::textarea)
    raw_text_ = kind;
}

void TreeBuilder::end_tag(const std::string& name) {
  raw_text_ = TagKind::other;
  if (svg_depth_ > 0) {
    // Close the nearest open foreign element with this name (ASCII case-insensitively);
    // other end tags inside an svg are ignored.
    const std::size_t foreign_start = open_.size() - static_cast<std::size_t>(svg_depth_);
    for (std::size_t i = open_.size(); i-- > foreign_start;) {
      if (vx::iequals_ascii(doc_.names.name(open_[i]->tag), name)) {
        svg_depth_ -= static_cast<int>(open_.size() - i);
        open_.resize(i);
        return;
      }
    }
    return;
  }
  const TagKind kind = tag_kind_of(doc_.names.find(name));
  switch (kind) {
    case TagKind::head:
      if (mode_ == Mode::in_head) mode_ = Mode::after_head;
      return;
    case TagKind::body:
    case TagKind::html:
      return;  // content after </body> still belongs in body, as in browsers
    case TagKind::p:
      ensure_body();
      if (!has_open(TagKind::p, {TagKind::button, TagKind::table, TagKind::td, TagKind::th}))
        insert(doc_.create_element("p"), false);  // a stray </p> makes an empty paragraph
      else
        pop_until(TagKind::p);
      return;
    default:
      break;
  }
  if (mode_ == Mode::in_head && !open_.empty() && is_head_element(open_.back()->tag_kind)) {
    open_.pop_back();
    return;
  }
  if (mode_ != Mode::in_body) return;
  const bool table_part = kind == TagKind::table || kind == TagKind::tbody || kind == TagKind::thead ||
                          kind == TagKind::tfoot || kind == TagKind::tr || kind == TagKind::td || kind == TagKind::th;
  for (std::size_t i = open_.size(); i-- > 1;) {
    Node* n = open_[i];
    if (n->tag_kind == kind && (kind != TagKind::other || doc_.names.name(n->tag) == name)) {
      open_.resize(i);
      return;
    }
    // An end tag does not reach past a table cell or table it is not part of.
    if (!table_part && (n->tag_kind == TagKind::td || n->tag_kind == TagKind::th || n->tag_kind == TagKind::table))
      return;
  }
}

void TreeBuilder::text(std::string_view data) {
  if (data.empty()) return;
  if (raw_text_ != TagKind::other || (mode_ == Mode::in_head && !open_.empty())) {
    // Content of style/script/title/textarea: one text node, taken as it is.
    link_child(current(), doc_.create_text(data), nullptr);
    return;
  }
  if (mode_ != Mode::in_body) {
    const std::size_t keep = data.find_first_not_of(" \t\n\r\f");
    if (keep == std::string_view::npos) {
      if (mode_ == Mode::in_head && head_) link_child(head_, doc_.create_text(data), nullptr);
      return;  // white space before the body is dropped
    }
    data.remove_prefix(keep);
    ensure_body();
  }
  Node* parent = current();
  Node* before = nullptr;
  if (current_table_context() && !all_space(data)) {
    // Text inside table structure goes in front of the table, as browsers do.
    Node* table = open_table();
    if (table && table->parent) {
      parent = table->parent;
      before = table;
    }
  }
  Node* last = before ? before->prev : parent->last_child;
  if (last && last->is_text()) {
    last->text.append(data);  // adjacent text merges into one node
    return;
  }
  link_child(parent, doc_.create_text(data), before);
}

void TreeBuilder::finish() { ensure_body(); }

// ---------------------------------------------------------------------------
// Tokenizer

class Tokenizer {
 public:
  Tokenizer(std::string_view text, TreeBuilder& builder) : in_(text), builder_(builder) {}
  void run();

 private:
  bool at_end() const { return pos_ >= in_.size(); }
  void flush_text();
  void read_tag();
  void read_end_tag();
  void read_comment_or_declaration();
  void read_raw_text(TagKind kind, std::string_view tag_name);
  std::string read_attribute_value();

  std::string_view in_;
  std::size_t pos_ = 0;
  TreeBuilder& builder_;
  std::string pending_;  // text not yet handed to the builder
};

void Tokenizer::flush_text() {
  if (pending_.empty()) return;
  builder_.text(pending_);
  pending_.clear();
}

void Tokenizer::run() {
  while (!at_end()) {
    const char c = in_[pos_];
    if (c == '<' && pos_ + 1 < in_.size()) {
      const char n = in_[pos_ + 1];
      if (is_alpha(n)) {
        flush_text();
        read_tag();
        continue;
      }
      if (n == '/' && pos_ + 2 < in_.size() && is_alpha(in_[pos_ + 2])) {
        flush_text();
        read_end_tag();
        continue;
      }
      if (n == '!' || n == '?' || n == '/') {
        flush_text();
        read_comment_or_declaration();
        continue;
      }
    }
    if (c == '&') {
      const std::size_t used = decode_character_reference(in_, pos_, false, pending_);
      if (used) {
        pos_ += used;
        continue;
      }
    }
    pending_.push_back(c);
    ++pos_;
  }
  flush_text();
  builder_.finish();
}

void Tokenizer::read_tag() {
  Token t{Token::start_tag, {}, {}, false, {}};
  ++pos_;  // '<'
  while (!at_end() && !is_html_space(in_[pos_]) && in_[pos_] != '/' && in_[pos_] != '>')
    t.name.push_back(vx::ascii_lower(in_[pos_++]));
  for (;;) {
    while (!at_end() && (is_html_space(in_[pos_]) || in_[pos_] == '/')) {
      if (in_[pos_] == '/' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '>') t.self_closing = true;
      ++pos_;
    }
    if (at_end()) return;  // a tag cut off at the end of input is dropped, as in browsers
    if (in_[pos_] == '>') {
      ++pos_;
      break;
    }
    std::string name;
    do name.push_back(vx::ascii_lower(in_[pos_++]));
    while (!at_end() && !is_html_space(in_[pos_]) && in_[pos_] != '/' && in_[pos_] != '>' && in_[pos_] != '=');
    while (!at_end() && is_html_space(in_[pos_])) ++pos_;
    std::string value;
    if (!at_end() && in_[pos_] == '=') {
      ++pos_;
      while (!at_end() && is_html_space(in_[pos_])) ++pos_;
      value = read_attribute_value();
    }
    if (t.attributes.size() < 4096) t.attributes.emplace_back(std::move(name), std::move(value));
  }
  builder_.start_tag(t);
  const TagKind raw = builder_.raw_text_kind();
  if (raw != TagKind::other) read_raw_text(raw, t.name);
}

std::string Tokenizer::read_attribute_value() {
  std::string value;
  if (at_end()) return value;
  const char quote = in_[pos_];
  if (quote == '"' || quote == '\'') {
    ++pos_;
    while (!at_end() && in_[pos_] != quote) {
      if (in_[pos_] == '&') {
        if (const std::size_t used = decode_character_reference(in_, pos_, true, value)) {
          pos_ += used;
          continue;
        }
      }
      value.push_back(in_[pos_++]);
    }
    if (!at_end()) ++pos_;
    return value;
  }
  while (!at_end() && !is_html_space(in_[pos_]) && in_[pos_] != '>') {
    if (in_[pos_] == '&') {
      if (const std::size_t used = decode_character_reference(in_, pos_, true, value)) {
        pos_ += used;
        continue;
      }
    }
    value.push_back(in_[pos_++]);
  }
  return value;
}

void Tokenizer::read_end_tag() {
  pos_ += 2;  // "</"
  std::string name;
  while (!at_end() && !is_html_space(in_[pos_]) && in_[pos_] != '/' && in_[pos_] != '>')
    name.push_back(vx::ascii_lower(in_[pos_++]));
  const std::size_t close = in_.find('>', pos_);
  pos_ = close == std::string_view::npos ? in_.size() : close + 1;
  builder_.end_tag(name);
}

void Tokenizer::read_comment_or_declaration() {
  if (in_.substr(pos_, 4) == "<!--") {
    // "<!-->" and "<!--->" end at once, as in browsers.
    std::size_t from = pos_ + 4;
    if (from < in_.size() && in_[from] == '>') {
      pos_ = from + 1;
      return;
    }
    if (in_.substr(from, 2) == "->") {
      pos_ = from + 2;
      return;
    }
    const std::size_t end = in_.find("-->", from);
    pos_ = end == std::string_view::npos ? in_.size() : end + 3;
    return;
  }
  // Doctype, processing instruction, "</" not followed by a letter: skip to '>'.
  const std::size_t end = in_.find('>', pos_ + 2);
  pos_ = end == std::string_view::npos ? in_.size() : end + 1;
}

void Tokenizer::read_raw_text(TagKind kind, std::string_view tag_name) {
  // Up to "</name" followed by white space, '/' or '>', ignoring ASCII case.
  std::size_t end = pos_;
  for (;;) {
    end = in_.find("</", end);
    if (end == std::string_view::npos) {
      end = in_.size();
      break;
    }
    const std::size_t after = end + 2 + tag_name.size();
    if (vx::iequals_ascii(in_.substr(end + 2, tag_name.size()), tag_name) &&
        (after >= in_.size() || is_html_space(in_[after]) || in_[after] == '/' || in_[after] == '>'))
      break;
    end += 2;
  }
  const std::string_view content = in_.substr(pos_, end - pos_);
  if (kind == TagKind::title || kind == TagKind::textarea) {
    std::string decoded;
    for (std::size_t i = 0; i < content.size();) {
      if (content[i] == '&') {
        if (const std::size_t used = decode_character_reference(content, i, false, decoded)) {
          i += used;
          continue;
        }
      }
      decoded.push_back(content[i++]);
    }
    builder_.text(decoded);
  } else {
    builder_.text(content);
  }
  pos_ = end;
  if (pos_ < in_.size())
    read_end_tag();
  else
    builder_.end_tag(std::string(tag_name));
}

// CRLF and lone CR become LF, as the HTML input stream does.
std::string normalise_newlines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

std::size_t decode_character_reference(std::string_view text, std::size_t pos, bool in_attribute, std::string& out) {
  std::size_t i = pos + 1;
  if (i >= text.size()) return 0;
  if (text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    const std::size_t digits_start = i;
    std::uint32_t value = 0;
    bool overflow = false;
    while (i < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0 : is_digit(text[i]))) {
      const char c = text[i++];
      const std::uint32_t d =
          is_digit(c) ? static_cast<std::uint32_t>(c - '0') : static_cast<std::uint32_t>(vx::ascii_lower(c) - 'a' + 10);
      if (value > 0x10FFFF)
        overflow = true;
      else
        value = value * (hex ? 16 : 10) + d;
    }
    if (i == digits_start) return 0;  // "&#" without digits is text
    if (i < text.size() && text[i] == ';') ++i;
    char32_t cp = value;
    if (overflow || value > 0x10FFFF || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
      cp = vx::replacement_character;
    else if (value >= 0x80 && value <= 0x9F)
      cp = c1_replacements[value - 0x80];
    vx::append_utf8(out, cp);
    return i - pos;
  }
  std::size_t end = i;
  while (end < text.size() && end - i < 32 && is_alnum(text[end])) ++end;
  const std::string_view name = text.substr(i, end - i);
  const bool terminated = end < text.size() && text[end] == ';';
  for (const NamedReference& r : named_references) {
    if (r.name != name) continue;
    if (!terminated) {
      // Legacy form without ";": not inside attribute values when followed by
      // '=' or an alphanumeric (so "?a=1&copy=2" in a URL stays as written).
      if (!r.legacy) return 0;
      if (in_attribute && end < text.size() && (text[end] == '=' || is_alnum(text[end]))) return 0;
    }
    vx::append_utf8(out, r.code_point);
    return end - pos + (terminated ? 1 : 0);
  }
  return 0;
}

void parse_html(Document& document, Node* container, std::string_view text) {
  std::string clean = vx::is_valid_utf8(text) ? std::string(text) : vx::sanitize_utf8(text);
  clean = normalise_newlines(clean);
  if (clean.starts_with("\xEF\xBB\xBF")) clean.erase(0, 3);
  TreeBuilder builder(document, container);
  Tokenizer tokenizer(clean, builder);
  tokenizer.run();
}

}  // namespace ostrel
