// The "startup" tab: what Windows starts by itself, switched on or off with
// one button, deleted from the context menu once off, saved as a text list,
// and looked up on the product's site with a double click. Window thread
// only; loads and deletions run elsewhere and come back through the
// receivers they are given, on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"
#include "ostrel/bindings.h"
#include "page-autorun/model.h"
#include "ui/dialogs.h"
#include "ui/pages.h"

namespace vx::autorun {

// What a load hands back: its items, the icons rendered for them (name and
// encoded bytes), and the generation and freshness it was started with.
struct Batch {
  std::uint64_t generation = 0;
  bool fresh = false;
  std::vector<ListedItem> items;
  std::vector<std::pair<std::string, std::string>> images;
};

// What the page asks of the machine.
class Services {
 public:
  virtual ~Services() = default;
  virtual void start_load(std::uint64_t generation, bool fresh, std::function<void(Batch)> accept) = 0;
  virtual Result<> set_enabled(const AutorunItem& item, bool on) = 0;
  virtual void start_delete(AutorunItem item, std::function<void(Result<>)> done) = 0;
  virtual Result<> write_file(const std::string& path, std::string_view bytes) = 0;
  virtual void open_url(const std::string& url) = 0;
};

// The pictures of the four sources, registered when the page opens.
std::string_view source_image(SourceKind kind);
std::string_view source_image_bytes(SourceKind kind);

enum AutorunCommand : unsigned { command_delete = 1, command_save_list = 2 };

class AutorunPage final : public ui::Page {
 public:
  AutorunPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
              std::unique_ptr<ui::Dialogs> dialogs);
  AutorunPage(const AutorunPage&) = delete;
  AutorunPage& operator=(const AutorunPage&) = delete;

  void open(const ui::AppContext& context, const process::KeepLists& lists) override;
  void shown() override { fit_columns(); }
  // The server's lists arrived: the shown rows are filtered again.
  void lists_changed(const process::KeepLists& lists) override;
  void reload() override { start_reload(true); }
  void fit_columns();

  const std::vector<Row>& rows() const { return rows_; }
  std::optional<std::size_t> selection() const { return selection_; }
  std::uint64_t generation() const { return generation_; }
  // Everything the last load found, hidden items too (the saved list and the
  // activity report take it).
  const std::vector<ListedItem>& last_batch() const { return last_batch_; }

 private:
  static void on_click(ostrel::Event* event, void* page);
  static void on_double_click(ostrel::Event* event, void* page);
  static void on_context_menu(ostrel::Event* event, void* page);
  static void on_key(ostrel::Event* event, void* page);
  static void on_show_all(ostrel::Event* event, void* page);
  static void on_toggle(ostrel::Event* event, void* page);
  static void on_columns(ostrel::Event* event, void* page);

  void start_reload(bool fresh);
  void accept(Batch batch);
  // Merges the items into the rows (afresh, or in place) and selects the
  // selected item again where it still is.
  void merge_keeping_selection(const std::vector<ListedItem>& items, bool fresh);
  void select(std::optional<std::size_t> row);
  void switch_selected();
  void delete_selected();
  void deleted(const AutorunItem& item, const Result<>& result);
  void save_list();
  void open_entry(std::size_t row);
  void render();
  void update_button();
  std::string text(std::string_view key) const;

  ostrel::ui::DocumentRef document_;
  std::unique_ptr<Services> services_;
  std::unique_ptr<ui::Dialogs> dialogs_;
  std::string language_ = "en";
  std::string origin_;
  process::KeepLists lists_;
  std::uint64_t generation_ = 0;
  bool show_all_ = false;
  bool loaded_ = false;
  bool opened_ = false;
  std::vector<ListedItem> last_batch_;
  std::vector<Row> rows_;
  std::optional<std::size_t> selection_;
};

}  // namespace vx::autorun
