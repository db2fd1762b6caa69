// What every formatting context of one layout shares: the document, the text
// measurer, the viewport, the pass being made and the side tables that keep
// what some kinds of box need between layouts.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "layout/block.h"
#include "layout/box.h"
#include "layout/inline.h"
#include "layout/positioned.h"
#include "layout/replaced.h"
#include "layout/table.h"
#include "ostrel/text/linebreak.h"

namespace ostrel::layout {

inline constexpr float infinity = std::numeric_limits<float>::infinity();
inline constexpr int max_depth = 512;  // the parser never nests deeper; built trees are cut here

// What a box was last laid out with. A box asked the same again, with nothing
// changed in it, keeps its geometry (moved as a whole).
struct LayoutInputs {
  float cb_width = 0;
  std::optional<float> cb_height, forced_width, forced_height;
  friend bool operator==(const LayoutInputs&, const LayoutInputs&) = default;
};

struct LayoutCache {
  bool laid_out = false;
  std::uint32_t pass = 0;
  LayoutInputs with;
  float dx = 0, dy = 0;  // border box against the margin-box origin it was given
  Edges margin;          // margins after collapsing with its children's
  BlockMargins collapsed;
  bool had_auto_scrollbar = false;  // overflow:auto boxes: the content overflowed last time
};

struct LayoutContext {
  Document& document;
  text::TextMeasurer& measurer;
  bool observer = false;      // see LayoutTree's constructor
  LayoutOptions requested;    // what the caller asked for
  LayoutOptions options;      // what boxes are laid out in: the window less its scroll bar
  bool viewport_bar = false;  // the page is taller than the window
  bool force_all = false;     // this pass lays every box out (new boxes, new viewport)
  std::size_t laid_out_count = 0;
  std::uint32_t pass = 0;  // counts layouts: what a pass laid out holds within it

  // Every box made since the tree was last built from scratch, and beside
  // each (by Box::id) what its last layout left.
  std::deque<Box> boxes;
  std::deque<LayoutCache> caches;
  // Counts boxes made and retired: what was worked out from the tree's shape
  // (a table's column count) is kept while it stands still.
  std::size_t shape_changes = 0;

  PositionedState positioned;
  InlineState inlines;
  TableState tables;
  ReplacedState replaced;

  std::vector<float> advances;        // scratch
  std::vector<std::uint8_t> breaks;   // scratch
  std::vector<Box*> translate_stack;  // scratch: translate runs for every placed box

  LayoutContext(Document& d, text::TextMeasurer& m) : document(d), measurer(m) {}

  Box& make_box() {
    Box& b = boxes.emplace_back();
    b.id = static_cast<std::uint32_t>(boxes.size() - 1);
    caches.emplace_back();
    ++shape_changes;
    return b;
  }
  LayoutCache& cache_of(const Box& b) { return caches[b.id]; }
  // Forgets every box: the tree is built again.
  void clear_boxes();

  // Font metrics per style: styles are shared by look-alike elements, so a
  // page of thousands of rows asks the measurer only a handful of times.
  std::unordered_map<const style::ComputedStyle*, text::FontMetrics> metrics_cache;
  const text::FontMetrics& metrics_of(const style::ComputedStyle& s);
  float line_height_of(const style::ComputedStyle& s);
};

// Asked for every box of every line: inline, so the hot loops stay tight.
inline bool is_inline_level(const Box* b) {
  if (b->kind == BoxKind::text || b->kind == BoxKind::inline_ || b->kind == BoxKind::line_break) return true;
  const style::Display d = b->style->display;
  return d == style::Display::inline_ || d == style::Display::inline_block || d == style::Display::inline_flex ||
         d == style::Display::inline_table;
}

inline bool in_flow(const Box* b) {
  return b->kind == BoxKind::text ||
         (b->style->position != style::Position::absolute && b->style->position != style::Position::fixed);
}
text::WhiteSpaceMode mode_of(style::WhiteSpace w);
text::FontSpec font_of(const style::ComputedStyle& s);

// The box changed: it and its ancestors are laid out again.
inline void mark_dirty(Box* b) {
  b->dirty = true;
  for (Box* p = b->parent; p; p = p->parent) p->child_dirty = true;
}

// Lays out `b` of any kind with its margin box starting at (x, y) inside a
// containing block `cb_width` wide. `forced_width` fixes the border-box width
// (flex items, cells, shrink-to-fit boxes); `forced_height` the height.
void layout_box(LayoutContext& ctx, Box& b, float x, float y, float cb_width, std::optional<float> cb_height,
                std::optional<float> forced_width = std::nullopt, std::optional<float> forced_height = std::nullopt,
                int depth = 0);

}  // namespace ostrel::layout
