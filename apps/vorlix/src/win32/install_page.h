// The bundle page as the program runs it: the inventory on a worker thread
// that reports to the main window, uninstallers started through the desktop's
// shell, message boxes owned by the main window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "page-install/page.h"

namespace vx::app {

std::unique_ptr<install::InstallPage> make_install_page(ostrel::ui::DocumentRef document, HWND window,
                                                        std::string caption);

}  // namespace vx::app
