#include "css/selector.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "common/text.h"
#include "css/tokenizer.h"

namespace ostrel::css {
namespace {

enum class Combinator : std::uint8_t { descendant, child, next_sibling, subsequent_sibling };

// Declared cheapest and most selective first: a compound's simple selectors are
// sorted by this order so that most elements are rejected by the first test.
enum class Op : std::uint8_t {
  id,
  class_name,
  tag,
  attr_exists,
  attr_equals,
  attr_includes,
  attr_prefix,
  attr_suffix,
  attr_substring,
  attr_dash,
  hover,
  active,
  focus,
  checked,
  disabled,
  enabled,
  root,
  first_child,
  last_child,
  only_child,
  empty,
  negation
};

struct Simple {
  Op op;
  bool ignore_case = false;
  Atom atom = no_atom;
  Atom alt_atom = no_atom;  // attribute name as written, when not lower case (SVG camel case)
  std::uint32_t value = 0;  // index into strings (id, tag, attribute value) or negations
};

struct Compound {
  std::uint32_t first = 0;  // range in simples
  std::uint32_t end = 0;
  Combinator combinator = Combinator::descendant;  // towards the compound on the left
};

}  // namespace

struct ComplexSelector {
  std::vector<Simple> simples;
  std::vector<Compound> compounds;  // subject (rightmost) first
  std::vector<std::string> strings;
  std::vector<std::vector<ComplexSelector>> negations;
  Specificity specificity;
  PseudoElement pseudo = PseudoElement::none;
  // A class or known tag the subject must have: the first test against every
  // element of the page, so it sits here rather than behind two vectors.
  Atom subject_class = no_atom;
  Atom subject_known_tag = no_atom;
};

namespace {

// ---------------------------------------------------------------------------
// Tokens, as CSS tokenizes the prelude of a rule (subset: numbers, urls and
// the like never form a valid selector, so they become plain delimiters).

enum class Tok : std::uint8_t {
  ident,
  function,
  hash,
  string,
  whitespace,
  colon,
  comma,
  lbracket,
  rbracket,
  rparen,
  delim,
  bad,
  end
};

struct Token {
  Tok type = Tok::end;
  bool id_hash = false;  // hash whose name would start an identifier
  char delim = 0;
  std::string text;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_name_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool is_name(char c) { return is_name_start(c) || (c >= '0' && c <= '9') || c == '-'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view s) : s_(s) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    while (pos_ < s_.size()) {
      if (s_.substr(pos_, 2) == "/*") {
        const std::size_t close = s_.find("*/", pos_ + 2);
        pos_ = close == std::string_view::npos ? s_.size() : close + 2;
        continue;
      }
      Token t;
      const char c = s_[pos_];
      if (is_space(c)) {
        while (pos_ < s_.size() && is_space(s_[pos_])) ++pos_;
        t.type = Tok::whitespace;
      } else if (c == '"' || c == '\'') {
        t.type = consume_string(c, t.text) ? Tok::string : Tok::bad;
      } else if (c == '#') {
        ++pos_;
        if (pos_ < s_.size() && (is_name(s_[pos_]) || valid_escape(pos_))) {
          t.type = Tok::hash;
          t.id_hash = starts_ident(pos_);
          t.text = consume_name();
        } else {
          t.type = Tok::delim;
          t.delim = '#';
        }
      } else if (c == '-' && s_.substr(pos_, 3) == "-->") {
        pos_ += 3;
        t.type = Tok::bad;
      } else if (starts_ident(pos_)) {
        t.text = consume_name();
        if (pos_ < s_.size() && s_[pos_] == '(') {
          ++pos_;
          t.type = Tok::function;
        } else {
          t.type = Tok::ident;
        }
      } else {
        ++pos_;
        switch (c) {
          case ':':
            t.type = Tok::colon;
            break;
          case ',':
            t.type = Tok::comma;
            break;
          case '[':
            t.type = Tok::lbracket;
            break;
          case ']':
            t.type = Tok::rbracket;
            break;
          case ')':
            t.type = Tok::rparen;
            break;
          default:
            t.type = Tok::delim;
            t.delim = c;
            break;
        }
      }
      out.push_back(std::move(t));
    }
    return out;
  }

