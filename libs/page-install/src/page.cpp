#include "page-install/page.h"

#include <cstdio>
#include <unordered_set>

#include "common/path_vars.h"
#include "common/text.h"
#include "i18n/lang.h"
#include "ui/list_table.h"

namespace vx::install {
namespace {

using ostrel::ui::Element;

constexpr std::string_view list_id = "list-install", head_id = "list-install-head", measure_id = "install-measure",
                           empty_id = "install-empty", uninstall_id = "btn-install-uninstall";

constexpr std::uint32_t key_up = 0x26, key_down = 0x28, key_f5 = 0x74;

// A document call that can only fail for want of memory; the next rendering mends it.
void best_effort(const ostrel::ui::Result<>&) {}

InstallPage& page_of(void* data) { return *static_cast<InstallPage*>(data); }

std::optional<std::size_t> row_under(ostrel::Event* event, std::size_t count) {
  const std::optional<std::uint64_t> index = ui::row_index_of(ostrel::ui::EventRef(event).target().handle());
  if (!index || *index >= count) return std::nullopt;
  return static_cast<std::size_t>(*index);
}

}  // namespace

std::vector<std::size_t> bundle_rows(const std::vector<InstalledProgram>& programs,
                                     const std::vector<std::string>& keys) {
  std::vector<std::size_t> rows;
  std::unordered_set<std::string_view> seen;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const std::string& name = programs[i].display_name;
    if (seen.contains(name) || !process::matches_name(keys, name)) continue;
    seen.insert(name);
    rows.push_back(i);
  }
  return rows;
}

InstallPage::InstallPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
                         std::unique_ptr<ui::Dialogs> dialogs)
    : document_(document), services_(std::move(services)), dialogs_(std::move(dialogs)) {}

std::string InstallPage::text(std::string_view key) const {
  return std::string(i18n::lookup(key, language_).value_or(key));
}

std::vector<const InstalledProgram*> InstallPage::rows() const {
  std::vector<const InstalledProgram*> shown;
  for (const std::size_t index : rows_) shown.push_back(&programs_[index]);
  return shown;
}

void InstallPage::open(const ui::AppContext& context, const process::KeepLists& lists) {
  if (std::exchange(opened_, true)) return;
  language_ = context.language;
  bundle_keys_ = lists[process::ListKind::bundle].keys();
  if (auto list = document_.by_id(list_id)) {
    // Focusable, so that Up, Down and F5 reach the list once it was clicked.
    best_effort(list->set_attribute("tabindex", "0"));
    best_effort(list->on("click", on_click, this));
    best_effort(list->on("dblclick", on_double_click, this));
    best_effort(list->on("keydown", on_key, this));
  }
  if (auto head = document_.by_id(head_id)) best_effort(head->on("resize", on_columns, this));
  if (auto button = document_.by_id(uninstall_id)) best_effort(button->on("click", on_uninstall, this));
  fit_columns();
  reload();
}

void InstallPage::fit_columns() { ui::fit_first_column(document_.handle(), head_id, measure_id); }

void InstallPage::reload() {
  services_->start_load(++generation_, bundle_keys_, [this](Batch batch) { accept(std::move(batch)); });
}

void InstallPage::lists_changed(const process::KeepLists& lists) {
  bundle_keys_ = lists[process::ListKind::bundle].keys();
  if (!loaded_) return;
  rebuild_rows(selected_name());
  render();
  // The last load rendered icons only for what the old lists showed.
  for (const std::size_t index : rows_) {
    const std::string icon = icon_key(programs_[index]);
    if (icon.starts_with("exe") && !icons_.contains(icon)) return reload();
  }
}

void InstallPage::accept(Batch batch) {
  // Icons are kept whatever the batch: they were rendered once for the process.
  std::vector<std::pair<std::string_view, std::string_view>> images;
  for (const auto& [name, bytes] : batch.images) {
    images.emplace_back(name, bytes);
    icons_.insert(name);
  }
  ui::register_images(document_.handle(), images);
  if (batch.generation != generation_) return;
  const std::optional<std::string> kept = selected_name();
  programs_ = std::move(batch.programs);
  loaded_ = true;
  rebuild_rows(kept);
  render();
}

std::optional<std::string> InstallPage::selected_name() const {
  if (!selection_) return std::nullopt;
  return programs_[rows_[*selection_]].display_name;
}

// The rows again from the last inventory, the program named `kept` selected
// again where it still is.
void InstallPage::rebuild_rows(const std::optional<std::string>& kept) {
  rows_ = bundle_rows(programs_, bundle_keys_);
  selection_.reset();
  if (!kept) return;
  for (std::size_t i = 0; i < rows_.size() && !selection_; ++i)
    if (programs_[rows_[i]].display_name == *kept) selection_ = i;
}

