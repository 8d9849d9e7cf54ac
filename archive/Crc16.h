// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final inversion. Checks member data
// (the `crc` field of every header) and forms the header CRC of levels 1 to 3.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC of `count` bytes starting from 0.
std::uint16_t ComputeCrc16(const void* bytes, std::size_t count);
// Continues a running CRC over `count` more bytes; unchanged for a count of 0.
std::uint16_t UpdateCrc16(std::uint16_t crc, const void* bytes, std::size_t count);
