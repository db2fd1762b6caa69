// What the sheet parser needs of the media queries (css/media.cpp).
#pragma once

#include "css/stylesheet.h"

namespace ostrel::css {

// Reads the query list of an @media prelude into `list`, which must match
// along with `outer` (the list of an enclosing @media block, or null). A
// prelude too long to keep (`overflow`) matches nothing.
void fill_media_list(MediaQueryList& list, const TokenList& prelude, bool overflow, const MediaQueryList* outer);

}  // namespace ostrel::css
