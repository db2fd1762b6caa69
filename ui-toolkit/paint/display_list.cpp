#include "paint/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ostrel/text/linebreak.h"
#include "src/memory_usage.h"

namespace ostrel::paint {
namespace {

using layout::Box;
using layout::BoxKind;

bool positioned(const Box& b) { return b.kind != BoxKind::text && b.style->position != style::Position::static_; }

std::uint64_t image_generation(const Node* node, const std::string& name) {
  if (!node || !node->document) return 0;
  const Document& doc = *node->document;
  const auto it = doc.images.find(doc.names.find(name));
  return it == doc.images.end() ? 0 : it->second.generation;
}

struct Clip {
  float left, top, right, bottom;
  bool contains(float x, float y) const { return x >= left && x < right && y >= top && y < bottom; }
  Clip intersect(const Clip& o) const {
    return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
  }
};

// Walks boxes in painting order with the offsets scrolling and sticking give
// them. Positioned boxes (relative, absolute, fixed, sticky) are painted after
// the in-flow content of the nearest box that groups them (the root, a scroll
// container, a layer or a positioned box with a z-index), ordered by z-index,
// so that a stuck table header covers the rows scrolling under it.
template <class Visitor>
class Walker {
 public:
  // Only subtrees that reach into `area` (view coordinates) are visited.
  Walker(Visitor& v, const Clip& area, const layout::LayoutOptions& viewport)
      : v_(v), area_(area), viewport_(viewport) {}

  void walk(const Box& root) { box(root, 0, 0, nullptr, true); }

 private:
  struct Deferred {
    const Box* box;
    float dx, dy;
    const Clip* scroller;
  };

  static bool groups_positioned(const Box& b) {
    const style::ComputedStyle& s = *b.style;
    return !b.parent || b.is_scroll_container() || s.opacity < 1 || !s.transform.identity() ||
           (positioned(b) && !s.z_index_auto);
  }

  // The box a sticky box must stay inside: its table for a cell, else its parent.
  static const Box* sticky_limit(const Box& b) {
    if (b.kind == BoxKind::table_cell)
      for (const Box* p = b.parent; p; p = p->parent)
        if (p->kind == BoxKind::table) return p;
    return b.parent;
  }

  // `scroller`: the nearest scroll container's padding box in view coordinates.
  bool outside(const Box& b, float dx, float dy, const Clip* scroller) const {
    if (b.unbounded) return false;
    const Clip seen = scroller ? area_.intersect(*scroller) : area_;
    const float left = b.overflow.x + dx, top = b.overflow.y + dy;
    return left > seen.right || top > seen.bottom || left + b.overflow.width < seen.left ||
           top + b.overflow.height < seen.top;
  }

