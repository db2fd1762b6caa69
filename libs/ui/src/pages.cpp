#include "ui/pages.h"

#include <utility>

namespace vx::ui {

void Pages::add(PageId id, std::unique_ptr<Page> page) { pages_[static_cast<std::size_t>(id)] = std::move(page); }

bool Pages::visit(PageId id, const AppContext& context, const process::KeepLists& lists) {
  const auto index = static_cast<std::size_t>(id);
  // The flag is set first: a page without a module (not built yet) is never
  // asked again, and one that opens another tab while opening opens once.
  const bool first = !std::exchange(visited_[index], true);
  if (!pages_[index]) return false;
  if (first) pages_[index]->open(context, lists);
  pages_[index]->shown();
  return first;
}

bool Pages::is_open(PageId id) const { return open_page(id) != nullptr; }

Page* Pages::open_page(PageId id) const {
  const auto index = static_cast<std::size_t>(id);
  return visited_[index] ? pages_[index].get() : nullptr;
}

bool Pages::deliver(PageId id, const std::function<void(Page&)>& result) {
  Page* page = open_page(id);
  if (!page || !result) return false;
  result(*page);
  return true;
}

void Pages::lists_changed(const process::KeepLists& lists) {
  for (std::size_t i = 0; i < page_count; ++i)
    if (Page* page = open_page(static_cast<PageId>(i))) page->lists_changed(lists);
}

bool Pages::reload(PageId id) {
  Page* page = open_page(id);
  if (page) page->reload();
  return page != nullptr;
}

std::size_t Pages::memory_usage(PageId id) const {
  const Page* page = open_page(id);
  return page ? page->memory_usage() : 0;
}

}  // namespace vx::ui
