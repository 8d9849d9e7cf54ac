#include "archive/StringList.h"

#include <cstring>
#include <new>

#include "archive/NoCase.h"

// ----- KeyArena

const char* StringList::KeyArena::Copy(const char* key, std::size_t length) {
  if (chunks_.empty() || chunks_.back().size - used_ < length + 1) {
    // Small lists stay small, large ones take few chunks.
    std::size_t size = NextChunkSize(chunks_.empty() ? 0 : chunks_.back().size, 4096);
    if (size < length + 1) size = length + 1;
    try {
      chunks_.reserve(chunks_.size() + 1);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    auto* memory = static_cast<char*>(platform::AllocLarge(size));
    if (!memory) return nullptr;
    chunks_.push_back(Chunk{memory, size});
    used_ = 0;
  }
  char* copy = chunks_.back().memory + used_;
  std::memcpy(copy, key, length);
  copy[length] = '\0';
  used_ += length + 1;
  return copy;
}

void StringList::KeyArena::Clear() {
  for (const Chunk& chunk : chunks_) platform::FreeLarge(chunk.memory, chunk.size);
  chunks_.clear();
  used_ = 0;
}

// ----- KeyIndex

std::size_t StringList::KeyIndex::Probe(std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  // Fibonacci hashing: the top bits of the product depend on every bit of the hash.
  std::size_t at = static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> shift_);
  while (slots_[at].head != FreeSlot && slots_[at].hash != hash) at = (at + 1) & mask;
  return at;
}

std::uint32_t StringList::KeyIndex::Head(std::uint64_t hash) const {
  if (slots_.empty()) return NoNode;
  const Slot& slot = slots_[Probe(Fold(hash))];
  return slot.head == FreeSlot ? NoNode : slot.head;
}

void StringList::KeyIndex::Rebuild(std::size_t capacity) {
  // Rebuilt from the chains: slots whose chains emptied are dropped.
  std::vector<Slot, LargeAllocator<Slot>> old;
  old.swap(slots_);
  try {
    slots_.assign(capacity, Slot{0, FreeSlot, FreeSlot});
  } catch (...) {
    slots_.swap(old);
    throw;
  }
  unsigned bits = 0;
  while ((std::size_t{1} << bits) < capacity) ++bits;
  shift_ = 64 - bits;
  taken_ = 0;
  for (const Slot& slot : old) {
    if (slot.head == FreeSlot || slot.head == NoNode) continue;
    slots_[Probe(slot.hash)] = slot;
    ++taken_;
  }
}

void StringList::KeyIndex::Reserve(std::uint32_t nodes) {
  next_.reserve(nodes);
  std::size_t capacity = 16;
  while (capacity < 2 * static_cast<std::size_t>(nodes) + 2) capacity *= 2;
  if (capacity > slots_.size()) Rebuild(capacity);
}

void StringList::KeyIndex::Insert(std::uint64_t fullHash, std::uint32_t node) {
  const std::uint32_t hash = Fold(fullHash);
  if (node >= next_.size()) next_.resize(static_cast<std::size_t>(node) + 1, NoNode);
  if (slots_.empty() || 2 * (taken_ + 1) > slots_.size())
    Rebuild(slots_.empty() ? 16 : slots_.size() * 2);
  Slot& slot = slots_[Probe(hash)];
  next_[node] = NoNode;
  if (slot.head == FreeSlot) {
    slot = Slot{hash, node, node};
    ++taken_;
    return;
  }
  if (slot.head == NoNode) {
    slot.head = slot.tail = node;
    return;
  }
  if (slot.tail < node) {  // appending: the usual case
    next_[slot.tail] = node;
    slot.tail = node;
    return;
  }
  if (node < slot.head) {
    next_[node] = slot.head;
    slot.head = node;
    return;
  }
  std::uint32_t at = slot.head;
  while (next_[at] != NoNode && next_[at] < node) at = next_[at];
  next_[node] = next_[at];
  next_[at] = node;
}

void StringList::KeyIndex::Remove(std::uint64_t fullHash, std::uint32_t node) {
  if (slots_.empty()) return;
  Slot& slot = slots_[Probe(Fold(fullHash))];
  if (slot.head == FreeSlot || slot.head == NoNode) return;
  std::uint32_t previous = NoNode;
  std::uint32_t at = slot.head;
  while (at != NoNode && at != node) {
    previous = at;
    at = next_[at];
  }
  if (at == NoNode) return;
  if (previous == NoNode)
    slot.head = next_[node];
  else
    next_[previous] = next_[node];
  if (slot.tail == node) slot.tail = previous;
  next_[node] = NoNode;
}

void StringList::KeyIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  next_.clear();
  next_.shrink_to_fit();
  taken_ = 0;
  shift_ = 64;
}

// ----- StringList

