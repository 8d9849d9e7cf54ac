#include "archive/EntryEnumerator.h"

#include <cstring>
#include <new>

ResultCode EntryEnumerator::QueryInterface(const void*, void** object) {
  if (object) *object = nullptr;
  return ResultNoInterface;
}

std::uint32_t EntryEnumerator::AddRef() { return ++refCount_; }

std::uint32_t EntryEnumerator::Release() {
  std::uint32_t count = --refCount_;
  if (count == 0) delete this;
  return count;
}

bool EntryEnumerator::CopyFrom(const StringList& catalogue) {
  const std::uint32_t count = catalogue.Count();
  try {
    records_.resize(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  list_.Clear();
  if (!list_.Reserve(count)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const char* key = nullptr;
    std::uintptr_t data = 0;
    void* record = nullptr;
    catalogue.Get(i, &key, &data, &record);
    if (record) std::memcpy(&records_[i], record, sizeof(ArchiveEntry));
    if (!list_.Append(key, data, &records_[i])) return false;
  }
  position_ = 0;
  return true;
}

ResultCode EntryEnumerator::Next(std::uint32_t count, ArchiveEntry* out, std::uint32_t* fetched) {
  std::uint32_t available = list_.Count() - position_;
  std::uint32_t n = count < available ? count : available;
  if (n > 0) std::memcpy(out, &records_[position_], n * sizeof(ArchiveEntry));
  position_ += n;
  if (fetched) *fetched = n;
  return n == count ? ResultOk : ResultFalse;
}

ResultCode EntryEnumerator::Reset() {
  position_ = 0;
  return ResultOk;
}

bool EntryEnumerator::FindEntry(const char* path, ArchiveEntry* out) const {
  std::int32_t index = list_.FindExact(path);
  if (index < 0) return false;
  if (out) std::memcpy(out, &records_[static_cast<std::uint32_t>(index)], sizeof(ArchiveEntry));
  return true;
}
