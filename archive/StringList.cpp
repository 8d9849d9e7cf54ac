#include "archive/StringList.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/NoCase.h"

std::unique_ptr<char[]> StringList::CopyKey(const char* key) {
  if (!key) key = "";
  std::size_t length = std::strlen(key);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
  if (copy) std::memcpy(copy.get(), key, length + 1);
  return copy;
}

void StringList::AddToIndex(Index& index, std::uint64_t hash, std::uint32_t position) {
  std::vector<std::uint32_t>& slots = index[hash];
  if (slots.empty() || slots.back() < position)
    slots.push_back(position);
  else
    slots.insert(std::lower_bound(slots.begin(), slots.end(), position), position);
}

void StringList::RemoveFromIndex(Index& index, std::uint64_t hash, std::uint32_t position) {
  auto found = index.find(hash);
  if (found == index.end()) return;
  std::vector<std::uint32_t>& slots = found->second;
  auto at = std::lower_bound(slots.begin(), slots.end(), position);
  if (at != slots.end() && *at == position) slots.erase(at);
  if (slots.empty()) index.erase(found);
}

bool StringList::Reserve(std::uint32_t count) {
  try {
    nodes_.reserve(count);
    exact_.reserve(count);
    folded_.reserve(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool StringList::Append(const char* key, std::uintptr_t data, void* record) {
  std::unique_ptr<char[]> copy = CopyKey(key);
  if (!copy) return false;
  const auto position = static_cast<std::uint32_t>(nodes_.size());
  if (position == 0x7FFFFFFF) return false;  // indexes are reported as signed 32-bit values
  std::uint64_t exactHash = HashKey(copy.get());
  std::uint64_t foldedHash = HashKeyNoCase(copy.get());
  try {
    nodes_.push_back(Node{nullptr, data, record});
    AddToIndex(exact_, exactHash, position);
    AddToIndex(folded_, foldedHash, position);
  } catch (const std::bad_alloc&) {
    // Undo whatever got in, so the list stays as it was.
    RemoveFromIndex(exact_, exactHash, position);
    RemoveFromIndex(folded_, foldedHash, position);
    if (nodes_.size() > position) nodes_.pop_back();
    return false;
  }
  nodes_[position].key = std::move(copy);
  return true;
}

bool StringList::Replace(std::uint32_t index, const char* key, std::uintptr_t data, void* record) {
  if (index >= nodes_.size()) return false;
  std::unique_ptr<char[]> copy = CopyKey(key);
  if (!copy) return false;
  Node& node = nodes_[index];
  std::uint64_t oldExact = HashKey(node.key.get());
  std::uint64_t oldFolded = HashKeyNoCase(node.key.get());
  std::uint64_t newExact = HashKey(copy.get());
  std::uint64_t newFolded = HashKeyNoCase(copy.get());
  // Allocating steps first; removals cannot fail, so a shortage leaves the list unchanged.
  try {
    if (newExact != oldExact) AddToIndex(exact_, newExact, index);
    if (newFolded != oldFolded) AddToIndex(folded_, newFolded, index);
  } catch (const std::bad_alloc&) {
    if (newExact != oldExact) RemoveFromIndex(exact_, newExact, index);
    if (newFolded != oldFolded) RemoveFromIndex(folded_, newFolded, index);
    return false;
  }
  if (newExact != oldExact) RemoveFromIndex(exact_, oldExact, index);
  if (newFolded != oldFolded) RemoveFromIndex(folded_, oldFolded, index);
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
std::int32_t StringList::Find(const Index& index, std::uint64_t hash, const char* key,
                              Equal equal) const {
  auto found = index.find(hash);
  if (found == index.end()) return -1;
  for (std::uint32_t position : found->second)
    if (equal(nodes_[position].key.get(), key)) return static_cast<std::int32_t>(position);
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
  exact_.clear();
  folded_.clear();
}
