// The keyed, insertion-ordered list that holds catalogues, pending changes, snapshots and
// temporary-file lists. Each node has a key string (copied into the list), a data word whose meaning
// the user chooses (wide enough for a file handle) and a record pointer the list does not own.
//
// Lookups find the first node in list order whose key matches. Nodes live in one array and two hash
// indexes (of the key, and of the key folded as CompareNoCase folds it) lead to the nodes that carry
// each hash, so Append, Get, Find and Replace cost O(1) on average even for very large archives
// (they grow only with the number of nodes sharing one key). A list filled once and then only
// searched (a catalogue) defers its indexes: each is built whole by the first lookup that needs
// it, so a scan that nobody searches by exact key never pays for that index.
// Keys may repeat.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "archive/LargeAllocator.h"

class StringList {
 public:
  StringList() = default;
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;
  ~StringList() = default;

  void Init() { Clear(); }
  // Adds a node at the end (a null key is the empty key). False when memory is short.
  bool Append(const char* key, std::uintptr_t data, void* record);
  // Puts a new node with the given key, data and record at `index`. False when the index is not
  // below the count (nothing changes) or memory is short.
  bool Replace(std::uint32_t index, const char* key, std::uintptr_t data, void* record);
  // Any output may be null. The key stays valid until the node is replaced or the list cleared.
  bool Get(std::uint32_t index, const char** key, std::uintptr_t* data, void** record) const;
  // Index of the first node whose key equals `key` exactly / ignoring case, or -1.
  std::int32_t FindExact(const char* key) const;
  std::int32_t FindNoCase(const char* key) const;
  // The first node whose key equals `key` exactly, else the first that equals it ignoring case:
  // an archive may hold "A.TXT" and "a.txt" side by side, and each must reach its own member.
  std::int32_t FindExactFirst(const char* key) const {
    const std::int32_t exact = FindExact(key);
    return exact >= 0 ? exact : FindNoCase(key);
  }
  std::uint32_t Count() const { return static_cast<std::uint32_t>(nodes_.size()); }
  // Frees every node (never the records).
  void Clear();
  // Makes room for `count` nodes in all; false when memory is short.
  bool Reserve(std::uint32_t count);
  // Call while the list is empty: from then on each index is built at the first lookup that
  // needs it (safely from several threads at once; appending must be over by then).
  void DeferIndexes() { deferred_ = true; }

 private:
  struct Node {
    const char* key;  // in keys_
    std::uintptr_t data;
    void* record;
  };

  // Keys live in a few large chunks instead of one heap block each: a catalogue of 100,000
  // members would otherwise spend much of its scan in the allocator. A replaced key's bytes stay
  // unused until Clear.
  class KeyArena {
   public:
    KeyArena() = default;
    KeyArena(const KeyArena&) = delete;
    KeyArena& operator=(const KeyArena&) = delete;
    ~KeyArena() { Clear(); }
    // A copy of the `length` bytes at `key` plus a NUL, or null when memory is short.
    const char* Copy(const char* key, std::size_t length);
    void Clear();

   private:
    struct Chunk {
      char* memory;
      std::size_t size;
    };
    std::vector<Chunk> chunks_;
    std::size_t used_ = 0;  // in the last chunk
  };

  // Open-addressing table from a key hash to the chain of nodes carrying it; each chain is linked
  // through `next` in ascending node order, so its head is the first match in list order. Hashes
  // are folded to 32 bits: keys that share one only share a chain, and lookups compare keys.
  class KeyIndex {
   public:
    static constexpr std::uint32_t NoNode = 0xFFFFFFFF;
    std::uint32_t Head(std::uint64_t hash) const;
    std::uint32_t Next(std::uint32_t node) const { return next_[node]; }
    // Links `node` into the chain of `hash` (may throw std::bad_alloc; then nothing changed).
    void Insert(std::uint64_t hash, std::uint32_t node);
    void Remove(std::uint64_t hash, std::uint32_t node);  // never allocates
    void Reserve(std::uint32_t nodes);
    void Clear();

   private:
    // A slot never taken; NoNode marks a slot whose chain emptied (taken until a rebuild).
    static constexpr std::uint32_t FreeSlot = 0xFFFFFFFE;
    struct Slot {
      std::uint32_t hash;
      std::uint32_t head;
      std::uint32_t tail;
    };
    static std::uint32_t Fold(std::uint64_t hash) {
      return static_cast<std::uint32_t>(hash ^ (hash >> 32));
    }
    std::size_t Probe(std::uint32_t hash) const;  // the slot of `hash`, or the free slot for it
    void Rebuild(std::size_t capacity);

    std::vector<Slot, LargeAllocator<Slot>> slots_;  // power-of-two size, at most half taken
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> next_;
    std::size_t taken_ = 0;
    unsigned shift_ = 64;  // 64 - log2(slot count)
  };

  // True when appends and replacements keep the index whose flag this is up to date.
  bool Maintained(const std::atomic<bool>& built) const {
    return !deferred_ || built.load(std::memory_order_acquire);
  }
  // The index a lookup uses, built first on a deferred list; null when memory is short for it
  // (the lookup then walks the nodes in order).
  const KeyIndex* ReadyIndex(bool folded) const;
  template <typename Equal>
  std::int32_t Find(bool folded, std::uint64_t hash, const char* key, Equal equal) const;

  std::vector<Node, LargeAllocator<Node>> nodes_;
  KeyArena keys_;
  bool deferred_ = false;
  mutable std::mutex buildMutex_;
  mutable std::atomic<bool> exactBuilt_{false};
  mutable std::atomic<bool> foldedBuilt_{false};
  mutable KeyIndex exact_;
  mutable KeyIndex folded_;
};