 private:
  bool valid_escape(std::size_t at) const {
    return at < s_.size() && s_[at] == '\\' && (at + 1 >= s_.size() || s_[at + 1] != '\n');
  }

  bool starts_ident(std::size_t at) const {
    if (at >= s_.size()) return false;
    const char c = s_[at];
    if (c == '-') return at + 1 < s_.size() && (is_name_start(s_[at + 1]) || s_[at + 1] == '-' || valid_escape(at + 1));
    return is_name_start(c) || valid_escape(at);
  }

  // pos_ is just past the backslash.
  void consume_escape(std::string& out) {
    if (pos_ >= s_.size()) {
      vx::append_utf8(out, vx::replacement_character);
      return;
    }
    if (is_hex(s_[pos_])) {
      char32_t value = 0;
      for (int n = 0; n < 6 && pos_ < s_.size() && is_hex(s_[pos_]); ++n, ++pos_)
        value = value * 16 + hex_value(s_[pos_]);
      if (pos_ < s_.size() && is_space(s_[pos_])) ++pos_;
      if (value == 0) value = vx::replacement_character;
      vx::append_utf8(out, value);  // surrogates and out-of-range values become U+FFFD
      return;
    }
    const std::size_t length = vx::decode_utf8(s_, pos_).length;
    out.append(s_.substr(pos_, length));
    pos_ += length;
  }

  std::string consume_name() {
    std::string out;
    while (pos_ < s_.size()) {
      if (is_name(s_[pos_])) {
        out += s_[pos_++];
      } else if (valid_escape(pos_)) {
        ++pos_;
        consume_escape(out);
      } else {
        break;
      }
    }
    return out;
  }

