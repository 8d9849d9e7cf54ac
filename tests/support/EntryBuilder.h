// Entries and archive images whose headers the engine's own header writer makes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "support/TestFiles.h"

namespace testsupport {

// An entry of the level, folder, name and method, with fixed times, attributes and CRC.
inline ArchiveEntry MakeEntry(int level, const std::string& directory, const std::string& name,
                              const char* method = "-lh5-") {
  ArchiveEntry e;
  std::memset(&e, 0, sizeof e);
  e.headerLevel = static_cast<std::uint8_t>(level);
  std::memcpy(e.method, method, std::strlen(method) < 5 ? std::strlen(method) : 5);
  std::strncpy(e.directory, directory.c_str(), sizeof e.directory - 1);
  std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
  e.attributes = 0x20;
  e.osId = 'W';
  e.modifyTime = 946684800;  // 2000-01-01 00:00:00 UTC
  e.createTime = 946684800 - 3600;
  e.accessTime = 946684800 + 3600;
  e.crc = 0x1234;
  return e;
}

// The header the engine writes for the entry; empty when it cannot be written.
inline Bytes HeaderBytes(const ArchiveEntry& entry) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  std::size_t n = WriteHeader(entry, buffer);
  return std::vector<std::uint8_t>(buffer, buffer + n);
}

// A member written from `entry`, followed by `data` as its packed bytes (which may differ from
// what the entry claims, to make damaged archives).
struct EntryMember {
  ArchiveEntry entry;
  Bytes data;
};

// Each member's header and data, then the closing zero byte; empty when a header cannot be
// written.
inline Bytes ArchiveImage(const std::vector<EntryMember>& members) {
  Bytes image;
  for (const EntryMember& m : members) {
    const Bytes header = HeaderBytes(m.entry);
    if (header.empty()) return Bytes();
    image.insert(image.end(), header.begin(), header.end());
    image.insert(image.end(), m.data.begin(), m.data.end());
  }
  image.push_back(0);
  return image;
}

// The same with `packedSize` filler bytes as each member's data.
inline Bytes ArchiveImage(const std::vector<ArchiveEntry>& entries) {
  std::vector<EntryMember> members;
  for (const ArchiveEntry& e : entries) {
    Bytes filler;
    for (std::int32_t i = 0; i < e.packedSize; ++i)
      filler.push_back(static_cast<std::uint8_t>(i * 7));
    members.push_back({e, filler});
  }
  return ArchiveImage(members);
}

// Overwrites the little-endian 16-bit or 32-bit value at `at`.
inline void Set16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
  v[at] = static_cast<std::uint8_t>(value);
  v[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void Set32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
  Set16(v, at, value);
  Set16(v, at + 2, value >> 16);
}

// A level-2 header from raw extended headers (type, data), with the true total size unless
// `total` is given.
inline std::vector<std::uint8_t> RawLevel2(
    const std::vector<std::pair<std::uint8_t, std::string>>& extended, std::uint32_t packed,
    int total = -1) {
  std::vector<std::uint8_t> h(26, 0);
  std::memcpy(&h[2], "-lh5-", 5);
  Set32(h, 7, packed);
  Set32(h, 11, packed * 2);
  Set32(h, 15, 946684800);
  h[19] = 0x20;
  h[20] = 2;
  std::size_t sizeField = 24;
  for (const auto& [type, data] : extended) {
    Set16(h, sizeField, static_cast<std::uint32_t>(data.size() + 3));
    h.push_back(type);
    h.insert(h.end(), data.begin(), data.end());
    sizeField = h.size();
    h.push_back(0);
    h.push_back(0);
  }
  Set16(h, sizeField, 0);
  Set16(h, 0,
        total >= 0 ? static_cast<std::uint32_t>(total) : static_cast<std::uint32_t>(h.size()));
  return h;
}

}  // namespace testsupport
