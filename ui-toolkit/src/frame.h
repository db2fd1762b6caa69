// One frame of a view's document, without the window: style, animations,
// layout, display list and the region that changed since the last frame. The
// platform view runs it on the window thread and draws the region.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "dom/dom.h"
#include "layout/box.h"
#include "ostrel/text/measure.h"
#include "paint/display_list.h"
#include "style/animation.h"
#include "style/engine.h"

namespace ostrel {

struct MemoryUsage;

// What FRAMELOG prints for a frame: times in milliseconds.
struct FrameStats {
  double since_last = 0;  // since the previous frame began
  bool full = false;      // everything redrawn
  float width = 0, height = 0;
  std::size_t items = 0;  // display-list items
  double layout = 0;      // restyle, animations and layout
  double paint = 0;       // building the display list
  double diff = 0;        // finding the changed region
  double render = 0;      // drawing it (measured by the platform)
};
std::string frame_log_line(const FrameStats& stats);

class FrameDriver {
 public:
  FrameDriver(Document& document, text::TextMeasurer& measurer);

  struct Result {
    Rect region{0, 0, 0, 0};  // what to redraw, CSS pixels; empty when nothing changed
    bool more = false;        // an animation or transition asks for another frame
  };
  // Runs the document's work for a frame at `now` (seconds, any monotonic
  // origin) in a viewport of `width` x `height` CSS pixels. Everything counts
  // as changed on the first frame, after a size change or when `full` is asked.
  Result run(double now, float width, float height, bool full);
  // Only the part of a frame that places boxes (frame tasks, style,
  // animations, layout), for a caller that reads geometry between frames as
  // a browser lets scripts do. The next frame paints what changed.
  void update_layout(double now, float width, float height);

  const paint::DisplayList& display_list() const { return shown_; }
  // Adds the document's, the styles', the layout's and the display list's bytes.
  void add_memory_usage(MemoryUsage& out) const;
  const layout::LayoutTree& layout() const { return tree_; }
  FrameStats& stats() { return stats_; }

 private:
  bool lay_out(double now, float width, float height);  // true while an animation runs
  Document& document_;
  style::StyleEngine engine_;
  style::Animator animator_;
  layout::LayoutTree tree_;
  paint::DisplayList shown_;
  FrameStats stats_;
  bool first_ = true;
  double last_start_ = 0;
};

}  // namespace ostrel
