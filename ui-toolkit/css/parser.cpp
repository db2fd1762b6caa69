#include "css/stylesheet.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <utility>

#include "common/text.h"
#include "css/tokenizer.h"

namespace ostrel::css {

// ---------------------------------------------------------------------------
// Properties

namespace {

constexpr std::string_view property_names[] = {
    "",
    "",
#define OSTREL_LONGHAND(id, name, ...) name,
#define OSTREL_SHORTHAND(id, name, ...) name,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
};

constexpr bool property_inherits[] = {
    false,
    false,
#define OSTREL_LONGHAND(id, name, inheritance, ...) std::string_view(#inheritance) == "inherited",
#define OSTREL_SHORTHAND(id, name, ...) false,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
};

static_assert(std::size(property_names) == static_cast<std::size_t>(Property::count));

struct NamedProperty {
  std::string_view name;
  Property property;
};

const std::vector<NamedProperty>& properties_by_name() {
  static const std::vector<NamedProperty> table = [] {
    std::vector<NamedProperty> out;
    for (std::size_t i = 2; i < std::size(property_names); ++i)
      out.push_back({property_names[i], static_cast<Property>(i)});
    std::sort(out.begin(), out.end(), [](const NamedProperty& a, const NamedProperty& b) { return a.name < b.name; });
    return out;
  }();
  return table;
}

}  // namespace

Property property_from_name(std::string_view lower_case_name) {
  if (lower_case_name.starts_with("--")) return Property::custom;
  const auto& table = properties_by_name();
  const auto it = std::lower_bound(table.begin(), table.end(), lower_case_name,
                                   [](const NamedProperty& p, std::string_view name) { return p.name < name; });
  return it != table.end() && it->name == lower_case_name ? it->property : Property::unknown;
}

std::string_view property_name(Property property) {
  const auto i = static_cast<std::size_t>(property);
  return i < std::size(property_names) ? property_names[i] : std::string_view();
}

bool property_inherited(Property property) {
  const auto i = static_cast<std::size_t>(property);
  return i < std::size(property_inherits) && property_inherits[i];
}

// ---------------------------------------------------------------------------
// Media queries

namespace {

enum class Feature : std::uint8_t {
  width,
  height,
  orientation,
  color_scheme,
  hover,
  pointer,
  reduced_motion,
};

enum class Compare : std::uint8_t { lt, le, eq, ge, gt };

struct Condition {
  enum class Kind : std::uint8_t { feature, all_of, any_of, negation };
  Kind kind = Kind::feature;
  Feature feature = Feature::width;
  bool boolean = false;          // "(hover)": true unless the value is none / zero
  std::uint8_t keyword = 0;      // discrete features
  std::uint8_t comparisons = 0;  // range features: environment <op[i]> value[i]
  std::array<Compare, 2> op{};
  std::array<double, 2> value{};
  std::vector<Condition> children;
};

}  // namespace

struct MediaQueryList::Query {
  bool never = false;  // unknown or malformed: "not all"
  bool negated = false;
  bool type_matches = true;
  bool size_dependent = false;
  std::vector<Condition> condition;  // empty or one
};

namespace {

using Query = MediaQueryList::Query;

struct FeatureInfo {
  std::string_view name;
  Feature feature;
  bool range;
  std::array<std::string_view, 3> keywords;  // discrete values, by their numeric code
};

constexpr FeatureInfo features[] = {
    {"width", Feature::width, true, {}},
    {"height", Feature::height, true, {}},
    {"orientation", Feature::orientation, false, {"portrait", "landscape"}},
    {"prefers-color-scheme", Feature::color_scheme, false, {"light", "dark"}},
    {"hover", Feature::hover, false, {"none", "hover"}},
    {"any-hover", Feature::hover, false, {"none", "hover"}},
    {"pointer", Feature::pointer, false, {"none", "coarse", "fine"}},
    {"any-pointer", Feature::pointer, false, {"none", "coarse", "fine"}},
    {"prefers-reduced-motion", Feature::reduced_motion, false, {"no-preference", "reduce"}},
};

const FeatureInfo* find_feature(std::string_view lower_name) {
  for (const FeatureInfo& f : features)
    if (f.name == lower_name) return &f;
  return nullptr;
}

bool is_size_feature(Feature f) { return f == Feature::width || f == Feature::height || f == Feature::orientation; }

// The environment's value of a discrete feature, as a keyword code.
std::uint8_t discrete_value(Feature f, const MediaEnvironment& env) {
  switch (f) {
    case Feature::orientation:
      return env.height >= env.width ? 0 : 1;
    case Feature::color_scheme:
      return env.dark ? 1 : 0;
    case Feature::hover:
      return env.hover ? 1 : 0;
    case Feature::pointer:
      return env.fine_pointer ? 2 : 1;
    case Feature::reduced_motion:
      return env.reduced_motion ? 1 : 0;
    default:
      return 0;
  }
}

bool compare(double a, Compare op, double b) {
  switch (op) {
    case Compare::lt:
      return a < b;
    case Compare::le:
      return a <= b;
    case Compare::eq:
      return a == b;
    case Compare::ge:
      return a >= b;
    case Compare::gt:
      return a > b;
  }
  return false;
}

// Depth is bounded by the block nesting of the prelude.
bool evaluate(const Condition& c, const MediaEnvironment& env) {
  switch (c.kind) {
    case Condition::Kind::all_of:
      for (const Condition& child : c.children)
        if (!evaluate(child, env)) return false;
      return true;
    case Condition::Kind::any_of:
      for (const Condition& child : c.children)
        if (evaluate(child, env)) return true;
      return false;
    case Condition::Kind::negation:
      return !c.children.empty() && !evaluate(c.children.front(), env);
    case Condition::Kind::feature:
      break;
  }
  if (c.feature == Feature::width || c.feature == Feature::height) {
    const double v = c.feature == Feature::width ? env.width : env.height;
    if (c.boolean) return v != 0;
    for (std::uint8_t i = 0; i < c.comparisons && i < 2; ++i)
      if (!compare(v, c.op[i], c.value[i])) return false;
    return true;
  }
  const std::uint8_t v = discrete_value(c.feature, env);
  if (!c.boolean) return v == c.keyword;
  // Only the "none" / "no-preference" codes are false in a boolean context,
  // and orientation and color scheme have none.
  return c.feature == Feature::orientation || c.feature == Feature::color_scheme || v != 0;
}

bool evaluate(const Query& q, const MediaEnvironment& env) {
  if (q.never) return false;
  const bool result = q.type_matches && (q.condition.empty() || evaluate(q.condition.front(), env));
  return q.negated ? !result : result;
}

std::optional<double> length_in_px(const Token& t) {
  if (t.type == TokenType::number && t.number == 0) return 0.0;
  if (t.type != TokenType::dimension) return std::nullopt;
  // Media queries resolve em and rem against the initial font size, never the
  // page's, as browsers do.
  constexpr std::pair<std::string_view, double> units[] = {
      {"px", 1.0},         {"em", 16.0},        {"rem", 16.0},       {"in", 96.0}, {"cm", 96.0 / 2.54},
      {"mm", 96.0 / 25.4}, {"q", 96.0 / 101.6}, {"pt", 96.0 / 72.0}, {"pc", 16.0},
  };
  for (const auto& [unit, factor] : units)
    if (t.text == unit) return t.number * factor;
  return std::nullopt;
}

bool is_ident(const Token& t, std::string_view lower) {
  return t.type == TokenType::ident && vx::iequals_ascii(t.text, lower);
}

bool is_delim(const Token& t, char c) { return t.type == TokenType::delim && t.text.size() == 1 && t.text[0] == c; }

constexpr std::size_t max_media_conditions = 256;  // per query

// Reads one query from the tokens between two commas.
class MediaParser {
 public:
  explicit MediaParser(std::span<const Token> tokens) : tokens_(tokens) {}

