// Builds raw archive bytes for tests, independently of the engine's header writer, so that tests
// can make archives the engine would never write: hostile paths, unknown methods, wrong CRCs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/Crc16.h"
#include "archive/PathName.h"
#include "support/TestFiles.h"

namespace testsupport {

// Appends a little-endian 16-bit or 32-bit value.
inline void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// One member as raw fields; the defaults make a stored file.
struct RawMember {
  std::string method = "-lh0-";
  std::string path;  // level 0: whole path as stored; level 2: directory + name split at last '\'
  Bytes data;        // stored bytes (packed data)
  std::uint32_t originalSize = 0xFFFFFFFF;           // default: data.size()
  int crc = -1;                                      // default: CRC of data
  std::uint32_t modifyTime = 1700000000;             // level 2
  std::uint16_t dosTime = 0x6000, dosDate = 0x5721;  // level 0: 2023-09-01 12:00:00
  std::uint8_t attributes = 0x20;
};

// A stored ("-lh0-") member with the path and bytes.
inline RawMember StoredMember(const std::string& path, const Bytes& data,
                              std::uint32_t modifyTime = 1700000000) {
  RawMember m;
  m.path = path;
  m.data = data;
  m.modifyTime = modifyTime;
  return m;
}

// Level-0 header with the whole path in the base header.
inline Bytes Level0(const RawMember& m) {
  Bytes h;
  std::uint32_t n = static_cast<std::uint32_t>(m.path.size());
  h.push_back(static_cast<std::uint8_t>(n + 22));
  h.push_back(0);
  h.insert(h.end(), m.method.begin(), m.method.begin() + 5);
  Put32(h, static_cast<std::uint32_t>(m.data.size()));
  Put32(h,
        m.originalSize == 0xFFFFFFFF ? static_cast<std::uint32_t>(m.data.size()) : m.originalSize);
  Put16(h, m.dosTime);
  Put16(h, m.dosDate);
  h.push_back(m.attributes);
  h.push_back(0);
  h.push_back(static_cast<std::uint8_t>(n));
  h.insert(h.end(), m.path.begin(), m.path.end());
  Put16(h, m.crc >= 0 ? static_cast<std::uint32_t>(m.crc)
                      : ComputeCrc16(m.data.data(), m.data.size()));
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum = static_cast<std::uint8_t>(sum + h[i]);
  h[1] = sum;
  h.insert(h.end(), m.data.begin(), m.data.end());
  return h;
}

// Level-2 header: name in extended header 0x01, folder (if any) in 0x02 with 0xFF separators.
inline Bytes Level2(const RawMember& m) {
  const std::size_t cut = PathFolderLength(m.path.c_str());  // "ソ" is a name, not a folder
  std::string dir = m.path.substr(0, cut), name = m.path.substr(cut);
  Bytes h(2, 0);
  h.insert(h.end(), m.method.begin(), m.method.begin() + 5);
  Put32(h, static_cast<std::uint32_t>(m.data.size()));
  Put32(h,
        m.originalSize == 0xFFFFFFFF ? static_cast<std::uint32_t>(m.data.size()) : m.originalSize);
  Put32(h, m.modifyTime);
  h.push_back(0x20);
  h.push_back(2);
  Put16(h, m.crc >= 0 ? static_cast<std::uint32_t>(m.crc)
                      : ComputeCrc16(m.data.data(), m.data.size()));
  h.push_back('M');
  auto ext = [&](std::uint8_t type, const Bytes& data) {
    Put16(h, static_cast<std::uint32_t>(data.size() + 3));
    h.push_back(type);
    h.insert(h.end(), data.begin(), data.end());
  };
  ext(0x01, Bytes(name.begin(), name.end()));
  if (!dir.empty()) {
    ReplaceSeparators(dir, '\xFF');
    ext(0x02, Bytes(dir.begin(), dir.end()));
  }
  ext(0x40, Bytes{m.attributes, 0});
  std::size_t crcAt = h.size() + 3;
  ext(0x00, Bytes{0, 0});
  Put16(h, 0);
  if ((h.size() & 0xFF) == 0) h.push_back(0);
  h[0] = static_cast<std::uint8_t>(h.size());
  h[1] = static_cast<std::uint8_t>(h.size() >> 8);
  std::uint16_t crc = ComputeCrc16(h.data(), h.size());
  h[crcAt] = static_cast<std::uint8_t>(crc);
  h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
  h.insert(h.end(), m.data.begin(), m.data.end());
  return h;
}

// Members (Level0/Level2 results) one after another and the closing zero byte.
inline Bytes ArchiveBytes(const std::vector<Bytes>& members) {
  Bytes a;
  for (const auto& m : members) a.insert(a.end(), m.begin(), m.end());
  a.push_back(0);
  return a;
}

// Writes a level-2 archive of the members.
inline bool WriteArchive(const std::string& path, const std::vector<RawMember>& members) {
  std::vector<Bytes> headers;
  for (const auto& m : members) headers.push_back(Level2(m));
  return WriteBytes(path, ArchiveBytes(headers));
}

}  // namespace testsupport
