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