bool StringList::Reserve(std::uint32_t count) {
  try {
    nodes_.reserve(count);
    if (Maintained(exactBuilt_)) exact_.Reserve(count);
    if (Maintained(foldedBuilt_)) folded_.Reserve(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool StringList::Append(const char* key, std::uintptr_t data, void* record) {
  if (!key) key = "";
  const auto position = static_cast<std::uint32_t>(nodes_.size());
  if (position >= 0x7FFFFFFF) return false;  // indexes are reported as signed 32-bit values
  const char* copy = keys_.Copy(key, std::strlen(key));
  if (!copy) return false;
  const bool withExact = Maintained(exactBuilt_);
  const bool withFolded = Maintained(foldedBuilt_);
  const std::uint64_t exactHash = withExact ? HashKey(copy) : 0;
  const std::uint64_t foldedHash = withFolded ? HashKeyNoCase(copy) : 0;
  bool inExact = false;
  try {
    // Room for the node before the indexes change, so push_back below cannot fail.
    if (nodes_.size() == nodes_.capacity()) nodes_.reserve(nodes_.empty() ? 16 : 2 * nodes_.size());
    if (withExact) {
      exact_.Insert(exactHash, position);
      inExact = true;
    }
    if (withFolded) folded_.Insert(foldedHash, position);
  } catch (const std::bad_alloc&) {
    if (inExact) exact_.Remove(exactHash, position);
    return false;
  }
  nodes_.push_back(Node{copy, data, record});
  return true;
}

bool StringList::Replace(std::uint32_t index, const char* key, std::uintptr_t data, void* record) {
  if (index >= nodes_.size()) return false;
  if (!key) key = "";
  const char* copy = keys_.Copy(key, std::strlen(key));
  if (!copy) return false;
  Node& node = nodes_[index];
  const bool withExact = Maintained(exactBuilt_);
  const bool withFolded = Maintained(foldedBuilt_);
  const std::uint64_t oldExact = withExact ? HashKey(node.key) : 0;
  const std::uint64_t oldFolded = withFolded ? HashKeyNoCase(node.key) : 0;
  const std::uint64_t newExact = withExact ? HashKey(copy) : 0;
  const std::uint64_t newFolded = withFolded ? HashKeyNoCase(copy) : 0;
  // Unlink first (never allocates), then link under the new hashes; on a shortage the old links
  // are restored into slots that still exist, which needs no memory either.
  if (withExact) exact_.Remove(oldExact, index);
  if (withFolded) folded_.Remove(oldFolded, index);
  bool inExact = false;
  try {
    if (withExact) {
      exact_.Insert(newExact, index);
      inExact = true;
    }
    if (withFolded) folded_.Insert(newFolded, index);
  } catch (const std::bad_alloc&) {
    if (inExact) exact_.Remove(newExact, index);
    if (withExact) exact_.Insert(oldExact, index);
    if (withFolded) folded_.Insert(oldFolded, index);
    return false;
  }
  node.key = copy;
  node.data = data;
  node.record = record;
  return true;
}

bool StringList::Get(std::uint32_t index, const char** key, std::uintptr_t* data,
                     void** record) const {
  if (index >= nodes_.size()) return false;
  const Node& node = nodes_[index];
  if (key) *key = node.key;
  if (data) *data = node.data;
  if (record) *record = node.record;
  return true;
}

const StringList::KeyIndex* StringList::ReadyIndex(bool folded) const {
  KeyIndex& index = folded ? folded_ : exact_;
  std::atomic<bool>& built = folded ? foldedBuilt_ : exactBuilt_;
  if (Maintained(built)) return &index;
  std::lock_guard<std::mutex> hold(buildMutex_);
  if (built.load(std::memory_order_relaxed)) return &index;
  try {
    index.Reserve(Count());  // sized once: the inserts below never rebuild it
    for (std::uint32_t i = 0; i < Count(); ++i)
      index.Insert(folded ? HashKeyNoCase(nodes_[i].key) : HashKey(nodes_[i].key), i);
  } catch (const std::bad_alloc&) {
    index.Clear();
    return nullptr;
  }
  built.store(true, std::memory_order_release);
  return &index;
}

template <typename Equal>
std::int32_t StringList::Find(bool folded, std::uint64_t hash, const char* key,
                              Equal equal) const {
  const KeyIndex* index = ReadyIndex(folded);
  if (!index) {
    for (std::uint32_t at = 0; at < Count(); ++at)
      if (equal(nodes_[at].key, key)) return static_cast<std::int32_t>(at);
    return -1;
  }
  for (std::uint32_t at = index->Head(hash); at != KeyIndex::NoNode; at = index->Next(at))
    if (equal(nodes_[at].key, key)) return static_cast<std::int32_t>(at);
  return -1;
}

std::int32_t StringList::FindExact(const char* key) const {
  if (!key) key = "";
  return Find(false, HashKey(key), key,
              [](const char* a, const char* b) { return std::strcmp(a, b) == 0; });
}

std::int32_t StringList::FindNoCase(const char* key) const {
  if (!key) key = "";
  return Find(true, HashKeyNoCase(key), key,
              [](const char* a, const char* b) { return CompareNoCase(a, b) == 0; });
}

void StringList::Clear() {
  nodes_.clear();
  nodes_.shrink_to_fit();
  keys_.Clear();
  exact_.Clear();
  folded_.Clear();
  exactBuilt_.store(false, std::memory_order_release);
  foldedBuilt_.store(false, std::memory_order_release);
}
