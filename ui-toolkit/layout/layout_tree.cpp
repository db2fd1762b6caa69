// The layout tree's entry points: building or updating the boxes, laying
// them out in the window, and the text dumps the tests compare.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "layout/box.h"
#include "layout/context.h"
#include "layout/tree_builder.h"
#include "src/memory_usage.h"

namespace ostrel::layout {
namespace {

// Whether the window needs a vertical scroll bar: the root's overflow, or the
// body's when the root's is visible, decides, as browsers let it (CSS Overflow 3 §3.3).
bool viewport_scrolls(const LayoutContext& ctx, const Box& root) {
  style::Overflow o = root.style->overflow_y;
  const Document& document = ctx.document;
  if (o == style::Overflow::visible && document.body && document.body->style) o = document.body->style->overflow_y;
  if (o == style::Overflow::hidden || o == style::Overflow::clip) return false;
  if (o == style::Overflow::scroll) return true;
  const float bottom = std::max(root.y + root.height + root.margin.bottom, root.content_y() + root.content_height);
  return bottom > ctx.requested.viewport_height + 0.01f;
}

}  // namespace

struct LayoutTree::Impl {
  LayoutContext ctx;
  BoxTreeBuilder builder{ctx};
  Impl(Document& d, text::TextMeasurer& m) : ctx(d, m) {}
};

LayoutTree::LayoutTree(Document& document, text::TextMeasurer& measurer, bool observer)
    : impl_(std::make_unique<Impl>(document, measurer)) {
  impl_->ctx.observer = observer;
}

LayoutTree::~LayoutTree() = default;

std::size_t LayoutTree::boxes_laid_out() const { return impl_->ctx.laid_out_count; }

void LayoutTree::layout(const LayoutOptions& options) {
  LayoutContext& m = impl_->ctx;
  BoxTreeBuilder& builder = impl_->builder;
  Document& doc = m.document;
  m.laid_out_count = 0;
  ++m.pass;
  m.metrics_cache.clear();  // keyed by style addresses, which restyling frees and reuses
  const bool from_scratch = m.observer || !root_ || root_->node != doc.root ||
                            doc.layout_generation != builder.generation ||
                            (doc.document_node->flags & flag_needs_layout) ||
                            builder.dead_boxes > m.boxes.size() / 2 + 4096 || !builder.update_boxes();
  if (from_scratch) {
    m.clear_boxes();
    builder.clear();
    root_ = nullptr;
    if (!m.observer) {
      if (++doc.layout_generation == 0) ++doc.layout_generation;  // 0 means "no box" on a fresh node
      builder.generation = doc.layout_generation;
      doc.document_node->flags &= ~BoxTreeBuilder::layout_flags;
      if (doc.root) doc.root->flags &= ~BoxTreeBuilder::layout_flags;
    }
    if (doc.root) root_ = builder.build(doc.root, nullptr, 0);
  }
  m.force_all = from_scratch || options.viewport_width != m.requested.viewport_width ||
                options.viewport_height != m.requested.viewport_height ||
                options.scrollbar_size != m.requested.scrollbar_size;
  m.requested = m.options = options;
  if (root_) {
    // A page taller than the window scrolls in it: the bar's width comes off
    // everything, fixed boxes included. Whether it did last time is the first
    // guess, so a long page is not laid out twice per frame.
    if (options.viewport_bar_first) m.viewport_bar = *options.viewport_bar_first;
    auto lay_out = [&] {
      m.options.viewport_width = std::max(0.0f, options.viewport_width - (m.viewport_bar ? options.scrollbar_size : 0));
      layout_box(m, *root_, 0, 0, m.options.viewport_width, options.viewport_height);
    };
    lay_out();
    if (viewport_scrolls(m, *root_) != m.viewport_bar) {
      m.viewport_bar = !m.viewport_bar;
      lay_out();
    }
    root_->scrollbar_y = m.viewport_bar ? options.scrollbar_size : 0;
  }
  m.force_all = false;
}

const LayoutOptions& LayoutTree::options() const { return impl_->ctx.requested; }

std::size_t LayoutTree::memory_usage() const {
  const LayoutContext& m = impl_->ctx;
  std::size_t bytes = m.boxes.size() * sizeof(Box) + m.caches.size() * sizeof(LayoutCache) +
                      m.tables.cells.memory_usage() + m.replaced.pictures.memory_usage() +
                      memory::heap(m.tables.column_widths) + memory::heap(m.tables.collapsed) +
                      memory::heap(m.metrics_cache) + memory::heap(m.advances) + memory::heap(m.breaks) +
                      memory::heap(m.translate_stack) + impl_->builder.memory_usage();
  for (const auto& [table, widths] : m.tables.column_widths) bytes += memory::heap(widths);
  for (const Box& b : m.boxes) {
    bytes += memory::heap(b.children) + memory::heap(b.text) + memory::heap(b.fragments);
    if (b.edit_line) bytes += sizeof(EditLine) + memory::heap(b.edit_line->caret_offsets);
  }
  return bytes;
}

const Box* LayoutTree::box_of(const Node* node) const {
  if (!node || node->layout_generation != impl_->builder.generation || !node->layout_box || node->layout_box->dead)
    return nullptr;
  return node->layout_box;
}

std::string first_difference(const Box* a, const Box* b, float tolerance) {
  std::vector<std::pair<const Box*, const Box*>> stack{{a, b}};
  // In a document millions of pixels tall a float's own step outgrows the
  // tolerance: sums and differences of such sizes (a cell centring content
  // as tall as itself) round a few steps apart even for boxes near the
  // origin. The largest extent of the layout sets how far that can go.
  float extent = 0;
  for (const Box* root : {a, b}) {
    std::vector<const Box*> walk{root};
    while (!walk.empty()) {
      const Box* n = walk.back();
      walk.pop_back();
      if (!n) continue;
      extent = std::max({extent, std::fabs(n->x) + std::fabs(n->width), std::fabs(n->y) + std::fabs(n->height)});
      walk.insert(walk.end(), n->children.begin(), n->children.end());
    }
  }
  const float slack = std::max(tolerance, extent * 8 * std::numeric_limits<float>::epsilon());
  auto far = [slack](float x, float y) { return !(std::fabs(x - y) <= slack); };
  while (!stack.empty()) {
    const auto [p, q] = stack.back();
    stack.pop_back();
    if (!p || !q) {
      if (p != q) return "one layout is empty";
      continue;
    }
    char where[96];
    std::snprintf(where, sizeof where, "box at %g,%g (kind %d): ", p->x, p->y, static_cast<int>(p->kind));
    if (p->kind != q->kind || p->node != q->node) return std::string(where) + "different boxes";
    // A text box's own rectangle means nothing: its pieces say where it is.
    if (p->kind != BoxKind::text &&
        (far(p->x, q->x) || far(p->y, q->y) || far(p->width, q->width) || far(p->height, q->height)))
      return std::string(where) + "different geometry";
    if (p->fragments.size() != q->fragments.size() || p->text != q->text) return std::string(where) + "different text";
    for (std::size_t i = 0; i < p->fragments.size(); ++i) {
      const TextFragment& f = p->fragments[i];
      const TextFragment& g = q->fragments[i];
      if (f.start != g.start || f.end != g.end || f.ellipsis != g.ellipsis || far(f.x, g.x) || far(f.y, g.y) ||
          far(f.width, g.width) || far(f.height, g.height))
        return std::string(where) + "different text pieces";
    }
    if (p->children.size() != q->children.size()) return std::string(where) + "different children";
    for (std::size_t i = 0; i < p->children.size(); ++i) stack.push_back({p->children[i], q->children[i]});
  }
  return {};
}

std::string LayoutTree::dump() const {
  std::string out;
  if (!root_) return out;
  // "x,y wxh" with two decimals at most.
  auto put_rect = [&out](float x, float y, float w, float h) {
    char buf[96];
    auto r = [](float v) { return std::round(v * 100) / 100; };
    std::snprintf(buf, sizeof buf, "%g,%g %gx%g", r(x), r(y), r(w), r(h));
    out += buf;
  };
  struct Item {
    const Box* box;
    int depth;
  };
  std::vector<Item> stack{{root_, 0}};
  const Document& doc = impl_->ctx.document;
  while (!stack.empty()) {
    const auto [b, depth] = stack.back();
    stack.pop_back();
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    if (b->kind == BoxKind::text) {
      out += "text";
      for (const TextFragment& f : b->fragments) {
        out += " [";
        put_rect(f.x, f.y, f.width, f.height);
        out += " \"";
        out.append(b->text, f.start, f.end - f.start);
        if (f.ellipsis) out += "\xE2\x80\xA6";
        out += "\"]";
      }
    } else {
      out += b->node ? std::string(doc.names.name(b->node->tag)) : std::string("anonymous");
      if (b->node)
        if (const std::string* id = attribute_value(b->node, atom_id)) {
          out += '#';  // appended in two steps: GCC 12 warns falsely about "#" + *id
          out += *id;
        }
      out += ' ';
      put_rect(b->x, b->y, b->width, b->height);
    }
    out += '\n';
    for (auto it = b->children.rbegin(); it != b->children.rend(); ++it) stack.push_back({*it, depth + 1});
  }
  return out;
}

}  // namespace ostrel::layout
