// The appliers of all properties, derived from the property table
// (css/properties.inc): a row's parser column names a form and a grammar from
// style/grammar.h, and its members say where the value goes.
#include "style/apply.h"

#include <cstddef>
#include <iterator>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/text.h"
#include "style/grammar.h"
#include "style/properties.h"
#include "style/variables.h"

namespace ostrel::style {
namespace {

using css::Property;
using namespace grammar;  // the names the parser column uses

enum Side { top, right, bottom, left };

// Which row a generated applier belongs to.
template <Property P>
struct Row {};

// A longhand's members as references into a style; none for a property that
// is parsed but not kept.
template <Property P>
struct Members;

#define OSTREL_REFS(...) \
  __VA_OPT__(OSTREL_REFS_PICK(__VA_ARGS__, OSTREL_REFS_3, OSTREL_REFS_2, OSTREL_REFS_1)(__VA_ARGS__))
#define OSTREL_REFS_PICK(_1, _2, _3, name, ...) name
#define OSTREL_REFS_1(a) s.a
#define OSTREL_REFS_2(a, b) s.a, s.b
#define OSTREL_REFS_3(a, b, c) s.a, s.b, s.c
#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...)                                  \
  template <>                                                                                        \
  struct Members<Property::id> {                                                                     \
    static auto of([[maybe_unused]] ComputedStyle& s) { return std::tie(OSTREL_REFS(__VA_ARGS__)); } \
  };
#define OSTREL_SHORTHAND(...)
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND

// A shorthand's longhands, in the table's order.
template <Property P>
struct Longhands;

#define OSTREL_LONGHAND(...)
#define OSTREL_SHORTHAND(id, name, parser, ...)       \
  template <>                                         \
  struct Longhands<Property::id> {                    \
    using enum Property;                              \
    static constexpr Property list[] = {__VA_ARGS__}; \
  };
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND

// A grammar's value into the members: one member takes it whole, several take
// the parts of a pair in order.
template <class V, class... M>
void store([[maybe_unused]] V&& value, [[maybe_unused]] std::tuple<M&...> members) {
  if constexpr (sizeof...(M) == 1)
    std::get<0>(members) = std::forward<V>(value);
  else if constexpr (sizeof...(M) > 1)
    members = std::forward<V>(value);
}

template <auto read>
using WordValue = typename decltype(read(std::declval<const Applier&>(), nullptr))::value_type;

// --- the forms of the parser column --------------------------------------------------

// one(grammar): a single word.
template <auto read, Property P>
bool one(Applier& a, const Value& v, Row<P>) {
  if (!v.one) return false;
  auto r = read(a, v.one);
  if (!r) return false;
  store(std::move(*r), Members<P>::of(a.s));
  return true;
}

// whole(grammar): a grammar of the whole value.
template <auto read, Property P>
bool whole(Applier& a, const Value& v, Row<P>) {
  auto r = read(a, v);
  if (!r) return false;
  store(std::move(*r), Members<P>::of(a.s));
  return true;
}

// sides(grammar): one to four words to a shorthand's longhands for top, right,
// bottom and left.
template <auto read, Property P>
bool sides(Applier& a, const Value& v, Row<P>) {
  WordValue<read> r[4];
  if (!four_sides(v.words, r, [&](const css::Token* t) { return read(a, t); })) return false;
  constexpr auto& l = Longhands<P>::list;
  static_assert(std::size(l) == 4);
  store(r[0], Members<l[0]>::of(a.s));
  store(r[1], Members<l[1]>::of(a.s));
  store(r[2], Members<l[2]>::of(a.s));
  store(r[3], Members<l[3]>::of(a.s));
  return true;
}

// axes(grammar): one or two words to a shorthand's two longhands; one word sets both.
template <auto read, Property P>
bool axes(Applier& a, const Value& v, Row<P>) {
  if (v.words.size() > 2) return false;
  auto first = read(a, v.words[0]);
  auto second = v.words.size() > 1 ? read(a, v.words[1]) : first;
  if (!first || !second) return false;
  constexpr auto& l = Longhands<P>::list;
  static_assert(std::size(l) == 2);
  store(std::move(*first), Members<l[0]>::of(a.s));
  store(std::move(*second), Members<l[1]>::of(a.s));
  return true;
}

// each(grammar, field): a comma-separated list of words, one for each item of
// the transition or animation list, into one field of the item. The longhands
// edit the list element-wise (a list made by the shorthand is the common case).
template <auto read, auto field, Property P>
bool each(Applier& a, const Value& v, Row<P>) {
  std::vector<WordValue<read>> values;
  for (const Words& item : comma_separated(v.tokens)) {
    if (item.size() != 1) return false;
    auto r = read(a, item[0]);
    if (!r) return false;
    values.push_back(std::move(*r));
  }
  auto& list = std::get<0>(Members<P>::of(a.s));
  if (list.size() < values.size()) list.resize(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if constexpr (std::is_member_object_pointer_v<decltype(field)>)
      list[i].*field = std::move(values[i]);
    else
      field(list[i], std::move(values[i]));
  }
  if constexpr (std::is_same_v<typename std::remove_reference_t<decltype(list)>::value_type, Animation>)
    std::erase_if(list, [](const Animation& an) { return an.name.empty() || vx::iequals_ascii(an.name, "none"); });
  return true;
}

// call(function): a bespoke grammar that writes the style itself.
template <auto function, Property P>
bool call(Applier& a, const Value& v, Row<P>) {
  return function(a, v);
}

#define OSTREL_PARSER_one(grammar) one<grammar>
#define OSTREL_PARSER_one_of(table) one<keyword<table>>
#define OSTREL_PARSER_whole(grammar) whole<grammar>
#define OSTREL_PARSER_sides(grammar) sides<grammar>
#define OSTREL_PARSER_axes(grammar) axes<grammar>
#define OSTREL_PARSER_each(grammar, field) each<grammar, field>
#define OSTREL_PARSER_call(function) call<function>
#define OSTREL_PARSER_like(longhand) call<apply_##longhand>  // a shorthand read as its one longhand

// --- the appliers, one for each row ---------------------------------------------------

#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...) \
  bool apply_##id(Applier& a, const Value& v) { return OSTREL_PARSER_##parser(a, v, Row<Property::id>{}); }
#define OSTREL_SHORTHAND(id, name, parser, ...) \
  bool apply_##id(Applier& a, const Value& v) { return OSTREL_PARSER_##parser(a, v, Row<Property::id>{}); }
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND

using ApplyFunction = bool (*)(Applier&, const Value&);

constexpr ApplyFunction appliers[] = {
    nullptr,  // unknown
    nullptr,  // custom: kept by the cascade, never applied
#define OSTREL_LONGHAND(id, ...) apply_##id,
#define OSTREL_SHORTHAND(id, ...) apply_##id,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
};
static_assert(std::size(appliers) == static_cast<std::size_t>(Property::count));

bool css_wide_keyword(const css::Token* t) {
  return is_ident(t, "inherit") || is_ident(t, "initial") || is_ident(t, "unset") || is_ident(t, "revert");
}

}  // namespace

bool Applier::apply(Property p, const css::TokenList& value) {
  const auto i = static_cast<std::size_t>(p);
  if (i >= std::size(appliers) || !appliers[i]) return false;
  Value v{value, words_of(value), nullptr};
  if (v.words.empty()) return false;
  if (v.words.size() == 1) v.one = v.words[0];
  if (css_wide_keyword(v.one)) {
    for (Property l : longhands_of(p)) {
      const bool from_parent =
          is_ident(v.one, "inherit") || (!is_ident(v.one, "initial") && css::property_inherited(l));
      copy_property(l, s, from_parent ? parent : initial);
    }
    return true;
  }
  return appliers[i](*this, v);
}

bool valid_declaration(Property p, const css::TokenList& value) {
  if (contains_var(value)) return true;
  // Whether a value is valid does not depend on the element: any style will do.
  static const ComputedStyle initial;
  ComputedStyle scratch;
  return Applier{scratch, initial, initial, {}}.apply(p, value);
}

}  // namespace ostrel::style