  Query parse() {
    Query q;
    skip_space();
    if (pos_ < tokens_.size() && tokens_[pos_].type == TokenType::ident && !is_ident(tokens_[pos_], "not")) {
      parse_typed(q);
    } else if (pos_ + 1 < tokens_.size() && is_ident(tokens_[pos_], "not") && next_is_ident()) {
      q.negated = true;
      ++pos_;
      skip_space();
      parse_typed(q);
    } else {
      Condition c;
      ok_ = parse_condition(tokens_, pos_, true, c);
      q.condition.push_back(std::move(c));
    }
    skip_space();
    if (!ok_ || pos_ != tokens_.size() || conditions_ > max_media_conditions) return never();
    q.size_dependent = size_dependent_;
    return q;
  }

  static Query never() {
    Query q;
    q.never = true;
    return q;
  }

 private:
  bool next_is_ident() const {
    std::size_t i = pos_ + 1;
    while (i < tokens_.size() && tokens_[i].type == TokenType::whitespace) ++i;
    return i < tokens_.size() && tokens_[i].type == TokenType::ident;
  }

  void skip_space() { skip_space(tokens_, pos_); }
  static void skip_space(std::span<const Token> t, std::size_t& i) {
    while (i < t.size() && t[i].type == TokenType::whitespace) ++i;
  }