  bool consume_string(char quote, std::string& out) {
    ++pos_;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == quote) {
        ++pos_;
        return true;
      }
      if (c == '\n') return false;
      if (c == '\\') {
        ++pos_;
        if (pos_ >= s_.size()) break;
        if (s_[pos_] == '\n') {
          ++pos_;  // line continuation
          continue;
        }
        consume_escape(out);
        continue;
      }
      out += c;
      ++pos_;
    }
    return false;  // unterminated strings are not accepted
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Parser

std::uint16_t saturate(std::uint32_t n) { return static_cast<std::uint16_t>(std::min<std::uint32_t>(n, 0xFFFF)); }

void add_specificity(Specificity& to, const Specificity& more) {
  to.a = saturate(std::uint32_t{to.a} + more.a);
  to.b = saturate(std::uint32_t{to.b} + more.b);
  to.c = saturate(std::uint32_t{to.c} + more.c);
}

std::optional<PseudoElement> pseudo_element_named(std::string_view name, bool legacy_colon) {
  if (vx::iequals_ascii(name, "before")) return PseudoElement::before;
  if (vx::iequals_ascii(name, "after")) return PseudoElement::after;
  if (!legacy_colon && vx::iequals_ascii(name, "marker")) return PseudoElement::marker;
  return std::nullopt;
}

std::optional<Op> pseudo_class_named(std::string_view name) {
  static constexpr std::pair<std::string_view, Op> table[] = {{"root", Op::root},
                                                              {"hover", Op::hover},
                                                              {"active", Op::active},
                                                              {"focus", Op::focus},
                                                              {"disabled", Op::disabled},
                                                              {"enabled", Op::enabled},
                                                              {"checked", Op::checked},
                                                              {"first-child", Op::first_child},
                                                              {"last-child", Op::last_child},
                                                              {"only-child", Op::only_child},
                                                              {"empty", Op::empty}};
  for (const auto& [text, op] : table)
    if (vx::iequals_ascii(name, text)) return op;
  return std::nullopt;
}

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, InternTable& names) : tokens_(tokens), names_(names) {}

  // A comma-separated list ending at the end of input, or at ")" when nested.
  bool parse_list(std::vector<ComplexSelector>& out, int depth) {
    for (;;) {
      ComplexSelector selector;
      if (!parse_complex(selector, depth)) return false;
      out.push_back(std::move(selector));
      const Tok t = peek().type;
      if (t == Tok::comma) {
        ++pos_;
        continue;
      }
      return depth > 0 ? t == Tok::rparen : t == Tok::end;
    }
  }

 private:
  const Token& peek() const {
    static const Token end_token;
    return pos_ < tokens_.size() ? tokens_[pos_] : end_token;
  }
  bool is_delim(char c) const { return peek().type == Tok::delim && peek().delim == c; }
  bool skip_ws() {
    bool any = false;
    while (peek().type == Tok::whitespace) ++pos_, any = true;
    return any;
  }

  bool parse_complex(ComplexSelector& out, int depth) {
    std::vector<std::vector<Simple>> parts;
    std::vector<Combinator> combinators;
    skip_ws();
    for (;;) {
      if (parts.size() == max_compounds) return false;
      parts.emplace_back();
      if (!parse_compound(parts.back(), out, depth)) return false;
      const bool spaced = skip_ws();
      const Tok t = peek().type;
      if (t == Tok::end || t == Tok::comma || t == Tok::rparen) break;
      if (out.pseudo != PseudoElement::none) return false;  // only at the very end
      if (is_delim('>') || is_delim('+') || is_delim('~')) {
        const char c = peek().delim;
        combinators.push_back(c == '>'   ? Combinator::child
                              : c == '+' ? Combinator::next_sibling
                                         : Combinator::subsequent_sibling);
        ++pos_;
        skip_ws();
      } else if (spaced) {
        combinators.push_back(Combinator::descendant);
      } else {
        return false;
      }
    }
    for (std::size_t i = parts.size(); i-- > 0;) {
      std::vector<Simple>& part = parts[i];
      std::stable_sort(part.begin(), part.end(), [](const Simple& x, const Simple& y) { return x.op < y.op; });
      Compound compound;
      compound.first = static_cast<std::uint32_t>(out.simples.size());
      out.simples.insert(out.simples.end(), part.begin(), part.end());
      compound.end = static_cast<std::uint32_t>(out.simples.size());
      if (i > 0) compound.combinator = combinators[i - 1];
      out.compounds.push_back(compound);
    }
    for (const Simple& simple : parts.back()) {
      if (simple.op == Op::class_name && out.subject_class == no_atom) out.subject_class = simple.atom;
      if (simple.op == Op::tag && tag_kind_of(simple.atom) != TagKind::other) out.subject_known_tag = simple.atom;
    }
    return true;
  }

  std::uint32_t add_string(ComplexSelector& out, std::string text) {
    out.strings.push_back(std::move(text));
    return static_cast<std::uint32_t>(out.strings.size() - 1);
  }

  // False when invalid or empty.
  bool parse_compound(std::vector<Simple>& part, ComplexSelector& out, int depth) {
    bool any = false;
    Specificity& spec = out.specificity;
    if (peek().type == Tok::ident) {
      std::string lower = vx::ascii_lower(peek().text);
      const Atom atom = names_.intern(lower);
      part.push_back({Op::tag, false, atom, no_atom, add_string(out, std::move(lower))});
      add_specificity(spec, {0, 0, 1});
      ++pos_;
      any = true;
    } else if (is_delim('*')) {
      ++pos_;
      any = true;
    }
    for (;;) {
      const Token& t = peek();
      if (t.type == Tok::hash) {
        if (!t.id_hash) return false;
        part.push_back({Op::id, false, names_.intern(t.text), no_atom, add_string(out, t.text)});
        add_specificity(spec, {1, 0, 0});
        ++pos_;
      } else if (is_delim('.')) {
        ++pos_;
        if (peek().type != Tok::ident) return false;
        part.push_back({Op::class_name, false, names_.intern(peek().text), no_atom, 0});
        add_specificity(spec, {0, 1, 0});
        ++pos_;
      } else if (t.type == Tok::lbracket) {
        if (!parse_attribute(part, out)) return false;
        add_specificity(spec, {0, 1, 0});
      } else if (t.type == Tok::colon) {
        ++pos_;
        const bool double_colon = peek().type == Tok::colon;
        if (double_colon) ++pos_;
        const Token& name = peek();
        if (name.type == Tok::ident) {
          if (auto pseudo = pseudo_element_named(name.text, !double_colon)) {
            if (depth > 0) return false;  // not inside :not()
            out.pseudo = *pseudo;
            add_specificity(spec, {0, 0, 1});
            ++pos_;
            return true;  // nothing may follow in this compound
          }
          if (double_colon) return false;
          const std::optional<Op> op = pseudo_class_named(name.text);
          if (!op) return false;
          part.push_back({*op, false, no_atom, no_atom, 0});
          add_specificity(spec, {0, 1, 0});
          ++pos_;
        } else if (name.type == Tok::function && !double_colon && vx::iequals_ascii(name.text, "not")) {
          if (depth + 1 > max_not_depth) return false;
          ++pos_;
          std::vector<ComplexSelector> arguments;
          if (!parse_list(arguments, depth + 1)) return false;
          ++pos_;  // the ")" parse_list stopped at
          Specificity most;
          for (const ComplexSelector& a : arguments) most = std::max(most, a.specificity);
          add_specificity(spec, most);
          out.negations.push_back(std::move(arguments));
          part.push_back({Op::negation, false, no_atom, no_atom, static_cast<std::uint32_t>(out.negations.size() - 1)});
        } else {
          return false;
        }
      } else {
        break;
      }
      any = true;
    }
    return any;
  }

  bool parse_attribute(std::vector<Simple>& part, ComplexSelector& out) {
    ++pos_;
    skip_ws();
    if (peek().type != Tok::ident) return false;
    const std::string& written = peek().text;
    Simple simple{Op::attr_exists};
    const std::string lower = vx::ascii_lower(written);
    simple.atom = names_.intern(lower);
    if (lower != written) simple.alt_atom = names_.intern(written);
    ++pos_;
    skip_ws();
    if (peek().type == Tok::rbracket) {
      ++pos_;
      part.push_back(simple);
      return true;
    }
    if (is_delim('=')) {
      simple.op = Op::attr_equals;
      ++pos_;
    } else if (peek().type == Tok::delim && pos_ + 1 < tokens_.size() && tokens_[pos_ + 1].type == Tok::delim &&
               tokens_[pos_ + 1].delim == '=') {
      switch (peek().delim) {
        case '~':
          simple.op = Op::attr_includes;
          break;
        case '^':
          simple.op = Op::attr_prefix;
          break;
        case '$':
          simple.op = Op::attr_suffix;
          break;
        case '*':
          simple.op = Op::attr_substring;
          break;
        case '|':
          simple.op = Op::attr_dash;
          break;
        default:
          return false;
      }
      pos_ += 2;
    } else {
      return false;
    }
    skip_ws();
    if (peek().type != Tok::ident && peek().type != Tok::string) return false;
    std::string value = peek().text;
    ++pos_;
    skip_ws();
    if (peek().type == Tok::ident) {
      if (vx::iequals_ascii(peek().text, "i"))
        simple.ignore_case = true;
      else if (!vx::iequals_ascii(peek().text, "s"))
        return false;
      ++pos_;
      skip_ws();
    }
    if (peek().type != Tok::rbracket) return false;
    ++pos_;
    if (simple.ignore_case) value = vx::ascii_lower(value);
    simple.value = add_string(out, std::move(value));
    part.push_back(simple);
    return true;
  }

  const std::vector<Token>& tokens_;
  InternTable& names_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Matching

