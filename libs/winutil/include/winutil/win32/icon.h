// A file's shell icon as PNG bytes the UI toolkit can show.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::winutil::win32 {

// The PNG for an icon image key ("exe1:C:\\x\\app.exe,0", see winutil/icon.h):
// the icon of the named file, or the class's built-in picture when the file is
// missing or its icon cannot be read. Absent for a key that names no valid
// class. The calling thread must have COM initialised (apartment-threaded).
std::optional<std::string> render_icon_image(std::string_view key);

// The images of these keys as (key, PNG) pairs, a key without one left out.
// Joins the calling thread to COM (apartment-threaded) while it renders.
std::vector<std::pair<std::string, std::string>> render_icon_images(const std::vector<std::string>& keys);

// The icon's colour picture as PNG, its alpha taken from the mask when the
// colour bitmap carries none. Absent when it has no colour bitmap or is not
// between 1 and 256 pixels in each direction. The icon stays the caller's.
std::optional<std::string> icon_to_png(HICON icon);

}  // namespace vx::winutil::win32
