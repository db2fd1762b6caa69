// The cleanup page as the program runs it: its jobs on worker threads that
// report to the main window, its selection file in the user's roaming folder,
// its pop-ups owned by the main window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "page-cleanup/page.h"

namespace vx::app {

std::unique_ptr<page_cleanup::CleanupPage> make_cleanup_page(ostrel::ui::DocumentRef document, HWND window,
                                                             std::string caption);

}  // namespace vx::app
