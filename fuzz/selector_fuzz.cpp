// Any bytes as a selector list against a fixed document: parsing and matching
// never crash, query_first agrees with matches_any in document order, and
// ":not(list)" matches exactly the elements the list does not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "css/selector.h"
#include "dom/dom.h"
#include "html/parser.h"

namespace {

using namespace ostrel;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::string_view page =
    "<html data-theme=light><body><div id=top class='k1 k2'><ul id=list>text<li class=a data-index=1>"
    "<b>x</b></li><li lang=en-US title='a\"b'></li> <li></li></ul><section><p id=p1>para</p><p></p>"
    "<button id=btn-clean disabled>go</button><input type=checkbox checked><select><option selected>o</option>"
    "</select><textarea></textarea></section><svg viewBox='0 0 1 1'><linearGradient id=g></linearGradient>"
    "<path></path></svg><span class='\xed\x95\x9c\xea\xb8\x80'></span><div id=123><em></em></div></div></body></html>";

struct Fixture {
  Document doc;
  std::vector<Node*> elements;  // document order, generated boxes left out

  Fixture() {
    parse_html(doc, doc.document_node, page);
    for (Node* n = first_real_child(doc.document_node); n;) {
      if (n->is_element()) elements.push_back(n);
      if (Node* child = first_real_child(n)) {
        n = child;
        continue;
      }
      while (n != doc.document_node && !next_real_sibling(n)) n = n->parent;
      if (n == doc.document_node) break;
      n = next_real_sibling(n);
    }
    // Generated boxes and state, which navigation and pseudo-classes must handle.
    for (std::size_t i = 0; i < elements.size(); i += 3) {
      Node* box = doc.create_element("b");
      box->flags |= flag_pseudo;
      link_child(elements[i], box, first_real_child(elements[i]));
    }
    for (std::size_t i = 0; i < elements.size(); i += 4) elements[i]->flags |= flag_hover | flag_focus;
    for (std::size_t i = 1; i < elements.size(); i += 5) elements[i]->flags |= flag_active;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture* fixture = new Fixture;  // built once, never freed
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // A copy per input keeps the fixture's table from growing with every run; the
  // document's own names keep their atoms in the copy.
  InternTable names = fixture->doc.names;

  const auto list = css::parse_selector_list(text, names);
  if (!list) return 0;
  check(list->size() > 0);
  std::vector<Atom> attributes;
  list->collect_attribute_names(attributes);

  bool has_pseudo = false;
  for (std::size_t i = 0; i < list->size(); ++i) {
    has_pseudo |= list->pseudo_element(i) != css::PseudoElement::none;
    (void)list->specificity(i);
  }

  std::vector<bool> any;
  Node* first = nullptr;
  for (Node* e : fixture->elements) {
    bool expected = false;
    for (std::size_t i = 0; i < list->size(); ++i)
      if (list->matches(i, e) && list->pseudo_element(i) == css::PseudoElement::none) expected = true;
    const bool got = list->matches_any(e);
    check(got == expected);
    any.push_back(got);
    if (got && !first) first = e;
  }
  check(css::query_first(*list, fixture->doc.document_node) == first);
  check(!list->matches_any(fixture->doc.document_node));

  if (!has_pseudo) {
    const std::string wrapped = ":not(" + std::string(text) + ")";
    if (const auto negated = css::parse_selector_list(wrapped, names); negated && negated->size() == 1) {
      for (std::size_t i = 0; i < fixture->elements.size(); ++i)
        check(negated->matches(0, fixture->elements[i]) == !any[i]);
    }
  }
  return 0;
}
