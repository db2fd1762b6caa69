#include "crash/notes.h"

#include <algorithm>

namespace vx::crash {

void NotesRing::add(std::string_view text) noexcept {
  const std::uint64_t number = next_.fetch_add(1, std::memory_order_relaxed) + 1;
  Slot& slot = slots_[number % slot_count];
  if (slot.busy.test_and_set(std::memory_order_acquire)) return;

  std::size_t length = std::min(text.size(), note_capacity);
  if (length < text.size()) {
    // Cut before the character that crosses the limit, not inside it.
    std::size_t at = length;
    while (at > 0 && length - at < 3 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    if (at < length && (static_cast<unsigned char>(text[at]) & 0xC0) == 0xC0) length = at;
  }
  for (std::size_t i = 0; i < length; ++i) {
    slot.text[i] = static_cast<unsigned char>(text[i]) < 0x21 ? ' ' : text[i];
  }
  slot.length = length;
  slot.number.store(number, std::memory_order_relaxed);
  slot.busy.clear(std::memory_order_release);
}

bool NotesRing::any() const noexcept {
  return std::any_of(slots_.begin(), slots_.end(),
                     [](const Slot& s) { return s.number.load(std::memory_order_relaxed) != 0; });
}

void NotesRing::write(Writer& out) const noexcept {
  // Every slot that can be taken is held until the end, so none is rewritten
  // between sorting and writing; a busy one is skipped.
  struct Held {
    std::uint64_t number;
    std::uint8_t index;
  };
  std::array<Held, slot_count> held{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < slot_count; ++i) {
    const Slot& slot = slots_[i];
    if (slot.busy.test_and_set(std::memory_order_acquire)) continue;
    const std::uint64_t number = slot.number.load(std::memory_order_relaxed);
    if (number == 0) {
      slot.busy.clear(std::memory_order_release);
      continue;
    }
    held[count++] = {number, static_cast<std::uint8_t>(i)};
  }
  std::sort(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count),
            [](const Held& a, const Held& b) { return a.number < b.number; });
  for (std::size_t i = 0; i < count; ++i) {
    const Slot& slot = slots_[held[i].index];
    out.text("  ");
    out.text(std::string_view(slot.text.data(), slot.length));
    out.line_end();
  }
  for (std::size_t i = 0; i < count; ++i) slots_[held[i].index].busy.clear(std::memory_order_release);
}

NotesRing& notes() noexcept {
  static constinit NotesRing ring;
  return ring;
}

}  // namespace vx::crash