  void box(const Box& b, float dx, float dy, const Clip* scroller, bool now = false) {
    if (outside(b, dx, dy, scroller)) return;
    if (b.kind == BoxKind::text) {
      v_.text(b, dx, dy);
      return;
    }
    if (!now && positioned(b) && !groups_.empty()) {
      groups_.back().push_back({&b, dx, dy, scroller});
      return;
    }
    if (b.style->position == style::Position::fixed) dx = dy = 0, scroller = nullptr;
    if (b.style->position == style::Position::sticky && scroller && !b.style->inset[0].is_auto()) {
      const float top_limit = scroller->top + b.style->inset[0].resolve(0);
      const float y = b.y + dy;
      if (y < top_limit) {
        float shift = top_limit - y;
        if (const Box* limit = sticky_limit(b))
          shift = std::min(shift, std::max(0.0f, limit->y + limit->height - b.y - b.height));
        dy += shift;
      }
    }
    v_.enter(b, dx, dy);
    // A page taller than the window scrolls the root's content in the window,
    // less its bar; fixed boxes stay put.
    const bool window_scrolls = !b.parent && b.scrollbar_y > 0;
    const bool scrolls = b.is_scroll_container() || window_scrolls;
    Clip clip{};
    float cdx = dx, cdy = dy;
    if (window_scrolls) {
      clip = {0, 0, std::max(0.0f, viewport_.viewport_width - b.scrollbar_y), viewport_.viewport_height};
      const ScrollOffset s = b.node ? b.node->scroll : ScrollOffset{0, 0};
      const float max_x = std::max(0.0f, b.overflow.x + b.overflow.width - clip.right);
      const float max_y = std::max(0.0f, b.overflow.y + b.overflow.height - clip.bottom);
      cdx -= std::clamp(s.x, 0.0f, max_x);
      cdy -= std::clamp(s.y, 0.0f, max_y);
      v_.push_clip(b, clip);
      scroller = &clip;
    } else if (scrolls) {
      clip = {b.x + dx + b.border.left, b.y + dy + b.border.top, b.x + dx + b.width - b.border.right - b.scrollbar_y,
              b.y + dy + b.height - b.border.bottom - b.scrollbar_x};
      const ScrollOffset s = b.node ? b.node->scroll : ScrollOffset{0, 0};
      const float max_x = std::max(0.0f, b.content_width - (clip.right - clip.left));
      const float max_y = std::max(0.0f, b.content_height - (clip.bottom - clip.top));
      cdx -= std::clamp(s.x, 0.0f, max_x);
      cdy -= std::clamp(s.y, 0.0f, max_y);
      v_.push_clip(b, clip);
      scroller = &clip;
    }
    const bool group = groups_positioned(b);
    if (group) groups_.emplace_back();
    for (const Box* c : b.children) box(*c, cdx, cdy, scroller);
    if (group) {
      std::vector<Deferred> later = std::move(groups_.back());
      groups_.pop_back();
      std::stable_sort(later.begin(), later.end(), [](const Deferred& a, const Deferred& c) {
        return (a.box->style->z_index_auto ? 0 : a.box->style->z_index) <
               (c.box->style->z_index_auto ? 0 : c.box->style->z_index);
      });
      groups_.emplace_back();  // boxes nested in these still group here
      for (std::size_t k = 0; k < later.size(); ++k) {
        box(*later[k].box, later[k].dx, later[k].dy, later[k].scroller, true);
        auto& nested = groups_.back();
        later.insert(later.end(), nested.begin(), nested.end());
        nested.clear();
      }
      groups_.pop_back();
    }
    if (scrolls) {
      v_.pop_clip(b);
      if (const std::optional<ScrollBar> bar = vertical_scroll_bar(b, dx, dy, viewport_)) v_.scroll_bar(b, *bar);
    }
    v_.leave(b);
  }

  Visitor& v_;
  Clip area_;
  const layout::LayoutOptions& viewport_;
  std::vector<std::vector<Deferred>> groups_;
};

std::string joined(const std::vector<std::string>& families) {
  std::string out;
  for (const std::string& f : families) {
    if (!out.empty()) out += ',';
    out += f;
  }
  return out;
}

Item marker(ItemKind kind) {
  Item it;
  it.kind = kind;
  return it;
}

struct Painter {
  DisplayList& list;
  const Box* canvas_box;             // its background went to the canvas
  std::vector<bool> layered;         // per entered box: whether a layer was pushed
  std::vector<std::size_t> clips{};  // where each open scroll container's clip is in the list

