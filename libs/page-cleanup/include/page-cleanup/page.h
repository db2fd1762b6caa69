// The "cleanup" tab: the rule entries that apply to this machine in
// collapsible categories, each with a checkbox and a size, Analyze and Clean
// with a status line, and the user's choice kept in Cleanup.txt. Window
// thread only; the jobs run elsewhere and come back through the receivers
// they are given, on the window thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "ostrel/bindings.h"
#include "page-cleanup/model.h"
#include "ui/dialogs.h"
#include "ui/pages.h"
#include "ui/row_window.h"

namespace vx::page_cleanup {

// What the page asks of the machine.
class Services {
 public:
  virtual ~Services() = default;
  virtual void start_load(std::function<void(winapp2::LoadResult)> loaded) = 0;
  virtual void start_analysis(std::vector<winapp2::JobItem> items, winapp2::AnalysisEvents receivers) = 0;
  virtual void start_cleaning(std::vector<winapp2::JobItem> items, winapp2::CleaningEvents receivers) = 0;
  // Replaces Cleanup.txt with the text, making its folder when missing.
  virtual Result<> save_selection(std::string_view text) = 0;
};

// The three pictures the rows use, registered before the first row.
inline constexpr std::string_view fold_closed_image = "cu-fold-closed.svg";
inline constexpr std::string_view fold_open_image = "cu-fold-open.svg";
inline constexpr std::string_view warning_image = "cu-warn.svg";
std::string_view image_bytes(std::string_view name);

// The context menu's commands.
enum MenuCommand : unsigned { menu_all = 1, menu_none = 2, menu_defaults = 3 };

class CleanupPage final : public ui::Page {
 public:
  CleanupPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
              std::unique_ptr<ui::Dialogs> dialogs);
  CleanupPage(const CleanupPage&) = delete;
  CleanupPage& operator=(const CleanupPage&) = delete;

  void open(const ui::AppContext& context, const process::KeepLists& lists) override;
  void shown() override;
  void lists_changed(const process::KeepLists&) override {}  // the page keeps no list
  // A newer rule file arrived: load again unless a job runs (the next load picks it up).
  void reload() override;
  // The main window changed size: the first column takes what the others leave.
  void fit_columns();
  std::size_t memory_usage() const override { return sizeof(*this) + model_.memory_usage(); }

  const Model& model() const { return model_; }
  bool ready() const { return ready_; }
  bool busy() const { return busy_; }
  std::optional<std::size_t> active_row() const { return active_; }

 private:
  static void on_change(ostrel::Event* event, void* page);
  static void on_click(ostrel::Event* event, void* page);
  static void on_context_menu(ostrel::Event* event, void* page);
  static void on_key(ostrel::Event* event, void* page);
  static void on_columns(ostrel::Event* event, void* page);
  static void on_scroll(ostrel::Event* event, void* page);
  static void on_analyze(ostrel::Event* event, void* page);
  static void on_clean(ostrel::Event* event, void* page);

  void start_load();
  void loaded(winapp2::LoadResult result);
  void analyze();
  void clean();
  void analysed_entry(winapp2::Progress progress, std::size_t item, winapp2::ResolvedEntry result);
  void cleaned_entry(winapp2::Progress progress, std::size_t item);
  void job_done(std::string status);

  // What the user did to a row; `screen_row` counts from 0.
  void toggle_check(std::size_t screen_row);
  void toggle_expanded(std::size_t screen_row);
  void set_active(std::optional<std::size_t> screen_row);
  void selection_changed();
  void save_selection();

  void render_rows();
  // Makes the rows near the list's view and drops the others.
  void show_rows();
  std::optional<ostrel::ui::Element> make_row(std::size_t screen_row);
  void fill_row(ostrel::ui::Element row, std::size_t screen_row);
  // A row's checkbox, "part" class and size as the model has them.
  void refresh_row(ostrel::ui::Element row, std::size_t screen_row);
  void refresh_rows();
  void refresh_item(std::size_t item);  // its row when shown, and its category's
  void update_buttons();
  void set_status(std::string_view text);
  std::string size_cell_text(const Row& row) const;
  std::string warnings_text() const;

  ostrel::ui::DocumentRef document_;
  std::unique_ptr<Services> services_;
  std::unique_ptr<ui::Dialogs> dialogs_;
  std::string language_ = "en";
  Model model_;
  bool ready_ = false;
  bool busy_ = false;
  bool opened_ = false;
  std::optional<std::size_t> active_;
  ui::RowWindow rows_;  // the rows made: only those near the list's view
};

}  // namespace vx::page_cleanup
