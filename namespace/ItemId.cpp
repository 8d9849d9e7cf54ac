#include "namespace/ItemId.h"

#include <cstring>

#include "archive/PathName.h"

const ItemId* AsItemId(LPCITEMIDLIST list) {
  if (!list || list->mkid.cb != ItemIdSize) return nullptr;
  const ItemId* item = reinterpret_cast<const ItemId*>(list);
  if (!std::memchr(item->path, '\0', sizeof item->path)) return nullptr;
  return item;
}

ItemBuilder::ItemBuilder() {
  std::memset(&entry_, 0, sizeof entry_);
  std::memset(&item_, 0, sizeof item_);
  item_.size = ItemIdSize;
}

namespace {

std::size_t FieldLength(const char* field) {
  std::size_t n = 0;
  while (n < EntryFieldMax && field[n]) ++n;
  return n;
}

}  // namespace

int ItemBuilder::Build(const ArchiveEntry* entry) {
  if (!entry) return 0;
  if (entry != &entry_) std::memcpy(&entry_, entry, sizeof entry_);
  std::memset(&item_, 0, sizeof item_);
  item_.size = ItemIdSize;
  item_.isSynthetic = 0;
  std::memcpy(reinterpret_cast<char*>(&item_) + ItemEntryBlockOffset, &entry_, EntryBlockSize);

  // The record's fields come from an archive: neither is trusted to be terminated.
  char full[EntryPathMax];
  std::size_t directoryLength = FieldLength(entry_.directory);
  std::memcpy(full, entry_.directory, directoryLength);
  std::size_t length = directoryLength;
  if (entry_.attributes & FolderAttribute) {
    if (EndsWithSeparator(full, length)) --length;
  } else {
    std::size_t nameLength = FieldLength(entry_.name);
    std::memcpy(full + length, entry_.name, nameLength);
    length += nameLength;
  }
  full[length] = '\0';
  CopyCut(item_.path, sizeof item_.path, full, length);
  return 1;
}
