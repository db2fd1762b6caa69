#include "css/stylesheet.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/text.h"
#include "css/media.h"
#include "css/tokenizer.h"
#include "style/apply.h"

namespace ostrel::css {

bool is_ident(const Token& t, std::string_view lower) {
  return t.type == TokenType::ident && vx::iequals_ascii(t.text, lower);
}

bool is_delim(const Token& t, char c) { return t.type == TokenType::delim && t.text.size() == 1 && t.text[0] == c; }

namespace {

using syntax::Kind;
using syntax::Lexeme;

// Tokens one declaration value or prelude may still keep, and what went wrong.
struct Collect {
  std::size_t limit = 0;
  std::size_t used = 0;
  bool overflow = false;  // a block too deep or too many tokens: not all of it was kept
  bool bad = false;       // a token no value may hold: bad string or url, CDO/CDC, unmatched closer
};

Kind closer_of(Kind opener) {
  switch (opener) {
    case Kind::function:
    case Kind::open_paren:
      return Kind::close_paren;
    case Kind::open_square:
      return Kind::close_square;
    default:
      return Kind::close_curly;
  }
}

bool is_opener(Kind k) {
  return k == Kind::function || k == Kind::open_paren || k == Kind::open_square || k == Kind::open_curly;
}

std::optional<Token> plain_token(Lexeme&& l) {
  Token t;
  switch (l.kind) {
    case Kind::ident:
      t.type = TokenType::ident;
      break;
    case Kind::at_keyword:
      t.type = TokenType::at_keyword;
      break;
    case Kind::hash:
      t.type = TokenType::hash;
      break;
    case Kind::string:
      t.type = TokenType::string;
      break;
    case Kind::url:
      t.type = TokenType::url;
      break;
    case Kind::number:
      t.type = TokenType::number;
      break;
    case Kind::percentage:
      t.type = TokenType::percentage;
      break;
    case Kind::dimension:
      t.type = TokenType::dimension;
      break;
    case Kind::whitespace:
      t.type = TokenType::whitespace;
      break;
    case Kind::delim:
      t.type = TokenType::delim;
      break;
    case Kind::comma:
      t.type = TokenType::comma;
      break;
    case Kind::colon:
      t.type = TokenType::colon;
      break;
    case Kind::semicolon:
      t.type = TokenType::semicolon;
      break;
    default:
      return std::nullopt;
  }
  t.text = std::move(l.text);
  t.number = l.number;
  t.is_integer = l.is_integer;
  return t;
}

// Tokens that cannot appear in a valid value; kept as delimiters so that a
// media query holding one fails while its neighbours still count.
std::string_view bad_token_text(Kind k) {
  switch (k) {
    case Kind::cdo:
      return "<!--";
    case Kind::cdc:
      return "-->";
    case Kind::close_paren:
      return ")";
    case Kind::close_square:
      return "]";
    case Kind::close_curly:
      return "}";
    default:
      return "";
  }
}

bool is_css_wide_keyword(std::string_view name) {
  for (std::string_view k : {"none", "initial", "inherit", "unset", "revert", "revert-layer", "default"})
    if (vx::iequals_ascii(name, k)) return true;
  return false;
}

void trim_space(TokenList& list) {
  while (!list.empty() && list.back().type == TokenType::whitespace) list.pop_back();
  std::size_t lead = 0;
  while (lead < list.size() && list[lead].type == TokenType::whitespace) ++lead;
  list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(lead));
}

// Removes a trailing "! important" (any case, space allowed between).
bool take_important(TokenList& value) {
  std::size_t i = value.size();
  while (i > 0 && value[i - 1].type == TokenType::whitespace) --i;
  if (i == 0 || !is_ident(value[i - 1], "important")) return false;
  --i;
  while (i > 0 && value[i - 1].type == TokenType::whitespace) --i;
  if (i == 0 || !is_delim(value[i - 1], '!')) return false;
  value.resize(i - 1);
  return true;
}

std::optional<std::vector<float>> keyframe_offsets(const TokenList& prelude) {
  std::vector<float> out;
  bool expect_value = true;
  for (const Token& t : prelude) {
    if (t.type == TokenType::whitespace) continue;
    if (!expect_value) {
      if (t.type != TokenType::comma) return std::nullopt;
      expect_value = true;
      continue;
    }
    if (is_ident(t, "from"))
      out.push_back(0.0f);
    else if (is_ident(t, "to"))
      out.push_back(1.0f);
    else if (t.type == TokenType::percentage && t.number >= 0 && t.number <= 100)
      out.push_back(static_cast<float>(t.number / 100.0));
    else
      return std::nullopt;
    expect_value = false;
  }
  if (expect_value) return std::nullopt;  // empty, or a trailing comma
  return out;
}

}  // namespace

