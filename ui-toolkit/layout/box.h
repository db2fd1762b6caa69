// The layout tree: boxes made from styled elements and text, with their
// geometry in document coordinates (before any scrolling).
#pragma once

#include <cstdint>
#include <memory>
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
  line_break,    // <br>
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

struct Box {
  Node* node = nullptr;  // null for anonymous boxes
  const style::ComputedStyle* style = nullptr;
  BoxKind kind = BoxKind::block;
  Box* parent = nullptr;
  std::vector<Box*> children;

  // Border box in document coordinates.
  float x = 0, y = 0, width = 0, height = 0;
  Edges margin, border, padding;

  // Text boxes: the white-space-processed text and where it went.
  std::string text;
  std::vector<TextFragment> fragments;

  // Scroll containers: the size of what they hold, and the room for scroll bars.
  float content_width = 0, content_height = 0;
  float flow_height = 0;  // height of the in-flow content (what vertical alignment moves)
  float scrollbar_x = 0, scrollbar_y = 0;  // thickness taken by each bar (0: none)
  // Replaced boxes: natural size.
  float natural_width = 0, natural_height = 0;
  // Inline-level boxes placed on a line: their baseline (y).
  float baseline = 0;

  float content_x() const { return x + border.left + padding.left; }
  float content_y() const { return y + border.top + padding.top; }
  float content_box_width() const { return width - border.horizontal() - padding.horizontal(); }
  float content_box_height() const { return height - border.vertical() - padding.vertical(); }
  bool is_scroll_container() const { return style && style->is_scroll_container(); }
};

struct LayoutOptions {
  float viewport_width = 0, viewport_height = 0;
  float scrollbar_size = 17;  // classic Windows scroll bars
};

// Builds and lays out the box tree of a styled document.
class LayoutTree {
 public:
  LayoutTree(Document& document, text::TextMeasurer& measurer);
  ~LayoutTree();
  LayoutTree(const LayoutTree&) = delete;
  LayoutTree& operator=(const LayoutTree&) = delete;

  // Rebuilds the tree from the current styles and lays it out.
  void layout(const LayoutOptions& options);
  const Box* root() const { return root_; }
  // Every element's box (the first one, for elements split over lines).
  const Box* box_of(const Node* node) const;
  // Text of the layout as indented lines, for tests.
  std::string dump() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Box* root_ = nullptr;
};

}  // namespace ostrel::layout
