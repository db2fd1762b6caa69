#include "page-autorun/page.h"

#include <array>
#include <cstdio>
#include <unordered_map>

#include "i18n/lang.h"
#include "ui/list_table.h"

namespace vx::autorun {
namespace {

using ostrel::ui::Element;

constexpr std::string_view list_id = "list-autorun", head_id = "list-autorun-head", measure_id = "autorun-measure",
                           empty_id = "autorun-empty", all_id = "f-autorun-all", toggle_id = "btn-autorun-toggle";

constexpr std::uint32_t key_up = 0x26, key_down = 0x28, key_f5 = 0x74;

// A document call that can only fail for want of memory; the next rendering mends it.
void best_effort(const ostrel::ui::Result<>&) {}

AutorunPage& page_of(void* data) { return *static_cast<AutorunPage*>(data); }

std::string_view source_label_key(SourceKind kind) {
  switch (kind) {
    case SourceKind::folder:
      return "autorun.src.folder";
    case SourceKind::registry:
      return "autorun.src.registry";
    case SourceKind::task:
      return "autorun.src.task";
    case SourceKind::service:
      return "autorun.src.service";
  }
  return {};
}

}  // namespace

AutorunPage::AutorunPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
                         std::unique_ptr<ui::Dialogs> dialogs)
    : document_(document), services_(std::move(services)), dialogs_(std::move(dialogs)) {}

std::string AutorunPage::text(std::string_view key) const {
  return std::string(i18n::lookup(key, language_).value_or(key));
}

void AutorunPage::open(const ui::AppContext& context, const process::KeepLists& lists) {
  if (std::exchange(opened_, true)) return;
  language_ = context.language;
  origin_ = context.update.origin;
  lists_ = lists;
  std::vector<std::pair<std::string_view, std::string_view>> images;
  for (const SourceKind kind : {SourceKind::folder, SourceKind::registry, SourceKind::task, SourceKind::service})
    images.emplace_back(source_image(kind), source_image_bytes(kind));
  ui::register_images(document_.handle(), images);
  if (auto list = document_.by_id(list_id)) {
    // Focusable, so that Up, Down and F5 reach the list once it was clicked.
    best_effort(list->set_attribute("tabindex", "0"));
    best_effort(list->on("click", on_click, this));
    best_effort(list->on("dblclick", on_double_click, this));
    best_effort(list->on("contextmenu", on_context_menu, this));
    best_effort(list->on("keydown", on_key, this));
  }
  if (auto head = document_.by_id(head_id)) best_effort(head->on("resize", on_columns, this));
  if (auto all = document_.by_id(all_id)) best_effort(all->on("change", on_show_all, this));
  if (auto toggle = document_.by_id(toggle_id)) best_effort(toggle->on("click", on_toggle, this));
  fit_columns();
  start_reload(true);
}

void AutorunPage::fit_columns() { ui::fit_first_column(document_.handle(), head_id, measure_id); }

void AutorunPage::lists_changed(const process::KeepLists& lists) {
  lists_ = lists;
  if (!loaded_) return;
  // Filtered again from the last load, in its order, as a fresh reload would.
  merge_keeping_selection(last_batch_, true);
  render();
  update_button();
}

void AutorunPage::merge_keeping_selection(const std::vector<ListedItem>& items, bool fresh) {
  const std::optional<std::string> kept = selection_ ? std::optional(item_key(rows_[*selection_].item)) : std::nullopt;
  if (fresh) rows_.clear();
  merge(rows_, items, show_all_, lists_);
  selection_.reset();
  for (std::size_t i = 0; kept && i < rows_.size(); ++i)
    if (item_key(rows_[i].item) == *kept) selection_ = i;
}

void AutorunPage::start_reload(bool fresh) {
  const std::uint64_t generation = ++generation_;
  services_->start_load(generation, fresh, [this](Batch batch) { accept(std::move(batch)); });
}

