// The Windows side of views: attach() makes a child window of class
// "OstrelUIView" that shows the document with Direct2D and paces its frames.
#pragma once

namespace ostrel::win32 {

// Makes attach() create real windows. Call once, before the first attach.
void use_windows_views();

}  // namespace ostrel::win32
