#include "archive/EntryEnumerator.h"

#include <cstring>

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

ResultCode EntryEnumerator::Next(std::uint32_t count, ArchiveEntry* out, std::uint32_t* fetched) {
  std::uint32_t available = members_->Count() - position_;
  std::uint32_t n = count < available ? count : available;
  if (!out) n = 0;
  for (std::uint32_t i = 0; i < n; ++i) members_->Get(position_ + i, &out[i]);
  position_ += n;
  if (fetched) *fetched = n;
  return n == count ? ResultOk : ResultFalse;
}

ResultCode EntryEnumerator::Reset() {
  position_ = 0;
  return ResultOk;
}

bool EntryEnumerator::FindEntry(const char* path, ArchiveEntry* out) const {
  std::int32_t index = members_->List().FindExact(path);
  if (index < 0) return false;
  if (out) members_->Get(static_cast<std::uint32_t>(index), out);
  return true;
}