class Parser {
 public:
  Parser(std::string_view preprocessed, InternTable* names, bool check_values = false)
      : source_(preprocessed), check_values_(check_values), lexer_(preprocessed), names_(names) {}

  StyleSheet stylesheet() {
    rule_list(true, nullptr, 0);
    for (const StyleRule& rule : sheet_.rules) rule.selectors.collect_attribute_names(sheet_.attribute_names);
    std::sort(sheet_.attribute_names.begin(), sheet_.attribute_names.end());
    sheet_.attribute_names.erase(std::unique(sheet_.attribute_names.begin(), sheet_.attribute_names.end()),
                                 sheet_.attribute_names.end());
    return std::move(sheet_);
  }

  std::vector<Declaration> declarations() { return declaration_list(false, 0); }

  TokenList value() {
    TokenList out;
    Collect c{max_sheet_tokens};
    for (Lexeme l = take(); l.kind != Kind::eof; l = take()) consume_component(std::move(l), out, 0, c);
    return out;
  }

  MediaQueryList media_list() {
    TokenList prelude;
    Collect c{max_declaration_tokens};
    for (Lexeme l = take(); l.kind != Kind::eof; l = take()) consume_component(std::move(l), prelude, 0, c);
    MediaQueryList list;
    fill_media_list(list, prelude, c.overflow, nullptr);
    return list;
  }

 private:
  Lexeme take() {
    if (pending_) {
      Lexeme l = std::move(*pending_);
      pending_.reset();
      return l;
    }
    return lexer_.next();
  }
  void put_back(Lexeme&& l) { pending_ = std::move(l); }

  void store(TokenList& out, Token&& t, Collect& c) {
    if (c.used >= c.limit) {
      c.overflow = true;
      return;
    }
    ++c.used;
    out.push_back(std::move(t));
  }

  // Reads to the closer matching an opener already taken, keeping nothing.
  // Iterative: hostile nesting costs one byte of stack per level, not a frame.
  void skip_block(Kind closer) {
    std::vector<Kind> expected{closer};
    while (!expected.empty()) {
      const Lexeme l = take();
      if (l.kind == Kind::eof) return;
      if (l.kind == expected.back())
        expected.pop_back();
      else if (is_opener(l.kind))
        expected.push_back(closer_of(l.kind));
    }
  }

  void skip_component(const Lexeme& first) {
    if (is_opener(first.kind)) skip_block(closer_of(first.kind));
  }

  // Appends the component value that starts with `first`. `depth` counts the
  // blocks around it; the recursion stops at max_block_depth.
  void consume_component(Lexeme&& first, TokenList& out, int depth, Collect& c) {
    if (is_opener(first.kind)) {
      const Kind closer = closer_of(first.kind);
      if (depth >= max_block_depth || c.used >= c.limit) {
        c.overflow = true;
        skip_block(closer);
        return;
      }
      Token block;
      if (first.kind == Kind::function) {
        block.type = TokenType::function;
        block.text = std::move(first.text);
      } else {
        block.type = TokenType::block;
        block.text = first.kind == Kind::open_paren ? "(" : first.kind == Kind::open_square ? "[" : "{";
      }
      ++c.used;
      for (Lexeme l = take(); l.kind != Kind::eof && l.kind != closer; l = take())
        consume_component(std::move(l), block.children, depth + 1, c);
      out.push_back(std::move(block));
      return;
    }
    if (auto t = plain_token(std::move(first))) {
      store(out, std::move(*t), c);
      return;
    }
    if (first.kind == Kind::eof) return;
    c.bad = true;
    Token t;
    t.type = TokenType::delim;
    t.text = bad_token_text(first.kind);
    store(out, std::move(t), c);
  }

