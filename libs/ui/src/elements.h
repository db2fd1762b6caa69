// Small walks over the document the list helpers share.
#pragma once

#include <string_view>

#include "ostrel/ostrel.h"

namespace vx::ui::detail {

inline ostrel::Node* by_id(ostrel::Document* document, std::string_view id) {
  return document ? ostrel::get_element_by_id(document, id.data(), id.size()) : nullptr;
}

// The next element sibling: the templates' line breaks are text nodes.
inline ostrel::Node* next_element(ostrel::Node* node) {
  do node = ostrel::next_sibling(node);
  while (node && ostrel::is_text(node));
  return node;
}

inline ostrel::Node* first_element(ostrel::Node* parent) {
  ostrel::Node* node = ostrel::first_child(parent);
  return node && ostrel::is_text(node) ? next_element(node) : node;
}

}  // namespace vx::ui::detail