void InstallPage::render() {
  if (auto empty = document_.by_id(empty_id); empty && loaded_) {
    if (rows_.empty()) {
      best_effort(empty->set_text(text("install.empty")));
      best_effort(empty->remove_class("hidden"));
    } else {
      best_effort(empty->add_class("hidden"));
    }
  }
  ui::clear_rows(document_.handle(), head_id);
  const auto head = document_.by_id(head_id);
  std::optional<Element> table = head ? head->parent() : std::nullopt;
  if (table) {
    const auto make = [&](std::string_view tag, std::string_view classes) -> std::optional<Element> {
      auto made = document_.create_element(tag);
      if (made && !classes.empty()) best_effort(made->set_attribute("class", classes));
      return made ? std::optional(*made) : std::nullopt;
    };
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      const InstalledProgram& program = programs_[rows_[i]];
      std::optional<Element> row = make("tr", "");
      std::optional<Element> name = make("td", ""), publisher = make("td", ""), fill = make("td", "col-fill");
      std::optional<Element> icon = make("img", "ic");
      if (!row || !name || !publisher || !fill || !icon) continue;
      best_effort(row->set_attribute("data-index", std::to_string(i)));
      if (selection_ == i) vx::ui::mark_active_row(row->handle(), true);
      best_effort(icon->set_attribute("src", icon_key(program)));
      best_effort(name->append(*icon));
      if (auto words = document_.create_text(program.display_name)) best_effort(name->append(*words));
      const std::string from = program.publisher.empty() ? text("install.unknown") : program.publisher;
      if (auto words = document_.create_text(from)) best_effort(publisher->append(*words));
      best_effort(row->append(*name));
      best_effort(row->append(*publisher));
      best_effort(row->append(*fill));
      best_effort(table->append(*row));
    }
  }
  if (auto button = document_.by_id(uninstall_id)) best_effort(button->set_disabled(!selection_));
}

void InstallPage::select(std::optional<std::size_t> row) {
  if (row && *row >= rows_.size()) row.reset();
  if (row != selection_) ui::set_active_row(document_.handle(), head_id, selection_, row);
  selection_ = row;
  if (selection_) ui::scroll_row_into_view(document_.handle(), list_id, head_id, *selection_);
  if (auto button = document_.by_id(uninstall_id)) best_effort(button->set_disabled(!selection_));
}

void InstallPage::uninstall_selected() {
  if (!selection_) return;
  const InstalledProgram& program = programs_[rows_[*selection_]];
  const SplitCommand command = split_command_line(program.uninstall_string);
  // An entry of only quotes names no program: the shell would open a folder or worse.
  if (command.program.empty()) {
    dialogs_->tell(text("common.error") + "\n" + program.uninstall_string, ui::BoxIcon::warning);
    return;
  }
  // The uninstaller runs as the desktop's user, not elevated like us; only
  // when the shell cannot be reached does it start with our rights.
  if (const Result<> desktop = services_->start_as_desktop_user(command.program, command.args); !desktop) {
    std::fprintf(stderr, "[install] 일반 권한 실행 실패, 직접 실행: %s\n", desktop.error().message.c_str());
    if (const Result<> direct = services_->start_directly(command.program, command.args); !direct)
      dialogs_->tell(text("common.error") + "\n" + direct.error().message, ui::BoxIcon::warning);
  }
  // Not waited for: a later reload finds the program gone.
  reload();
}

// Events

void InstallPage::on_click(ostrel::Event* event, void* data) {
  InstallPage& page = page_of(data);
  if (const std::optional<std::size_t> row = row_under(event, page.rows_.size())) page.select(row);
}

void InstallPage::on_double_click(ostrel::Event* event, void* data) {
  InstallPage& page = page_of(data);
  const std::optional<std::size_t> row = row_under(event, page.rows_.size());
  if (!row) return;
  page.select(row);
  page.uninstall_selected();
}

void InstallPage::on_key(ostrel::Event* event, void* data) {
  InstallPage& page = page_of(data);
  ostrel::ui::EventRef key(event);
  if (key.key() == key_f5) {
    page.reload();
  } else if (key.key() == key_up || key.key() == key_down) {
    if (page.rows_.empty()) return;
    page.select(ui::step_row(page.selection_, page.rows_.size(), key.key() == key_down));
  } else {
    return;
  }
  key.prevent_default();
}

void InstallPage::on_uninstall(ostrel::Event*, void* data) { page_of(data).uninstall_selected(); }
void InstallPage::on_columns(ostrel::Event*, void* data) { page_of(data).fit_columns(); }

}  // namespace vx::install
