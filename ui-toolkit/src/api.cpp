// The C-style interface over the document model. Every entry point checks its
// arguments, keeps std::bad_alloc from escaping and leaves the tree unchanged
// when it fails.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <type_traits>

#include "common/text.h"
#include "css/selector.h"
#include "dom/events.h"
#include "html/parser.h"
#include "layout/box.h"
#include "ostrel/image/probe.h"
#include "ostrel/image/svg.h"
#include "ostrel/ostrel.h"
#include "src/controls.h"
#include "src/view.h"

namespace ostrel {
namespace {

thread_local char last_error_text[256] = "";
ViewPlatform* platform = nullptr;

// Quoted names in messages are cut so a huge argument cannot flood the text.
int quoted_length(std::size_t length) { return static_cast<int>(std::min<std::size_t>(length, 128)); }

int fail(int status, const char* message) {
  set_last_error("%s", message);
  return status;
}

template <class F, class R = std::invoke_result_t<F&>>
R guarded(F&& body, std::type_identity_t<R> on_oom) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    set_last_error("out of memory");
    return on_oom;
  }
}

bool live(const Node* node) { return node && node->type != NodeType::free; }
bool live_element(const Node* node) { return node && node->type == NodeType::element; }

std::string_view view_of(const char* text, std::size_t length) {
  return text ? std::string_view(text, length) : std::string_view();
}

// A node waiting to be freed at the end of a dispatch, or inside such a subtree.
bool in_removed_subtree(const Node* node) {
  for (; node; node = node->parent)
    if (node->flags & flag_removal_deferred) return true;
  return false;
}

void request_frame(Document* doc) {
  doc->wants_frame = true;
  if (doc->view && doc->view->window && platform) platform->request_frame(*doc->view);
}

// Marks every img whose src names a missing image as requested (the loader is
// asked at the next frame) and every img showing `changed` for layout; an
// element whose background shows `changed` is painted again.
void resolve_images(Document* doc, Node* subtree, Atom changed = no_atom) {
  for (Node* n = subtree; n;) {
    if (n->is_element() && n->tag_kind == TagKind::img) {
      if (const std::string* src = attribute_value(n, atom_src); src && !src->empty()) {
        const Atom name = doc->names.intern(*src);
        if (name == changed) doc->invalidate(n, flag_needs_layout | flag_needs_paint);
        if (!doc->images.contains(name) && doc->requested_images.insert(name).second)
          doc->pending_image_requests.push_back(name);
      }
    }
    if (changed != no_atom && n->is_element() && n->style && !n->style->background_image.empty() &&
        doc->names.find(n->style->background_image) == changed)
      doc->invalidate(n, flag_needs_paint);
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n != subtree && !n->next) n = n->parent;
    n = (n == subtree) ? nullptr : n->next;
  }
}

// A node arrives or leaves among siblings: :first-child, :last-child and the
// sibling combinators may now match differently.
void siblings_changed(Node* node) {
  Document* doc = node->document;
  if (doc->sibling_selectors && node->parent) {
    doc->invalidate(node->parent, flag_needs_restyle);
    return;
  }
  if (Node* prev = prev_real_sibling(node)) doc->invalidate(prev, flag_needs_restyle);
  if (Node* next = next_real_sibling(node)) doc->invalidate(next, flag_needs_restyle);
}

Node* find_child(Node* parent, TagKind kind) {
  if (!parent) return nullptr;
  for (Node* c = parent->first_child; c; c = c->next)
    if (c->is_element() && c->tag_kind == kind) return c;
  return nullptr;
}

void remove_children(Node* node) {
  while (Node* child = node->first_child) {
    detach(child);
    node->document->release_subtree(child);
  }
}

Atom lower_name_atom(Document* doc, const char* name, std::size_t length, bool intern) {
  const std::string lower = vx::ascii_lower(std::string_view(name, length));
  return intern ? doc->names.intern(lower) : doc->names.find(lower);
}

