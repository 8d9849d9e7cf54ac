// The item identifier of every member and folder inside an archive. The shell stores these blocks
// (in views, shortcuts and saved view state) and hands them back to later runs of the library, so
// the layout is fixed byte for byte: 310 bytes, little-endian, no padding.
//
//   offset  size  field
//        0     2  size           always 310
//        2     4  isSynthetic    1: a folder made up from member paths, 0: built from a header
//        6    44  the first 44 bytes of the member's ArchiveEntry (createTime .. method)
//       50   260  path           full path inside the archive, NUL-terminated, zero-filled;
//                                a folder's path has no trailing backslash
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>

#include "archive/ArchiveEntry.h"

#pragma pack(push, 1)
struct ItemId {
  std::uint16_t size;
  std::uint32_t isSynthetic;
  // entryBlock: a byte-for-byte copy of ArchiveEntry createTime .. method.
  std::uint32_t createTime;
  std::uint32_t modifyTime;
  std::uint32_t accessTime;
  std::int32_t packedSize;
  std::uint32_t originalSize;
  std::int32_t headerOffset;
  std::int32_t dataOffset;
  std::int32_t headerSize;
  std::uint16_t attributes;
  std::uint16_t crc;
  std::uint8_t headerLevel;
  std::uint8_t osId;
  char method[6];
  char path[260];
};
#pragma pack(pop)

constexpr std::uint16_t ItemIdSize = 310;
constexpr std::size_t ItemEntryBlockOffset = 6;
constexpr std::size_t ItemPathOffset = 50;
constexpr std::size_t ItemPathMax = 259;  // bytes of path without the NUL
constexpr std::uint16_t FolderAttribute = 0x10;

static_assert(sizeof(ItemId) == ItemIdSize, "item identifier size");
static_assert(offsetof(ItemId, size) == 0, "item identifier layout");
static_assert(offsetof(ItemId, isSynthetic) == 2, "item identifier layout");
static_assert(offsetof(ItemId, createTime) == 6, "item identifier layout");
static_assert(offsetof(ItemId, modifyTime) == 10, "item identifier layout");
static_assert(offsetof(ItemId, accessTime) == 14, "item identifier layout");
static_assert(offsetof(ItemId, packedSize) == 18, "item identifier layout");
static_assert(offsetof(ItemId, originalSize) == 22, "item identifier layout");
static_assert(offsetof(ItemId, headerOffset) == 26, "item identifier layout");
static_assert(offsetof(ItemId, dataOffset) == 30, "item identifier layout");
static_assert(offsetof(ItemId, headerSize) == 34, "item identifier layout");
static_assert(offsetof(ItemId, attributes) == 38, "item identifier layout");
static_assert(offsetof(ItemId, crc) == 40, "item identifier layout");
static_assert(offsetof(ItemId, headerLevel) == 42, "item identifier layout");
static_assert(offsetof(ItemId, osId) == 43, "item identifier layout");
static_assert(offsetof(ItemId, method) == 44, "item identifier layout");
static_assert(offsetof(ItemId, path) == ItemPathOffset, "item identifier layout");
static_assert(ItemPathOffset - ItemEntryBlockOffset == EntryBlockSize, "entry block size");
// Each copied field sits at the same distance from the block's start as in ArchiveEntry.
static_assert(offsetof(ItemId, modifyTime) - ItemEntryBlockOffset ==
                  offsetof(ArchiveEntry, modifyTime), "entry block layout");
static_assert(offsetof(ItemId, originalSize) - ItemEntryBlockOffset ==
                  offsetof(ArchiveEntry, originalSize), "entry block layout");
static_assert(offsetof(ItemId, attributes) - ItemEntryBlockOffset ==
                  offsetof(ArchiveEntry, attributes), "entry block layout");
static_assert(offsetof(ItemId, crc) - ItemEntryBlockOffset == offsetof(ArchiveEntry, crc),
              "entry block layout");
static_assert(offsetof(ItemId, method) - ItemEntryBlockOffset == offsetof(ArchiveEntry, method),
              "entry block layout");

inline bool IsFolderItem(const ItemId& item) { return (item.attributes & FolderAttribute) != 0; }

// The first item of `list` as an ItemId, or null when it is not one of ours: the shell may hand
// back anything it stored, so the size and the path's terminator are checked before any field is
// read.
const ItemId* AsItemId(LPCITEMIDLIST list);

// Builds ItemIds from catalogue records. It keeps a full copy of the record so that a caller can
// adjust fields and build again.
class ItemBuilder {
 public:
  ItemBuilder();

  // Copies the entry and builds the item: a folder entry (attribute 0x10) gets its directory
  // without the trailing backslash as path, a file directory + name. A path longer than 259 bytes
  // is cut there on a character boundary. 0 (builder unchanged) when no entry is given, else 1.
  int Build(const ArchiveEntry* entry);

  ArchiveEntry& Entry() { return entry_; }
  ItemId& Item() { return item_; }
  const ItemId& Item() const { return item_; }

 private:
  ArchiveEntry entry_;
  ItemId item_;
};
