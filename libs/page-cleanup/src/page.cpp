#include "page-cleanup/page.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "i18n/lang.h"
#include "page-cleanup/wording.h"
#include "ui/list_table.h"

namespace vx::page_cleanup {
namespace {

using namespace std::string_view_literals;
using ostrel::ui::Element;

constexpr std::string_view list_id = "list-cleanup", head_id = "list-cleanup-head", measure_id = "cleanup-measure",
                           empty_id = "cleanup-empty", status_id = "cu-status", analyze_id = "btn-cu-scan",
                           clean_id = "btn-cu-clean";

// Key codes the list answers.
constexpr std::uint32_t key_enter = 0x0D, key_space = 0x20, key_left = 0x25, key_up = 0x26, key_right = 0x27,
                        key_down = 0x28;

// A document call that can only fail for want of memory; the row then simply
// misses a part, which the next rendering mends.
void best_effort(const ostrel::ui::Result<>&) {}

// A category with only some entries checked shows a checked box in a "part"
// row; screen readers hear it as half checked.
void mark_part(Element box, bool part) {
  const bool marked = box.attribute("aria-checked") == "mixed";
  if (part && !marked) best_effort(box.set_attribute("aria-checked", "mixed"));
  if (!part && marked) best_effort(box.remove_attribute("aria-checked"));
}

CleanupPage& page_of(void* data) { return *static_cast<CleanupPage*>(data); }

}  // namespace

CleanupPage::CleanupPage(ostrel::ui::DocumentRef document, std::unique_ptr<Services> services,
                         std::unique_ptr<ui::Dialogs> dialogs)
    : document_(document), services_(std::move(services)), dialogs_(std::move(dialogs)), rows_(list_id, head_id) {}

void CleanupPage::open(const ui::AppContext& context, const process::KeepLists&) {
  if (std::exchange(opened_, true)) return;
  language_ = context.language;
  const std::array<std::pair<std::string_view, std::string_view>, 3> images{
      {{fold_closed_image, image_bytes(fold_closed_image)},
       {fold_open_image, image_bytes(fold_open_image)},
       {warning_image, image_bytes(warning_image)}}};
  ui::register_images(document_.handle(), images);
  if (auto list = document_.by_id(list_id)) {
    // Focusable, so that the keys reach the list once it was clicked or tabbed to.
    best_effort(list->set_attribute("tabindex", "0"));
    best_effort(list->on("change", on_change, this));
    best_effort(list->on("click", on_click, this));
    best_effort(list->on("contextmenu", on_context_menu, this));
    best_effort(list->on("keydown", on_key, this));
    best_effort(list->on("scroll", on_scroll, this));
  }
  if (auto head = document_.by_id(head_id)) best_effort(head->on("resize", on_columns, this));
  if (auto analyze = document_.by_id(analyze_id)) best_effort(analyze->on("click", on_analyze, this));
  if (auto clean = document_.by_id(clean_id)) best_effort(clean->on("click", on_clean, this));
  fit_columns();
  start_load();
}

void CleanupPage::shown() {
  fit_columns();
  show_rows();  // rows made while the tab was hidden had no place yet
}

void CleanupPage::reload() {
  if (opened_ && !busy_) start_load();
}

void CleanupPage::fit_columns() { ui::fit_first_column(document_.handle(), head_id, measure_id); }

// Loading

void CleanupPage::start_load() {
  busy_ = true;
  update_buttons();
  services_->start_load([this](winapp2::LoadResult result) { loaded(std::move(result)); });
}

void CleanupPage::loaded(winapp2::LoadResult result) {
  model_ = Model(std::move(result.entries), result.selection);
  active_.reset();
  render_rows();
  if (auto empty = document_.by_id(empty_id)) best_effort(empty->add_class("hidden"));
  ready_ = true;
  busy_ = false;
  set_status(i18n::text_with("cleanup.ready", language_, {{"{n}", std::to_string(model_.items().size())}}));
  update_buttons();
}

// Analysing and cleaning

void CleanupPage::analyze() {
  if (!ready_ || busy_) return;
  std::vector<winapp2::JobItem> items = model_.checked_items(false);
  if (items.empty()) {
    set_status(i18n::lookup("cleanup.none_selected", language_).value_or("cleanup.none_selected"));
    return;
  }
  busy_ = true;
  update_buttons();
  services_->start_analysis(std::move(items),
                            {[this](winapp2::Progress progress, std::size_t item, winapp2::ResolvedEntry result) {
                               analysed_entry(progress, item, std::move(result));
                             },
                             [this](winapp2::AnalysisTotals totals) { job_done(analysis_done(totals, language_)); }});
}

void CleanupPage::clean() {
  if (!ready_ || busy_ || !model_.cleanable()) return;
  if (const std::string warnings = warnings_text(); !warnings.empty()) {
    const std::string question =
        std::string(i18n::lookup("cleanup.warn_confirm", language_).value_or("cleanup.warn_confirm")) + "\n\n" +
        warnings;
    if (!dialogs_->ask_yes_no(question, ui::BoxIcon::warning, true)) return;
    // The box let other work run meanwhile (a reload may have started).
    if (!ready_ || busy_ || !model_.cleanable()) return;
  }
  busy_ = true;
  update_buttons();
  services_->start_cleaning(model_.checked_items(true),
                            {[this](winapp2::Progress progress, std::size_t item) { cleaned_entry(progress, item); },
                             [this](winapp2::CleanCounts counts) { job_done(cleaning_done(counts, language_)); }});
}

void CleanupPage::analysed_entry(winapp2::Progress progress, std::size_t item, winapp2::ResolvedEntry result) {
  if (item >= model_.items().size()) return;
  model_.set_analysis(item, std::move(result));
  refresh_item(item);
  set_status(analysis_progress(progress, language_));
}

void CleanupPage::cleaned_entry(winapp2::Progress progress, std::size_t item) {
  if (item >= model_.items().size()) return;
  model_.drop_analysis(item);
  refresh_item(item);
  set_status(cleaning_progress(progress, language_));
}

void CleanupPage::job_done(std::string status) {
  busy_ = false;
  refresh_rows();
  set_status(status);
  update_buttons();
}

std::string CleanupPage::warnings_text() const {
  std::string text;
  for (const Item& item : model_.items()) {
    if (!item.checked || !item.entry.warning) continue;
    if (!text.empty()) text += '\n';
    text += "• " + display_name(item.entry, language_) + "\n   " + *item.entry.warning;
  }
  return text;
}

// What the user does to the rows

void CleanupPage::toggle_check(std::size_t screen_row) {
  const Row row = model_.rows()[screen_row];
  if (row.kind == Row::Kind::item)
    model_.set_checked(row.index, !model_.items()[row.index].checked);
  else
    model_.toggle_group(row.index);
  selection_changed();
}

void CleanupPage::selection_changed() {
  save_selection();
  refresh_rows();  // boxes, "part", and category sizes, which count checked entries only
  update_buttons();
}

void CleanupPage::save_selection() {
  const std::vector<winapp2::SelectionLine> lines = model_.selection();
  if (const Result<> saved = services_->save_selection(winapp2::format_selection(lines)); !saved)
    std::fprintf(stderr, "[cleanup] 체크 저장 실패 %s\n", saved.error().message.c_str());
}

void CleanupPage::toggle_expanded(std::size_t screen_row) {
  const std::size_t group = model_.rows()[screen_row].index;
  const Model::Change change = model_.toggle_expanded(group);
  const bool expanded = model_.groups()[group].expanded;
  ostrel::Node* category = ui::row_element(document_.handle(), head_id, screen_row);
  if (!category) return render_rows();
  if (auto fold = Element(category).query(".cu-fold"); fold && *fold)
    best_effort((*fold)->set_attribute("src", expanded ? fold_open_image : fold_closed_image));
  best_effort(Element(category).set_attribute("aria-expanded", expanded ? "true" : "false"));

  // The selection follows its row; rows below are made again with it.
  const bool active_moves = active_ && *active_ >= change.first_row;
  if (active_moves) {
    if (expanded)
      *active_ += change.count;
    else
      active_ = *active_ < change.first_row + change.count ? screen_row : *active_ - change.count;
  }
  // The rows above stay; those below are made again where they now belong.
  rows_.drop_from(document_.handle(), screen_row + 1);
  show_rows();
  if (active_moves) ui::set_active_row(document_.handle(), head_id, std::nullopt, active_);
}

void CleanupPage::set_active(std::optional<std::size_t> screen_row) {
  if (screen_row == active_) return;
  const std::optional<std::size_t> old = std::exchange(active_, screen_row);
  // Scrolled to first: a row far from the view is made once it is near.
  if (active_) ui::scroll_row_into_view(document_.handle(), list_id, head_id, *active_);
  show_rows();
  ui::set_active_row(document_.handle(), head_id, old, active_);
}

// Rendering

void CleanupPage::render_rows() {
  rows_.clear(document_.handle());
  show_rows();
}

void CleanupPage::show_rows() {
  rows_.update(document_.handle(), model_.rows().size(), [this](std::size_t index) -> ostrel::Node* {
    const std::optional<Element> row = make_row(index);
    return row ? row->handle() : nullptr;
  });
}

std::optional<Element> CleanupPage::make_row(std::size_t screen_row) {
  auto row = document_.create_element("tr");
  if (!row) return std::nullopt;
  fill_row(*row, screen_row);
  return *row;
}

void CleanupPage::fill_row(Element row, std::size_t screen_row) {
  const Row& shown = model_.rows()[screen_row];
  const auto element = [&](std::string_view tag, std::string_view classes) -> std::optional<Element> {
    auto made = document_.create_element(tag);
    if (!made) return std::nullopt;
    if (!classes.empty()) best_effort(made->set_attribute("class", classes));
    return *made;
  };
  const auto add = [](Element parent, std::optional<Element> child) {
    if (child) best_effort(parent.append(*child));
    return child;
  };
  const auto text = [&](Element parent, std::string_view words) {
    if (auto node = document_.create_text(words)) best_effort(parent.append(*node));
  };
  const auto checkbox = [&](Element parent, bool checked) {
    std::optional<Element> box = add(parent, element("input", {}));
    if (box) {
      best_effort(box->set_attribute("type", "checkbox"));
      best_effort(box->set_checked(checked));
    }
    return box;
  };

  best_effort(row.set_attribute("data-index", std::to_string(screen_row)));
  std::optional<Element> name;
  if (shown.kind == Row::Kind::category) {
    const Group& group = model_.groups()[shown.index];
    const GroupCheck check = model_.group_check(shown.index);
    best_effort(row.set_attribute("class", check == GroupCheck::some ? "cu-cat part" : "cu-cat"));
    name = add(row, element("td", "cu-name"));
    if (!name) return;
    if (auto fold = add(*name, element("img", "ic cu-fold")))
      best_effort(fold->set_attribute("src", group.expanded ? fold_open_image : fold_closed_image));
    if (std::optional<Element> box = checkbox(*name, check != GroupCheck::none))
      mark_part(*box, check == GroupCheck::some);
    best_effort(row.set_attribute("aria-expanded", group.expanded ? "true" : "false"));
    text(*name, group_label(group.label, language_));
    if (auto count = add(*name, element("span", "cu-count")))
      text(*count, "(" + std::to_string(group.items.size()) + ")");
  } else {
    const Item& item = model_.items()[shown.index];
    name = add(row, element("td", "cu-name cu-item"));
    if (!name) return;
    if (!item.entry.warning) {
      checkbox(*name, item.checked);
      text(*name, display_name(item.entry, language_));
    } else if (auto line = add(*name, element("div", "cu-line"))) {
      checkbox(*line, item.checked);
      if (auto label = add(*line, element("span", "cu-label"))) text(*label, display_name(item.entry, language_));
      if (auto warn = add(*line, element("img", "ic cu-warn"))) {
        best_effort(warn->set_attribute("src", warning_image));
        best_effort(warn->set_attribute("title", *item.entry.warning));
      }
    }
  }
  if (auto size = add(row, element("td", "cu-size"))) {
    if (const std::string words = size_cell_text(shown); !words.empty()) text(*size, words);
  }
  add(row, element("td", "col-fill"));
  if (active_ == screen_row) vx::ui::mark_active_row(row.handle(), true);
}

std::string CleanupPage::size_cell_text(const Row& row) const {
  if (row.kind == Row::Kind::item) {
    const Item& item = model_.items()[row.index];
    return item.analysis ? winapp2::size_text(item.analysis->total_size) : std::string();
  }
  const std::optional<std::uint64_t> total = model_.group_size(row.index);
  return total ? winapp2::size_text(*total) : std::string();
}

namespace {

// A row's checkbox and size cell, found by walking its cells rather than by
// selectors: a refresh visits every row of a long list.
struct RowParts {
  std::optional<Element> box, size;
};
RowParts parts_of(Element row) {
  RowParts parts;
  const std::optional<Element> name = row.first_child();
  if (!name) return parts;
  parts.size = name->next_sibling();
  for (std::optional<Element> c = name->first_child(); c && !parts.box; c = c->next_sibling()) {
    if (c->is_text()) continue;
    if (c->tag_name() == "input") parts.box = c;
    if (c->tag_name() == "div") parts.box = c->first_child();  // the checkbox leads a line with a warning
  }
  return parts;
}

}  // namespace

// Only what differs is touched, so a frame repaints just the rows that changed.
void CleanupPage::refresh_row(Element row, std::size_t screen_row) {
  const Row& shown = model_.rows()[screen_row];
  bool checked;
  if (shown.kind == Row::Kind::category) {
    const GroupCheck check = model_.group_check(shown.index);
    checked = check != GroupCheck::none;
    if (row.has_class("part") != (check == GroupCheck::some))
      best_effort(row.set_class("part", check == GroupCheck::some));
  } else {
    checked = model_.items()[shown.index].checked;
  }
  RowParts parts = parts_of(row);
  if (parts.box && parts.box->checked() != checked) best_effort(parts.box->set_checked(checked));
  if (parts.box && shown.kind == Row::Kind::category) mark_part(*parts.box, row.has_class("part"));
  if (parts.size) {
    const std::string words = size_cell_text(shown);
    if (parts.size->text() != words) best_effort(parts.size->set_text(words));
  }
}

void CleanupPage::refresh_rows() {
  const ui::RowRange made = rows_.made();
  ostrel::Node* first = ui::row_element(document_.handle(), head_id, made.first);
  std::optional<Element> row = first ? std::optional<Element>(Element(first)) : std::nullopt;
  for (std::size_t i = made.first; i < made.last && i < model_.rows().size() && row; ++i, row = row->next_sibling())
    refresh_row(*row, i);
}

void CleanupPage::refresh_item(std::size_t item) {
  const std::size_t group = model_.group_of(item);
  const std::size_t category_row = model_.row_of_group(group);
  if (ostrel::Node* row = ui::row_element(document_.handle(), head_id, category_row)) {
    refresh_row(Element(row), category_row);
    if (!model_.groups()[group].expanded) return;
    const std::vector<std::size_t>& members = model_.groups()[group].items;
    const auto at = std::find(members.begin(), members.end(), item);
    const std::size_t item_row = category_row + 1 + static_cast<std::size_t>(at - members.begin());
    if (ostrel::Node* shown = ui::row_element(document_.handle(), head_id, item_row))
      refresh_row(Element(shown), item_row);
  }
}

void CleanupPage::update_buttons() {
  const bool idle = ready_ && !busy_;
  if (auto analyze = document_.by_id(analyze_id)) best_effort(analyze->set_disabled(!(idle && model_.any_checked())));
  if (auto clean = document_.by_id(clean_id)) best_effort(clean->set_disabled(!(idle && model_.cleanable())));
}

void CleanupPage::set_status(std::string_view text) {
  if (auto status = document_.by_id(status_id)) best_effort(status->set_text(text));
}

// Events

void CleanupPage::on_change(ostrel::Event* event, void* data) {
  CleanupPage& page = page_of(data);
  const Element box = ostrel::ui::EventRef(event).target();
  const std::optional<std::uint64_t> index = ui::row_index_of(box.handle());
  if (!page.ready_ || !index || *index >= page.model_.rows().size()) return;
  const Row row = page.model_.rows()[*index];
  if (row.kind == Row::Kind::item)
    page.model_.set_checked(row.index, box.checked());
  else
    page.model_.toggle_group(row.index);
  page.selection_changed();
}

void CleanupPage::on_click(ostrel::Event* event, void* data) {
  CleanupPage& page = page_of(data);
  const Element target = ostrel::ui::EventRef(event).target();
  const std::optional<std::uint64_t> index = ui::row_index_of(target.handle());
  if (!page.ready_ || !index || *index >= page.model_.rows().size()) return;
  page.set_active(*index);
  if (!target.is_text() && target.tag_name() == "input") return;  // the change event follows
  if (page.model_.rows()[*index].kind == Row::Kind::item)
    page.toggle_check(*index);
  else
    page.toggle_expanded(*index);
}

void CleanupPage::on_context_menu(ostrel::Event*, void* data) {
  CleanupPage& page = page_of(data);
  if (!page.ready_) return;
  const auto text = [&](std::string_view key) { return i18n::lookup(key, page.language_).value_or(key); };
  const std::array<ui::MenuLine, 4> lines{{{text("cleanup.menu.all"), menu_all},
                                           {text("cleanup.menu.none"), menu_none},
                                           {{}, 0},
                                           {text("cleanup.menu.default"), menu_defaults}}};
  const std::optional<unsigned> chosen = page.dialogs_->popup_menu(lines);
  if (!chosen) return;
  if (*chosen == menu_all || *chosen == menu_none)
    page.model_.check_all(*chosen == menu_all);
  else if (*chosen == menu_defaults)
    page.model_.restore_defaults();
  else
    return;
  page.selection_changed();
}

void CleanupPage::on_key(ostrel::Event* event, void* data) {
  CleanupPage& page = page_of(data);
  ostrel::ui::EventRef key(event);
  const std::size_t count = page.model_.rows().size();
  if (!page.ready_ || count == 0) return;
  const std::optional<std::size_t> active = page.active_;
  switch (key.key()) {
    case key_up:
    case key_down:
      page.set_active(ui::step_row(active, count, key.key() == key_down));
      break;
    case key_space:
      if (!active) return;
      page.toggle_check(*active);
      break;
    case key_right:
    case key_left:
    case key_enter: {
      if (!active) return;
      const Row row = page.model_.rows()[*active];
      if (row.kind == Row::Kind::item) {
        if (key.key() != key_left) return;
        page.set_active(page.model_.row_of_group(page.model_.group_of(row.index)));  // up to its category
      } else {
        const bool expanded = page.model_.groups()[row.index].expanded;
        if ((key.key() == key_right && expanded) || (key.key() == key_left && !expanded)) break;
        page.toggle_expanded(*active);
      }
      break;
    }
    default:
      return;
  }
  key.prevent_default();  // a focused checkbox must not toggle a second time
}

void CleanupPage::on_columns(ostrel::Event*, void* data) { page_of(data).fit_columns(); }
void CleanupPage::on_scroll(ostrel::Event*, void* data) { page_of(data).show_rows(); }
void CleanupPage::on_analyze(ostrel::Event*, void* data) { page_of(data).analyze(); }
void CleanupPage::on_clean(ostrel::Event*, void* data) { page_of(data).clean(); }

}  // namespace vx::page_cleanup
