// The startup page as the program runs it: loads and deletions on worker
// threads that report to the main window, switching on the window thread,
// native boxes and the file-save dialog owned by the main window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "page-autorun/page.h"

namespace vx::app {

std::unique_ptr<autorun::AutorunPage> make_autorun_page(ostrel::ui::DocumentRef document, HWND window,
                                                        std::string caption);

}  // namespace vx::app
