// The home page's one button: close every program nothing protects, then end.
#pragma once

namespace vx::app {

class App;

// The click handler of "btn-clean" (window thread): swaps the button for the
// spinner and starts the run on a worker; the program closes when it is over.
void start_close_run(App& app);

}  // namespace vx::app
