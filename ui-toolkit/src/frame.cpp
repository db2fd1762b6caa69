#include "src/frame.h"

#include <chrono>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "src/memory_usage.h"
#include "src/text_box.h"
#include "src/view.h"

namespace ostrel {
namespace {

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string frame_log_line(const FrameStats& s) {
  char line[160];
  std::snprintf(line, sizeof line, "%.1f %s %.0fx%.0f n=%u  layout %.1f paint %.1f diff %.1f render %.1f\n",
                s.since_last, s.full ? "FULL" : "part", static_cast<double>(s.width), static_cast<double>(s.height),
                static_cast<unsigned>(s.items), s.layout, s.paint, s.diff, s.render);
  return line;
}

void FrameDriver::add_memory_usage(MemoryUsage& out) const {
  add_document_usage(document_, out);
  // Styles are shared between look-alike elements and kept by boxes too: each counts once.
  std::unordered_set<const style::ComputedStyle*> styles;
  std::vector<const Node*> stack{document_.document_node};
  while (!stack.empty()) {
    const Node* n = stack.back();
    stack.pop_back();
    if (n->style) styles.insert(n->style.get());
    for (const Node* c = n->first_child; c; c = c->next) stack.push_back(c);
  }
  out.style += engine_.memory_usage(styles);
  for (const style::ComputedStyle* s : styles) out.style += style::style_bytes(*s);
  out.layout += tree_.memory_usage();
  out.display_list += shown_.memory_usage();
}

FrameDriver::FrameDriver(Document& document, text::TextMeasurer& measurer)
    : document_(document), engine_(document), tree_(document, measurer) {}

FrameDriver::Result FrameDriver::run(double now, float width, float height, bool full) {
  using clock = std::chrono::steady_clock;
  Result result;
  stats_ = {};
  stats_.since_last = first_ ? 0 : (now - last_start_) * 1000;
  last_start_ = now;
  full = full || first_ || width != shown_.width || height != shown_.height;
  first_ = false;

  auto start = clock::now();
  result.more = lay_out(now, width, height);
  stats_.layout = milliseconds_since(start);

  start = clock::now();
  paint::DisplayList next = paint::build_display_list(tree_, width, height);
  stats_.paint = milliseconds_since(start);

  start = clock::now();
  result.region = full ? Rect{0, 0, width, height} : paint::changed_region(shown_, next);
  stats_.diff = milliseconds_since(start);

  shown_ = std::move(next);
  document_.wants_frame = false;
  stats_.full = full;
  stats_.width = width;
  stats_.height = height;
  stats_.items = shown_.items.size();
  return result;
}

bool FrameDriver::lay_out(double now, float width, float height) {
  run_frame_tasks(document_);
  engine_.update({width, height, document_.dark, true, true, false});
  animator_.styles_changed(engine_, now);
  const bool more = animator_.tick(engine_, now);
  tree_.layout({width, height, 17});
  keep_caret_in_view(document_, tree_);
  document_.layout_stale = false;
  return more;
}

void FrameDriver::update_layout(double now, float width, float height) { lay_out(now, width, height); }

}  // namespace ostrel