void rebuild_class_attribute(Node* element, const std::vector<Atom>& classes) {
  std::string text;
  for (Atom a : classes) {
    if (!text.empty()) text += ' ';
    text += element->document->names.name(a);
  }
  set_attribute_value(element, atom_class, text);
}

Node* owning_select(Node* option) {
  for (Node* p = option->parent; p && p->is_element(); p = p->parent)
    if (p->tag_kind == TagKind::select) return p;
  return nullptr;
}

template <class F>
void for_each_element(Node* root, F&& f) {
  for (Node* n = root; n;) {
    if (n->is_element()) f(n);
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n != root && !n->next) n = n->parent;
    n = (n == root) ? nullptr : n->next;
  }
}

std::string option_value(Node* option) {
  if (const std::string* v = attribute_value(option, atom_value)) return *v;
  std::string text;
  append_text_content(option, text);
  return std::string(vx::trim(text));
}

const char* hand_out(Document* doc, std::string&& text, std::size_t* length) {
  std::size_t capacity = std::max<std::size_t>(doc->scratch.capacity(), 256);
  while (capacity < text.size() + 1) capacity *= 2;
  doc->scratch.reserve(capacity);
  doc->scratch.assign(text);
  if (length) *length = doc->scratch.size();
  return doc->scratch.c_str();
}

// Names of attributes tested by selectors in a style sheet, found without a full
// parse: "[data-x" anywhere outside strings is enough to know a change matters.
void scan_selector_attributes(Document* doc, std::string_view css) {
  doc->selector_attributes.clear();
  for (std::size_t pos = css.find('['); pos != std::string_view::npos; pos = css.find('[', pos + 1)) {
    std::size_t start = pos + 1;
    while (start < css.size() && (css[start] == ' ' || css[start] == '\t' || css[start] == '\n')) ++start;
    std::size_t end = start;
    while (end < css.size() &&
           (std::isalnum(static_cast<unsigned char>(css[end])) || css[end] == '-' || css[end] == '_'))
      ++end;
    if (end > start) {
      const Atom a = doc->names.intern(vx::ascii_lower(css.substr(start, end - start)));
      if (std::find(doc->selector_attributes.begin(), doc->selector_attributes.end(), a) ==
          doc->selector_attributes.end())
        doc->selector_attributes.push_back(a);
    }
  }
}

}  // namespace

void set_last_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(last_error_text, sizeof last_error_text, format, args);
  va_end(args);
}

void set_view_platform(ViewPlatform* p) { platform = p; }

void run_frame_tasks(Document& doc) {
  if (!doc.image_loader) return;
  std::vector<Atom> pending;
  pending.swap(doc.pending_image_requests);
  for (Atom name : pending) {
    if (doc.images.contains(name)) continue;
    const std::string_view text = doc.names.name(name);
    doc.image_loader(&doc, text.data(), text.size(), doc.image_loader_data);
  }
}

const char* last_error() { return last_error_text; }
void clear_last_error() { last_error_text[0] = '\0'; }

// ---------------------------------------------------------------------------
// Views and documents

View* view_new() {
  return guarded(
      []() -> View* {
        auto view = std::make_unique<View>();
        view->document = std::make_unique<Document>();
        view->document->view = view.get();
        return view.release();
      },
      nullptr);
}

void view_free(View* view) {
  if (!view) return;
  if (view->window && platform) platform->detach(*view);
  delete view;
}

int attach(View* view, void* parent_window) {
  if (!view || !parent_window) return fail(status_bad_argument, "attach: bad argument");
  if (view->window) return fail(status_already_attached, "attach: already attached");
  if (!platform) return fail(status_window_failed, "attach: parent is not a window");
  const int status = platform->attach(*view, parent_window);
  if (status == status_ok) {
    view->parent = parent_window;
    view->document->invalidate(view->document->document_node,
                               flag_needs_restyle | flag_needs_layout | flag_needs_paint);
  }
  return status;
}

Document* view_document(View* view) { return view ? view->document.get() : nullptr; }

