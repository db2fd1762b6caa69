// Short events recorded before a crash ("crash test", "cleanup started", ...)
// and written into its report. Adding is safe from any thread and never
// blocks or allocates; a note that meets a busy slot is dropped.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crash/writer.h"

namespace vx::crash {

class NotesRing {
 public:
  static constexpr std::size_t slot_count = 32;
  static constexpr std::size_t note_capacity = 160;  // bytes

  constexpr NotesRing() = default;
  NotesRing(const NotesRing&) = delete;
  NotesRing& operator=(const NotesRing&) = delete;

  // Keeps at most note_capacity bytes (fewer when that would split a UTF-8
  // character), with every byte below 0x21 turned into a space so a note
  // stays on one line. The oldest note makes room for the newest.
  void add(std::string_view text) noexcept;

  // Whether any note is held.
  bool any() const noexcept;

  // The notes, oldest first, each on its own line indented two spaces. Slots
  // being written at that moment are left out rather than waited for.
  void write(Writer& out) const noexcept;

 private:
  struct Slot {
    std::atomic<std::uint64_t> number{0};  // 0: never written
    mutable std::atomic_flag busy;
    std::size_t length = 0;
    std::array<char, note_capacity> text{};
  };

  std::atomic<std::uint64_t> next_{0};
  std::array<Slot, slot_count> slots_{};
};

// The process's ring; constant-initialised, so usable before main and from
// the exception filter.
NotesRing& notes() noexcept;
inline void add_note(std::string_view text) noexcept { notes().add(text); }

}  // namespace vx::crash
