// A reference-counted snapshot of an archive's catalogue (every member's key, data word and record)
// and a read position. It holds the catalogue's table, which a rescan replaces rather than
// changes, so the snapshot stays as it was taken without copying the members.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/ArchiveEntry.h"
#include "archive/Results.h"
#include "archive/MemberTable.h"

class EntryEnumerator final {
 public:
  explicit EntryEnumerator(std::shared_ptr<const MemberTable> members)
      : members_(std::move(members)) {}
  EntryEnumerator(const EntryEnumerator&) = delete;
  EntryEnumerator& operator=(const EntryEnumerator&) = delete;

  // Slot order of the object's first three virtual operations. The snapshot answers to no
  // interface: QueryInterface always gives ResultNoInterface and a null pointer.
  virtual ResultCode QueryInterface(const void* iid, void** object);
  virtual std::uint32_t AddRef();
  virtual std::uint32_t Release();

  // Copies up to `count` whole records into `out` and advances; ResultOk when all `count` were
  // copied, ResultFalse when fewer remained. `fetched` may be null.
  ResultCode Next(std::uint32_t count, ArchiveEntry* out, std::uint32_t* fetched);
  ResultCode Reset();
  // Exact, case-sensitive lookup of a full path; copies the record out when `out` is given.
  bool FindEntry(const char* path, ArchiveEntry* out) const;
  std::uint32_t Count() const { return members_->Count(); }

 private:
  ~EntryEnumerator() = default;  // through Release only

  std::uint32_t refCount_ = 0;
  std::uint32_t position_ = 0;
  std::shared_ptr<const MemberTable> members_;
};