  // [only]? type [and condition-without-or]?
  void parse_typed(Query& q) {
    if (is_ident(tokens_[pos_], "only")) {
      if (q.negated) {
        ok_ = false;
        return;
      }
      ++pos_;
      skip_space();
    }
    if (pos_ >= tokens_.size() || tokens_[pos_].type != TokenType::ident) {
      ok_ = false;
      return;
    }
    const std::string type = vx::ascii_lower(tokens_[pos_].text);
    ++pos_;
    if (type == "only" || type == "not" || type == "and" || type == "or" || type == "layer") {
      ok_ = false;
      return;
    }
    q.type_matches = type == "all" || type == "screen";
    skip_space();
    if (pos_ == tokens_.size()) return;
    if (!is_ident(tokens_[pos_], "and")) {
      ok_ = false;
      return;
    }
    ++pos_;
    skip_space();
    Condition c;
    ok_ = parse_condition(tokens_, pos_, false, c);
    q.condition.push_back(std::move(c));
  }

  // not <in-parens> | <in-parens> [and <in-parens>]* | <in-parens> [or <in-parens>]*
  bool parse_condition(std::span<const Token> t, std::size_t& i, bool allow_or, Condition& out) {
    ++conditions_;
    skip_space(t, i);
    if (i < t.size() && is_ident(t[i], "not")) {
      ++i;
      skip_space(t, i);
      out.kind = Condition::Kind::negation;
      out.children.emplace_back();
      return parse_in_parens(t, i, out.children.back());
    }
    Condition first;
    if (!parse_in_parens(t, i, first)) return false;
    std::size_t after = i;
    skip_space(t, after);
    if (after >= t.size() || t[after].type != TokenType::ident) {
      out = std::move(first);
      return true;
    }
    const bool is_and = is_ident(t[after], "and");
    if (!is_and && !(allow_or && is_ident(t[after], "or"))) {
      out = std::move(first);
      return true;  // the caller reports what follows
    }
    out.kind = is_and ? Condition::Kind::all_of : Condition::Kind::any_of;
    out.children.push_back(std::move(first));
    const std::string_view joiner = is_and ? "and" : "or";
    for (;;) {
      after = i;
      skip_space(t, after);
      if (after >= t.size() || !is_ident(t[after], joiner)) return true;
      i = after + 1;
      skip_space(t, i);
      if (++conditions_ > max_media_conditions) return false;
      out.children.emplace_back();
      if (!parse_in_parens(t, i, out.children.back())) return false;
    }
  }

