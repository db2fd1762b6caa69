// Data only some kinds of box need, kept beside the boxes instead of in every
// Box: one slot per box id (ids are dense), so a lookup is an index, not a hash.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "layout/box.h"
#include "src/memory_usage.h"

namespace ostrel::layout {

template <class T>
class SideTable {
 public:
  T& operator[](const Box& b) {
    if (b.id >= slots_.size()) slots_.resize(std::max<std::size_t>(b.id + 1, slots_.size() * 2));
    return slots_[b.id];
  }
  void clear() { slots_.clear(); }
  std::size_t memory_usage() const { return slots_.capacity() * sizeof(T); }

 private:
  std::vector<T> slots_;
};

// The same for data few boxes need (a replaced box's picture, an absolute
// box's static position): one entry per such box, where a slot for every box
// id would cost more than the data (the check boxes of a long list).
template <class T>
class SparseSideTable {
 public:
  T& operator[](const Box& b) { return slots_[b.id]; }
  void clear() { slots_.clear(); }
  std::size_t memory_usage() const { return memory::heap(slots_); }

 private:
  std::unordered_map<std::uint32_t, T> slots_;
};

}  // namespace ostrel::layout
