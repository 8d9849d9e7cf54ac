// Entries and archive images for engine tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"

namespace testentries {

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

inline std::vector<std::uint8_t> HeaderBytes(const ArchiveEntry& entry) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  std::size_t n = WriteHeader(entry, buffer);
  return std::vector<std::uint8_t>(buffer, buffer + n);
}

// An archive image: each member's header, `packedSize` data bytes, then the closing zero byte.
inline std::vector<std::uint8_t> ArchiveImage(const std::vector<ArchiveEntry>& members) {
  std::vector<std::uint8_t> image;
  for (const ArchiveEntry& e : members) {
    std::vector<std::uint8_t> header = HeaderBytes(e);
    image.insert(image.end(), header.begin(), header.end());
    for (std::int32_t i = 0; i < e.packedSize; ++i) image.push_back(static_cast<std::uint8_t>(i * 7));
  }
  image.push_back(0);
  return image;
}

inline void Put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
  v[at] = static_cast<std::uint8_t>(value);
  v[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
  Put16(v, at, value);
  Put16(v, at + 2, value >> 16);
}

// A level-2 header from raw extended headers (type, data), with the true total size unless
// `total` is given.
inline std::vector<std::uint8_t> RawLevel2(
    const std::vector<std::pair<std::uint8_t, std::string>>& extended, std::uint32_t packed,
    int total = -1) {
  std::vector<std::uint8_t> h(26, 0);
  std::memcpy(&h[2], "-lh5-", 5);
  Put32(h, 7, packed);
  Put32(h, 11, packed * 2);
  Put32(h, 15, 946684800);
  h[19] = 0x20;
  h[20] = 2;
  std::size_t sizeField = 24;
  for (const auto& [type, data] : extended) {
    Put16(h, sizeField, static_cast<std::uint32_t>(data.size() + 3));
    h.push_back(type);
    h.insert(h.end(), data.begin(), data.end());
    sizeField = h.size();
    h.push_back(0);
    h.push_back(0);
  }
  Put16(h, sizeField, 0);
  Put16(h, 0, total >= 0 ? static_cast<std::uint32_t>(total) : static_cast<std::uint32_t>(h.size()));
  return h;
}

}  // namespace testentries
