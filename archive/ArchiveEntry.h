// The in-memory form of one member header. The first 44 bytes (createTime .. method) are also
// carried inside the shell's item identifiers, so the field order, widths and packing are fixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#pragma pack(push, 1)
struct ArchiveEntry {
  std::uint32_t createTime;    // seconds since 1970-01-01 00:00 UTC
  std::uint32_t modifyTime;    // last-write time, same unit
  std::uint32_t accessTime;    // same unit
  std::int32_t packedSize;     // member data in the archive (level 1: without extended headers)
  std::uint32_t originalSize;  // bytes of the original file
  std::int32_t headerOffset;   // file position of the header's first byte
  std::int32_t dataOffset;     // file position of the member data's first byte
  std::int32_t headerSize;     // dataOffset - headerOffset
  std::uint16_t attributes;    // MS-DOS attribute bits
  std::uint16_t crc;           // CRC-16 of the original data
  std::uint8_t headerLevel;    // 0 .. 3
  std::uint8_t osId;           // OS identifier byte (0 for level 0)
  char method[6];              // "-lh5-" and a NUL
  char directory[260];         // folder inside the archive, "\"-separated, ending with "\"
  char name[260];              // file name; empty for a folder entry
  char comment[1024];          // at most 1023 bytes and a NUL
};
#pragma pack(pop)

constexpr std::size_t EntryBlockSize = 44;  // createTime .. method
constexpr std::size_t EntryFieldMax = 259;  // bytes of directory or name without the NUL
constexpr std::size_t CommentMax = 1023;

static_assert(offsetof(ArchiveEntry, createTime) == 0, "entry block layout");
static_assert(offsetof(ArchiveEntry, modifyTime) == 4, "entry block layout");
static_assert(offsetof(ArchiveEntry, accessTime) == 8, "entry block layout");
static_assert(offsetof(ArchiveEntry, packedSize) == 12, "entry block layout");
static_assert(offsetof(ArchiveEntry, originalSize) == 16, "entry block layout");
static_assert(offsetof(ArchiveEntry, headerOffset) == 20, "entry block layout");
static_assert(offsetof(ArchiveEntry, dataOffset) == 24, "entry block layout");
static_assert(offsetof(ArchiveEntry, headerSize) == 28, "entry block layout");
static_assert(offsetof(ArchiveEntry, attributes) == 32, "entry block layout");
static_assert(offsetof(ArchiveEntry, crc) == 34, "entry block layout");
static_assert(offsetof(ArchiveEntry, headerLevel) == 36, "entry block layout");
static_assert(offsetof(ArchiveEntry, osId) == 37, "entry block layout");
static_assert(offsetof(ArchiveEntry, method) == 38, "entry block layout");
static_assert(offsetof(ArchiveEntry, directory) == EntryBlockSize, "entry block size");
static_assert(offsetof(ArchiveEntry, name) == 304, "entry layout");
static_assert(offsetof(ArchiveEntry, comment) == 564, "entry layout");
static_assert(sizeof(ArchiveEntry) == 1588, "entry record size");
static_assert(sizeof(ArchiveEntry::directory) == EntryFieldMax + 1, "entry layout");
static_assert(sizeof(ArchiveEntry::comment) == CommentMax + 1, "entry layout");

// The full path of a member (directory + name) as the catalogue keys it.
constexpr std::size_t EntryPathMax = 2 * EntryFieldMax + 1;
inline void EntryPath(const ArchiveEntry& entry, char (&out)[EntryPathMax]) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < EntryFieldMax && entry.directory[i]; ++i) out[n++] = entry.directory[i];
  for (std::size_t i = 0; i < EntryFieldMax && entry.name[i]; ++i) out[n++] = entry.name[i];
  out[n] = '\0';
}

// The same member: the header's fixed fields (offsets included) and the path.
inline bool SameMember(const ArchiveEntry& a, const ArchiveEntry& b) {
  return std::memcmp(&a, &b, EntryBlockSize) == 0 &&
         std::strncmp(a.directory, b.directory, sizeof a.directory) == 0 &&
         std::strncmp(a.name, b.name, sizeof a.name) == 0;
}