const Node* parent_element(const Node* node) {
  const Node* parent = node->parent;
  return parent && parent->is_element() ? parent : nullptr;
}

const Node* prev_element(const Node* node) {
  for (const Node* s = prev_real_sibling(node); s; s = prev_real_sibling(s))
    if (s->is_element()) return s;
  return nullptr;
}

const Node* next_element(const Node* node) {
  for (const Node* s = next_real_sibling(node); s; s = next_real_sibling(s))
    if (s->is_element()) return s;
  return nullptr;
}

bool can_be_disabled(const Node* element) {
  switch (element->tag_kind) {
    case TagKind::button:
    case TagKind::input:
    case TagKind::select:
    case TagKind::textarea:
    case TagKind::option:
    case TagKind::optgroup:
      return true;
    default:
      return false;
  }
}

bool is_empty(const Node* element) {
  for (const Node* c = first_real_child(element); c; c = next_real_sibling(c))
    if (c->is_element() || (c->is_text() && !c->text.empty())) return false;
  return true;
}

// `needle` is already lower case when ignore_case.
bool same_text(std::string_view hay, std::string_view needle, bool ignore_case) {
  if (hay.size() != needle.size()) return false;
  if (!ignore_case) return hay == needle;
  for (std::size_t i = 0; i < hay.size(); ++i)
    if (vx::ascii_lower(hay[i]) != needle[i]) return false;
  return true;
}