  void enter(const Box& b, float dx, float dy) {
    const style::ComputedStyle& s = *b.style;
    const bool layer = s.opacity < 1 || !s.transform.identity();
    layered.push_back(layer);
    const Rect r{b.x + dx, b.y + dy, b.width, b.height};
    if (layer) {
      Item it;
      it.kind = ItemKind::push_layer;
      it.bounds = r;
      it.opacity = s.opacity;
      // Transforms turn about the box's centre.
      const float cx = r.x + r.width / 2, cy = r.y + r.height / 2;
      const style::Transform& m = s.transform;
      it.transform = {m.a, m.b, m.c, m.d, cx - m.a * cx - m.c * cy + m.e, cy - m.b * cx - m.d * cy + m.f};
      list.items.push_back(std::move(it));
    }
    if (s.visibility != style::Visibility::visible || r.width <= 0 || r.height <= 0) return;
    float radii[4];
    for (int i = 0; i < 4; ++i)
      radii[i] = std::min(s.radius[i].resolve(std::min(r.width, r.height)), std::min(r.width, r.height) / 2);
    if (!s.background_color.transparent() && &b != canvas_box) {
      Item it;
      it.kind = ItemKind::rect;
      it.bounds = r;
      it.color = s.background_color;
      std::copy(std::begin(radii), std::end(radii), it.radii);
      list.items.push_back(std::move(it));
    }
    if (!s.background_image.empty()) {
      Item it;
      it.kind = ItemKind::image;
      it.bounds = r;
      it.image = s.background_image;
      it.image_generation = image_generation(b.node, it.image);
      it.fit = style::ObjectFit::none;
      it.color = s.color;  // an SVG's currentColor
      list.items.push_back(std::move(it));
    }
    if (b.border.top + b.border.right + b.border.bottom + b.border.left > 0) {
      Item it;
      it.kind = ItemKind::border;
      it.bounds = r;
      const float w[4] = {b.border.top, b.border.right, b.border.bottom, b.border.left};
      bool visible = false;
      for (int i = 0; i < 4; ++i) {
        it.widths[i] = w[i];
        it.side_colors[i] = s.used_border_color(i);
        visible = visible || (w[i] > 0 && !it.side_colors[i].transparent());
      }
      std::copy(std::begin(radii), std::end(radii), it.radii);
      if (visible && !hidden_by_fill(it)) list.items.push_back(std::move(it));
    }
    if (b.kind == BoxKind::replaced && b.node && b.node->tag_kind == TagKind::img) {
      if (const std::string* src = attribute_value(b.node, atom_src); src && !src->empty()) {
        Item it;
        it.kind = ItemKind::image;
        it.bounds = {b.content_x() + dx, b.content_y() + dy, b.content_box_width(), b.content_box_height()};
        it.image = *src;
        it.image_generation = image_generation(b.node, it.image);
        it.fit = s.object_fit;
        it.color = s.color;  // an SVG's currentColor
        list.items.push_back(std::move(it));
      }
    }
    if (s.visibility == style::Visibility::visible && (is_text_box(b.node) || is_select(b.node))) text_box(b, dx, dy);
    if (b.kind == BoxKind::replaced && b.node && (b.node->flags & flag_checked) &&
        (b.node->control == ControlKind::checkbox || b.node->control == ControlKind::radio))
      check(b, dx, dy);
  }

  // A checked box's tick, or a radio's dot, in white on a dark fill and in
  // the text colour on a light one.
  void check(const Box& b, float dx, float dy) {
    const style::ComputedStyle& s = *b.style;
    const style::Color fill = s.background_color;
    const bool dark = fill.a > 127 && fill.r * 299 + fill.g * 587 + fill.b * 114 < 160 * 1000;
    Item it;
    it.color = dark ? style::Color{255, 255, 255, 255} : s.color;
    const Rect inside{b.x + dx + b.border.left, b.y + dy + b.border.top, b.width - b.border.horizontal(),
                      b.height - b.border.vertical()};
    if (inside.width <= 0 || inside.height <= 0) return;
    if (b.node->control == ControlKind::checkbox) {
      it.kind = ItemKind::check_mark;
      it.bounds = inside;
    } else {
      const float d = std::min(inside.width, inside.height) * 0.4f;
      it.kind = ItemKind::rect;
      it.bounds = {inside.x + (inside.width - d) / 2, inside.y + (inside.height - d) / 2, d, d};
      std::fill(std::begin(it.radii), std::end(it.radii), d / 2);
    }
    list.items.push_back(std::move(it));
  }

  Item text_item(const Box& b, std::string text, float x, float width, const layout::TextFragment& f, float dy,
                 style::Color color) {
    const style::ComputedStyle& s = *b.style;
    Item it;
    it.kind = ItemKind::text;
    it.bounds = {x, f.y + dy, width, f.height};
    it.text = std::move(text);
    it.color = color;
    it.font_family = joined(s.font_family);
    it.font_size = s.font_size;
    it.font_weight = s.font_weight;
    it.italic = s.italic;
    it.baseline = f.baseline + dy;
    return it;
  }