  bool parse_in_parens(std::span<const Token> t, std::size_t& i, Condition& out) {
    if (i >= t.size() || t[i].type != TokenType::block || t[i].text != "(") return false;
    const std::span<const Token> inner(t[i].children);
    ++i;
    std::size_t j = 0;
    skip_space(inner, j);
    if (j < inner.size() &&
        (is_ident(inner[j], "not") || (inner[j].type == TokenType::block && inner[j].text == "("))) {
      if (!parse_condition(inner, j, true, out)) return false;
      skip_space(inner, j);
      return j == inner.size();
    }
    return parse_feature(inner, out);
  }

  // A comparison operator at t[i]: "<", "<=", ">", ">=" or "=", with no space
  // inside the two-character forms.
  static std::optional<Compare> parse_op(std::span<const Token> t, std::size_t& i) {
    if (i >= t.size()) return std::nullopt;
    const bool eq_follows = i + 1 < t.size() && is_delim(t[i + 1], '=');
    if (is_delim(t[i], '=')) {
      ++i;
      return Compare::eq;
    }
    if (!is_delim(t[i], '<') && !is_delim(t[i], '>')) return std::nullopt;
    const bool less = is_delim(t[i], '<');
    i += eq_follows ? 2 : 1;
    if (less) return eq_follows ? Compare::le : Compare::lt;
    return eq_follows ? Compare::ge : Compare::gt;
  }

  static Compare flip(Compare op) {
    switch (op) {
      case Compare::lt:
        return Compare::gt;
      case Compare::le:
        return Compare::ge;
      case Compare::ge:
        return Compare::le;
      case Compare::gt:
        return Compare::lt;
      case Compare::eq:
        break;
    }
    return op;
  }

  bool parse_feature(std::span<const Token> t, Condition& out) {
    out.kind = Condition::Kind::feature;
    std::size_t i = 0;
    skip_space(t, i);
    if (i >= t.size()) return false;

    // name, name: value, min-/max-name: value
    if (t[i].type == TokenType::ident) {
      std::string name = vx::ascii_lower(t[i].text);
      ++i;
      skip_space(t, i);
      if (i == t.size()) {
        const FeatureInfo* info = find_feature(name);
        if (!info) return false;
        note(info->feature);
        out.feature = info->feature;
        out.boolean = true;
        return true;
      }
      if (t[i].type == TokenType::colon) {
        ++i;
        skip_space(t, i);
        if (i >= t.size()) return false;
        const Token& value = t[i];
        ++i;
        skip_space(t, i);
        if (i != t.size()) return false;
        Compare op = Compare::eq;
        if (name.starts_with("min-") || name.starts_with("max-")) {
          op = name[1] == 'i' ? Compare::ge : Compare::le;
          name.erase(0, 4);
          const FeatureInfo* info = find_feature(name);
          if (!info || !info->range) return false;
        }
        const FeatureInfo* info = find_feature(name);
        if (!info) return false;
        note(info->feature);
        out.feature = info->feature;
        if (info->range) {
          const auto px = length_in_px(value);
          if (!px) return false;
          out.comparisons = 1;
          out.op[0] = op;
          out.value[0] = *px;
          return true;
        }
        if (value.type != TokenType::ident) return false;
        for (std::size_t k = 0; k < info->keywords.size(); ++k) {
          if (!info->keywords[k].empty() && vx::iequals_ascii(value.text, info->keywords[k])) {
            out.keyword = static_cast<std::uint8_t>(k);
            return true;
          }
        }
        return false;
      }
      // name <op> value
      const FeatureInfo* info = find_feature(name);
      const auto op = parse_op(t, i);
      skip_space(t, i);
      if (!info || !info->range || !op || i >= t.size()) return false;
      const auto px = length_in_px(t[i]);
      ++i;
      skip_space(t, i);
      if (!px || i != t.size()) return false;
      note(info->feature);
      out.feature = info->feature;
      out.comparisons = 1;
      out.op[0] = *op;
      out.value[0] = *px;
      return true;
    }

    // value <op> name [<op> value]
    const auto first = length_in_px(t[i]);
    ++i;
    skip_space(t, i);
    const auto op1 = parse_op(t, i);
    skip_space(t, i);
    if (!first || !op1 || i >= t.size() || t[i].type != TokenType::ident) return false;
    const FeatureInfo* info = find_feature(vx::ascii_lower(t[i].text));
    if (!info || !info->range) return false;
    ++i;
    skip_space(t, i);
    note(info->feature);
    out.feature = info->feature;
    out.comparisons = 1;
    out.op[0] = flip(*op1);
    out.value[0] = *first;
    if (i == t.size()) return true;
    const auto op2 = parse_op(t, i);
    skip_space(t, i);
    if (!op2 || i >= t.size()) return false;
    const auto second = length_in_px(t[i]);
    ++i;
    skip_space(t, i);
    if (!second || i != t.size()) return false;
    // Both bounds point the same way: "a < x <= b" or "a > x >= b".
    const auto less = [](Compare c) { return c == Compare::lt || c == Compare::le; };
    const auto greater = [](Compare c) { return c == Compare::gt || c == Compare::ge; };
    if (!((less(*op1) && less(*op2)) || (greater(*op1) && greater(*op2)))) return false;
    out.comparisons = 2;
    out.op[1] = *op2;
    out.value[1] = *second;
    return true;
  }

