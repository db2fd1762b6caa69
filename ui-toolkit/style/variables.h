// var() substitution (CSS Variables 1 §3): values that refer to custom
// properties are resolved per element, before their property reads them.
#pragma once

#include "css/stylesheet.h"
#include "style/computed.h"

namespace ostrel::style {

bool contains_var(const css::TokenList& tokens);

// Appends `in` to `out` with every var() replaced from the custom properties
// of `s`. False when a reference cannot be resolved (the declaration is then
// invalid at computed-value time), or when references nest or grow past the
// bounds kept against hostile sheets.
bool substitute(const css::TokenList& in, const ComputedStyle& s, css::TokenList& out);

}  // namespace ostrel::style