  bool room_for_item() { return items_ < max_rules; }

  // Rules until EOF, or until the "}" that ends the enclosing block.
  void rule_list(bool top_level, const MediaQueryList* media, int depth) {
    for (;;) {
      Lexeme l = take();
      switch (l.kind) {
        case Kind::eof:
          return;
        case Kind::whitespace:
          continue;
        case Kind::cdo:
        case Kind::cdc:
          if (top_level) continue;  // HTML comment markers around a sheet
          break;
        case Kind::close_curly:
          if (!top_level) return;
          break;  // a stray "}" starts a prelude, which then fails to parse
        case Kind::at_keyword:
          at_rule(std::move(l), media, depth, !top_level);
          continue;
        default:
          break;
      }
      if (!qualified_rule(std::move(l), media, depth, top_level)) return;
    }
  }

  // Returns false when the enclosing block ended inside the prelude.
  bool qualified_rule(Lexeme&& first, const MediaQueryList* media, int depth, bool top_level) {
    const std::size_t begin = first.begin;
    Lexeme l = std::move(first);
    for (;; l = take()) {
      if (l.kind == Kind::eof) return true;
      if (l.kind == Kind::open_curly) break;
      if (l.kind == Kind::close_curly && !top_level) return false;
      skip_component(l);
    }
    if (depth + 1 > max_block_depth) {
      skip_block(Kind::close_curly);
      return true;
    }
    auto selectors = parse_selector_list(source_.substr(begin, l.begin - begin), *names_);
    if (!selectors) {
      skip_block(Kind::close_curly);
      return true;
    }
    std::vector<Declaration> declarations = declaration_list(true, depth + 1);
    if (declarations.empty() || !room_for_item()) return true;
    ++items_;
    StyleRule& rule = sheet_.rules.emplace_back();
    rule.selectors = std::move(*selectors);
    rule.declarations = std::move(declarations);
    rule.media = media;
    rule.order = order_++;
    return true;
  }

  // Reads an at-rule's prelude into `out`; true when a "{" block follows (its
  // opener consumed). In a block, a "}" ends the prelude and stays unread.
  bool at_rule_prelude(TokenList& out, Collect& c, int depth, bool nested) {
    for (;;) {
      Lexeme l = take();
      switch (l.kind) {
        case Kind::eof:
        case Kind::semicolon:
          return false;
        case Kind::open_curly:
          return true;
        case Kind::close_curly:
          if (nested) {
            put_back(std::move(l));
            return false;
          }
          break;
        default:
          break;
      }
      consume_component(std::move(l), out, depth, c);
    }
  }

  void skip_at_rule(bool nested) {
    for (;;) {
      Lexeme l = take();
      switch (l.kind) {
        case Kind::eof:
        case Kind::semicolon:
          return;
        case Kind::open_curly:
          skip_block(Kind::close_curly);
          return;
        case Kind::close_curly:
          if (nested) {
            put_back(std::move(l));
            return;
          }
          break;
        default:
          skip_component(l);
          break;
      }
    }
  }

  void at_rule(Lexeme&& keyword, const MediaQueryList* media, int depth, bool nested) {
    const std::string name = vx::ascii_lower(keyword.text);
    if (name == "media")
      media_rule(media, depth, nested);
    else if (name == "keyframes" || name == "-webkit-keyframes")
      keyframes_rule(media, depth, nested);
    else
      skip_at_rule(nested);  // @import, @font-face, @supports, @layer, ...
  }