bool contains_text(std::string_view hay, std::string_view needle, bool ignore_case) {
  if (!ignore_case) return hay.find(needle) != std::string_view::npos;
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                     [](char h, char n) { return vx::ascii_lower(h) == n; }) != hay.end();
}

bool includes_word(std::string_view hay, std::string_view word, bool ignore_case) {
  if (word.empty() ||
      std::any_of(word.begin(), word.end(), [](char c) { return is_space(c) || c == '\r' || c == '\f'; }))
    return false;
  auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  std::size_t pos = 0;
  while (pos < hay.size()) {
    while (pos < hay.size() && separator(hay[pos])) ++pos;
    std::size_t end = pos;
    while (end < hay.size() && !separator(hay[end])) ++end;
    if (end > pos && same_text(hay.substr(pos, end - pos), word, ignore_case)) return true;
    pos = end;
  }
  return false;
}

bool match_attribute(const ComplexSelector& selector, const Simple& simple, const Node* element) {
  const Attribute* attribute = find_attribute(element, simple.atom);
  if (!attribute && simple.alt_atom != no_atom) attribute = find_attribute(element, simple.alt_atom);
  if (!attribute) return false;
  if (simple.op == Op::attr_exists) return true;
  const std::string_view have = attribute->value;
  const std::string_view want = selector.strings[simple.value];
  const bool ci = simple.ignore_case;
  switch (simple.op) {
    case Op::attr_equals:
      return same_text(have, want, ci);
    case Op::attr_includes:
      return includes_word(have, want, ci);
    case Op::attr_prefix:
      return !want.empty() && have.size() >= want.size() && same_text(have.substr(0, want.size()), want, ci);
    case Op::attr_suffix:
      return !want.empty() && have.size() >= want.size() && same_text(have.substr(have.size() - want.size()), want, ci);
    case Op::attr_substring:
      return !want.empty() && contains_text(have, want, ci);
    case Op::attr_dash:
      return same_text(have, want, ci) || (have.size() > want.size() && have[want.size()] == '-' &&
                                           same_text(have.substr(0, want.size()), want, ci));
    default:
      return false;
  }
}

bool match_complex(const ComplexSelector& selector, const Node* element);

