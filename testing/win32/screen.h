// What a window shows on the screen, for tests: its client area as pixels and
// as a PNG file in the build tree's artifacts folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vx::testing {

struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top-down rows
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The client area of `window` as the screen shows it.
Capture capture(HWND window);

// Writes the picture to VORLIX_ARTIFACTS/name (a PNG); false when it cannot.
bool save_artifact(const Capture& picture, const std::wstring& name);

}  // namespace vx::testing