int set_bounds(View* view, int x, int y, int width, int height) {
  if (!view) return fail(status_bad_argument, "set_bounds: bad argument");
  view->x = x;
  view->y = y;
  view->width = std::max(0, width);
  view->height = std::max(0, height);
  view->document->layout_stale = true;  // the viewport may have changed
  if (view->window && platform) platform->move(*view);
  return status_ok;
}

int load_html(View* view, const char* text, std::size_t length) {
  if (!view || (!text && length)) return fail(status_bad_argument, "load_html: bad argument");
  Document* doc = view->document.get();
  Node* holder = nullptr;
  try {
    holder = doc->new_node(NodeType::document);
    parse_html(*doc, holder, view_of(text, length));
  } catch (const std::bad_alloc&) {
    if (holder) doc->release_subtree(holder);
    return fail(status_out_of_memory, "html: out of memory");
  }
  remove_children(doc->document_node);
  while (Node* child = holder->first_child) {
    detach(child);
    link_child(doc->document_node, child, nullptr);
  }
  doc->release_subtree(holder);
  doc->root = find_child(doc->document_node, TagKind::html);
  doc->head = find_child(doc->root, TagKind::head);
  doc->body = find_child(doc->root, TagKind::body);
  guarded(
      [&] {
        resolve_images(doc, doc->document_node);
        return 0;
      },
      0);
  doc->invalidate(doc->document_node, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
  request_frame(doc);
  return status_ok;
}

int load_css(View* view, const char* text, std::size_t length) {
  if (!view || (!text && length)) return fail(status_bad_argument, "load_css: bad argument");
  return guarded(
      [&] {
        Document* doc = view->document.get();
        std::string sheet(view_of(text, length));
        scan_selector_attributes(doc, sheet);
        doc->author_css = std::move(sheet);
        doc->css_dirty = true;
        doc->invalidate(doc->document_node, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
        request_frame(doc);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

Node* document_root(Document* document) { return document ? document->root : nullptr; }
Node* document_body(Document* document) { return document ? document->body : nullptr; }

int set_color_scheme(Document* document, int dark, int second) {
  if (!document) return fail(status_bad_argument, "set_color_scheme: bad argument");
  const bool d = dark != 0, s = second != 0;
  if (document->dark == d && document->second_scheme_flag == s) return status_ok;
  document->dark = d;
  document->second_scheme_flag = s;
  document->invalidate(document->document_node, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
  request_frame(document);
  return status_ok;
}

int set_image_loader(Document* document, ImageLoader loader, void* user_data) {
  if (!document) return fail(status_bad_argument, "set_image_loader: bad argument");
  return guarded(
      [&] {
        document->image_loader = loader;
        document->image_loader_data = user_data;
        document->requested_images.clear();
        document->pending_image_requests.clear();
        resolve_images(document, document->document_node);
        if (!document->pending_image_requests.empty()) request_frame(document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int image_set(Document* document, const char* name, std::size_t name_length, const void* bytes, std::size_t size) {
  if (!document || !name || !name_length || !bytes || !size)
    return fail(status_bad_argument, "image_set: bad argument");
  return guarded(
      [&]() -> int {
        const std::string_view data(static_cast<const char*>(bytes), size);
        ImageEntry entry;
        if (image::looks_like_svg(data)) {
          auto picture = image::parse_svg(data);
          if (!picture) {
            set_last_error("image_set: cannot parse SVG '%.*s'", quoted_length(name_length), name);
            return status_bad_argument;
          }
          entry.is_svg = true;
          entry.width = static_cast<std::uint32_t>(std::max(1.0f, picture->width + 0.5f));
          entry.height = static_cast<std::uint32_t>(std::max(1.0f, picture->height + 0.5f));
          entry.picture = std::make_shared<const image::SvgPicture>(std::move(*picture));
        } else {
          const auto info = image::probe_raster(data);
          if (!info) {
            set_last_error("image_set: unsupported or corrupt image '%.*s'", quoted_length(name_length), name);
            return status_bad_argument;
          }
          entry.width = std::max<std::uint32_t>(1, info->width);
          entry.height = std::max<std::uint32_t>(1, info->height);
        }
        entry.bytes.assign(data);
        entry.generation = ++document->image_generation;
        const Atom atom = document->names.intern(std::string_view(name, name_length));
        document->images.insert_or_assign(atom, std::move(entry));
        document->requested_images.erase(atom);
        resolve_images(document, document->document_node, atom);
        request_frame(document);
        return status_ok;
      },
      static_cast<int>(status_out_of_memory));
}

// ---------------------------------------------------------------------------
// Nodes

Node* create_element(Document* document, const char* tag, std::size_t length) {
  if (!document || !tag || !length) {
    set_last_error("create_element: bad argument");
    return nullptr;
  }
  return guarded([&] { return document->create_element(std::string_view(tag, length)); }, static_cast<Node*>(nullptr));
}

Node* create_text(Document* document, const char* text, std::size_t length) {
  if (!document || (!text && length)) {
    set_last_error("create_text: bad argument");
    return nullptr;
  }
  return guarded([&] { return document->create_text(view_of(text, length)); }, static_cast<Node*>(nullptr));
}

int insert(Node* parent, Node* child, Node* reference) {
  if (!live(parent) || !live(child) || parent->document != child->document ||
      (reference && (!live(reference) || reference->document != parent->document)) || in_removed_subtree(child))
    return fail(status_bad_argument, "insert: bad argument");
  if (parent->is_text() || child->type == NodeType::document || is_inclusive_ancestor(child, parent))
    return fail(status_bad_argument, "insert: would create a cycle or child of text");
  if (reference && reference->parent != parent)
    return fail(status_bad_argument, "insert: reference node is not a child");
  if (reference == child) return status_ok;  // already in place

  Document* doc = parent->document;
  if (Node* old = child->parent) {
    doc->invalidate(old, flag_needs_layout | flag_needs_paint);
    siblings_changed(child);
  }
  detach(child);
  link_child(parent, child, reference);
  doc->invalidate(parent, flag_needs_layout | flag_needs_paint);
  doc->invalidate(child, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
  siblings_changed(child);
  guarded(
      [&] {
        resolve_images(doc, child);
        return 0;
      },
      0);
  request_frame(doc);
  return status_ok;
}

int append_child(Node* parent, Node* child) { return insert(parent, child, nullptr); }

void remove(Node* node) {
  if (!live(node) || node->type == NodeType::document || (node->flags & flag_removal_deferred)) return;
  Document* doc = node->document;
  if (Node* p = node->parent) {
    doc->invalidate(p, flag_needs_layout | flag_needs_paint);
    siblings_changed(node);
    detach(node);
  }
  if (is_inclusive_ancestor(node, doc->root)) doc->root = nullptr;
  if (doc->head && is_inclusive_ancestor(node, doc->head)) doc->head = nullptr;
  if (doc->body && is_inclusive_ancestor(node, doc->body)) doc->body = nullptr;
  doc->release_subtree(node);
  request_frame(doc);
}

Node* first_child(Node* node) { return live(node) ? first_real_child(node) : nullptr; }
Node* next_sibling(Node* node) { return live(node) ? next_real_sibling(node) : nullptr; }

Node* parent(Node* node) {
  if (!live(node) || !node->parent || node->parent->type == NodeType::document) return nullptr;
  return node->parent;
}

bool is_text(Node* node) { return live(node) && node->is_text(); }

const char* tag_name(Node* element) {
  if (!live_element(element)) return "";
  return element->document->names.name(element->tag).data();
}

const char* get_attribute(Node* element, const char* name, std::size_t length, std::size_t* value_length) {
  if (value_length) *value_length = 0;
  if (!live_element(element) || !name || !length) return nullptr;
  const Attribute* a = find_attribute(element, lower_name_atom(element->document, name, length, false));
  if (!a) return nullptr;
  if (value_length) *value_length = a->value.size();
  return a->value.c_str();
}

int set_attribute(Node* element, const char* name, std::size_t length, const char* value, std::size_t value_length) {
  if (!live_element(element) || !name || !length || (!value && value_length))
    return fail(status_bad_argument, "set_attribute: bad argument");
  return guarded(
      [&] {
        const Atom atom = lower_name_atom(element->document, name, length, true);
        set_attribute_value(element, atom, view_of(value, value_length));
        request_frame(element->document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int remove_attribute(Node* element, const char* name, std::size_t length) {
  if (!live_element(element) || !name || !length) return fail(status_bad_argument, "remove_attribute: bad argument");
  return guarded(
      [&] {
        if (remove_attribute_value(element, lower_name_atom(element->document, name, length, false)))
          request_frame(element->document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int add_class(Node* element, const char* name, std::size_t length) {
  if (!live_element(element) || !name || !length) return fail(status_bad_argument, "add_class: bad argument");
  return guarded(
      [&] {
        const Atom atom = element->document->names.intern(std::string_view(name, length));
        if (has_class(element, atom)) return static_cast<int>(status_ok);
        std::vector<Atom> classes = element->classes;
        classes.push_back(atom);
        rebuild_class_attribute(element, classes);
        request_frame(element->document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int remove_class(Node* element, const char* name, std::size_t length) {
  if (!live_element(element) || !name || !length) return fail(status_bad_argument, "remove_class: bad argument");
  return guarded(
      [&] {
        const Atom atom = element->document->names.find(std::string_view(name, length));
        if (!has_class(element, atom)) return static_cast<int>(status_ok);
        std::vector<Atom> classes = element->classes;
        classes.erase(std::find(classes.begin(), classes.end(), atom));
        rebuild_class_attribute(element, classes);
        request_frame(element->document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int set_disabled(Node* element, bool disabled) {
  if (!live_element(element)) return fail(status_bad_argument, "set_disabled: bad argument");
  return guarded(
      [&] {
        if (disabled)
          set_attribute_value(element, atom_disabled, "");
        else
          remove_attribute_value(element, atom_disabled);
        request_frame(element->document);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

int set_text_content(Node* node, const char* text, std::size_t length) {
  if (!live(node) || node->type == NodeType::document || (!text && length))
    return fail(status_bad_argument, "set_text_content: bad argument");
  return guarded(
      [&] {
        Document* doc = node->document;
        const std::string_view value = view_of(text, length);
        if (node->is_text()) {
          node->text.assign(value);
          doc->invalidate(node->parent, flag_needs_layout | flag_needs_paint);
          doc->tell_accessibility(node, AccessibleChange::name);
        } else {
          Node* only = first_real_child(node);
          if (only && only->is_text() && !next_real_sibling(only) && !value.empty()) {
            only->text.assign(value);
            doc->tell_accessibility(only, AccessibleChange::name);
          } else {
            Node* fresh = value.empty() ? nullptr : doc->create_text(value);  // allocate before changing anything
            remove_children(node);
            if (fresh) link_child(node, fresh, nullptr);
          }
          doc->invalidate(node, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
        }
        request_frame(doc);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

const char* text_content(Node* node, std::size_t* length) {
  if (length) *length = 0;
  if (!live(node)) return nullptr;
  if (node->is_text()) {
    if (length) *length = node->text.size();
    return node->text.c_str();
  }
  return guarded(
      [&] {
        std::string text;
        append_text_content(node, text);
        return hand_out(node->document, std::move(text), length);
      },
      static_cast<const char*>(nullptr));
}

const char* get_value(Node* element, std::size_t* length) {
  if (length) *length = 0;
  if (!live_element(element)) return nullptr;
  return guarded(
      [&]() -> const char* {
        Document* doc = element->document;
        switch (element->tag_kind) {
          case TagKind::input:
            if (element->control == ControlKind::text) {
              if (length) *length = element->text.size();
              return element->text.c_str();
            }
            if (element->control == ControlKind::checkbox || element->control == ControlKind::radio) {
              const std::string* v = attribute_value(element, atom_value);
              return hand_out(doc, v ? std::string(*v) : std::string("on"), length);
            }
            break;
          case TagKind::textarea: {
            std::string text;
            append_text_content(element, text);
            return hand_out(doc, std::move(text), length);
          }
          case TagKind::select: {
            Node* option = selected_option(element);
            return hand_out(doc, option ? option_value(option) : std::string(), length);
          }
          case TagKind::option:
            return hand_out(doc, option_value(element), length);
          default:
            break;
        }
        const std::string* v = attribute_value(element, atom_value);
        return hand_out(doc, v ? std::string(*v) : std::string(), length);
      },
      static_cast<const char*>(nullptr));
}

int set_value(Node* element, const char* text, std::size_t length) {
  if (!live_element(element) || (!text && length)) return fail(status_bad_argument, "set_value: bad argument");
  const std::string_view value = view_of(text, length);
  if (element->tag_kind == TagKind::textarea) return set_text_content(element, text, length);
  return guarded(
      [&]() -> int {
        Document* doc = element->document;
        if (element->tag_kind == TagKind::select) {
          Node* match = nullptr;
          for_each_element(element, [&](Node* n) {
            if (!match && n->tag_kind == TagKind::option && option_value(n) == value) match = n;
          });
          if (!match) {
            set_last_error("set_value: no option with the value '%.*s'", quoted_length(value.size()), value.data());
            return status_bad_argument;
          }
          return set_checked(match, true);
        }
        if (element->tag_kind == TagKind::input && element->control == ControlKind::text) {
          element->text.assign(value);
          element->flags |= flag_value_dirty;
        } else {
          set_attribute_value(element, atom_value, value);
        }
        doc->invalidate(element, flag_needs_layout | flag_needs_paint);
        request_frame(doc);
        return status_ok;
      },
      static_cast<int>(status_out_of_memory));
}

bool is_checked(Node* element) {
  if (!live_element(element)) return false;
  const bool checkable = element->control == ControlKind::checkbox || element->control == ControlKind::radio ||
                         element->tag_kind == TagKind::option;
  return checkable && (element->flags & flag_checked) != 0;
}

int set_checked(Node* element, bool checked) {
  if (!live_element(element)) return fail(status_bad_argument, "set_checked: bad argument");
  Document* doc = element->document;
  auto set_flag = [doc](Node* n, bool on) {
    const std::uint32_t before = n->flags;
    n->flags = on ? (n->flags | flag_checked) : (n->flags & ~flag_checked);
    if (n->flags == before) return;
    doc->invalidate(n, flag_needs_restyle | flag_needs_paint);
    doc->tell_accessibility(n, AccessibleChange::state);
  };
  if (element->control == ControlKind::checkbox) {
    set_flag(element, checked);
  } else if (element->control == ControlKind::radio) {
    set_flag(element, checked);
    const std::string* group = attribute_value(element, atom_name);
    if (checked && group && !group->empty()) {
      // The other radios of the same group in this tree are cleared.
      Node* top = element;
      while (top->parent) top = top->parent;
      for_each_element(top, [&](Node* n) {
        if (n == element || n->control != ControlKind::radio) return;
        const std::string* other = attribute_value(n, atom_name);
        if (other && *other == *group) set_flag(n, false);
      });
    }
  } else if (element->tag_kind == TagKind::option) {
    set_flag(element, checked);
    if (Node* select = owning_select(element)) {
      if (checked && !find_attribute(select, atom_multiple)) {
        for_each_element(select, [&](Node* n) {
          if (n != element && n->tag_kind == TagKind::option) set_flag(n, false);
        });
      }
      doc->invalidate(select, flag_needs_restyle | flag_needs_layout | flag_needs_paint);
    }
  } else {
    return fail(status_bad_argument, "set_checked: bad argument");
  }
  request_frame(doc);
  return status_ok;
}

Node* get_element_by_id(Document* document, const char* id, std::size_t length) {
  if (!document || !id || !length) return nullptr;
  const std::string_view wanted(id, length);
  Node* found = nullptr;
  for (Node* n = document->document_node; n && !found;) {
    if (n->is_element()) {
      const std::string* v = attribute_value(n, atom_id);
      if (v && *v == wanted) found = n;
    }
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n && !n->next) n = n->parent;
    if (n) n = n->next;
  }
  return found;
}

Node* query_selector(Node* element, const char* selector, std::size_t length) {
  if (!live(element) || element->is_text() || !selector || !length) {
    set_last_error("query_selector: bad argument");
    return nullptr;
  }
  return guarded(
      [&]() -> Node* {
        const auto list = css::parse_selector_list(std::string_view(selector, length), element->document->names);
        if (!list) {
          set_last_error("query_selector: invalid selector '%.*s'", quoted_length(length), selector);
          return nullptr;
        }
        return css::query_first(*list, element);
      },
      static_cast<Node*>(nullptr));
}

Rect element_rect(Node* element) {
  if (!live_element(element)) return {0, 0, 0, 0};
  // As in a browser, reading geometry first places what changed since the
  // last frame (rows just added, a new window size).
  if (Document* doc = element->document; doc->layout_stale && doc->view && doc->view->window && platform)
    platform->update_layout(*doc->view);
  const layout::Box* box =
      element->layout_generation == element->document->layout_generation ? element->layout_box : nullptr;
  if (!box) return {0, 0, 0, 0};
  Rect r{box->x, box->y, box->width, box->height};
  for (Node* p = element->parent; p && p->is_element(); p = p->parent) {
    r.x -= p->scroll.x;
    r.y -= p->scroll.y;
  }
  return r;
}

namespace {
// Scrolling "body" means the page's scrolling, held by the root element.
Node* scroll_holder(Node* element) {
  Document* doc = element->document;
  return (element == doc->body && doc->root) ? doc->root : element;
}
}  // namespace

ScrollOffset scroll_position(Node* element) {
  if (!live_element(element)) return {0, 0};
  return scroll_holder(element)->scroll;
}

int scroll_to(Node* element, float x, float y) {
  if (!live_element(element)) return fail(status_bad_argument, "scroll_to: bad argument");
  Node* holder = scroll_holder(element);
  const ScrollOffset to{std::max(0.0f, x), std::max(0.0f, y)};  // layout clamps to the content later
  if (to.x == holder->scroll.x && to.y == holder->scroll.y) return status_ok;
  holder->scroll = to;
  element->document->invalidate(holder, flag_needs_paint);
  request_frame(element->document);
  // Whoever moved it, the wheel, the bar or a program, listeners hear of it:
  // a list that makes rows only near its view follows every move.
  fire(event_scroll, holder);
  return status_ok;
}

// ---------------------------------------------------------------------------
// Events

int on(Node* element, const char* type, std::size_t length, EventCallback callback, void* user_data) {
  if (!live_element(element) || !callback || (!type && length)) return fail(status_bad_argument, "on: bad argument");
  const auto event_type = event_type_from_name(view_of(type, length));
  if (!event_type) {
    set_last_error("on: unknown event type '%.*s'", quoted_length(length), type ? type : "");
    return status_bad_argument;
  }
  return guarded(
      [&] {
        add_listener(element, *event_type, callback, user_data);
        return static_cast<int>(status_ok);
      },
      static_cast<int>(status_out_of_memory));
}

Node* event_target(Event* event) { return event ? event->target : nullptr; }
Node* event_current_target(Event* event) { return event ? event->current_target : nullptr; }

std::uint32_t event_key(Event* event) {
  if (!event || (event->type != event_keydown && event->type != event_keyup)) return 0;
  return event->key;
}

void prevent_default(Event* event) {
  if (event) event->default_prevented = true;
}

}  // namespace ostrel
