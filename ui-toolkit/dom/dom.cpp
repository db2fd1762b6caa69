#include "dom/dom.h"

#include <algorithm>

#include "common/text.h"
#include "src/memory_usage.h"

namespace ostrel {
namespace {

constexpr std::size_t chunk_size = 256;

constexpr std::string_view known_names[] = {
    "",
#define OSTREL_ATOM(id, text) text,
#include "dom/atoms.inc"
#undef OSTREL_ATOM
};

ControlKind control_kind_of(const Node* element) {
  switch (element->tag_kind) {
    case TagKind::input: {
      const std::string* type = attribute_value(element, atom_type);
      if (!type) return ControlKind::text;
      const std::string t = vx::ascii_lower(vx::trim(*type));
      if (t == "checkbox") return ControlKind::checkbox;
      if (t == "radio") return ControlKind::radio;
      if (t == "button" || t == "submit" || t == "reset") return ControlKind::button;
      if (t == "hidden") return ControlKind::none;  // a value for the page, never shown
      return ControlKind::text;
    }
    case TagKind::button:
      return ControlKind::button;
    default:
      return ControlKind::none;
  }
}

// Class list parsing: white-space separated tokens, duplicates dropped.
void rebuild_classes(Node* element, std::string_view text) {
  element->classes.clear();
  InternTable& names = element->document->names;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && is_html_space(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !is_html_space(text[end])) ++end;
    if (end > pos && element->classes.size() < 0xFFFF) {
      const Atom atom = names.intern(text.substr(pos, end - pos));
      if (std::find(element->classes.begin(), element->classes.end(), atom) == element->classes.end())
        element->classes.push_back(atom);
    }
    pos = end;
  }
}

bool is_data_attribute(std::string_view name) { return name.starts_with("data-"); }

}  // namespace

InternTable::InternTable() {
  for (std::string_view name : known_names) {
    ids_.emplace(std::string(name), static_cast<Atom>(names_.size()));
    names_.emplace_back(name);
  }
}

Atom InternTable::intern(std::string_view name) {
  if (name.empty()) return no_atom;
  if (auto it = ids_.find(name); it != ids_.end()) return it->second;
  const Atom atom = static_cast<Atom>(names_.size());
  names_.emplace_back(name);
  ids_.emplace(std::string(name), atom);
  return atom;
}

Atom InternTable::find(std::string_view name) const {
  if (name.empty()) return no_atom;
  auto it = ids_.find(name);
  return it == ids_.end() ? no_atom : it->second;
}

TagKind tag_kind_of(Atom tag) {
  switch (tag) {
#define OSTREL_TAG(id) \
  case atom_##id:      \
    return TagKind::id;
#include "dom/tags.inc"
#undef OSTREL_TAG
    default:
      return TagKind::other;
  }
}

