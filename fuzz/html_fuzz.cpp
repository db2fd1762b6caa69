// Any bytes as a document: parsing never fails, the tree stays well formed,
// and the interface keeps working on whatever tree came out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "dom/dom.h"
#include "ostrel/ostrel.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Parent, sibling and last-child links agree everywhere.
void check_links(const ostrel::Node* root) {
  for (const ostrel::Node* n = root; n;) {
    const ostrel::Node* prev = nullptr;
    for (const ostrel::Node* c = n->first_child; c; c = c->next) {
      check(c->parent == n && c->prev == prev);
      prev = c;
    }
    check(n->last_child == prev);
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n != root && !n->next) n = n->parent;
    n = n == root ? nullptr : n->next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ostrel::View* view = ostrel::view_new();
  ostrel::Document* doc = ostrel::view_document(view);
  check(ostrel::load_html(view, reinterpret_cast<const char*>(data), size) == 0);
  check(ostrel::document_root(doc) && ostrel::document_body(doc));
  check_links(doc->document_node);
  check(vx::is_valid_utf8(ostrel::dump(doc->document_node)));

  std::size_t length = 0;
  const char* text = ostrel::text_content(ostrel::document_root(doc), &length);
  check(text && text[length] == '\0');
  ostrel::query_selector(ostrel::document_body(doc), "div > p, td:first-child, [data-x]", 34);

  // Take the tree apart from the front; every node must come off cleanly.
  ostrel::Node* body = ostrel::document_body(doc);
  while (ostrel::Node* child = ostrel::first_child(body)) ostrel::remove(child);
  check_links(doc->document_node);
  ostrel::view_free(view);
  return 0;
}
