// One scan's catalogue: a StringList keyed by full path (data = attributes) whose records are the
// members' entries stored compactly (the 44-byte block, then folder, name and comment with their
// NULs) in large blocks. Full ArchiveEntry records (1,588 bytes, mostly empty text fields) are
// made on request, so a catalogue of 100,000 members takes a few megabytes instead of 160.
//
// A table never changes once its scan is done: a rescan builds a new one, and snapshots share
// the table they were taken from instead of copying it.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/StringList.h"

class MemberTable {
 public:
  MemberTable() { list_.DeferIndexes(); }
  MemberTable(const MemberTable&) = delete;
  MemberTable& operator=(const MemberTable&) = delete;
  ~MemberTable();

  // Appends a member under its full path (directory + name). False when memory is short.
  bool Add(const ArchiveEntry& entry);
  // The whole record of the member at `index` (text fields zero-filled after their NULs).
  bool Get(std::uint32_t index, ArchiveEntry* out) const;
  // Only the fixed fields (createTime .. method); the text fields of `*out` are not touched.
  bool GetFixed(std::uint32_t index, ArchiveEntry* out) const;

  // Keys and data words; the record pointers are the compact form, read them through Get.
  const StringList& List() const { return list_; }
  std::uint32_t Count() const { return list_.Count(); }

 private:
  // Record blocks grow from 16 KB: small archives take little memory, large ones few blocks (and
  // large pages where the platform has them).
  static constexpr std::size_t FirstBlockSize = 16 * 1024;
  struct Block {
    std::uint8_t* memory;
    std::size_t size;
  };
  // Room for `size` more bytes, or null when memory is short.
  std::uint8_t* Reserve(std::size_t size);

  StringList list_;
  std::vector<Block> blocks_;
  std::size_t usedInLast_ = 0;
};
