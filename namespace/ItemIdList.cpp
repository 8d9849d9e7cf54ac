#include "namespace/ItemIdList.h"

#include <cstring>

#include "namespace/ModuleState.h"

namespace {

std::uint16_t ItemSizeAt(const std::uint8_t* p) {
  std::uint16_t size;
  std::memcpy(&size, p, sizeof size);
  return size;
}

}  // namespace

void* ItemIdList::Allocate(std::uint32_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }

void ItemIdList::FreeList(void* list) {
  if (list) HeapFree(GetProcessHeap(), 0, list);
}

ItemIdList::ItemIdList(LPCITEMIDLIST list) : list_(const_cast<LPITEMIDLIST>(list)), owned_(0) {}

ItemIdList::~ItemIdList() { Clear(); }

void ItemIdList::Clear() {
  if (owned_) FreeList(list_);
  list_ = nullptr;
  owned_ = 0;
}

LPITEMIDLIST ItemIdList::Detach() {
  LPITEMIDLIST list = list_;
  list_ = nullptr;
  owned_ = 0;
  return list;
}

std::uint32_t ItemIdList::SizeOf(LPCITEMIDLIST list) {
  if (!list) return 0;
  const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(list);
  std::uint32_t total = 0;
  for (std::uint16_t size = ItemSizeAt(p); size != 0; size = ItemSizeAt(p + total)) total += size;
  return total + 2;
}

std::uint32_t ItemIdList::Size() const { return SizeOf(list_); }

bool ItemIdList::Assign(LPCITEMIDLIST list) {
  Clear();
  if (!list) return false;
  std::uint32_t size = SizeOf(list);
  void* copy = Allocate(size);
  if (!copy) return false;
  std::memcpy(copy, list, size);
  list_ = static_cast<LPITEMIDLIST>(copy);
  owned_ = 1;
  return true;
}

bool ItemIdList::AssignItem(LPCITEMIDLIST item) {
  Clear();
  if (!item) return false;
  std::uint16_t size = item->mkid.cb;
  std::uint8_t* copy = static_cast<std::uint8_t*>(Allocate(size + 2u));
  if (!copy) return false;
  std::memcpy(copy, item, size);
  copy[size] = 0;
  copy[size + 1] = 0;
  list_ = reinterpret_cast<LPITEMIDLIST>(copy);
  owned_ = 1;
  return true;
}

int ItemIdList::Join(const void* items, std::uint32_t bytes) {
  std::uint32_t own = Size() - 2;
  std::uint8_t* block = static_cast<std::uint8_t*>(Allocate(own + bytes + 2));
  if (!block) return 0;
  std::memcpy(block, list_, own);
  std::memcpy(block + own, items, bytes);
  block[own + bytes] = 0;
  block[own + bytes + 1] = 0;
  Clear();
  list_ = reinterpret_cast<LPITEMIDLIST>(block);
  owned_ = 1;
  return 1;
}

int ItemIdList::Append(LPCITEMIDLIST list) {
  if (!list) return list_ ? 1 : 0;
  if (!list_) return Assign(list) ? 1 : 0;
  // Joining into a fresh block also gives a list the holder did not own a copy of its own.
  return Join(list, SizeOf(list) - 2);
}

int ItemIdList::AppendItem(LPCITEMIDLIST item) {
  if (!item) return list_ ? 1 : 0;
  if (!list_) return AssignItem(item) ? 1 : 0;
  return Join(item, item->mkid.cb);
}

LPITEMIDLIST ItemIdList::ItemAt(std::uint32_t index) const {
  if (!list_) return nullptr;
  std::uint8_t* p = reinterpret_cast<std::uint8_t*>(list_);
  for (std::uint32_t i = 0; i < index; ++i) {
    std::uint16_t size = ItemSizeAt(p);
    if (size == 0) return nullptr;
    p += size;
  }
  return ItemSizeAt(p) == 0 ? nullptr : reinterpret_cast<LPITEMIDLIST>(p);
}

LPITEMIDLIST ItemIdList::LastItem() const {
  if (!list_) return nullptr;
  std::uint8_t* p = reinterpret_cast<std::uint8_t*>(list_);
  std::uint8_t* last = p;
  for (std::uint16_t size = ItemSizeAt(p); size != 0; size = ItemSizeAt(p)) {
    last = p;
    p += size;
  }
  return reinterpret_cast<LPITEMIDLIST>(last);
}

std::uint32_t ItemIdList::Count() const {
  if (!list_) return 0;
  const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(list_);
  std::uint32_t count = 0;
  for (std::uint16_t size = ItemSizeAt(p); size != 0; size = ItemSizeAt(p)) {
    ++count;
    p += size;
  }
  return count;
}

std::uint32_t ItemIdList::CopyTo(void* buffer) const {
  std::uint32_t size = Size();
  if (size) std::memcpy(buffer, list_, size);
  return size;
}

LPITEMIDLIST ItemIdList::CopyForShell() const {
  std::uint32_t size = Size();
  if (size == 0 || !TaskAllocator) return nullptr;
  void* copy = TaskAllocator->Alloc(size);
  if (copy) CopyTo(copy);
  return static_cast<LPITEMIDLIST>(copy);
}
