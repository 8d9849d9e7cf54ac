#include "archive/Crc16.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Crc16, MatchesTheArcCheckValue) {
  // The catalogued check value of CRC-16/ARC over "123456789".
  const char* text = "123456789";
  EXPECT_EQ(ComputeCrc16(text, std::strlen(text)), 0xBB3D);
  EXPECT_EQ(ComputeCrc16(text, 0), 0);
}

TEST(Crc16, UpdateContinuesARunningValue) {
  const char* text = "123456789";
  std::uint16_t crc = ComputeCrc16(text, 4);
  EXPECT_EQ(UpdateCrc16(crc, text + 4, 0), crc);
  EXPECT_EQ(UpdateCrc16(crc, text + 4, 5), 0xBB3D);
}

TEST(Crc16, EightByteStepsAgreeWithByteAtATime) {
  // Every length and alignment around the eight-byte stride, against the plain bitwise definition.
  unsigned char data[64];
  for (unsigned i = 0; i < sizeof data; ++i) data[i] = static_cast<unsigned char>(i * 37 + 11);
  for (std::size_t start = 0; start < 9; ++start)
    for (std::size_t length = 0; start + length <= sizeof data; ++length) {
      unsigned expected = 0x1234;
      for (std::size_t i = 0; i < length; ++i) {
        expected ^= data[start + i];
        for (int bit = 0; bit < 8; ++bit) expected = (expected & 1) ? (expected >> 1) ^ 0xA001u : expected >> 1;
      }
      ASSERT_EQ(UpdateCrc16(0x1234, data + start, length), expected) << start << "+" << length;
    }
}
