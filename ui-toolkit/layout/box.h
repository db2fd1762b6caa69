// The layout tree: boxes made from styled elements and text, with their
// geometry in document coordinates (before any scrolling).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dom/dom.h"
#include "ostrel/text/measure.h"
#include "style/computed.h"

namespace ostrel::layout {

enum class BoxKind : std::uint8_t {
  block,         // block container (also anonymous blocks around inline runs)
  inline_,       // inline element: its content flows in the parent's lines
  inline_block,  // atomic inline laid out as a block
  text,          // a text node's run
  replaced,      // img, svg, check boxes: a fixed picture
  flex,
  table,
  table_row_group,
  table_row,
  table_cell,
  line_break,  // <br>
};

// One piece of a text run placed on one line.
struct TextFragment {
  float x = 0, y = 0, width = 0, height = 0;  // the line's slot for this piece
  float baseline = 0;                         // y of the baseline
  std::uint32_t start = 0, end = 0;           // bytes of Box::text
  bool ellipsis = false;                      // drawn with "…" after it
};

struct Edges {
  float top = 0, right = 0, bottom = 0, left = 0;
  float horizontal() const { return left + right; }
  float vertical() const { return top + bottom; }
};

// Text inputs and drop-down lists: `text` is what shows, value or
// placeholder, with one fragment; the caret's x for each byte offset, from
// the text's start.
struct EditLine {
  std::vector<float> caret_offsets;
  bool placeholder_shown = false;
};

struct Box {
  Node* node = nullptr;  // null for anonymous boxes
  const style::ComputedStyle* style = nullptr;
  // Keeps an element's or anonymous block's style alive while the box shows it,
  // so the next layout can tell what a new style changed. Text shares its parent's.
  std::shared_ptr<const style::ComputedStyle> style_ref;
  BoxKind kind = BoxKind::block;
  Box* parent = nullptr;
  std::vector<Box*> children;

  // Border box in document coordinates.
  float x = 0, y = 0, width = 0, height = 0;
  Edges margin, border, padding;

  // Text boxes and text inputs: the white-space-processed text and where it went.
  std::string text;
  std::vector<TextFragment> fragments;
  std::unique_ptr<EditLine> edit_line;  // text inputs only

  // Scroll containers: the size of what they hold, and the room for scroll bars.
  float content_width = 0, content_height = 0;
  float scrollbar_x = 0, scrollbar_y = 0;  // thickness taken by each bar (0: none)
  // Inline-level boxes placed on a line: their baseline (y).
  float baseline = 0;

  // What the box and its descendants draw over, in document coordinates:
  // painting and hit testing skip subtrees outside the area they look at.
  // `unbounded` subtrees (fixed or sticky boxes, transforms) are never skipped.
  struct Area {
    float x = 0, y = 0, width = 0, height = 0;
  } overflow;
  bool unbounded = false;

  // Incremental layout: what changed since the box was laid out.
  bool dirty = true;               // its own style or content changed since it was laid out
  bool child_dirty = false;        // something inside it did
  bool dead = false;               // replaced by a newer box; unreachable from the root
  bool holds_out_of_flow = false;  // absolute or fixed boxes inside: placed against others
  std::uint32_t id = 0;            // its place in the layout's side tables

  float content_x() const { return x + border.left + padding.left; }
  float content_y() const { return y + border.top + padding.top; }
  float content_box_width() const { return width - border.horizontal() - padding.horizontal(); }
  float content_box_height() const { return height - border.vertical() - padding.vertical(); }
  bool is_scroll_container() const { return style && style->is_scroll_container(); }
};

struct LayoutOptions {
  float viewport_width = 0, viewport_height = 0;
  float scrollbar_size = 17;  // classic Windows scroll bars
  // Whether to try the window's scroll bar first; by default the last
  // layout's answer. A page that fits only without the bar keeps a bar it
  // already has, as in a browser, so the answer can depend on it.
  std::optional<bool> viewport_bar_first = std::nullopt;
};

// Builds and lays out the box tree of a styled document.
class LayoutTree {
 public:
  // An `observer` lays the document out from scratch every time and leaves
  // the document untouched (no boxes on nodes, no marks cleared): a reference
  // to check the live tree against.
  LayoutTree(Document& document, text::TextMeasurer& measurer, bool observer = false);
  ~LayoutTree();
  LayoutTree(const LayoutTree&) = delete;
  LayoutTree& operator=(const LayoutTree&) = delete;

  // Brings the boxes up to date with the document and lays them out: the
  // first time, after a new document or sheet, or a viewport change, all of
  // them; otherwise only what the elements marked since the last layout
  // changed (new children or text, new styles). Styles that only draw
  // differently cost no layout at all.
  void layout(const LayoutOptions& options);
  // Boxes laid out by the last layout(), for tests and benchmarks.
  std::size_t boxes_laid_out() const;
  const Box* root() const { return root_; }
  // What the last layout() was asked for. The root's scrollbar_y tells whether
  // the page scrolls in the window.
  const LayoutOptions& options() const;
  // Every element's box (the first one, for elements split over lines).
  const Box* box_of(const Node* node) const;
  // Text of the layout as indented lines, for tests.
  std::string dump() const;
  // Bytes of the boxes (replaced ones still kept included), their text
  // pieces, what each box's last layout left, and the side tables' slots.
  std::size_t memory_usage() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Box* root_ = nullptr;
};

// Where two layouts of one document differ by more than `tolerance` px (box
// kinds, nodes, geometry, text pieces), as a line of text; empty when they
// agree. Checks an incremental layout against one made from scratch.
std::string first_difference(const Box* a, const Box* b, float tolerance);

}  // namespace ostrel::layout
