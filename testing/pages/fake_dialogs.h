// Pop-ups for the pages' tests: the menu choice, the answer and the chosen
// file are set beforehand; what was shown is kept for the test to read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace vx::testing {

struct FakeDialogs final : ui::Dialogs {
  std::optional<unsigned> menu_choice;
  std::vector<std::string> menus;  // the lines of each menu shown, joined with "|", "-" for a separator
  bool answer = false;
  std::vector<std::string> questions;
  std::vector<std::pair<std::string, ui::BoxIcon>> messages;
  std::optional<std::string> save_path;
  std::vector<ui::SaveFileRequest> save_requests;

  std::optional<unsigned> popup_menu(std::span<const ui::MenuLine> lines) override {
    std::string shown;
    for (const auto& [text, id] : lines) shown += (shown.empty() ? "" : "|") + (id ? std::string(text) : "-");
    menus.push_back(shown);
    return menu_choice;
  }
  bool ask_yes_no(std::string_view text, ui::BoxIcon, bool) override {
    questions.emplace_back(text);
    return answer;
  }
  void tell(std::string_view text, ui::BoxIcon icon) override { messages.emplace_back(text, icon); }
  std::optional<std::string> choose_save_file(const ui::SaveFileRequest& request) override {
    save_requests.push_back(request);
    return save_path;
  }
};

}  // namespace vx::testing
