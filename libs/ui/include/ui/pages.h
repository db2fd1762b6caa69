// The seam between the program and its pages. The startup, cleanup and bundle
// pages are built on the first click of their tab and then live until the
// program ends; the program reaches them only through this seam. Window
// thread only.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

#include "process/keep_list.h"
#include "ui/app_context.h"

namespace vx::ui {

enum class PageId { startup, cleanup, bundle };
inline constexpr std::size_t page_count = 3;

// What a page offers the program.
class Page {
 public:
  virtual ~Page() = default;
  // The first visit: the page builds its part of the document with its own
  // copy of the keep-alive lists and starts its first load.
  virtual void open(const AppContext& context, const process::KeepLists& lists) = 0;
  // Its tab was clicked (the first visit too, after open): the page is on screen.
  virtual void shown() {}
  // The server's lists joined the shared ones: the page's copy follows them.
  virtual void lists_changed(const process::KeepLists& lists) = 0;
  // Load again (the cleanup page, after a newer rule file arrived).
  virtual void reload() = 0;
  // Bytes the page's own state holds (not its part of the document), estimated.
  virtual std::size_t memory_usage() const { return 0; }
};

// The program's side: which pages there are and which are open.
class Pages {
 public:
  void add(PageId id, std::unique_ptr<Page> page);
  // A tab click: opens the page on its first visit, then tells it that it is
  // shown. True when it opened now.
  bool visit(PageId id, const AppContext& context, const process::KeepLists& lists);
  bool is_open(PageId id) const;
  // Hands a posted job result to its page, when that page is open; false when
  // the result was dropped.
  bool deliver(PageId id, const std::function<void(Page&)>& result);
  // The shared lists changed: every open page hears of it.
  void lists_changed(const process::KeepLists& lists);
  // Asks an open page to load again; false when it is not open.
  bool reload(PageId id);
  // What the page's own state holds; 0 while it is not open.
  std::size_t memory_usage(PageId id) const;

 private:
  Page* open_page(PageId id) const;
  std::array<std::unique_ptr<Page>, page_count> pages_;
  std::array<bool, page_count> visited_{};
};

}  // namespace vx::ui
