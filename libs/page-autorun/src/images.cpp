// The startup list's pictures of where an item comes from, drawn for 16 × 16 pixels.
#include "page-autorun/page.h"

namespace vx::autorun {

std::string_view source_image(SourceKind kind) {
  switch (kind) {
    case SourceKind::folder:
      return "src-folder.svg";
    case SourceKind::registry:
      return "src-registry.svg";
    case SourceKind::task:
      return "src-task.svg";
    case SourceKind::service:
      return "src-service.svg";
  }
  return {};
}

std::string_view source_image_bytes(SourceKind kind) {
  switch (kind) {
    case SourceKind::folder:  // a folder
      return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
             R"(<path d="M1.5 3.5 L6 3.5 L7.5 5 L14.5 5 L14.5 13 L1.5 13 Z" fill="#F2C14E" stroke="#C99A2E"/></svg>)";
    case SourceKind::registry:  // a cube
      return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
             R"(<path d="M8 1.5 L14 4.5 L8 7.5 L2 4.5 Z" fill="#7FB3F0"/>)"
             R"(<path d="M2 4.5 L8 7.5 L8 14.5 L2 11.5 Z" fill="#3D84DD"/>)"
             R"(<path d="M14 4.5 L8 7.5 L8 14.5 L14 11.5 Z" fill="#2A5FA8"/></svg>)";
    case SourceKind::task:  // a calendar page with a tick
      return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
             R"(<rect x="2" y="2.5" width="12" height="11.5" fill="#FFFFFF" stroke="#6D6D6D"/>)"
             R"(<rect x="2" y="2.5" width="12" height="3" fill="#3D84DD"/>)"
             R"(<polyline points="5,9.5 7,11.5 11,7.5" fill="none" stroke="#3A9A4A" stroke-width="1.5"/></svg>)";
    case SourceKind::service:  // a gear
      return R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
             R"(<path d="M7 1 L9 1 L9.4 3.1 L11 3.8 L12.8 2.6 L14.2 4 L13 5.8 L13.6 7.4 L15.7 7.8 L15.7 9.8 )"
             R"(L13.6 10.2 L13 11.8 L14.2 13.6 L12.8 15 L11 13.8 L9.4 14.5 L9 15.7 L7 15.7 L6.6 14.5 L5 13.8 )"
             R"(L3.2 15 L1.8 13.6 L3 11.8 L2.4 10.2 L0.3 9.8 L0.3 7.8 L2.4 7.4 L3 5.8 L1.8 4 L3.2 2.6 L5 3.8 )"
             R"(L6.6 3.1 Z" fill="#808A96"/><circle cx="8" cy="8.8" r="2.4" fill="#FFFFFF"/></svg>)";
  }
  return {};
}

}  // namespace vx::autorun
