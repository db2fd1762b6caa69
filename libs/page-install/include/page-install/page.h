// The "bundle" tab: the installed programs the bundle list names (plug-ins
// that banking sites and other software install along with themselves), and
// starting the chosen one's uninstaller with the desktop user's rights.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/error.h"
#include "ostrel/bindings.h"
#include "page-install/inventory.h"
#include "process/keep_list.h"
#include "ui/dialogs.h"
#include "ui/pages.h"

namespace vx::install {

// The programs of the bundle list in inventory order, as indices into
// `programs`: a program is shown when its lower-cased name begins with a list
// key, and only the first program of a name.
std::vector<std::size_t> bundle_rows(const std::vector<InstalledProgram>& programs,
                                     const std::vector<std::string>& keys);

// One finished inventory, with the icons rendered for it.
struct Batch {
  std::uint64_t generation = 0;
  std::vector<InstalledProgram> programs;
  std::vector<std::pair<std::string, std::string>> images;
};

// What the page asks of the machine.
class Services {
 public:
  virtual ~Services() = default;
  // Icons are rendered for the programs `bundle_keys` shows: the page shows no other.
  virtual void start_load(std::uint64_t generation, std::vector<std::string> bundle_keys,
                          std::function<void(Batch)> accept) = 0;
  // Through the desktop's shell, with the user's normal rights.
  virtual Result<> start_as_desktop_user(const std::string& program, const std::string& arguments) = 0;
  // With this program's own rights, when the shell cannot be reached.
  virtual Result<> start_directly(const std::string& program, const std::string& arguments) = 0;
};

class InstallPage final : public ui::Page {
 public:
  InstallPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
              std::unique_ptr<ui::Dialogs> dialogs);
  InstallPage(const InstallPage&) = delete;
  InstallPage& operator=(const InstallPage&) = delete;

  void open(const ui::AppContext& context, const process::KeepLists& lists) override;
  void shown() override { fit_columns(); }
  void lists_changed(const process::KeepLists& lists) override;
  void reload() override;
  void fit_columns();

  // The shown programs, in order.
  std::vector<const InstalledProgram*> rows() const;
  std::optional<std::size_t> selection() const { return selection_; }
  std::uint64_t generation() const { return generation_; }
  // The last inventory whole, not only the shown rows.
  const std::vector<InstalledProgram>& programs() const { return programs_; }

 private:
  static void on_click(ostrel::Event* event, void* page);
  static void on_double_click(ostrel::Event* event, void* page);
  static void on_key(ostrel::Event* event, void* page);
  static void on_uninstall(ostrel::Event* event, void* page);
  static void on_columns(ostrel::Event* event, void* page);

  void accept(Batch batch);
  std::optional<std::string> selected_name() const;
  void rebuild_rows(const std::optional<std::string>& kept);
  void select(std::optional<std::size_t> row);
  void uninstall_selected();
  void render();
  std::string text(std::string_view key) const;

  ostrel::ui::DocumentRef document_;
  std::unique_ptr<Services> services_;
  std::unique_ptr<ui::Dialogs> dialogs_;
  std::string language_ = "en";
  std::vector<std::string> bundle_keys_;
  std::uint64_t generation_ = 0;
  bool loaded_ = false;
  bool opened_ = false;
  std::vector<InstalledProgram> programs_;
  std::vector<std::size_t> rows_;          // indices into programs_
  std::unordered_set<std::string> icons_;  // the icon names the loads delivered
  std::optional<std::size_t> selection_;
};

}  // namespace vx::install