  void note(Feature f) { size_dependent_ |= is_size_feature(f); }

  std::span<const Token> tokens_;
  std::size_t pos_ = 0;
  bool ok_ = true;
  bool size_dependent_ = false;
  std::size_t conditions_ = 0;
};

}  // namespace

MediaQueryList::MediaQueryList() = default;
MediaQueryList::MediaQueryList(MediaQueryList&&) noexcept = default;
MediaQueryList& MediaQueryList::operator=(MediaQueryList&&) noexcept = default;
MediaQueryList::~MediaQueryList() = default;

bool MediaQueryList::matches(const MediaEnvironment& environment) const {
  for (const MediaQueryList* list = this; list; list = list->outer_) {
    if (list->queries_.empty()) continue;
    const bool any = std::any_of(list->queries_.begin(), list->queries_.end(),
                                 [&](const auto& q) { return evaluate(*q, environment); });
    if (!any) return false;
  }
  return true;
}

bool MediaQueryList::depends_on_size() const {
  for (const MediaQueryList* list = this; list; list = list->outer_)
    for (const auto& q : list->queries_)
      if (q->size_dependent) return true;
  return false;
}

// ---------------------------------------------------------------------------
// Sheet parser

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
  Parser(std::string_view preprocessed, InternTable* names)
      : source_(preprocessed), lexer_(preprocessed), names_(names) {}

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
    fill_media_list(list, prelude, c);
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

  void fill_media_list(MediaQueryList& list, const TokenList& prelude, const Collect& c) {
    if (c.overflow) {
      list.queries_.push_back(std::make_unique<Query>(MediaParser::never()));
      return;
    }
    std::vector<std::span<const Token>> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= prelude.size(); ++i) {
      if (i < prelude.size() && prelude[i].type != TokenType::comma) continue;
      parts.emplace_back(prelude.data() + start, i - start);
      start = i + 1;
    }
    // No query at all matches everything.
    if (parts.size() == 1 &&
        std::all_of(prelude.begin(), prelude.end(), [](const Token& t) { return t.type == TokenType::whitespace; }))
      return;
    if (parts.size() > max_media_queries) {
      list.queries_.push_back(std::make_unique<Query>(MediaParser::never()));
      return;
    }
    for (const auto& part : parts) list.queries_.push_back(std::make_unique<Query>(MediaParser(part).parse()));
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
    fill_media_list(*list, prelude, c);
    list->outer_ = media;
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
    for (;;) {
      Lexeme l = take();
      if (l.kind == Kind::eof || l.kind == Kind::semicolon) break;
      if (l.kind == Kind::close_curly && in_block) {
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
    }
    d.value = std::move(tokens);
    budget_ -= std::min(budget_, c.used);
    out.push_back(std::move(d));
  }

  std::string_view source_;
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
  return Parser(clean, &names).stylesheet();
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