  void media_rule(const MediaQueryList* media, int depth, bool nested) {
    TokenList prelude;
    Collect c{max_declaration_tokens};
    if (!at_rule_prelude(prelude, c, depth, nested)) return;
    if (depth + 1 > max_block_depth || sheet_.media_lists.size() >= max_media_lists) {
      skip_block(Kind::close_curly);
      return;
    }
    auto list = std::make_unique<MediaQueryList>();
    fill_media_list(*list, prelude, c.overflow, media);
    const MediaQueryList* inner = list.get();
    sheet_.media_lists.push_back(std::move(list));
    rule_list(false, inner, depth + 1);
  }

  void keyframes_rule(const MediaQueryList* media, int depth, bool nested) {
    TokenList prelude;
    Collect c{64};
    if (!at_rule_prelude(prelude, c, depth, nested)) return;
    trim_space(prelude);
    const bool named = prelude.size() == 1 && !c.bad && !c.overflow &&
                       ((prelude[0].type == TokenType::ident && !is_css_wide_keyword(prelude[0].text)) ||
                        (prelude[0].type == TokenType::string && !prelude[0].text.empty()));
    if (!named || depth + 2 > max_block_depth || !room_for_item()) {
      skip_block(Kind::close_curly);
      return;
    }
    ++items_;
    KeyframesRule rule;
    rule.name = std::move(prelude[0].text);
    rule.media = media;
    for (;;) {
      Lexeme l = take();
      if (l.kind == Kind::eof || l.kind == Kind::close_curly) break;
      if (l.kind == Kind::whitespace) continue;
      if (l.kind == Kind::at_keyword) {
        skip_at_rule(true);
        continue;
      }
      TokenList selector;
      Collect sc{max_declaration_tokens};
      bool has_block = false;
      for (;; l = take()) {
        if (l.kind == Kind::eof) break;
        if (l.kind == Kind::open_curly) {
          has_block = true;
          break;
        }
        if (l.kind == Kind::close_curly) {
          put_back(std::move(l));
          break;
        }
        consume_component(std::move(l), selector, depth + 1, sc);
      }
      if (!has_block) continue;
      auto offsets = sc.bad || sc.overflow ? std::nullopt : keyframe_offsets(selector);
      if (!offsets) {
        skip_block(Kind::close_curly);
        continue;
      }
      std::vector<Declaration> declarations = declaration_list(true, depth + 2);
      // Animations ignore !important declarations.
      std::erase_if(declarations, [](const Declaration& d) { return d.important; });
      if (!room_for_item()) continue;
      ++items_;
      rule.frames.push_back({std::move(*offsets), std::move(declarations)});
    }
    sheet_.keyframes.push_back(std::move(rule));
  }

  // Declarations until EOF, or until the "}" of the enclosing block when `in_block`.
  std::vector<Declaration> declaration_list(bool in_block, int depth) {
    std::vector<Declaration> out;
    for (;;) {
      Lexeme l = take();
      switch (l.kind) {
        case Kind::eof:
          return out;
        case Kind::whitespace:
        case Kind::semicolon:
          continue;
        case Kind::close_curly:
          if (in_block) return out;
          break;
        case Kind::at_keyword:
          skip_at_rule(in_block);
          continue;
        case Kind::ident:
          declaration(std::move(l), out, in_block, depth);
          continue;
        default:
          break;
      }
      skip_declaration(std::move(l), in_block);
    }
  }

  // A broken declaration: everything up to the next ";" at this level.
  void skip_declaration(Lexeme&& first, bool in_block) {
    for (Lexeme l = std::move(first);; l = take()) {
      if (l.kind == Kind::eof || l.kind == Kind::semicolon) return;
      if (l.kind == Kind::close_curly && in_block) {
        put_back(std::move(l));
        return;
      }
      skip_component(l);
    }
  }

