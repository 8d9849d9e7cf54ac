#include "archive/StringList.h"

#include <cstring>
#include <new>

#include "archive/NoCase.h"

// ----- KeyIndex

std::size_t StringList::KeyIndex::Probe(std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = static_cast<std::size_t>(hash ^ (hash >> 29)) & mask;
  while (slots_[at].used && slots_[at].hash != hash) at = (at + 1) & mask;
  return at;
}

std::uint32_t StringList::KeyIndex::Head(std::uint64_t hash) const {
  if (slots_.empty()) return NoNode;
  const Slot& slot = slots_[Probe(hash)];
  return slot.used ? slot.head : NoNode;
}

void StringList::KeyIndex::Rebuild(std::size_t capacity) {
  // Rebuilt from the chains: slots whose chains emptied are dropped.
  std::vector<Slot> old;
  old.swap(slots_);
  try {
    slots_.assign(capacity, Slot{0, NoNode, NoNode, false});
  } catch (...) {
    slots_.swap(old);
    throw;
  }
  taken_ = 0;
  for (const Slot& slot : old) {
    if (!slot.used || slot.head == NoNode) continue;
    Slot& moved = slots_[Probe(slot.hash)];
    moved = slot;
    ++taken_;
  }
}

void StringList::KeyIndex::Reserve(std::uint32_t nodes) {
  next_.reserve(nodes);
  std::size_t capacity = 16;
  while (capacity < 2 * static_cast<std::size_t>(nodes) + 2) capacity *= 2;
  if (capacity > slots_.size()) Rebuild(capacity);
}

void StringList::KeyIndex::Insert(std::uint64_t hash, std::uint32_t node) {
  if (node >= next_.size()) next_.resize(static_cast<std::size_t>(node) + 1, NoNode);
  if (slots_.empty() || 2 * (taken_ + 1) > slots_.size())
    Rebuild(slots_.empty() ? 16 : slots_.size() * 2);
  Slot& slot = slots_[Probe(hash)];
  next_[node] = NoNode;
  if (!slot.used) {
    slot = Slot{hash, node, node, true};
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

void StringList::KeyIndex::Remove(std::uint64_t hash, std::uint32_t node) {
  if (slots_.empty()) return;
  Slot& slot = slots_[Probe(hash)];
  if (!slot.used || slot.head == NoNode) return;
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
  next_.clear();
  taken_ = 0;
}

// ----- StringList

std::unique_ptr<char[]> StringList::CopyKey(const char* key) {
  if (!key) key = "";
  std::size_t length = std::strlen(key);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
  if (copy) std::memcpy(copy.get(), key, length + 1);
  return copy;
}

bool StringList::Reserve(std::uint32_t count) {
  try {
    nodes_.reserve(count);
    exact_.Reserve(count);
    folded_.Reserve(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool StringList::Append(const char* key, std::uintptr_t data, void* record) {
  std::unique_ptr<char[]> copy = CopyKey(key);
  if (!copy) return false;
  const auto position = static_cast<std::uint32_t>(nodes_.size());
  if (position >= 0x7FFFFFFF) return false;  // indexes are reported as signed 32-bit values
  const std::uint64_t exactHash = HashKey(copy.get());
  const std::uint64_t foldedHash = HashKeyNoCase(copy.get());
  bool inExact = false;
  try {
    // Room for the node before the indexes change, so push_back below cannot fail.
    if (nodes_.size() == nodes_.capacity()) nodes_.reserve(nodes_.empty() ? 16 : 2 * nodes_.size());
    exact_.Insert(exactHash, position);
    inExact = true;
    folded_.Insert(foldedHash, position);
  } catch (const std::bad_alloc&) {
    if (inExact) exact_.Remove(exactHash, position);
    return false;
  }
  nodes_.push_back(Node{std::move(copy), data, record});
  return true;
}

bool StringList::Replace(std::uint32_t index, const char* key, std::uintptr_t data, void* record) {
  if (index >= nodes_.size()) return false;
  std::unique_ptr<char[]> copy = CopyKey(key);
  if (!copy) return false;
  Node& node = nodes_[index];
  const std::uint64_t oldExact = HashKey(node.key.get());
  const std::uint64_t oldFolded = HashKeyNoCase(node.key.get());
  const std::uint64_t newExact = HashKey(copy.get());
  const std::uint64_t newFolded = HashKeyNoCase(copy.get());
  // Unlink first (never allocates), then link under the new hashes; on a shortage the old links
  // are restored into slots that still exist, which needs no memory either.
  exact_.Remove(oldExact, index);
  folded_.Remove(oldFolded, index);
  bool inExact = false;
  try {
    exact_.Insert(newExact, index);
    inExact = true;
    folded_.Insert(newFolded, index);
  } catch (const std::bad_alloc&) {
    if (inExact) exact_.Remove(newExact, index);
    exact_.Insert(oldExact, index);
    folded_.Insert(oldFolded, index);
    return false;
  }
  node.key = std::move(copy);
  node.data = data;
  node.record = record;
  return true;
}

bool StringList::Get(std::uint32_t index, const char** key, std::uintptr_t* data,
                     void** record) const {
  if (index >= nodes_.size()) return false;
  const Node& node = nodes_[index];
  if (key) *key = node.key.get();
  if (data) *data = node.data;
  if (record) *record = node.record;
  return true;
}

template <typename Equal>
std::int32_t StringList::Find(const KeyIndex& index, std::uint64_t hash, const char* key,
                              Equal equal) const {
  for (std::uint32_t at = index.Head(hash); at != KeyIndex::NoNode; at = index.Next(at))
    if (equal(nodes_[at].key.get(), key)) return static_cast<std::int32_t>(at);
  return -1;
}

std::int32_t StringList::FindExact(const char* key) const {
  if (!key) key = "";
  return Find(exact_, HashKey(key), key,
              [](const char* a, const char* b) { return std::strcmp(a, b) == 0; });
}

std::int32_t StringList::FindNoCase(const char* key) const {
  if (!key) key = "";
  return Find(folded_, HashKeyNoCase(key), key,
              [](const char* a, const char* b) { return CompareNoCase(a, b) == 0; });
}

void StringList::Clear() {
  nodes_.clear();
  exact_.Clear();
  folded_.Clear();
}