  // A text input's line inside its content box: the selection behind
  // highlighted text, the text (or a grey placeholder), an underline under
  // input-method text, and the caret.
  void text_box(const Box& b, float dx, float dy) {
    if (b.fragments.empty() || !b.edit_line || b.edit_line->caret_offsets.size() != b.text.size() + 1) return;
    const std::vector<float>& caret_offsets = b.edit_line->caret_offsets;
    const bool placeholder_shown = b.edit_line->placeholder_shown;
    const style::ComputedStyle& s = *b.style;
    const layout::TextFragment& f = b.fragments[0];
    const TextEditView& edit = b.node->document->edit;
    const bool editing = edit.node == b.node;
    const bool drop_down = is_select(b.node);
    const float left = b.content_x() + dx;
    const float width = std::max(0.0f, b.content_box_width() - (drop_down ? select_arrow_room : 0));
    const float origin = left - (editing ? edit.scroll : 0);
    const std::size_t size = b.text.size();
    const auto at = [&](std::size_t offset) { return origin + caret_offsets[std::min(offset, size)]; };
    Item clip;
    clip.kind = ItemKind::push_clip;
    clip.bounds = {left, b.y + dy + b.border.top, width, b.height - b.border.vertical()};
    list.items.push_back(clip);

    const std::size_t composed = editing ? std::min(edit.composition.size(), size) : 0;
    std::size_t from = 0, to = 0;  // the selection within the shown text; a composition replaces it
    if (editing && !placeholder_shown && !composed) {
      from = std::min<std::size_t>(std::min(edit.caret, edit.anchor), size);
      to = std::min<std::size_t>(std::max(edit.caret, edit.anchor), size);
    }
    const bool live = edit.window_focused && b.node->document->window_active;
    if (to > from) {
      Item sel;
      sel.kind = ItemKind::rect;
      sel.bounds = {at(from), f.y + dy, at(to) - at(from), f.height};
      sel.color = live ? style::Color{0x00, 0x78, 0xD7, 255} : style::Color{0xCC, 0xCC, 0xCC, 255};
      list.items.push_back(sel);
    }
    const auto run = [&](std::size_t a, std::size_t z, style::Color color) {
      if (z > a) list.items.push_back(text_item(b, b.text.substr(a, z - a), at(a), at(z) - at(a), f, dy, color));
    };
    if (placeholder_shown) {
      run(0, size, style::Color{0x75, 0x75, 0x75, s.color.a});
    } else {
      run(0, from, s.color);
      run(from, to, live ? style::Color{255, 255, 255, 255} : s.color);
      run(to, size, s.color);
    }
    const std::size_t start = std::min<std::size_t>(editing ? edit.caret : 0, size - composed);
    if (composed) {
      Item line;
      line.kind = ItemKind::rect;
      line.bounds = {at(start), f.baseline + dy + 2, at(start + composed) - at(start), 1};
      line.color = s.color;
      list.items.push_back(line);
    }
    if (editing && edit.caret_shown && live && from == to) {
      Item bar;
      bar.kind = ItemKind::rect;
      bar.bounds = {std::round(at(placeholder_shown ? 0 : start + composed)), f.y + dy, 1, f.height};
      bar.color = s.color;
      list.items.push_back(bar);
    }
    list.items.push_back(marker(ItemKind::pop_clip));
    if (drop_down) {
      Item arrow;
      arrow.kind = ItemKind::drop_arrow;
      arrow.bounds = {left + width, f.y + dy, std::min(select_arrow_room, b.content_box_width()), f.height};
      arrow.color = s.color;
      list.items.push_back(arrow);
    }
  }

  void text(const Box& t, float dx, float dy) {
    const style::ComputedStyle& s = *t.style;
    if (s.visibility != style::Visibility::visible) return;
    for (const layout::TextFragment& f : t.fragments) {
      std::string run = t.text.substr(f.start, f.end - f.start);
      if (f.ellipsis) run += text::ellipsis;
      while (!run.empty() && run.back() == ' ') run.pop_back();  // hanging spaces draw nothing
      if (run.empty()) continue;
      Item it = text_item(t, std::move(run), f.x + dx, f.width, f, dy, s.color);
      it.underline = s.underline;
      list.items.push_back(std::move(it));
    }
  }

