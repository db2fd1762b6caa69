// What a view holds in memory, by owner: estimates from sizes and capacities
// (records, vectors, strings that left their inline buffer, hash nodes),
// cheap enough to ask at any time. For the memory benchmark and diagnostics.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ostrel {

struct Document;

struct MemoryUsage {
  std::size_t dom = 0;            // nodes, attributes, texts, listeners, interned names
  std::size_t images = 0;         // the document's image table: encoded bytes, parsed SVG pictures
  std::size_t style = 0;          // computed styles, sheets and the engine's caches
  std::size_t layout = 0;         // boxes, their text pieces and what each box's last layout left
  std::size_t display_list = 0;   // the shown display list's items and their strings
  std::size_t text_widths = 0;    // the measure cache's widths
  std::size_t shaped_text = 0;    // the font system's shaped texts
  std::size_t fonts = 0;          // the font catalog's records (font files are the system's)
  std::size_t glyphs = 0;         // glyph coverage rasterised on the CPU
  std::size_t text_bitmaps = 0;   // Direct2D bitmaps of texts drawn before, in pixels' bytes
  std::size_t image_bitmaps = 0;  // decoded raster images and their Direct2D bitmaps
  std::size_t offscreen = 0;      // bitmaps for opacity and shaped clips
  std::size_t picture = 0;        // the kept picture of the whole view
  std::size_t cached_texts = 0;   // how many texts text_bitmaps holds (a count, not bytes)

  template <class F>
  void each(F f) const {
    f("dom", dom);
    f("images", images);
    f("style", style);
    f("layout", layout);
    f("display_list", display_list);
    f("text_widths", text_widths);
    f("shaped_text", shaped_text);
    f("fonts", fonts);
    f("glyphs", glyphs);
    f("text_bitmaps", text_bitmaps);
    f("image_bitmaps", image_bitmaps);
    f("offscreen", offscreen);
    f("picture", picture);
    f("cached_texts (count)", cached_texts);
  }
};

// The document's own records and its image table.
void add_document_usage(const Document& document, MemoryUsage& out);

namespace memory {

// Heap bytes behind a string: none while it fits the inline buffer.
inline std::size_t heap(const std::string& s) { return s.capacity() > std::string().capacity() ? s.capacity() + 1 : 0; }
template <class T>
std::size_t heap(const std::vector<T>& v) {
  return v.capacity() * sizeof(T);
}
// A node per entry (the value, the next pointer and the cached hash) and the bucket array.
template <class K, class V, class... R>
std::size_t heap(const std::unordered_map<K, V, R...>& m) {
  return m.size() * (sizeof(std::pair<const K, V>) + 2 * sizeof(void*)) + m.bucket_count() * sizeof(void*);
}
template <class K, class... R>
std::size_t heap(const std::unordered_set<K, R...>& m) {
  return m.size() * (sizeof(K) + 2 * sizeof(void*)) + m.bucket_count() * sizeof(void*);
}

}  // namespace memory
}  // namespace ostrel
