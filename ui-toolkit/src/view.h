// The view record and the seam to the platform window (win32/ on Windows).
#pragma once

#include <memory>

#include "dom/dom.h"

namespace ostrel {

class ViewPlatform;

}  // namespace ostrel

struct ostrel::View {
  std::unique_ptr<Document> document;
  void* window = nullptr;  // the view's own child window once attached
  void* parent = nullptr;
  int x = 0, y = 0, width = 320, height = 240;  // requested bounds, device pixels
  bool visible = true;
  float scale = 1.0f;             // window DPI / 96
  void* platform_data = nullptr;  // owned by the platform layer
};

namespace ostrel {

// What a platform offers views: a window inside a parent window. Without one
// (native builds), attach reports that the parent is not a window.
class ViewPlatform {
 public:
  virtual ~ViewPlatform() = default;
  // Creates the child window; on failure sets the last error and returns 1 or 4.
  virtual int attach(View& view, void* parent) = 0;
  virtual void detach(View& view) = 0;  // destroys the window, stops the frame worker
  virtual void move(View& view) = 0;    // applies the stored bounds
  virtual void request_frame(View& view) = 0;
  // Places the boxes of what changed since the last frame, now, so geometry
  // read between frames is current.
  virtual void update_layout(View& view) = 0;
};
void set_view_platform(ViewPlatform* platform);

// Sets the calling thread's last error (printf-style, at most 255 characters).
void set_last_error(const char* format, ...)
#if defined(__GNUC__) && !defined(__clang__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;

// Work the frame does before style and layout: asks the image loader once for
// each image that an element names but the table lacks.
void run_frame_tasks(Document& document);

}  // namespace ostrel
