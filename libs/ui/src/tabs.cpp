#include "ui/tabs.h"

#include <string>

#include "ostrel/ostrel.h"

namespace vx::ui {

void show_tab(ostrel::Document* document, std::string_view name) {
  static constexpr std::string_view active = "active";
  for (const std::string_view tab : tab_names)
    for (const std::string_view prefix : {"tab-", "panel-"}) {
      const std::string id = std::string(prefix) + std::string(tab);
      ostrel::Node* element = ostrel::get_element_by_id(document, id.data(), id.size());
      if (!element) continue;
      if (tab == name)
        ostrel::add_class(element, active.data(), active.size());
      else
        ostrel::remove_class(element, active.data(), active.size());
      if (prefix == "tab-")
        ostrel::set_attribute(element, "aria-selected", 13, tab == name ? "true" : "false", tab == name ? 4 : 5);
    }
}

}  // namespace vx::ui
