// The main window's four tabs: "tab-" + name is the tab, "panel-" + name the
// panel it shows; the style sheet shows only the panel marked "active".
#pragma once

#include <array>
#include <string_view>

namespace ostrel {
struct Document;
}

namespace vx::ui {

inline constexpr std::array<std::string_view, 4> tab_names = {"home", "startup", "cleanup", "bundle"};

// Marks the named tab and its panel "active" and every other one not.
void show_tab(ostrel::Document* document, std::string_view name);

}  // namespace vx::ui
