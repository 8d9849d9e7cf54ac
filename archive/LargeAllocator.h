// Allocator for the arrays that grow with the number of members (catalogue nodes and indexes):
// through the platform's large-page memory, so building the catalogue of a big archive is not
// dominated by page faults. Throws std::bad_alloc like the standard allocator.
#pragma once

#include <cstddef>
#include <new>

#include "platform/Platform.h"

// Sizes of the chunks a growing store takes one after another: doubling from `first` while they
// stay small, then whole large pages (2 MiB) at once, since a chunk of a few hundred kilobytes
// would take a large page anyway.
inline std::size_t NextChunkSize(std::size_t previous, std::size_t first) {
  constexpr std::size_t SmallChunkMax = 128 * 1024;
  constexpr std::size_t LargeChunk = 2 * 1024 * 1024;
  if (previous == 0) return first;
  if (previous >= SmallChunkMax) return LargeChunk;
  return 2 * previous;
}

template <typename T>
struct LargeAllocator {
  using value_type = T;

  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    void* memory = platform::AllocLarge(count * sizeof(T));
    if (!memory) throw std::bad_alloc();
    return static_cast<T*>(memory);
  }
  void deallocate(T* memory, std::size_t count) { platform::FreeLarge(memory, count * sizeof(T)); }

  template <typename U>
  bool operator==(const LargeAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const LargeAllocator<U>&) const {
    return false;
  }
};