void AutorunPage::accept(Batch batch) {
  // Icons are kept whatever the batch: they were rendered once for the process.
  std::vector<std::pair<std::string_view, std::string_view>> images;
  for (const auto& [name, bytes] : batch.images) images.emplace_back(name, bytes);
  ui::register_images(document_.handle(), images);
  if (batch.generation != generation_) return;
  merge_keeping_selection(batch.items, batch.fresh);
  last_batch_ = std::move(batch.items);
  loaded_ = true;
  render();
  update_button();
}

void AutorunPage::render() {
  if (auto empty = document_.by_id(empty_id); empty && loaded_) best_effort(empty->add_class("hidden"));
  ui::clear_rows(document_.handle(), head_id);
  const auto head = document_.by_id(head_id);
  std::optional<Element> table = head ? head->parent() : std::nullopt;
  if (!table) return;
  const auto make = [&](std::string_view tag, std::string_view classes) -> std::optional<Element> {
    auto made = document_.create_element(tag);
    if (!made) return std::nullopt;
    if (!classes.empty()) best_effort(made->set_attribute("class", classes));
    return *made;
  };
  const auto cell = [&](Element row, std::string_view classes, std::string_view image, std::string_view words) {
    std::optional<Element> td = make("td", classes);
    if (!td) return;
    if (auto icon = make("img", "ic")) {
      best_effort(icon->set_attribute("src", image));
      best_effort(td->append(*icon));
    }
    if (auto node = document_.create_text(words)) best_effort(td->append(*node));
    best_effort(row.append(*td));
  };
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::optional<Element> row = make("tr", "");
    if (!row) continue;
    best_effort(row->set_attribute("data-index", std::to_string(i)));
    if (selection_ == i) vx::ui::mark_active_row(row->handle(), true);
    if (!rows_[i].item.enabled) best_effort(row->add_class("off"));
    cell(*row, "ar-name", rows_[i].icon, rows_[i].display_name);
    cell(*row, "ar-from", source_image(rows_[i].item.kind), text(source_label_key(rows_[i].item.kind)));
    if (auto fill = make("td", "col-fill")) best_effort(row->append(*fill));
    best_effort(table->append(*row));
  }
}

void AutorunPage::update_button() {
  auto toggle = document_.by_id(toggle_id);
  if (!toggle) return;
  best_effort(toggle->set_disabled(!selection_));
  // Without a selection it reads as in the template.
  const bool off = selection_ && !rows_[*selection_].item.enabled;
  best_effort(toggle->set_text(text(off ? "autorun.enable" : "autorun.disable")));
}

void AutorunPage::select(std::optional<std::size_t> row) {
  if (row && *row >= rows_.size()) row.reset();
  if (row != selection_) ui::set_active_row(document_.handle(), head_id, selection_, row);
  selection_ = row;
  if (selection_) ui::scroll_row_into_view(document_.handle(), list_id, head_id, *selection_);
  update_button();
}

void AutorunPage::switch_selected() {
  if (!selection_) return;
  const AutorunItem item = rows_[*selection_].item;
  if (const Result<> switched = services_->set_enabled(item, !item.enabled); !switched)
    dialogs_->tell(text("common.error") + "\n" + switched.error().message, ui::BoxIcon::warning);
  start_reload(false);  // the row stays where it is and changes its look
}

void AutorunPage::delete_selected() {
  if (!selection_) return;
  const Row& row = rows_[*selection_];
  const std::string question =
      text("autorun.delete_confirm") + "\n\n" + row.display_name + "\n\n" + text("autorun.delete_warn");
  if (!dialogs_->ask_yes_no(question, ui::BoxIcon::warning, true)) return;
  const AutorunItem item = row.item;
  services_->start_delete(item, [this, item](Result<> result) { deleted(item, result); });
}

