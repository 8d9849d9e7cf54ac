#include "archive/Crc16.h"

#include <array>

namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xA001u : value >> 1;
    table[i] = static_cast<std::uint16_t>(value);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> Table = MakeTable();

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t crc, const void* bytes, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  unsigned value = crc;
  for (std::size_t i = 0; i < count; ++i) value = (value >> 8) ^ Table[(value ^ p[i]) & 0xFF];
  return static_cast<std::uint16_t>(value);
}

std::uint16_t ComputeCrc16(const void* bytes, std::size_t count) {
  return UpdateCrc16(0, bytes, count);
}
