// What the window thread keeps between messages. Each member is a cell that
// is made on first use and lent out for the length of one call: a handler
// that reaches the same cell again while it is lent (an event fired from
// inside another) is a programming error, and the program stops at once
// rather than let two callers change one value under each other.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app_context.h"
#include "process/keep_list.h"

namespace ostrel {
struct View;
}

namespace vx::app {

template <class T>
class Cell {
 public:
  // Calls `use` with the value (made on first use) and returns what it returns.
  template <class F>
  decltype(auto) with(F&& use) {
    if (lent_) {
      std::fputs("[app] window state used again while in use\n", stderr);
      std::abort();
    }
    if (!value_) value_.emplace();
    struct Lend {
      bool& lent;
      explicit Lend(bool& l) : lent(l) { lent = true; }
      ~Lend() { lent = false; }
    } lend(lent_);
    return std::forward<F>(use)(*value_);
  }

 private:
  std::optional<T> value_;
  bool lent_ = false;
};

enum class Page { startup, cleanup, bundle };

// The keep-alive lists the window thread shares with the pages: the built-in
// ones, loaded on first use, plus what the server sends.
struct SharedKeepLists {
  process::KeepLists lists = process::builtin_keep_lists();
};

// The start-up settings the update check hands over.
struct SettingsRecord {
  std::uint32_t rule_file_version = 0;
  std::array<std::vector<std::string>, process::list_count> lists;  // in KeepLists order
  std::optional<std::string> rule_file_url;
};

struct WindowState {
  Cell<ostrel::View*> view;                                   // set after wiring, taken out at shutdown
  Cell<std::vector<std::function<void()>>> resize_callbacks;  // called in order on WM_SIZE
  Cell<std::array<bool, 3>> opened;                           // by Page: opened on its first tab click
  Cell<std::optional<AppContext>> context;                    // stored by the wiring
  Cell<SharedKeepLists> keep_lists;                           // made on first use
};

// Merges the server's lists into the shared ones and says how many were new.
inline std::size_t merge_server_lists(WindowState& state, const SettingsRecord& record) {
  const std::size_t added =
      state.keep_lists.with([&](SharedKeepLists& shared) { return process::merge_lists(shared.lists, record.lists); });
  std::fprintf(stderr, "[lists] 서버 목록 +%zu\n", added);
  return added;
}

// True the first time it is asked for a page, false ever after.
inline bool first_visit(WindowState& state, Page page) {
  return state.opened.with(
      [page](std::array<bool, 3>& opened) { return !std::exchange(opened[static_cast<std::size_t>(page)], true); });
}

// A copy of the stored context; none before the wiring stored it.
inline std::optional<AppContext> context_of(WindowState& state) {
  return state.context.with([](const std::optional<AppContext>& context) { return context; });
}

// The one state of the process; only the window thread may touch it.
WindowState& window_state();

}  // namespace vx::app