  void declaration(Lexeme&& name, std::vector<Declaration>& out, bool in_block, int depth) {
    TokenList tokens;
    Collect c{std::min(max_declaration_tokens, budget_)};
    std::size_t end = source_.size();  // where the declaration's text ends
    for (;;) {
      Lexeme l = take();
      if (l.kind == Kind::eof || l.kind == Kind::semicolon) {
        end = l.begin;
        break;
      }
      if (l.kind == Kind::close_curly && in_block) {
        end = l.begin;
        put_back(std::move(l));
        break;
      }
      consume_component(std::move(l), tokens, depth, c);
    }
    if (c.bad || c.overflow) return;
    std::size_t i = 0;
    while (i < tokens.size() && tokens[i].type == TokenType::whitespace) ++i;
    if (i >= tokens.size() || tokens[i].type != TokenType::colon) return;
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(i + 1));
    Declaration d;
    d.important = take_important(tokens);
    trim_space(tokens);
    if (name.text.starts_with("--")) {
      if (name.text.size() == 2) return;  // "--" alone is reserved
      d.property = Property::custom;
      d.custom_name = std::move(name.text);
    } else {
      d.property = property_from_name(vx::ascii_lower(name.text));
      if (d.property == Property::unknown || d.property == Property::custom || tokens.empty()) return;
      // No property of ours takes a {} block.
      if (std::any_of(tokens.begin(), tokens.end(),
                      [](const Token& t) { return t.type == TokenType::block && t.text == "{"; }))
        return;
      // A value its property cannot read is dropped now, as a browser drops
      // it, so that an earlier declaration in the block still counts.
      if (check_values_ && !style::valid_declaration(d.property, tokens)) {
        reject(name.begin, end);
        return;
      }
    }
    d.value = std::move(tokens);
    budget_ -= std::min(budget_, c.used);
    out.push_back(std::move(d));
  }

  // Records the declaration at source_[begin, end) as dropped.
  void reject(std::size_t begin, std::size_t end) {
    ++sheet_.rejected_count;
    if (sheet_.rejected.size() >= max_recorded_rejections) return;
    for (; line_start_ < begin; ++line_start_)
      if (source_[line_start_] == '\n') ++line_;
    // One line of text: white space runs become one space.
    std::string text;
    for (char ch : source_.substr(begin, end - begin)) {
      const bool space = ch == ' ' || ch == '\t' || ch == '\n';
      if (space && (text.empty() || text.back() == ' ')) continue;
      text += space ? ' ' : ch;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() > max_rejected_text) {
      std::size_t cut = max_rejected_text - 3;
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
      text.replace(cut, std::string::npos, "...");
    }
    sheet_.rejected.push_back({line_, std::move(text)});
  }

  std::string_view source_;
  bool check_values_ = false;
  std::size_t line_start_ = 0;  // the offset up to which lines are counted
  std::uint32_t line_ = 1;
  syntax::Lexer lexer_;
  std::optional<Lexeme> pending_;
  InternTable* names_;
  StyleSheet sheet_;
  std::size_t budget_ = max_sheet_tokens;
  std::size_t items_ = 0;
  std::uint32_t order_ = 0;
};

StyleSheet parse_stylesheet(std::string_view text, InternTable& names) {
  const std::string clean = syntax::preprocess(text);
  return Parser(clean, &names, true).stylesheet();
}

std::vector<Declaration> parse_declarations(std::string_view text) {
  const std::string clean = syntax::preprocess(text);
  return Parser(clean, nullptr).declarations();
}

TokenList tokenize_value(std::string_view text) {
  const std::string clean = syntax::preprocess(text);
  return Parser(clean, nullptr).value();
}

MediaQueryList parse_media_query_list(std::string_view text) {
  const std::string clean = syntax::preprocess(text);
  return Parser(clean, nullptr).media_list();
}

}  // namespace ostrel::css