bool match_simple(const ComplexSelector& selector, const Simple& simple, const Node* element) {
  switch (simple.op) {
    case Op::id: {
      const std::string* id = attribute_value(element, atom_id);
      return id && *id == selector.strings[simple.value];
    }
    case Op::class_name:
      return has_class(element, simple.atom);
    case Op::tag:
      if (element->tag == simple.atom) return true;
      // Known tags are interned lower case; only others (SVG camel case) need the text.
      return element->tag_kind == TagKind::other && element->document &&
             vx::iequals_ascii(element->document->names.name(element->tag), selector.strings[simple.value]);
    case Op::attr_exists:
    case Op::attr_equals:
    case Op::attr_includes:
    case Op::attr_prefix:
    case Op::attr_suffix:
    case Op::attr_substring:
    case Op::attr_dash:
      return match_attribute(selector, simple, element);
    case Op::hover:
      return (element->flags & flag_hover) != 0;
    case Op::active:
      return (element->flags & flag_active) != 0;
    case Op::focus:
      return (element->flags & flag_focus) != 0;
    case Op::checked:
      return (element->flags & flag_checked) != 0;
    case Op::disabled:
      return can_be_disabled(element) && (element->flags & flag_disabled) != 0;
    case Op::enabled:
      return can_be_disabled(element) && (element->flags & flag_disabled) == 0;
    case Op::root:
      return element->parent && element->parent->type == NodeType::document;
    case Op::first_child:
      return !prev_element(element);
    case Op::last_child:
      return !next_element(element);
    case Op::only_child:
      return !prev_element(element) && !next_element(element);
    case Op::empty:
      return is_empty(element);
    case Op::negation:
      // Recursion here is bounded by the :not() nesting limit, not by the tree.
      for (const ComplexSelector& argument : selector.negations[simple.value])
        if (match_complex(argument, element)) return false;
      return true;
  }
  return false;
}

bool match_compound(const ComplexSelector& selector, const Compound& compound, const Node* element) {
  for (std::uint32_t i = compound.first; i < compound.end; ++i)
    if (!match_simple(selector, selector.simples[i], element)) return false;
  return true;
}

enum class Outcome : std::uint8_t { fails_locally, fails_all_siblings, fails_completely };

// Right to left with backtracking over descendant and subsequent-sibling
// combinators, written as a loop over a stack of candidates (one per compound)
// so deep documents cost no stack. A failure says how far it reaches: a compound
// that finds no parent cannot succeed higher up, and one that runs out of
// previous siblings cannot succeed from an earlier sibling, which keeps the
// backtracking from going quadratic on deep or wide trees.
bool match_complex(const ComplexSelector& selector, const Node* element) {
  if (selector.subject_class != no_atom && !has_class(element, selector.subject_class)) return false;
  if (selector.subject_known_tag != no_atom && element->tag != selector.subject_known_tag &&
      element->tag_kind != TagKind::other)
    return false;
  const std::size_t count = selector.compounds.size();
  std::array<const Node*, max_compounds> at;
  std::size_t k = 0;
  at[0] = element;
  for (;;) {
    Outcome outcome;
    const Compound& compound = selector.compounds[k];
    if (!match_compound(selector, compound, at[k])) {
      outcome = Outcome::fails_locally;
    } else if (k + 1 == count) {
      return true;
    } else {
      const bool upward = compound.combinator == Combinator::descendant || compound.combinator == Combinator::child;
      if (const Node* next = upward ? parent_element(at[k]) : prev_element(at[k])) {
        at[++k] = next;
        continue;
      }
      outcome = upward ? Outcome::fails_completely : Outcome::fails_all_siblings;
    }
    // Hand the outcome back to the combinators on the right until one of them
    // has another candidate to try.
    for (;;) {
      if (outcome == Outcome::fails_completely || k == 0) return false;
      const Combinator combinator = selector.compounds[k - 1].combinator;
      if (combinator == Combinator::descendant) {
        if (const Node* up = parent_element(at[k])) {
          at[k] = up;
          break;
        }
        return false;
      }
      if (combinator == Combinator::subsequent_sibling && outcome == Outcome::fails_locally) {
        if (const Node* before = prev_element(at[k])) {
          at[k] = before;
          break;
        }
        outcome = Outcome::fails_all_siblings;
      }
      --k;
    }
  }
}