void AutorunPage::deleted(const AutorunItem& item, const Result<>& result) {
  if (!result) {
    std::fprintf(stderr, "[autorun] 삭제 실패 %s\n", result.error().message.c_str());
    dialogs_->tell(text("autorun.delete_failed") + "\n" + result.error().message, ui::BoxIcon::warning);
  } else if (item.kind == SourceKind::service) {
    dialogs_->tell(text("autorun.service_deleted"), ui::BoxIcon::information);
  }
  start_reload(false);
}

void AutorunPage::save_list() {
  ui::SaveFileRequest request;
  request.title = text("common.save_title");
  request.types = {{text("common.text_files") + " (*.txt)", "*.txt"}, {text("common.all_files") + " (*.*)", "*.*"}};
  request.default_extension = "txt";
  const std::optional<std::string> path = dialogs_->choose_save_file(request);
  if (!path) return;
  // Everything the last load found, hidden items too.
  if (const Result<> written = services_->write_file(*path, format_list(last_batch_)); !written)
    dialogs_->tell(text("common.error") + "\n" + written.error().message, ui::BoxIcon::warning);
}

void AutorunPage::open_entry(std::size_t row) {
  services_->open_url(origin_ + "/entry/" + entry_path(rows_[row].item));
}

// Events

namespace {
std::optional<std::size_t> row_under(ostrel::Event* event, std::size_t count) {
  const std::optional<std::uint64_t> index = ui::row_index_of(ostrel::ui::EventRef(event).target().handle());
  if (!index || *index >= count) return std::nullopt;
  return static_cast<std::size_t>(*index);
}
}  // namespace

void AutorunPage::on_click(ostrel::Event* event, void* data) {
  AutorunPage& page = page_of(data);
  if (const std::optional<std::size_t> row = row_under(event, page.rows_.size())) page.select(row);
}

void AutorunPage::on_double_click(ostrel::Event* event, void* data) {
  AutorunPage& page = page_of(data);
  if (const std::optional<std::size_t> row = row_under(event, page.rows_.size())) page.open_entry(*row);
}

void AutorunPage::on_context_menu(ostrel::Event* event, void* data) {
  AutorunPage& page = page_of(data);
  const std::optional<std::size_t> row = row_under(event, page.rows_.size());
  if (row) page.select(row);
  // Only a switched-off item goes, and a service only once it is disabled.
  const bool deletable = row && !page.rows_[*row].item.enabled &&
                         (page.rows_[*row].item.kind != SourceKind::service || page.rows_[*row].item.start_type == 4);
  const std::string delete_text = page.text("autorun.delete"), save_text = page.text("autorun.save_list");
  std::vector<ui::MenuLine> lines;
  if (deletable) {
    lines.emplace_back(delete_text, command_delete);
    lines.emplace_back(std::string_view(), 0);
  }
  lines.emplace_back(save_text, command_save_list);
  const std::optional<unsigned> chosen = page.dialogs_->popup_menu(lines);
  if (chosen == command_delete && deletable)
    page.delete_selected();
  else if (chosen == command_save_list)
    page.save_list();
}

void AutorunPage::on_key(ostrel::Event* event, void* data) {
  AutorunPage& page = page_of(data);
  ostrel::ui::EventRef key(event);
  if (key.key() == key_f5) {
    page.start_reload(true);
  } else if (key.key() == key_up || key.key() == key_down) {
    if (page.rows_.empty()) return;
    page.select(ui::step_row(page.selection_, page.rows_.size(), key.key() == key_down));
  } else {
    return;
  }
  key.prevent_default();
}

void AutorunPage::on_show_all(ostrel::Event* event, void* data) {
  AutorunPage& page = page_of(data);
  page.show_all_ = ostrel::ui::EventRef(event).target().checked();
  page.start_reload(true);
}

void AutorunPage::on_toggle(ostrel::Event*, void* data) { page_of(data).switch_selected(); }
void AutorunPage::on_columns(ostrel::Event*, void* data) { page_of(data).fit_columns(); }

}  // namespace vx::autorun
