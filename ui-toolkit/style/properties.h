// The property table (css/properties.inc) as the cascade uses it.
#pragma once

#include <span>

#include "css/stylesheet.h"
#include "style/computed.h"

namespace ostrel::style {

// Copies the computed value of longhand `p` (inherit, initial, unset).
void copy_property(css::Property p, ComputedStyle& to, const ComputedStyle& from);

// The longhands a shorthand sets; a longhand is its own; nothing for an
// unknown or custom property.
std::span<const css::Property> longhands_of(css::Property p);

}  // namespace ostrel::style
