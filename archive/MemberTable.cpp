#include "archive/MemberTable.h"

#include <cstring>
#include <new>

#include "archive/LargeAllocator.h"
#include "platform/Platform.h"

namespace {

std::size_t BoundedLength(const char* field, std::size_t size) {
  const void* end = std::memchr(field, 0, size);
  return end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : size - 1;
}

}  // namespace

MemberTable::~MemberTable() {
  for (const Block& block : blocks_) platform::FreeLarge(block.memory, block.size);
}

std::uint8_t* MemberTable::Reserve(std::size_t size) {
  if (blocks_.empty() || usedInLast_ + size > blocks_.back().size) {
    const std::size_t blockSize =
        NextChunkSize(blocks_.empty() ? 0 : blocks_.back().size, FirstBlockSize);
    try {
      blocks_.reserve(blocks_.size() + 1);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    auto* memory = static_cast<std::uint8_t*>(platform::AllocLarge(blockSize));
    if (!memory) return nullptr;
    blocks_.push_back(Block{memory, blockSize});
    usedInLast_ = 0;
  }
  return blocks_.back().memory + usedInLast_;
}

bool MemberTable::Add(const ArchiveEntry& entry) {
  const std::size_t directory = BoundedLength(entry.directory, sizeof entry.directory);
  const std::size_t name = BoundedLength(entry.name, sizeof entry.name);
  const std::size_t comment = BoundedLength(entry.comment, sizeof entry.comment);
  const std::size_t size = EntryBlockSize + directory + name + comment + 3;
  static_assert(EntryBlockSize + sizeof(ArchiveEntry::directory) + sizeof(ArchiveEntry::name) +
                        sizeof(ArchiveEntry::comment) <= FirstBlockSize,
                "a block holds the largest record");
  std::uint8_t* record = Reserve(size);
  if (!record) return false;
  std::uint8_t* at = record;
  std::memcpy(at, &entry, EntryBlockSize);
  at += EntryBlockSize;
  std::memcpy(at, entry.directory, directory);
  at[directory] = 0;
  at += directory + 1;
  std::memcpy(at, entry.name, name);
  at[name] = 0;
  at += name + 1;
  std::memcpy(at, entry.comment, comment);
  at[comment] = 0;

  // The key is the record's folder and name, joined.
  char key[EntryPathMax];
  std::memcpy(key, entry.directory, directory);
  std::memcpy(key + directory, entry.name, name);
  key[directory + name] = '\0';
  if (!list_.Append(key, entry.attributes, record)) return false;
  usedInLast_ += size;
  return true;
}

bool MemberTable::GetFixed(std::uint32_t index, ArchiveEntry* out) const {
  void* stored = nullptr;
  if (!list_.Get(index, nullptr, nullptr, &stored)) return false;
  std::memcpy(out, stored, EntryBlockSize);
  return true;
}

bool MemberTable::Get(std::uint32_t index, ArchiveEntry* out) const {
  void* stored = nullptr;
  if (!list_.Get(index, nullptr, nullptr, &stored)) return false;
  const auto* at = static_cast<const std::uint8_t*>(stored);
  std::memset(out, 0, sizeof *out);
  std::memcpy(out, at, EntryBlockSize);
  at += EntryBlockSize;
  for (char* field : {out->directory, out->name, out->comment}) {
    std::size_t length = std::strlen(reinterpret_cast<const char*>(at));
    std::memcpy(field, at, length);
    at += length + 1;
  }
  return true;
}
