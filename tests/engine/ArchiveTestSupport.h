// An independent decode of archive bytes for the rewrite and extraction tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/Crc16.h"
#include "codec/Decoder.h"
#include "support/OpenArchive.h"
#include "support/TempFolder.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

namespace testsupport {

// Decodes a member straight from the archive bytes (independent of the engine's member drivers)
// and checks its CRC. False for an unknown method, corrupt data or a CRC mismatch.
inline bool DecodeFromBytes(const Bytes& archive, const ArchiveEntry& e, Bytes* out) {
  if (e.dataOffset < 0 || e.packedSize < 0 ||
      static_cast<std::size_t>(e.dataOffset) + e.packedSize > archive.size())
    return false;
  const std::uint8_t* packed = archive.data() + e.dataOffset;
  std::string method(e.method, 5);
  out->assign(e.originalSize, 0);
  if (method == "-lhd-") {
    return e.packedSize == 0 && e.originalSize == 0;
  } else if (method == "-lh0-") {
    if (static_cast<std::uint32_t>(e.packedSize) != e.originalSize) return false;
    std::copy(packed, packed + e.packedSize, out->begin());
  } else if (method.size() == 5 && method.compare(0, 3, "-lh") == 0 && method[3] >= '4' &&
             method[3] <= '7') {
    Bytes input(packed, packed + e.packedSize);
    input.resize(input.size() + 8, 0);
    std::vector<std::uint32_t> work(codec::DecodeWorkSize / 4);
    if (codec::DecodeStream(out->data(), input.data(), static_cast<std::uint32_t>(e.packedSize),
                            method[3] - '0', e.originalSize, work.data()) != 0)
      return false;
  } else {
    return false;
  }
  return ComputeCrc16(out->data(), out->size()) == e.crc;
}

}  // namespace testsupport
