// Everything here is derived from css/properties.inc: adding a property there
// adds it to copying, shorthand expansion, inheritance and style differences.
#include "style/properties.h"

namespace ostrel::style {
namespace {

using css::Property;

enum Side { top, right, bottom, left };

// F(member) for each of a longhand's zero to three members.
#define OSTREL_EACH(F, ...) \
  __VA_OPT__(OSTREL_EACH_PICK(__VA_ARGS__, OSTREL_EACH_3, OSTREL_EACH_2, OSTREL_EACH_1)(F, __VA_ARGS__))
#define OSTREL_EACH_PICK(_1, _2, _3, name, ...) name
#define OSTREL_EACH_1(F, a) F(a)
#define OSTREL_EACH_2(F, a, b) F(a) F(b)
#define OSTREL_EACH_3(F, a, b, c) F(a) F(b) F(c)

// Token-pasted switches on a row's inheritance and effect.
#define OSTREL_WHEN_inherited(...) __VA_ARGS__
#define OSTREL_WHEN_reset(...)
#define OSTREL_WHEN_BOXES_boxes(...) __VA_ARGS__
#define OSTREL_WHEN_BOXES_layout(...)
#define OSTREL_WHEN_BOXES_paint(...)
#define OSTREL_WHEN_LAYOUT_boxes(...)
#define OSTREL_WHEN_LAYOUT_layout(...) __VA_ARGS__
#define OSTREL_WHEN_LAYOUT_paint(...)

#define OSTREL_SAME(member) &&a.member == b.member

// True when every property of the boxes effect (or the layout one) is equal.
bool same_boxes(const ComputedStyle& a, const ComputedStyle& b) {
  return true
#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...) \
  OSTREL_WHEN_BOXES_##effect(OSTREL_EACH(OSTREL_SAME, __VA_ARGS__))
#define OSTREL_SHORTHAND(...)
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
      ;
}

bool same_layout(const ComputedStyle& a, const ComputedStyle& b) {
  return true
#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...) \
  OSTREL_WHEN_LAYOUT_##effect(OSTREL_EACH(OSTREL_SAME, __VA_ARGS__))
#define OSTREL_SHORTHAND(...)
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
      ;
}

}  // namespace

void copy_property(Property p, ComputedStyle& to, const ComputedStyle& from) {
#define OSTREL_COPY(member) to.member = from.member;
  switch (p) {
#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...) \
  case Property::id:                                                \
    OSTREL_EACH(OSTREL_COPY, __VA_ARGS__) break;
#define OSTREL_SHORTHAND(...)
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
    default:
      break;
  }
#undef OSTREL_COPY
}

std::span<const Property> longhands_of(Property p) {
  using enum Property;
  switch (p) {
#define OSTREL_LONGHAND(id, ...)                  \
  case id: {                                      \
    static constexpr Property longhands[] = {id}; \
    return longhands;                             \
  }
#define OSTREL_SHORTHAND(id, name, parser, ...)            \
  case id: {                                               \
    static constexpr Property longhands[] = {__VA_ARGS__}; \
    return longhands;                                      \
  }
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
    default:
      return {};
  }
}

StyleDifference difference(const ComputedStyle& a, const ComputedStyle& b) {
  // Leaving or joining the flow changes which boxes wrap the neighbours.
  const auto out_of_flow = [](const ComputedStyle& s) {
    return s.position == Position::absolute || s.position == Position::fixed;
  };
  if (!same_boxes(a, b) || out_of_flow(a) != out_of_flow(b)) return StyleDifference::boxes;
  // Fixed and sticky boxes, transforms and animations can draw away from
  // their place, which the layout records for painting.
  const auto floats_free = [](const ComputedStyle& s) {
    return s.position == Position::fixed || s.position == Position::sticky || !s.transform.identity() ||
           !s.animations.empty();
  };
  return same_layout(a, b) && floats_free(a) == floats_free(b) ? StyleDifference::paint : StyleDifference::layout;
}

ComputedStyle inherited_only(const ComputedStyle& parent) {
  ComputedStyle s;
#define OSTREL_INHERIT(member) s.member = parent.member;
#define OSTREL_LONGHAND(id, name, inheritance, effect, parser, ...) \
  OSTREL_WHEN_##inheritance(OSTREL_EACH(OSTREL_INHERIT, __VA_ARGS__))
#define OSTREL_SHORTHAND(...)
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
#undef OSTREL_INHERIT
  s.custom = parent.custom;  // custom properties always inherit (CSS Variables 1 §2)
  return s;
}

ComputedStyle anonymous_block_style(const ComputedStyle& parent) {
  ComputedStyle s = inherited_only(parent);
  s.display = Display::block;
  return s;
}

}  // namespace ostrel::style
