#include "codec/HuffmanBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct Tree {
  int root = -1;
  std::vector<std::uint16_t> freq;
  std::vector<std::uint8_t> lengths;
  std::vector<std::uint16_t> codes;
};

Tree Build(const std::vector<std::uint16_t>& frequencies) {
  codec::HuffmanBuilder builder;
  EXPECT_TRUE(builder.valid());
  Tree t;
  const int n = static_cast<int>(frequencies.size());
  t.freq = frequencies;
  t.freq.resize(2 * frequencies.size());
  t.lengths.assign(frequencies.size(), 0xAA);
  t.codes.assign(frequencies.size(), 0xAAAA);
  t.root = builder.MakeTree(n, t.freq.data(), t.lengths.data(), t.codes.data());
  return t;
}

std::uint32_t KraftSum(const Tree& t) {
  std::uint32_t sum = 0;
  for (auto l : t.lengths)
    if (l) sum += 1u << (16 - l);
  return sum;
}

// Canonical and prefix-free: sorted by (length, symbol), each code is the previous plus one,
// shifted left by the growth in length.
void ExpectCanonical(const Tree& t) {
  std::vector<int> used;
  for (int i = 0; i < static_cast<int>(t.lengths.size()); ++i)
    if (t.lengths[i]) used.push_back(i);
  std::stable_sort(used.begin(), used.end(),
                   [&](int a, int b) { return t.lengths[a] < t.lengths[b]; });
  std::uint32_t expected = 0;
  int previousLength = t.lengths[used[0]];
  for (std::size_t k = 0; k < used.size(); ++k) {
    int s = used[k];
    if (k > 0) expected = (expected + 1) << (t.lengths[s] - previousLength);
    previousLength = t.lengths[s];
    EXPECT_EQ(t.codes[s], expected) << "symbol " << s;
    EXPECT_LT(expected, 1u << t.lengths[s]);
  }
}

TEST(HuffmanBuilder, LimitsDepthTo16WithAFullCode) {
  // Fibonacci frequencies make the optimal tree 22 levels deep.
  std::vector<std::uint16_t> f(40, 0);
  std::uint16_t a = 1, b = 1;
  for (int i = 0; i < 22; ++i) {
    f[static_cast<std::size_t>(i * 3 % 40)] = a;
    std::uint16_t c = static_cast<std::uint16_t>(a + b);
    a = b;
    b = c;
  }
  Tree t = Build(f);
  ASSERT_GE(t.root, 40);
  std::uint32_t total = 0;
  for (int i = 0; i < 40; ++i) {
    total += f[i];
    EXPECT_EQ(t.lengths[i] != 0, f[i] != 0) << "symbol " << i;
    EXPECT_LE(t.lengths[i], 16);
  }
  EXPECT_EQ(t.freq[t.root], total);
  EXPECT_EQ(KraftSum(t), 0x10000u);
  ExpectCanonical(t);
  // More frequent symbols never get longer codes.
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 40; ++j) {
      if (f[i] && f[j] && f[i] > f[j]) {
        EXPECT_LE(t.lengths[i], t.lengths[j]) << i << " vs " << j;
      }
    }
  }
}

TEST(HuffmanBuilder, FullAlphabetOfSkewedFrequencies) {
  std::vector<std::uint16_t> f(510);
  for (int i = 0; i < 510; ++i) f[i] = static_cast<std::uint16_t>(i < 20 ? 3000 - i * 100 : 1);
  Tree t = Build(f);
  EXPECT_EQ(KraftSum(t), 0x10000u);
  for (auto l : t.lengths) {
    EXPECT_GE(l, 1);
    EXPECT_LE(l, 16);
  }
  ExpectCanonical(t);
}

TEST(HuffmanBuilder, EqualFrequencies) {
  Tree eight = Build(std::vector<std::uint16_t>(8, 5));
  for (auto l : eight.lengths) EXPECT_EQ(l, 3);
  ExpectCanonical(eight);

  // Three equal: one symbol gets 1 bit, the two that left the heap first get 2.
  Tree three = Build({0, 7, 7, 0, 7});
  EXPECT_EQ(KraftSum(three), 0x10000u);
  EXPECT_EQ(three.lengths[0], 0);
  EXPECT_EQ(three.lengths[3], 0);
  int ones = 0;
  for (auto l : three.lengths) ones += l == 1;
  EXPECT_EQ(ones, 1);
  EXPECT_EQ(three.freq[three.root], 21);
  ExpectCanonical(three);

  Tree two = Build({0, 0, 9, 9});
  EXPECT_EQ(two.lengths[2], 1);
  EXPECT_EQ(two.lengths[3], 1);
  EXPECT_EQ(two.codes[2], 0);
  EXPECT_EQ(two.codes[3], 1);
}

TEST(HuffmanBuilder, SingleOrNoSymbol) {
  Tree one = Build({0, 0, 0, 0, 0, 0, 0, 12, 0});
  EXPECT_EQ(one.root, 7);
  EXPECT_EQ(one.codes[7], 0);
  for (auto l : one.lengths) EXPECT_EQ(l, 0);

  Tree none = Build(std::vector<std::uint16_t>(19, 0));
  EXPECT_EQ(none.root, 0);
  EXPECT_EQ(none.codes[0], 0);
  for (auto l : none.lengths) EXPECT_EQ(l, 0);
}

}  // namespace
