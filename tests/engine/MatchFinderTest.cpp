#include "codec/MatchFinder.h"

#include <gtest/gtest.h>

#include <vector>

#include "EncoderTestUtil.h"

using testsupport::NoiseBytes;

namespace {

// Drives the finder over `input` the way the encoder does when it takes only literals: every
// position is inserted. Stops with the finder at input offset `target` and searches there.
struct Probe {
  std::uint32_t length;
  std::uint32_t distance;  // bytes back from the position
};

Probe SearchAt(const std::vector<std::uint8_t>& input, std::uint32_t window, std::uint32_t target) {
  codec::MatchFinder finder;
  EXPECT_TRUE(finder.valid());
  codec::MemoryInput in(input.data(), input.size());
  finder.Start(window, &in);
  finder.Insert();
  for (std::uint32_t i = 0; i < target; ++i) {
    finder.Advance();
    if (i + 1 < target) {
      finder.setMatchLength(2);
      finder.SearchAndInsert();
    }
  }
  finder.setMatchLength(2);
  finder.SearchAndInsert();
  finder.ClipMatchLength();
  if (finder.matchLength() < 3) return {finder.matchLength(), 0};
  return {finder.matchLength(), finder.position() - finder.matchPosition()};
}

TEST(MatchFinder, FindsTheLongestEarlierCopy) {
  struct Copy {
    std::uint32_t distance, length;
  };
  struct Row {
    std::vector<Copy> copies;  // copies of the text at 2600, the longest expected first
  };
  // The longest copy as the newest candidate, or behind one, two, three or more shorter ones
  // (each step of the walk tries four candidates), with lengths on both sides of a multiple of 8.
  for (const Row& row : {Row{{{2000, 120}, {500, 40}}}, Row{{{500, 120}, {2000, 40}}},
                         Row{{{2400, 9}, {300, 8}, {200, 7}}},
                         Row{{{2300, 17}, {1900, 16}, {900, 15}, {100, 4}}},
                         Row{{{2450, 65}, {2000, 64}, {1500, 63}, {1000, 24}, {700, 23},
                              {400, 16}, {50, 8}}}}) {
    std::vector<std::uint8_t> input = NoiseBytes(3000, 1);
    for (const Copy& c : row.copies) {
      for (std::uint32_t i = 0; i < c.length; ++i) input[2600 - c.distance + i] = input[2600 + i];
      // The copy ends where the text goes on otherwise.
      input[2600 - c.distance + c.length] = static_cast<std::uint8_t>(input[2600 + c.length] + 1);
    }
    Probe p = SearchAt(input, 4096, 2600);
    EXPECT_EQ(p.length, row.copies[0].length) << row.copies[0].distance;
    EXPECT_EQ(p.distance, row.copies[0].distance);
  }
}

TEST(MatchFinder, MatchLengthIsCappedAt256AndClippedToTheInput) {
  std::vector<std::uint8_t> input = NoiseBytes(2000, 2);
  for (int i = 0; i < 600; ++i) input[1000 + i] = input[300 + i];
  Probe p = SearchAt(input, 8192, 1000);
  EXPECT_EQ(p.length, 256u);
  EXPECT_EQ(p.distance, 700u);

  std::vector<std::uint8_t> tail = NoiseBytes(1100, 3);
  for (int i = 0; i < 100; ++i) tail[1000 + i] = tail[10 + i];
  Probe q = SearchAt(tail, 8192, 1000);
  EXPECT_EQ(q.length, 100u);  // the bytes past the input never extend a match
  EXPECT_EQ(q.distance, 990u);
}

TEST(MatchFinder, StaysInsideTheWindow) {
  for (std::uint32_t window : {4096u, 8192u}) {
    for (std::uint32_t distance : {window - 1, window}) {
      std::vector<std::uint8_t> input = NoiseBytes(window + 400, 4);
      const std::uint32_t at = window + 200;
      for (int i = 0; i < 50; ++i) input[at - distance + i] = input[at + i];
      Probe p = SearchAt(input, window, at);
      if (distance < window) {
        EXPECT_EQ(p.length, 50u) << window;
        EXPECT_EQ(p.distance, distance);
      } else {
        EXPECT_LT(p.length, 3u) << window << " must not reach " << distance << " back";
      }
    }
  }
}

TEST(MatchFinder, TheFirstByteIsNeverAMatchSource) {
  std::vector<std::uint8_t> input = NoiseBytes(500, 5);
  for (int i = 0; i < 30; ++i) input[300 + i] = input[i];
  Probe p = SearchAt(input, 4096, 300);
  // The copy of bytes 0.. is only found from byte 1 on, one position later.
  EXPECT_LT(p.length, 3u);
  Probe later = SearchAt(input, 4096, 301);
  EXPECT_EQ(later.length, 29u);
  EXPECT_EQ(later.distance, 300u);
}

TEST(MatchFinder, FindsSourcesAcrossTheSlideOfTheWindow) {
  struct Case {
    std::uint32_t window, size, at, distance;
  };
  // The buffer moves when the input reaches 4 * 65536 - window: matches across that move too,
  // up to the last offset inside the window.
  for (const Case& c : {Case{65536, 140000, 130000, 60000}, Case{65536, 270000, 200000, 65535},
                        Case{4096, 270000, 258100, 4000}, Case{8192, 600000, 508000, 8191}}) {
    std::vector<std::uint8_t> input = NoiseBytes(c.size, 6);
    for (std::uint32_t i = 0; i < 300; ++i) input[c.at + i] = input[c.at - c.distance + i];
    Probe p = SearchAt(input, c.window, c.at);
    EXPECT_EQ(p.length, 256u) << c.window << " " << c.at;
    EXPECT_EQ(p.distance, c.distance) << c.window << " " << c.at;
  }
}

TEST(MatchFinder, LongChainsStillYieldMatches) {
  // A long run of 'z' exhausts its bucket's chain budget near the run's end and flags it. A later
  // copy of the run's last 70 bytes and the 10 bytes after it starts in that flagged bucket; it is
  // found through the first unflagged group ahead (the one that reaches the noise).
  std::vector<std::uint8_t> input = NoiseBytes(20000, 7);
  for (int i = 5000; i < 15000; ++i) input[i] = 'z';
  for (int i = 0; i < 80; ++i) input[18000 + i] = input[14930 + i];
  input[18080] = static_cast<std::uint8_t>(input[15010] + 1);
  Probe p = SearchAt(input, 32768, 18000);
  EXPECT_EQ(p.length, 80u);
  EXPECT_EQ(p.distance, 3070u);
}

}  // namespace