bool is_void_element(TagKind kind) {
  switch (kind) {
    case TagKind::meta:
    case TagKind::link:
    case TagKind::base:
    case TagKind::input:
    case TagKind::img:
    case TagKind::br:
    case TagKind::hr:
    case TagKind::col:
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Document

Document::Document() { document_node = new_node(NodeType::document); }

std::size_t InternTable::memory_usage() const {
  std::size_t bytes = memory::heap(ids_) + names_.size() * sizeof(std::string);
  for (const std::string& name : names_) bytes += 2 * memory::heap(name);  // the map keeps a copy
  return bytes;
}

std::size_t Document::memory_usage() const {
  std::size_t bytes = names.memory_usage() + memory::heap(author_css) + memory::heap(scratch) +
                      memory::heap(free_nodes_) + memory::heap(free_attributes_) + memory::heap(deferred_free);
  for (const auto& chunk : node_chunks_) {
    bytes += chunk_size * sizeof(Node);
    for (std::size_t i = 0; i < chunk_size; ++i) {
      const Node& n = chunk[i];
      bytes += memory::heap(n.classes) + memory::heap(n.listeners) + memory::heap(n.text);
    }
  }
  for (const auto& chunk : attribute_chunks_) {
    bytes += chunk_size * sizeof(Attribute);
    for (std::size_t i = 0; i < chunk_size; ++i) bytes += memory::heap(chunk[i].value);
  }
  return bytes;
}

void add_document_usage(const Document& document, MemoryUsage& out) {
  out.dom += document.memory_usage();
  out.images += memory::heap(document.images);
  for (const auto& [name, image] : document.images) {
    out.images += memory::heap(image.bytes);
    if (image.picture) {
      out.images += sizeof(image::SvgPicture) + memory::heap(image.picture->shapes);
      for (const image::SvgShape& shape : image.picture->shapes) out.images += memory::heap(shape.path);
    }
  }
}

Document::~Document() {  // the chunks own every node and attribute
  if (accessibility) accessibility->document_gone();
}

Node* Document::new_node(NodeType type) {
  if (free_nodes_.empty()) {
    node_chunks_.push_back(std::make_unique<Node[]>(chunk_size));
    Node* chunk = node_chunks_.back().get();
    free_nodes_.reserve(free_nodes_.size() + chunk_size);
    for (std::size_t i = chunk_size; i-- > 0;) free_nodes_.push_back(&chunk[i]);
  }
  Node* node = free_nodes_.back();
  free_nodes_.pop_back();
  node->document = this;
  node->type = type;
  node->serial = ++next_serial;
  node->flags = flag_needs_restyle | flag_needs_layout | flag_needs_paint;
  return node;
}

Attribute* Document::new_attribute(Atom name, std::string_view value) {
  if (free_attributes_.empty()) {
    attribute_chunks_.push_back(std::make_unique<Attribute[]>(chunk_size));
    Attribute* chunk = attribute_chunks_.back().get();
    free_attributes_.reserve(free_attributes_.size() + chunk_size);
    for (std::size_t i = chunk_size; i-- > 0;) free_attributes_.push_back(&chunk[i]);
  }
  // Assign before taking the record, so a failed allocation leaves the list intact.
  Attribute* attribute = free_attributes_.back();
  attribute->value.assign(value);
  free_attributes_.pop_back();
  attribute->name = name;
  attribute->next = nullptr;
  return attribute;
}

void Document::recycle_attribute(Attribute* attribute) {
  attribute->name = no_atom;
  attribute->value.clear();  // keeps its capacity for the next value
  attribute->next = nullptr;
  free_attributes_.push_back(attribute);
}

Node* Document::create_element(std::string_view tag_name) {
  const Atom tag = names.intern(vx::ascii_lower(tag_name));
  Node* element = new_node(NodeType::element);
  element->tag = tag;
  element->tag_kind = tag_kind_of(tag);
  element->control = control_kind_of(element);
  return element;
}

Node* Document::create_text(std::string_view text) {
  std::string copy(text);
  Node* node = new_node(NodeType::text);
  node->text = std::move(copy);
  return node;
}

void Document::invalidate(Node* node, std::uint32_t what) {
  wants_frame = true;
  layout_stale = true;
  if (!node) return;
  node->flags |= what;
  if (what & flag_needs_restyle) {
    // Let the style walk find this node without visiting unmarked subtrees.
    for (Node* p = node->parent; p && !(p->flags & flag_descendant_needs_restyle); p = p->parent)
      p->flags |= flag_descendant_needs_restyle;
  }
  if (what & (flag_needs_layout | flag_style_changed)) {
    for (Node* p = node->parent; p && !(p->flags & flag_descendant_needs_layout); p = p->parent)
      p->flags |= flag_descendant_needs_layout;
  }
}

void Document::free_subtree_now(Node* node) {
  // Iterative post-order walk: documents can be deep, the stack is not.
  Node* current = node;
  while (current) {
    if (current->first_child) {
      current = current->first_child;
      continue;
    }
    Node* next = nullptr;
    Node* done = current;
    if (done != node) {
      next = done->next ? done->next : done->parent;
      if (done->parent && done->parent->first_child == done) done->parent->first_child = done->next;
    }
    if (edit.node == done) edit.node = nullptr;  // nothing draws a caret in a recycled node
    for (Attribute* a = done->attributes; a;) {
      Attribute* following = a->next;
      recycle_attribute(a);
      a = following;
    }
    // Keep the string and vector capacities for reuse; reset everything else.
    done->attributes = nullptr;
    done->classes.clear();
    done->listeners.clear();
    done->text.clear();
    done->type = NodeType::free;
    done->tag = no_atom;
    done->tag_kind = TagKind::other;
    done->control = ControlKind::none;
    done->flags = 0;
    done->parent = done->first_child = done->last_child = done->prev = done->next = nullptr;
    done->scroll = {0, 0};
    done->style.reset();
    done->layout_box = nullptr;
    done->layout_generation = 0;
    free_nodes_.push_back(done);
    if (done == node) break;
    current = next;
  }
}

void Document::release_subtree(Node* node) {
  if (dispatch_depth > 0) {
    // Listeners of nodes that leave the tree during a dispatch do not run any
    // more, but the records stay valid until the outermost dispatch ends.
    for (Node* n = node; n;) {
      for (Listener& l : n->listeners) l.removed = true;
      if (n->first_child) {
        n = n->first_child;
        continue;
      }
      while (n != node && !n->next) n = n->parent;
      n = (n == node) ? nullptr : n->next;
    }
    node->flags |= flag_removal_deferred;
    deferred_free.push_back(node);
    return;
  }
  free_subtree_now(node);
}

void Document::end_dispatch() {
  if (--dispatch_depth > 0) return;
  std::vector<Node*> pending;
  pending.swap(deferred_free);
  for (Node* node : pending) free_subtree_now(node);
}

// ---------------------------------------------------------------------------
// Tree helpers

Node* first_real_child(const Node* node) {
  Node* child = node->first_child;
  while (child && child->is_pseudo()) child = child->next;
  return child;
}

Node* next_real_sibling(const Node* node) {
  Node* sibling = node->next;
  while (sibling && sibling->is_pseudo()) sibling = sibling->next;
  return sibling;
}

Node* prev_real_sibling(const Node* node) {
  Node* sibling = node->prev;
  while (sibling && sibling->is_pseudo()) sibling = sibling->prev;
  return sibling;
}

Node* host_element(Node* node) {
  while (node && node->is_pseudo()) node = node->parent;
  return node;
}

void detach(Node* child) {
  Node* parent = child->parent;
  if (!parent) return;
  if (!child->is_pseudo()) parent->document->tell_accessibility(parent, AccessibleChange::children);
  (child->prev ? child->prev->next : parent->first_child) = child->next;
  (child->next ? child->next->prev : parent->last_child) = child->prev;
  child->parent = child->prev = child->next = nullptr;
}

void link_child(Node* parent, Node* child, Node* reference) {
  if (!reference && !child->is_pseudo() && parent->last_child && parent->last_child->is_pseudo() &&
      parent->last_child->tag == atom_pseudo_after)
    reference = parent->last_child;
  child->parent = parent;
  if (!child->is_pseudo()) parent->document->tell_accessibility(parent, AccessibleChange::children);
  if (reference) {
    child->next = reference;
    child->prev = reference->prev;
    (reference->prev ? reference->prev->next : parent->first_child) = child;
    reference->prev = child;
  } else {
    child->prev = parent->last_child;
    child->next = nullptr;
    (parent->last_child ? parent->last_child->next : parent->first_child) = child;
    parent->last_child = child;
  }
}

bool is_inclusive_ancestor(const Node* ancestor, const Node* node) {
  for (; node; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

const Attribute* find_attribute(const Node* element, Atom name) {
  if (name == no_atom) return nullptr;
  for (const Attribute* a = element->attributes; a; a = a->next)
    if (a->name == name) return a;
  return nullptr;
}

const std::string* attribute_value(const Node* element, Atom name) {
  const Attribute* a = find_attribute(element, name);
  return a ? &a->value : nullptr;
}

bool has_class(const Node* element, Atom name) {
  return name != no_atom && std::find(element->classes.begin(), element->classes.end(), name) != element->classes.end();
}

namespace {

// What changes when an attribute changes, beyond the attribute itself.
void attribute_changed(Node* element, Atom name, const std::string* value) {
  Document* doc = element->document;
  doc->tell_accessibility(element, name == atom_alt || name == atom_title || name == atom_aria_label
                                       ? AccessibleChange::name
                                       : AccessibleChange::state);
  switch (name) {
    case atom_class:
      rebuild_classes(element, value ? std::string_view(*value) : std::string_view());
      break;
    case atom_type:
      element->control = control_kind_of(element);
      doc->invalidate(element, flag_needs_layout | flag_needs_paint);  // a check box is a picture
      break;
    case atom_disabled:
      element->flags = value ? (element->flags | flag_disabled) : (element->flags & ~flag_disabled);
      break;
    case atom_checked:
      if (element->tag_kind == TagKind::input)
        element->flags = value ? (element->flags | flag_checked) : (element->flags & ~flag_checked);
      break;
    case atom_selected:
      if (element->tag_kind == TagKind::option)
        element->flags = value ? (element->flags | flag_checked) : (element->flags & ~flag_checked);
      break;
    case atom_value:
      if (element->tag_kind == TagKind::input && !(element->flags & flag_value_dirty)) {
        element->text = value ? *value : std::string();
        doc->invalidate(element, flag_needs_layout | flag_needs_paint);
      }
      break;
    case atom_placeholder:
      if (element->tag_kind == TagKind::input) doc->invalidate(element, flag_needs_layout | flag_needs_paint);
      break;
    case atom_src:
    case atom_width:
    case atom_height:
    case atom_colspan:
      doc->invalidate(element, flag_needs_layout | flag_needs_paint);
      break;
    default:
      break;
  }
  if (is_data_attribute(doc->names.name(name)) &&
      std::find(doc->selector_attributes.begin(), doc->selector_attributes.end(), name) ==
          doc->selector_attributes.end()) {
    doc->invalidate(element, flag_needs_paint);  // nothing the style sheet looks at
    return;
  }
  // The new style tells the layout what changed; attributes that make boxes
  // differently (src, type, width, height) asked for new boxes above.
  doc->invalidate(element, flag_needs_restyle | flag_needs_paint);
}

}  // namespace

void set_attribute_value(Node* element, Atom name, std::string_view value) {
  Attribute** link = &element->attributes;
  for (; *link; link = &(*link)->next) {
    if ((*link)->name == name) {
      (*link)->value.assign(value);
      attribute_changed(element, name, &(*link)->value);
      return;
    }
  }
  *link = element->document->new_attribute(name, value);
  attribute_changed(element, name, &(*link)->value);
}

bool remove_attribute_value(Node* element, Atom name) {
  for (Attribute** link = &element->attributes; *link; link = &(*link)->next) {
    if ((*link)->name == name) {
      Attribute* gone = *link;
      *link = gone->next;
      element->document->recycle_attribute(gone);
      attribute_changed(element, name, nullptr);
      return true;
    }
  }
  return false;
}

std::vector<Node*> options_of(const Node* select) {
  std::vector<Node*> found;
  for (Node* n = select->first_child; n;) {
    if (n->is_element() && n->tag_kind == TagKind::option) found.push_back(n);
    if (n->first_child && n->tag_kind != TagKind::option) {
      n = n->first_child;
      continue;
    }
    while (n && n != select && !n->next) n = n->parent;
    n = (!n || n == select) ? nullptr : n->next;
  }
  return found;
}

Node* selected_option(const Node* select) {
  const std::vector<Node*> all = options_of(select);
  for (Node* o : all)
    if (o->flags & flag_checked) return o;
  return all.empty() ? nullptr : all.front();
}

std::string option_label(const Node* option) {
  std::string text;
  append_text_content(option, text);
  std::string label;
  append_collapsed_space(label, text);
  if (!label.empty() && label.back() == ' ') label.pop_back();
  return label;
}

void append_collapsed_space(std::string& out, std::string_view text, std::size_t limit) {
  for (char c : text) {
    if (out.size() > limit) return;
    if (is_html_space(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
}

void append_text_content(const Node* node, std::string& out) {
  if (node->is_text()) {
    out += node->text;
    return;
  }
  for (const Node* n = first_real_child(node); n;) {
    if (n->is_text()) out += n->text;
    if (Node* child = n->is_element() ? first_real_child(n) : nullptr) {
      n = child;
      continue;
    }
    while (n != node && !next_real_sibling(n)) n = n->parent;
    if (n == node) break;
    n = next_real_sibling(n);
  }
}

std::string dump(const Node* node) {
  std::string out;
  const Document* doc = node->document;
  auto line = [&](const Node* n, int depth) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    switch (n->type) {
      case NodeType::document:
        out += "#document";
        break;
      case NodeType::text: {
        out += '"';
        for (char c : n->text) {
          if (c == '\n')
            out += "\\n";
          else if (c == '\t')
            out += "\\t";
          else if (c == '"')
            out += "\\\"";
          else
            out += c;
        }
        out += '"';
        break;
      }
      case NodeType::element:
        out += doc->names.name(n->tag);
        for (const Attribute* a = n->attributes; a; a = a->next) {
          out += ' ';
          out += doc->names.name(a->name);
          out += "=\"";
          out += a->value;
          out += '"';
        }
        break;
      case NodeType::free:
        out += "#free";
        break;
    }
    out += '\n';
  };
  int depth = 0;
  const Node* n = node;
  while (n) {
    line(n, depth);
    if (Node* child = first_real_child(n)) {
      n = child;
      ++depth;
      continue;
    }
    while (n != node && !next_real_sibling(n)) {
      n = n->parent;
      --depth;
    }
    if (n == node) break;
    n = next_real_sibling(n);
  }
  return out;
}

}  // namespace ostrel
