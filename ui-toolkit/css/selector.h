// Selectors: parsing and matching against the document model. query_selector
// uses them now; the style engine uses the same lists, specificity included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "dom/dom.h"

namespace ostrel::css {

// (ids, classes/attributes/pseudo-classes, types), compared lexicographically.
struct Specificity {
  std::uint16_t a = 0, b = 0, c = 0;
  friend constexpr auto operator<=>(const Specificity&, const Specificity&) = default;
};

enum class PseudoElement : std::uint8_t { none, before, after, marker };

// Bounds on untrusted selector text; longer or deeper input does not parse.
inline constexpr std::size_t max_selector_length = 64 * 1024;  // bytes
inline constexpr int max_not_depth = 16;                       // nested :not()
inline constexpr std::size_t max_compounds = 64;               // per complex selector

struct ComplexSelector;  // defined in selector.cpp

// One comma-separated list, e.g. "td.col-fill > span, :root[data-theme=light]".
class SelectorList {
 public:
  SelectorList();
  SelectorList(SelectorList&&) noexcept;
  SelectorList& operator=(SelectorList&&) noexcept;
  ~SelectorList();

  std::size_t size() const;
  Specificity specificity(std::size_t index) const;
  PseudoElement pseudo_element(std::size_t index) const;
  // Whether the selector at `index` (ignoring its pseudo-element) matches `element`.
  bool matches(std::size_t index, const Node* element) const;
  // Whether any selector without a pseudo-element matches.
  bool matches_any(const Node* element) const;
  // Whether the selector at `index` relates elements to their siblings ("+", "~").
  bool looks_at_siblings(std::size_t index) const;
  // Attribute names the selectors test (to know which attribute changes restyle).
  void collect_attribute_names(std::vector<Atom>& out) const;

 private:
  friend std::optional<SelectorList> parse_selector_list(std::string_view, InternTable&);
  std::vector<std::unique_ptr<ComplexSelector>> selectors_;
};

// Parses a selector list; absent when any part does not parse (the whole list
// is then invalid, as in CSS).
std::optional<SelectorList> parse_selector_list(std::string_view text, InternTable& names);

// First element in document order strictly inside `scope` that matches.
Node* query_first(const SelectorList& list, Node* scope);

}  // namespace ostrel::css
