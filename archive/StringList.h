// The keyed, insertion-ordered list that holds catalogues, pending changes, snapshots and
// temporary-file lists. Each node has a key string (copied into the list), a data word whose meaning
// the user chooses (wide enough for a file handle) and a record pointer the list does not own.
//
// Lookups find the first node in list order whose key matches. Nodes live in one array and two hash
// indexes (of the key, and of the key folded as CompareNoCase folds it) lead to the nodes that carry
// each hash, so Append, Get, Find and Replace cost O(1) on average even for very large archives
// (they grow only with the number of nodes sharing one key).
// Keys may repeat.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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
  std::uint32_t Count() const { return static_cast<std::uint32_t>(nodes_.size()); }
  // Frees every node (never the records).
  void Clear();
  // Makes room for `count` nodes in all; false when memory is short.
  bool Reserve(std::uint32_t count);

 private:
  struct Node {
    std::unique_ptr<char[]> key;
    std::uintptr_t data;
    void* record;
  };

  // Open-addressing table from a key hash to the chain of nodes carrying it; each chain is linked
  // through `next` in ascending node order, so its head is the first match in list order.
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
    struct Slot {
      std::uint64_t hash;
      std::uint32_t head;  // NoNode: the chain emptied (the slot stays taken until a rebuild)
      std::uint32_t tail;
      bool used;
    };
    std::size_t Probe(std::uint64_t hash) const;  // the slot of `hash`, or the free slot for it
    void Rebuild(std::size_t capacity);

    std::vector<Slot> slots_;      // power-of-two size, at most half taken
    std::vector<std::uint32_t> next_;
    std::size_t taken_ = 0;
  };

  static std::unique_ptr<char[]> CopyKey(const char* key);
  template <typename Equal>
  std::int32_t Find(const KeyIndex& index, std::uint64_t hash, const char* key, Equal equal) const;

  std::vector<Node> nodes_;
  KeyIndex exact_;
  KeyIndex folded_;
};
