// Media queries (Media Queries 4): parsing a query list and matching it
// against the environment the toolkit knows.
#include "css/media.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "common/text.h"

namespace ostrel::css {

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

void fill_media_list(MediaQueryList& list, const TokenList& prelude, bool overflow, const MediaQueryList* outer) {
  list.outer_ = outer;
  if (overflow) {
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

}  // namespace ostrel::css
