// The cleanup list's own pictures, drawn for 16 × 16 pixels.
#include "page-cleanup/page.h"

namespace vx::page_cleanup {

std::string_view image_bytes(std::string_view name) {
  if (name == fold_closed_image)
    return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
           R"(<polyline points="6,3.5 10.5,8 6,12.5" fill="none" stroke="#555" stroke-width="1.5"/></svg>)";
  if (name == fold_open_image)
    return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
           R"(<polyline points="3.5,6 8,10.5 12.5,6" fill="none" stroke="#555" stroke-width="1.5"/></svg>)";
  if (name == warning_image)
    return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
           R"(<path d="M8 1.5 L15 14.5 L1 14.5 Z" fill="#E8A317"/>)"
           R"(<rect x="7.1" y="5.5" width="1.8" height="5" fill="#FFFFFF"/>)"
           R"(<rect x="7.1" y="11.6" width="1.8" height="1.8" fill="#FFFFFF"/></svg>)";
  return {};
}

}  // namespace vx::page_cleanup