  void push_clip(const Box&, const Clip& c) {
    Item it;
    it.kind = ItemKind::push_clip;
    it.bounds = {c.left, c.top, c.right - c.left, c.bottom - c.top};
    clips.push_back(list.items.size());
    list.items.push_back(std::move(it));
  }
  // A clip whose content lies well inside it (a table cell whose text fits)
  // or that holds nothing is left out: each clip costs the player two calls,
  // and a list's cells are most of what it draws.
  void pop_clip(const Box&) {
    const std::size_t at = clips.back();
    clips.pop_back();
    const Rect c = list.items[at].bounds;
    const auto inside = [&](const Item& it) {
      if (it.kind != ItemKind::rect && it.kind != ItemKind::border && it.kind != ItemKind::text &&
          it.kind != ItemKind::image && it.kind != ItemKind::check_mark)
        return false;
      // Glyphs may reach a little past their advance, and rarely their line box.
      const bool text = it.kind == ItemKind::text;
      const float mx = text ? std::max(2.0f, it.font_size / 4) : 0, my = text ? 1 : 0;
      const Rect& r = it.bounds;
      return r.x - mx >= c.x && r.y - my >= c.y && r.x + r.width + mx <= c.x + c.width &&
             r.y + r.height + my <= c.y + c.height;
    };
    if (std::all_of(list.items.begin() + static_cast<std::ptrdiff_t>(at) + 1, list.items.end(), inside)) {
      list.items.erase(list.items.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    }
    list.items.push_back(marker(ItemKind::pop_clip));
  }

  // A border in the colour of the fill just drawn under it (a checked box)
  // shows nothing of its own.
  bool hidden_by_fill(const Item& border) const {
    if (list.items.empty()) return false;
    const Item& fill = list.items.back();
    if (fill.kind != ItemKind::rect || fill.color.a != 255 || !(fill.bounds == border.bounds)) return false;
    for (int i = 0; i < 4; ++i)
      if (fill.radii[i] != border.radii[i] || !(border.side_colors[i] == fill.color)) return false;
    return true;
  }

  // A quiet track and a rounded thumb, darker on pages with light text.
  void scroll_bar(const Box& b, const ScrollBar& bar) {
    const style::Color text = b.style->color;
    const bool dark = text.r * 299 + text.g * 587 + text.b * 114 > 128 * 1000;
    Item track;
    track.kind = ItemKind::rect;
    track.bounds = bar.track;
    track.color = dark ? style::Color{0x2B, 0x2B, 0x2B, 255} : style::Color{0xF0, 0xF0, 0xF0, 255};
    list.items.push_back(std::move(track));
    if (bar.thumb.width <= 0 || bar.thumb.height <= 0) return;
    Item thumb;
    thumb.kind = ItemKind::rect;
    thumb.bounds = bar.thumb;
    thumb.color = dark ? style::Color{0x6B, 0x6B, 0x6B, 255} : style::Color{0xC1, 0xC1, 0xC1, 255};
    std::fill(std::begin(thumb.radii), std::end(thumb.radii), bar.thumb.width / 2);
    list.items.push_back(std::move(thumb));
  }

  void leave(const Box&) {
    if (layered.back()) list.items.push_back(marker(ItemKind::pop_layer));
    layered.pop_back();
  }
};

struct HitTester {
  float x, y;
  Node* found = nullptr;
  std::vector<Clip> clips;

  static Node* element_of(const Box& b) {
    for (const Box* p = &b; p; p = p->parent)
      if (p->node && p->node->is_element()) return p->node;
    return nullptr;
  }
  bool clipped() const {
    return std::any_of(clips.begin(), clips.end(), [&](const Clip& c) { return !c.contains(x, y); });
  }

