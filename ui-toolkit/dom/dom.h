// The document model behind the OstrelUI handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ostrel/image/svg.h"
#include "ostrel/ostrel.h"

namespace ostrel {

namespace style {
struct ComputedStyle;
}
namespace layout {
struct Box;
}

// Interned names: tag, attribute and class names and ids compare as integers.
using Atom = std::uint32_t;
inline constexpr Atom no_atom = 0;

class InternTable {
 public:
  InternTable();
  Atom intern(std::string_view name);
  Atom find(std::string_view name) const;  // no_atom when never interned
  std::string_view name(Atom atom) const { return atom < names_.size() ? std::string_view(names_[atom]) : ""; }
  std::size_t memory_usage() const;

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, Atom, Hash, std::equal_to<>> ids_;
  std::deque<std::string> names_;  // a deque: tag_name() hands out pointers into it
};

// Names every document knows from the start, so the toolkit can compare against
// them without a lookup. Their ids are fixed: the table interns them in order.
enum KnownAtom : Atom {
  atom_none = 0,
#define OSTREL_ATOM(id, text) atom_##id,
#include "dom/atoms.inc"
#undef OSTREL_ATOM
  known_atom_count
};

enum class TagKind : std::uint8_t {
  other,
#define OSTREL_TAG(id) id,
#include "dom/tags.inc"
#undef OSTREL_TAG
};
TagKind tag_kind_of(Atom tag);
// ASCII white space as HTML defines it (class lists, the tokenizer).
constexpr bool is_html_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool is_void_element(TagKind kind);

enum class ControlKind : std::uint8_t { none, text, checkbox, radio, button };

enum class NodeType : std::uint8_t { free, document, element, text };

// State flags of a node.
enum NodeFlag : std::uint32_t {
  flag_needs_restyle = 1u << 0,
  flag_needs_layout = 1u << 1,  // children, text or box-making attributes changed: new boxes
  flag_needs_paint = 1u << 2,
  flag_disabled = 1u << 3,
  flag_checked = 1u << 4,  // checkbox/radio checked, option selected
  flag_hover = 1u << 5,
  flag_active = 1u << 6,
  flag_focus = 1u << 7,
  flag_pseudo = 1u << 8,  // ::before / ::after / ::marker box inserted by the style engine
  flag_removal_deferred = 1u << 9,
  flag_value_dirty = 1u << 10,               // the typed value of an input differs from its value attribute
  flag_descendant_needs_restyle = 1u << 11,  // set on ancestors of a node marked for restyle
  flag_style_changed = 1u << 12,             // the style engine gave the element a new style
  flag_descendant_needs_layout = 1u << 13,   // set on ancestors of a node marked with either of the two
};

struct Attribute {
  Atom name = no_atom;
  std::string value;  // value.c_str() is the NUL-terminated copy the interface hands out
  Attribute* next = nullptr;
};

struct Listener {
  std::uint8_t type;
  bool removed;
  EventCallback callback;
  void* user_data;
};

// What a screen reader follows as the document changes.
enum class AccessibleChange : std::uint8_t { focus, state, name, children };

// Told of those changes while a client listens (the view's accessible
// objects); with none, each change costs one test of a null pointer.
class AccessibilityObserver {
 public:
  virtual void changed(Node* node, AccessibleChange what) = 0;
  virtual void document_gone() = 0;

 protected:
  ~AccessibilityObserver() = default;
};

}  // namespace ostrel

// The handle types are the model's own records.
struct ostrel::Node {
  Document* document = nullptr;
  NodeType type = NodeType::free;
  TagKind tag_kind = TagKind::other;
  ControlKind control = ControlKind::none;
  Atom tag = no_atom;
  std::uint32_t flags = 0;
  Node* parent = nullptr;
  Node* first_child = nullptr;
  Node* last_child = nullptr;
  Node* prev = nullptr;
  Node* next = nullptr;
  Attribute* attributes = nullptr;
  std::vector<Atom> classes;  // at most 65535
  std::vector<Listener> listeners;
  std::string text;  // text node: its text; input: its typed value
  ScrollOffset scroll{0, 0};
  std::shared_ptr<const style::ComputedStyle> style;  // elements only, set by the style engine
  // The node's box in the layout, valid while layout_generation matches the document's.
  layout::Box* layout_box = nullptr;
  std::uint32_t layout_generation = 0;
  // Document-wide creation number: tells a recycled node from the one it replaced.
  std::uint64_t serial = 0;

  bool is_element() const { return type == NodeType::element; }
  bool is_text() const { return type == NodeType::text; }
  bool is_pseudo() const { return (flags & flag_pseudo) != 0; }
};

namespace ostrel {

struct ImageEntry {
  std::string bytes;
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  std::uint64_t generation = 0;
  bool is_svg = false;
  std::shared_ptr<const image::SvgPicture> picture;  // for SVG images
};

}  // namespace ostrel