void collect_attributes(const ComplexSelector& selector, std::vector<Atom>& out) {
  auto add = [&out](Atom atom) {
    if (atom != no_atom && std::find(out.begin(), out.end(), atom) == out.end()) out.push_back(atom);
  };
  for (const Simple& simple : selector.simples) {
    if (simple.op >= Op::attr_exists && simple.op <= Op::attr_dash) {
      add(simple.atom);
      add(simple.alt_atom);
    }
  }
  for (const auto& list : selector.negations)
    for (const ComplexSelector& argument : list) collect_attributes(argument, out);
}

bool uses_sibling_combinator(const ComplexSelector& selector) {
  for (const Compound& compound : selector.compounds)
    if (compound.combinator == Combinator::next_sibling || compound.combinator == Combinator::subsequent_sibling)
      return true;
  for (const auto& list : selector.negations)
    for (const ComplexSelector& argument : list)
      if (uses_sibling_combinator(argument)) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// SelectorList

SelectorList::SelectorList() = default;
SelectorList::SelectorList(SelectorList&&) noexcept = default;
SelectorList& SelectorList::operator=(SelectorList&&) noexcept = default;
SelectorList::~SelectorList() = default;

std::size_t SelectorList::size() const { return selectors_.size(); }

Specificity SelectorList::specificity(std::size_t index) const {
  return index < selectors_.size() ? selectors_[index]->specificity : Specificity{};
}

PseudoElement SelectorList::pseudo_element(std::size_t index) const {
  return index < selectors_.size() ? selectors_[index]->pseudo : PseudoElement::none;
}

bool SelectorList::matches(std::size_t index, const Node* element) const {
  if (index >= selectors_.size() || !element || !element->is_element()) return false;
  return match_complex(*selectors_[index], element);
}

bool SelectorList::matches_any(const Node* element) const {
  if (!element || !element->is_element()) return false;
  for (const auto& selector : selectors_)
    if (selector->pseudo == PseudoElement::none && match_complex(*selector, element)) return true;
  return false;
}

bool SelectorList::looks_at_siblings(std::size_t index) const { return uses_sibling_combinator(*selectors_[index]); }

void SelectorList::collect_attribute_names(std::vector<Atom>& out) const {
  for (const auto& selector : selectors_) collect_attributes(*selector, out);
}

std::optional<SelectorList> parse_selector_list(std::string_view text, InternTable& names) {
  if (text.size() > max_selector_length) return std::nullopt;
  const std::string clean = syntax::preprocess(text);
  const std::vector<Token> tokens = Tokenizer(clean).run();
  std::vector<ComplexSelector> parsed;
  if (!Parser(tokens, names).parse_list(parsed, 0)) return std::nullopt;
  SelectorList list;
  list.selectors_.reserve(parsed.size());
  for (ComplexSelector& selector : parsed)
    list.selectors_.push_back(std::make_unique<ComplexSelector>(std::move(selector)));
  return list;
}

Node* query_first(const SelectorList& list, Node* scope) {
  if (!scope) return nullptr;
  for (Node* n = first_real_child(scope); n;) {
    if (n->is_element() && list.matches_any(n)) return n;
    if (Node* child = n->is_element() ? first_real_child(n) : nullptr) {
      n = child;
      continue;
    }
    while (n != scope && !next_real_sibling(n)) n = n->parent;
    if (n == scope) break;
    n = next_real_sibling(n);
  }
  return nullptr;
}

}  // namespace ostrel::css