  void enter(const Box& b, float dx, float dy) {
    if (!b.style->pointer_events || b.style->visibility != style::Visibility::visible || clipped()) return;
    const float left = b.x + dx, top = b.y + dy;
    if (x >= left && x < left + b.width && y >= top && y < top + b.height) found = element_of(b);
  }
  void text(const Box& t, float dx, float dy) {
    if (!t.style->pointer_events || clipped()) return;
    for (const layout::TextFragment& f : t.fragments)
      if (x >= f.x + dx && x < f.x + dx + f.width && y >= f.y + dy && y < f.y + dy + f.height) found = element_of(t);
  }
  void push_clip(const Box&, const Clip& c) { clips.push_back(c); }
  void pop_clip(const Box&) { clips.pop_back(); }
  // The bar belongs to its scroll container, whatever lies under it.
  void scroll_bar(const Box& b, const ScrollBar& bar) {
    const Rect& t = bar.track;
    if (!clipped() && x >= t.x && x < t.x + t.width && y >= t.y && y < t.y + t.height) found = element_of(b);
  }
  void leave(const Box&) {}
};

Rect unite(const Rect& a, const Rect& b) {
  if (a.width <= 0 || a.height <= 0) return b;
  if (b.width <= 0 || b.height <= 0) return a;
  const float left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const float right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

const char* kind_name(ItemKind k) {
  switch (k) {
    case ItemKind::rect:
      return "rect";
    case ItemKind::border:
      return "border";
    case ItemKind::text:
      return "text";
    case ItemKind::image:
      return "image";
    case ItemKind::push_clip:
      return "clip";
    case ItemKind::pop_clip:
      return "end-clip";
    case ItemKind::push_layer:
      return "layer";
    case ItemKind::pop_layer:
      return "end-layer";
    case ItemKind::check_mark:
      return "check";
    case ItemKind::drop_arrow:
      return "arrow";
  }
  return "?";
}

}  // namespace

DisplayList build_display_list(const layout::LayoutTree& tree, float viewport_width, float viewport_height) {
  DisplayList list;
  list.width = viewport_width;
  list.height = viewport_height;
  if (!tree.root()) return list;
  // The canvas takes the root's background, or the body's when the root has none.
  const Box* root = tree.root();
  const Box* canvas_box = root;
  if (root->style->background_color.transparent())
    for (const Box* c : root->children)
      if (c->node && c->node->tag_kind == TagKind::body) canvas_box = c;
  const style::Color canvas = canvas_box->style->background_color;
  if (!canvas.transparent()) {
    Item it;
    it.kind = ItemKind::rect;
    it.bounds = {0, 0, viewport_width, viewport_height};
    it.color = canvas;
    list.items.push_back(std::move(it));
  }
  Painter painter{list, canvas_box, {}};
  Walker<Painter>(painter, {0, 0, viewport_width, viewport_height}, tree.options()).walk(*root);
  return list;
}

Rect changed_region(const DisplayList& before, const DisplayList& after) {
  const Rect everything{0, 0, after.width, after.height};
  if (before.width != after.width || before.height != after.height) return everything;
  auto structural = [](ItemKind k) {
    return k == ItemKind::push_clip || k == ItemKind::pop_clip || k == ItemKind::push_layer || k == ItemKind::pop_layer;
  };
  const std::vector<Item>& a = before.items;
  const std::vector<Item>& b = after.items;
  // Items are matched in order. A changed drawing item dirties its old and new
  // bounds; a few drawing items added or removed (a row's new background) are
  // skipped over to where the lists agree again. Once the structure differs
  // (a clip or layer added, removed or changed), everything from there on
  // counts as changed.
  constexpr std::size_t look_ahead = 8;
  Rect region{0, 0, 0, 0};
  std::size_t i = 0, j = 0;
  auto drawing_run = [&](const std::vector<Item>& list, std::size_t from, std::size_t count) {
    for (std::size_t k = from; k < from + count; ++k)
      if (k >= list.size() || structural(list[k].kind)) return false;
    return true;
  };
  while (i < a.size() && j < b.size()) {
    if (a[i] == b[j]) {
      ++i, ++j;
      continue;
    }
    // Drawing items added or removed just before a clip (a cell's new
    // background) are skipped over like any others.
    std::size_t skip_a = 0, skip_b = 0;
    for (std::size_t k = 1; k <= look_ahead && !skip_a && !skip_b; ++k) {
      if (i + k < a.size() && a[i + k] == b[j] && drawing_run(a, i, k))
        skip_a = k;
      else if (j + k < b.size() && a[i] == b[j + k] && drawing_run(b, j, k))
        skip_b = k;
    }
    if (skip_a) {
      for (std::size_t k = i; k < i + skip_a; ++k) region = unite(region, a[k].bounds);
      i += skip_a;
      continue;
    }
    if (skip_b) {
      for (std::size_t k = j; k < j + skip_b; ++k) region = unite(region, b[k].bounds);
      j += skip_b;
      continue;
    }
    if (structural(a[i].kind) || structural(b[j].kind)) break;
    region = unite(region, unite(a[i].bounds, b[j].bounds));
    ++i, ++j;
  }
  for (const auto& [list, from] : {std::pair{&a, i}, std::pair{&b, j}}) {
    for (std::size_t k = from; k < list->size(); ++k) {
      const Item& it = (*list)[k];
      // A transformed layer can draw anywhere.
      if (it.kind == ItemKind::push_layer && !it.transform.identity()) return everything;
      region = unite(region, it.bounds);
    }
  }
  return region;
}

float ScrollBar::offset_for(float thumb_top) const {
  const float travel = track.height - thumb.height;
  if (travel <= 0 || range <= 0) return 0;
  return std::clamp((thumb_top - track.y) / travel * range, 0.0f, range);
}

std::optional<ScrollBar> vertical_scroll_bar(const Box& b, float dx, float dy, const layout::LayoutOptions& viewport) {
  if (b.scrollbar_y <= 0) return std::nullopt;
  ScrollBar bar;
  float content = 0;
  if (!b.parent) {
    // The window's bar, beside everything.
    bar.track = {viewport.viewport_width - b.scrollbar_y, 0, b.scrollbar_y, viewport.viewport_height};
    content = b.overflow.y + b.overflow.height;
  } else if (b.is_scroll_container()) {
    bar.track = {b.x + dx + b.width - b.border.right - b.scrollbar_y, b.y + dy + b.border.top, b.scrollbar_y,
                 b.height - b.border.vertical() - b.scrollbar_x};
    content = b.content_height;
  } else {
    return std::nullopt;
  }
  if (bar.track.width <= 0 || bar.track.height <= 0) return std::nullopt;
  const float visible = bar.track.height;
  bar.range = std::max(0.0f, content - visible);
  const float scrolled = b.node ? b.node->scroll.y : 0;
  bar.offset = std::clamp(scrolled, 0.0f, bar.range);
  if (bar.range > 0) {
    // Long enough to grab, in proportion to what shows.
    const float length = std::clamp(bar.track.height * visible / (visible + bar.range),
                                    std::min(20.0f, bar.track.height), bar.track.height);
    const float inset = std::min(4.0f, bar.track.width / 4);
    bar.thumb = {bar.track.x + inset, bar.track.y + (bar.track.height - length) * bar.offset / bar.range,
                 bar.track.width - 2 * inset, length};
  }
  return bar;
}

Node* hit_test(const layout::LayoutTree& tree, float x, float y) {
  if (!tree.root()) return nullptr;
  HitTester tester{x, y, nullptr, {}};
  Walker<HitTester>(tester, {x, y, x, y}, tree.options()).walk(*tree.root());
  return tester.found;
}

std::size_t DisplayList::memory_usage() const {
  std::size_t bytes = memory::heap(items);
  for (const Item& it : items) bytes += memory::heap(it.text) + memory::heap(it.font_family) + memory::heap(it.image);
  return bytes;
}

std::string DisplayList::dump() const {
  std::string out;
  char buf[160];
  int depth = 0;
  for (const Item& it : items) {
    if (it.kind == ItemKind::pop_clip || it.kind == ItemKind::pop_layer) --depth;
    out.append(static_cast<std::size_t>(std::max(depth, 0)) * 2, ' ');
    auto r = [](float v) { return std::round(v * 100) / 100; };
    std::snprintf(buf, sizeof buf, "%s %g,%g %gx%g", kind_name(it.kind), r(it.bounds.x), r(it.bounds.y),
                  r(it.bounds.width), r(it.bounds.height));
    out += buf;
    auto hex = [&](const style::Color& c) {
      std::snprintf(buf, sizeof buf, " #%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
      out += buf;
    };
    switch (it.kind) {
      case ItemKind::rect:
      case ItemKind::check_mark:
      case ItemKind::drop_arrow:
        hex(it.color);
        break;
      case ItemKind::border:
        for (int i = 0; i < 4; ++i) {
          std::snprintf(buf, sizeof buf, " %g", r(it.widths[i]));
          out += buf;
          hex(it.side_colors[i]);
        }
        break;
      case ItemKind::text:
        out += " \"" + it.text + "\"";
        hex(it.color);
        std::snprintf(buf, sizeof buf, " %gpx %u", r(it.font_size), static_cast<unsigned>(it.font_weight));
        out += buf;
        break;
      case ItemKind::image:
        out += " " + it.image;
        hex(it.color);
        break;
      case ItemKind::push_layer:
        std::snprintf(buf, sizeof buf, " opacity %g", r(it.opacity));
        out += buf;
        break;
      default:
        break;
    }
    out += '\n';
    if (it.kind == ItemKind::push_clip || it.kind == ItemKind::push_layer) ++depth;
  }
  return out;
}

}  // namespace ostrel::paint
