// Any bytes as a style sheet and as a style attribute: parsing never crashes,
// hangs or breaks its own bounds, every rule's media list belongs to the sheet,
// and every media list evaluates against a narrow and a wide environment.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "css/stylesheet.h"
#include "dom/dom.h"

namespace {

using namespace ostrel;

void check(bool condition) {
  if (!condition) std::abort();
}

// Walks a value tree without recursion and returns its depth.
int depth_of(const css::TokenList& value) {
  struct Frame {
    const css::TokenList* list;
    std::size_t next;
  };
  std::vector<Frame> stack{{&value, 0}};
  int deepest = 0;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next >= top.list->size()) {
      stack.pop_back();
      continue;
    }
    const css::Token& t = (*top.list)[top.next++];
    check(t.type != css::TokenType::dimension || !t.text.empty());
    if (!t.children.empty()) {
      stack.push_back({&t.children, 0});
      deepest = std::max(deepest, static_cast<int>(stack.size()) - 1);
    }
  }
  return deepest;
}

void check_declarations(const std::vector<css::Declaration>& declarations) {
  for (const css::Declaration& d : declarations) {
    check(d.property != css::Property::unknown);
    check((d.property == css::Property::custom) == !d.custom_name.empty());
    if (d.property != css::Property::custom) check(!d.value.empty());
    if (!d.value.empty()) {
      check(d.value.front().type != css::TokenType::whitespace);
      check(d.value.back().type != css::TokenType::whitespace);
    }
    check(depth_of(d.value) <= css::max_block_depth);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  InternTable names;
  const css::StyleSheet sheet = css::parse_stylesheet(text, names);

  css::MediaEnvironment narrow;
  narrow.width = 320;
  narrow.height = 640;
  narrow.dark = true;
  narrow.hover = false;
  narrow.fine_pointer = false;
  narrow.reduced_motion = true;
  css::MediaEnvironment wide;
  wide.width = 1280;
  wide.height = 720;
  for (const auto& list : sheet.media_lists) {
    (void)list->matches(narrow);
    (void)list->matches(wide);
    (void)list->depends_on_size();
  }
  const auto owned = [&](const css::MediaQueryList* media) {
    return !media || std::any_of(sheet.media_lists.begin(), sheet.media_lists.end(),
                                 [&](const auto& list) { return list.get() == media; });
  };

  check(sheet.rules.size() <= css::max_rules && sheet.media_lists.size() <= css::max_media_lists);
  for (std::size_t i = 0; i < sheet.rules.size(); ++i) {
    const css::StyleRule& rule = sheet.rules[i];
    check(rule.selectors.size() > 0 && !rule.declarations.empty());
    check(i == 0 || sheet.rules[i - 1].order < rule.order);
    check(owned(rule.media));
    check_declarations(rule.declarations);
  }
  for (const css::KeyframesRule& rule : sheet.keyframes) {
    check(!rule.name.empty() && owned(rule.media));
    for (const css::Keyframe& frame : rule.frames) {
      check(!frame.offsets.empty());
      for (float offset : frame.offsets) check(offset >= 0 && offset <= 1);
      check_declarations(frame.declarations);
    }
  }
  check(std::is_sorted(sheet.attribute_names.begin(), sheet.attribute_names.end()));

  check_declarations(css::parse_declarations(text));
  const css::MediaQueryList media = css::parse_media_query_list(text);
  (void)media.matches(narrow);
  (void)media.matches(wide);
  return 0;
}
