// Applying one declaration to a computed style. Each property's value grammar
// is named by the property table (css/properties.inc); the table's rows become
// the appliers, so the same code decides at parse time whether a value is
// valid and at cascade time what it computes to.
#pragma once

#include "css/stylesheet.h"
#include "style/computed.h"
#include "style/values.h"

namespace ostrel::style {

// One declaration's value with its var() references resolved.
struct Value {
  const css::TokenList& tokens;
  Words words;            // the tokens without white space, never empty
  const css::Token* one;  // the only word, or null for several
};

struct Applier {
  ComputedStyle& s;
  const ComputedStyle& parent;
  const ComputedStyle& initial;
  UnitContext units;

  // Applies a declaration whose var() references are resolved. False when the
  // value is invalid: the style is then left as it was.
  bool apply(css::Property p, const css::TokenList& value);
};

// Whether a declaration is worth keeping when a sheet is parsed: false when
// its value holds no var() and still fails the property's grammar. Values
// with var() are only known per element, when the cascade computes them.
bool valid_declaration(css::Property p, const css::TokenList& value);

}  // namespace ostrel::style
