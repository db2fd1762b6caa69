// Inline formatting (CSS 2.2 §9.4.2, §10.8): text and atomic inlines broken
// into line boxes, inline elements spanning what they hold.
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "layout/box.h"

namespace ostrel::layout {

struct LayoutContext;

// One piece of a line: a run of text or an atomic inline.
struct LineItem {
  Box* box;                          // text or atomic box
  std::uint32_t start = 0, end = 0;  // text bytes
  float width = 0;
  float ascent = 0, descent = 0;  // above and below the baseline, half-leading included
  bool ellipsis = false;          // cut, and drawn with "…" after it
  float lead = 0, trail = 0;      // margin, border and padding of inline elements opening and closing here
  float shift = 0;                // how far sub, super and the like move its baseline down
  // vertical-align top or bottom: placed against the line box once its height is known.
  enum class Edge : std::uint8_t { none, top, bottom } edge = Edge::none;
};

// Scratch vectors for inline layout, which nests (inline blocks hold lines of their own).
template <class T>
struct Pool {
  std::vector<std::vector<T>> spare;
  std::vector<T> take() {
    if (spare.empty()) return {};
    std::vector<T> v = std::move(spare.back());
    spare.pop_back();
    v.clear();
    return v;
  }
  void give(std::vector<T>&& v) { spare.push_back(std::move(v)); }
};

struct InlineState {
  Pool<Box*> box_lists;
  Pool<LineItem> line_lists;
  Pool<std::pair<float, float>> edge_lists;
  std::vector<Box*> positioned_in_spans;  // found while collecting leaves, placed after the lines
  // Inline elements with nothing inside: placed apart, at the start of the lines.
  std::unordered_set<const Box*> empty;
  void clear() { empty.clear(); }
};

// Lays out the lines of a block container holding inline content; returns their height.
float layout_inline(LayoutContext& ctx, Box& b, float x, float y, float width, int depth);

// The baseline of the first or the last line box in `b`'s flow, if it has one.
std::optional<float> first_baseline(const Box& b, int depth = 0);
std::optional<float> last_baseline(const Box& b, int depth = 0);

// A text box's text after white-space processing (CSS Text 3 §4.1.1), on its own.
std::string collapsed_text(const Box& t);

}  // namespace ostrel::layout
