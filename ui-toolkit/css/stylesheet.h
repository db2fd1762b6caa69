// Parsed style sheets: rules with selectors and declarations, @media blocks,
// @keyframes. Values stay as component tokens until the cascade computes them,
// because var() can only be resolved per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "css/selector.h"
#include "dom/dom.h"

namespace ostrel::css {

// Bounds on untrusted sheets. Deeper blocks are read past but not kept (a
// declaration holding one is dropped); beyond the counts, later rules,
// declarations and @media blocks are dropped.
inline constexpr int max_block_depth = 64;
inline constexpr std::size_t max_declaration_tokens = 4096;  // per declaration value or prelude
inline constexpr std::size_t max_sheet_tokens = 1 << 18;     // kept value tokens per sheet
inline constexpr std::size_t max_rules = 1 << 16;            // style rules, keyframes and frames per sheet
inline constexpr std::size_t max_media_lists = 4096;         // per sheet
inline constexpr std::size_t max_media_queries = 256;        // per list; more make the list "not all"

enum class TokenType : std::uint8_t {
  ident,       // text: the name (escapes resolved)
  function,    // text: the name; children: the arguments up to ")"
  at_keyword,  // text: without "@"
  hash,        // text: without "#"
  string,      // text: the value
  url,         // text: the address
  number,      // number
  percentage,  // number (50% -> 50)
  dimension,   // number + unit in text ("px", "em", "s", "deg", lower case)
  whitespace,
  delim,  // text: the one character
  comma,
  colon,
  semicolon,
  block,  // "(", "[" or "{" block: text holds the opening character; children: contents
};

struct Token {
  TokenType type = TokenType::whitespace;
  std::string text;
  double number = 0;
  bool is_integer = false;
  std::vector<Token> children;  // function arguments or block contents
};

using TokenList = std::vector<Token>;

// Whether `t` is the identifier `lower` (ASCII case-insensitive), or the delimiter `c`.
bool is_ident(const Token& t, std::string_view lower);
bool is_delim(const Token& t, char c);

// Properties by id. Custom properties ("--name") keep their name in Declaration.
enum class Property : std::uint16_t {
  unknown,
  custom,
#define OSTREL_LONGHAND(id, ...) id,
#define OSTREL_SHORTHAND(id, ...) id,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
  count
};
Property property_from_name(std::string_view lower_case_name);
std::string_view property_name(Property property);
bool property_inherited(Property property);

struct Declaration {
  Property property = Property::unknown;
  std::string custom_name;  // for Property::custom, including the leading "--"
  TokenList value;          // without leading/trailing white space and "!important"
  bool important = false;
};

// The media features the toolkit evaluates.
struct MediaEnvironment {
  float width = 0, height = 0;  // viewport in CSS px
  bool dark = false;            // prefers-color-scheme
  bool hover = true;            // hover: hover
  bool fine_pointer = true;     // pointer: fine (else coarse)
  bool reduced_motion = false;  // prefers-reduced-motion: reduce
};

// One parsed media query list; an empty list matches everything.
class MediaQueryList {
 public:
  MediaQueryList();
  MediaQueryList(MediaQueryList&&) noexcept;
  MediaQueryList& operator=(MediaQueryList&&) noexcept;
  ~MediaQueryList();
  bool matches(const MediaEnvironment& environment) const;
  // Whether the result can change with the viewport size (so a resize must restyle).
  bool depends_on_size() const;

  struct Query;  // defined in css/media.cpp

 private:
  friend void fill_media_list(MediaQueryList& list, const TokenList& prelude, bool overflow,
                              const MediaQueryList* outer);
  std::vector<std::unique_ptr<Query>> queries_;
  // The list of an enclosing @media block (owned by the same sheet), which must
  // match too.
  const MediaQueryList* outer_ = nullptr;
};

// Parses a media query list such as "screen and (min-width: 600px), print";
// malformed or unknown queries in it never match.
MediaQueryList parse_media_query_list(std::string_view text);

struct StyleRule {
  SelectorList selectors;
  std::vector<Declaration> declarations;
  const MediaQueryList* media = nullptr;  // owned by the style sheet; null: always applies
  std::uint32_t order = 0;                // source order within the sheet
};

struct Keyframe {
  std::vector<float> offsets;  // 0..1 ("from" is 0, "to" is 1)
  std::vector<Declaration> declarations;
};

struct KeyframesRule {
  std::string name;
  std::vector<Keyframe> frames;
  const MediaQueryList* media = nullptr;
};

// A declaration a sheet dropped because its property cannot read its value,
// kept so that the toolkit can tell the author.
struct RejectedDeclaration {
  std::uint32_t line = 0;  // 1-based, where the property name is
  std::string text;        // as written, on one line, shortened past max_rejected_text
};
inline constexpr std::size_t max_recorded_rejections = 64;  // per sheet; the rest are only counted
inline constexpr std::size_t max_rejected_text = 120;

struct StyleSheet {
  std::vector<StyleRule> rules;
  std::vector<KeyframesRule> keyframes;
  std::vector<std::unique_ptr<MediaQueryList>> media_lists;
  // Every attribute name the selectors test (for data- attribute restyling).
  std::vector<Atom> attribute_names;
  std::vector<RejectedDeclaration> rejected;
  std::size_t rejected_count = 0;  // all of them, recorded or not
};

// Parses a whole style sheet. Never fails: broken declarations, rules and
// at-rules are skipped as CSS error recovery says. So are declarations whose
// value, holding no var(), their property cannot read (recorded in
// `rejected`). Names of selectors are interned in `names`.
StyleSheet parse_stylesheet(std::string_view text, InternTable& names);

// Parses the declarations of a style attribute or a block body ("a: b; c: d").
// Values are not checked here: the cascade ignores what its property cannot
// read when it applies the declaration.
std::vector<Declaration> parse_declarations(std::string_view text);

// Tokenizes a value text into component values (used for tests and var()).
TokenList tokenize_value(std::string_view text);

}  // namespace ostrel::css
