#include "archive/Crc16.h"

#include <array>

namespace {

// Eight tables: Tables[k][b] is the CRC of byte b followed by k zero bytes, so eight input bytes
// are folded in with eight independent lookups instead of a chain of eight dependent ones.
using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xA001u : value >> 1;
    tables[0][i] = static_cast<std::uint16_t>(value);
  }
  for (unsigned i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) {
      unsigned previous = tables[k - 1][i];
      tables[k][i] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
    }
  return tables;
}

constexpr CrcTables Tables = MakeTables();

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t crc, const void* bytes, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  unsigned value = crc;
  const auto& t = Tables;
  while (count >= 8) {
    // The 16-bit running value meets the first two bytes; the other six enter as they are.
    unsigned a = (p[0] ^ value) & 0xFF;
    unsigned b = (p[1] ^ (value >> 8)) & 0xFF;
    value = t[7][a] ^ t[6][b] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
            t[0][p[7]];
    p += 8;
    count -= 8;
  }
  for (; count > 0; --count, ++p) value = (value >> 8) ^ t[0][(value ^ *p) & 0xFF];
  return static_cast<std::uint16_t>(value);
}

std::uint16_t ComputeCrc16(const void* bytes, std::size_t count) {
  return UpdateCrc16(0, bytes, count);
}