namespace ostrel {

// The focused text box as editing leaves it: layout shows the composition,
// painting draws the caret and selection. Offsets are bytes of the value.
struct TextEditView {
  const Node* node = nullptr;           // null: no text box is being edited
  std::uint32_t caret = 0, anchor = 0;  // the selection runs between them
  std::string composition;              // input-method text at the caret, not in the value yet
  float scroll = 0;                     // how far the text is scrolled to the left, CSS px
  bool caret_shown = true;              // blink phase
  bool window_focused = true;           // the view has the keyboard: a live caret and selection
};

}  // namespace ostrel

struct ostrel::Document {
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  InternTable names;
  Node* document_node = nullptr;
  Node* root = nullptr;  // the html element
  Node* head = nullptr;
  Node* body = nullptr;
  View* view = nullptr;

  std::string author_css;
  bool css_dirty = false;
  std::uint32_t layout_generation = 0;  // of the last layout built from scratch
  bool dark = false;
  bool second_scheme_flag = false;
  bool window_active = true;
  TextEditView edit;

  std::unordered_map<Atom, ImageEntry> images;
  std::vector<Atom> pending_image_requests;   // the loader is asked for these at the next frame
  std::unordered_set<Atom> requested_images;  // names marked "requested"
  std::uint64_t image_generation = 0;
  ImageLoader image_loader = nullptr;
  void* image_loader_data = nullptr;

  std::string scratch;  // text_content's buffer, grows by doubling from 256 bytes
  int dispatch_depth = 0;
  std::vector<Node*> deferred_free;
  bool wants_frame = false;  // some change asks the view for a frame
  bool layout_stale = true;  // changed since the boxes were last placed
  AccessibilityObserver* accessibility = nullptr;
  std::uint64_t next_serial = 0;

  // Attribute names that loaded selectors mention; a data- attribute change
  // restyles only when its name is here.
  std::vector<Atom> selector_attributes;
  // Some loaded selector uses "+" or "~": sibling changes restyle the whole parent.
  bool sibling_selectors = false;

  // Node and attribute records come from here and go back here.
  Node* new_node(NodeType type);
  Attribute* new_attribute(Atom name, std::string_view value);
  void recycle_attribute(Attribute* attribute);

  // Frees a detached subtree now, or after the outermost dispatch when one is running.
  void release_subtree(Node* node);
  void end_dispatch();

  Node* create_element(std::string_view tag_name);
  Node* create_text(std::string_view text);

  // Marks a node for restyle/layout/paint and asks for a frame.
  void invalidate(Node* node, std::uint32_t what);
  void tell_accessibility(Node* node, AccessibleChange what) {
    if (accessibility) accessibility->changed(node, what);
  }

  // Bytes of the node and attribute records (free ones included), what they
  // hold, and the interned names; not the image table.
  std::size_t memory_usage() const;

 private:
  void free_subtree_now(Node* node);
  std::vector<std::unique_ptr<Node[]>> node_chunks_;
  std::vector<Node*> free_nodes_;
  std::vector<std::unique_ptr<Attribute[]>> attribute_chunks_;
  std::vector<Attribute*> free_attributes_;
};

namespace ostrel {

// Tree helpers that ignore pseudo-element boxes, as every navigation operation does.
Node* first_real_child(const Node* node);
Node* next_real_sibling(const Node* node);
Node* prev_real_sibling(const Node* node);
// The node a hit or an event on a pseudo-element box stands for: its host element.
Node* host_element(Node* node);
// A single-line text input: the one control that is edited in place.
inline bool is_text_box(const Node* node) {
  return node && node->is_element() && node->tag_kind == TagKind::input && node->control == ControlKind::text;
}
// A drop-down list: it shows its chosen option's text on one line, as a text box shows its value.
inline bool is_select(const Node* node) { return node && node->is_element() && node->tag_kind == TagKind::select; }
// Room a drop-down list keeps at its right for its arrow, CSS px.
inline constexpr float select_arrow_room = 16;

// Attributes by atom.
const Attribute* find_attribute(const Node* element, Atom name);
const std::string* attribute_value(const Node* element, Atom name);
// Sets/removes an attribute and keeps the derived state (classes, control kind,
// checked, disabled) in step. The name atom must already be lower case.
void set_attribute_value(Node* element, Atom name, std::string_view value);
bool remove_attribute_value(Node* element, Atom name);
bool has_class(const Node* element, Atom name);

// Detaches `child` from its parent (no freeing).
void detach(Node* child);
// Links `child` before `reference` (or at the end) under `parent`; no checks.
// "At the end" means before the parent's ::after box, which stays last.
void link_child(Node* parent, Node* child, Node* reference);
bool is_inclusive_ancestor(const Node* ancestor, const Node* node);

// Text of a node and its descendants (pseudo-elements skipped), appended to `out`.
void append_text_content(const Node* node, std::string& out);
// The options of a select in document order, and the one it shows: the
// first selected, or the first option when none is.
std::vector<Node*> options_of(const Node* select);
Node* selected_option(const Node* select);
// An option's text as a select shows it: white space collapsed and trimmed.
std::string option_label(const Node* option);
// Appends `text` with each run of white space made one space, none at the
// start of `out`, as a line shows it; stops once `out` is past `limit` bytes.
void append_collapsed_space(std::string& out, std::string_view text, std::size_t limit = std::string::npos);

// Indented text picture of the tree for tests and debugging.
std::string dump(const Node* node);

}  // namespace ostrel
