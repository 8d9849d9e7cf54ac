#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/SizeText.h"

namespace {
const std::string Bytes = " \xCA\xDE\xB2\xC4";  // " ﾊﾞｲﾄ" in half-width katakana

std::string Text(std::uint32_t n, bool exact) {
  char out[128];
  SizeText(out, sizeof out, n, exact);
  return out;
}
}  // namespace

TEST(SizeText, EveryRangeTruncates) {
  EXPECT_EQ(Text(0, false), "0" + Bytes);
  EXPECT_EQ(Text(1023, false), "1023" + Bytes);
  EXPECT_EQ(Text(1024, false), "1.00KB");
  EXPECT_EQ(Text(1536, false), "1.50KB");
  EXPECT_EQ(Text(10239, false), "9.99KB");
  EXPECT_EQ(Text(10240, false), "10.0KB");
  EXPECT_EQ(Text(102399, false), "99.9KB");
  EXPECT_EQ(Text(102400, false), "100KB");
  EXPECT_EQ(Text(1048575, false), "1023KB");
  EXPECT_EQ(Text(1048576, false), "1.00MB");
  EXPECT_EQ(Text(10485759, false), "9.99MB");
  EXPECT_EQ(Text(10485760, false), "10.0MB");
  EXPECT_EQ(Text(104857600, false), "100MB");
  EXPECT_EQ(Text(0xFFFFFFFF, false), "4095MB");
}

TEST(SizeText, ExactCountInGroupsOfThree) {
  EXPECT_EQ(Text(1536, true), "1.50KB (1,536" + Bytes + ")");
  EXPECT_EQ(Text(999, true), "999" + Bytes + " (999" + Bytes + ")");
  EXPECT_EQ(Text(1000005, true), "976KB (1,000,005" + Bytes + ")");
  EXPECT_EQ(Text(0xFFFFFFFF, true), "4095MB (4,294,967,295" + Bytes + ")");
}

TEST(SizeText, CallerPatternsAndShortBuffers) {
  const SizePatterns english = {{"%d bytes", "%d.%02d KB", "%d.%01d KB", "%d KB", "%d.%02d MB",
                                 "%d.%01d MB", "%d MB"}};
  char out[64];
  SizeText(out, sizeof out, 2048, true, english);
  EXPECT_STREQ(out, "2.00 KB (2,048 bytes)");
  SizeText(out, 6, 1536, true);
  EXPECT_STREQ(out, "1.50K");
  std::memset(out, 'x', sizeof out);
  SizeText(out, 1, 5, true);
  EXPECT_STREQ(out, "");
}
