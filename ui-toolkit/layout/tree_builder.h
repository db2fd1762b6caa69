// The box tree (CSS 2.2 §9.2, CSS Display 3 §2): boxes made from styled
// elements and text, anonymous blocks around inline runs, and the boxes
// brought up to date with what changed in the document since the last layout.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

class BoxTreeBuilder {
 public:
  static constexpr std::uint32_t layout_flags = flag_needs_layout | flag_style_changed | flag_descendant_needs_layout;

  explicit BoxTreeBuilder(LayoutContext& context) : ctx(context) {}

  // The boxes of an element's subtree; none when it shows nothing.
  Box* build(Node* element, Box* parent, int depth);
  // Follows the elements marked since the last layout. False when the root
  // element itself needs new boxes.
  bool update_boxes();
  // Forgets every box made: the tree is about to be built from scratch.
  void clear() {
    anonymous_styles.clear();
    dead_boxes = 0;
  }

  // Bytes of the builder's caches and scratch lists.
  std::size_t memory_usage() const;

  std::uint32_t generation = 0;  // stamped on nodes with their box, so stale boxes are never handed out
  std::size_t dead_boxes = 0;    // replaced boxes still kept; a rebuild from scratch frees them

 private:
  Box* new_box(Node* node, const style::ComputedStyle* s, BoxKind kind, Box* parent);
  std::shared_ptr<const style::ComputedStyle> anonymous_style(const Box& parent);
  Box* new_anonymous_block(Box* parent);
  void clear_layout_flags(Node* subtree);
  void build_children(Node* element, Box* box, int depth);
  void wrap_inline_runs(Box* box);
  void wrap_flex_text(Box* box);
  Box* live_box(const Node* n) const;
  void kill(Box* b);
  bool rebuild(Node* element);
  bool reconcile_rows(Node* group, Box& box);
  bool restyled(Node* element);
  void restyle_shared(Box& owner, const style::ComputedStyle* before, bool relayout);

  LayoutContext& ctx;
  // Anonymous blocks get a style of their own, made once per parent style.
  // The entry holds the parent style too, so its address is never reused
  // while it is a key.
  std::unordered_map<const style::ComputedStyle*, std::pair<std::shared_ptr<const style::ComputedStyle>,
                                                            std::shared_ptr<const style::ComputedStyle>>>
      anonymous_styles;
  std::vector<Node*> node_stack;  // scratch
  std::vector<Box*> kill_stack;   // scratch
  std::vector<Node*> walk_stack;  // scratch
  std::vector<Box*> rows_scratch, before_scratch, after_scratch;
};

}  // namespace ostrel::layout
