#include "codec/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestBitstream.h"
#include "archive/Crc16.h"
#include "codec/BitReader.h"
#include "codec/DecodeTable.h"
#include "support/TestFiles.h"

using testbits::Block;
using testbits::BitWriter;
using testbits::Decode;
using testbits::Literal;
using testbits::Match;

namespace {

// ---------------------------------------------------------------------------------------------
// Bit reader

TEST(BitReader, ReadsMostSignificantBitFirstAndSeeksToAnyPosition) {
  const std::uint8_t data[] = {0xB5, 0x3C, 0x0F, 0xF0, 0x81, 0x7E, 0x00, 0x00};
  codec::BitReader reader;
  reader.Start(data, 6);
  EXPECT_EQ(reader.Window(), 0xB53Cu);
  EXPECT_EQ(reader.GetBits(1), 1u);
  EXPECT_EQ(reader.GetBits(3), 0x3u);  // 011
  EXPECT_EQ(reader.GetBits(12), 0x53Cu);
  EXPECT_EQ(reader.GetBits(16), 0x0FF0u);
  EXPECT_EQ(reader.BitPosition(), 32u);

  // Seeking reproduces the state reached by consuming bits one at a time.
  for (unsigned position = 0; position <= 48; ++position) {
    codec::BitReader walked;
    walked.Start(data, 6);
    for (unsigned i = 0; i < position; ++i) walked.SkipBits(1);
    codec::BitReader sought;
    sought.Start(data, 6);
    sought.Seek(position);
    EXPECT_EQ(sought.Window(), walked.Window()) << position;
    EXPECT_EQ(sought.BitPosition(), std::uint64_t{position});
    EXPECT_EQ(walked.BitPosition(), std::uint64_t{position});
    EXPECT_EQ(sought.GetBits(5), walked.GetBits(5)) << position;
  }
}

TEST(BitReader, ConsumingPastThePackedBytesIsAnOverrunAndReadsNothingMore) {
  // Exactly packed size + 2 bytes: a read beyond them is a sanitizer error.
  std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[3 + codec::ReaderLookahead]);
  std::memset(data.get(), 0xFF, 3 + codec::ReaderLookahead);
  codec::BitReader reader;
  reader.Start(data.get(), 3);
  reader.SkipBits(16);
  reader.SkipBits(8);
  EXPECT_FALSE(reader.Overrun());  // all 24 packed bits consumed, nothing more
  EXPECT_EQ(reader.GetBits(1), 1u);  // the first look-ahead bit is still visible...
  EXPECT_TRUE(reader.Overrun());     // ...but consuming it is an overrun
  for (int i = 0; i < 10; ++i) reader.SkipBits(16);
  EXPECT_EQ(reader.Window(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Decode tables

struct Looked {
  std::uint32_t symbol;
  unsigned length;
};

Looked Lookup(const std::uint32_t* table, const codec::DecodeBranches& branches, int tableBits,
              std::uint32_t symbolCount, const std::vector<std::uint8_t>& lengths,
              std::uint32_t window) {
  const std::uint32_t entry = table[window >> (16 - tableBits)];
  std::uint32_t value = entry & codec::EntryValueMask;
  if (value < symbolCount) return {value, entry >> codec::EntryLengthShift};
  std::uint32_t mask = 1u << (15 - tableBits);
  while (value >= symbolCount) {
    value = (window & mask) ? branches.one[value] : branches.zero[value];
    mask >>= 1;
  }
  return {value, lengths[value]};
}

TEST(DecodeTable, EveryCodeOfACompleteCodeUpToSixteenBitsDecodes) {
  // Lengths 1..15, 16, 16 spread over a 510-symbol alphabet, plus a 12-bit literal table and an
  // 8-bit small table, so both the direct entries and the tree walks are exercised.
  for (int tableBits : {codec::LiteralTableBits, codec::SmallTableBits}) {
    const int symbolCount = tableBits == codec::LiteralTableBits ? 510 : 19;
    std::vector<std::uint8_t> lengths(std::size_t(symbolCount), 0);
    const int used[17] = {3, 0, 17, 5, 11, 1, 2, 4, 6, 7, 8, 9, 10, 12, 18, 13, 16};
    for (int i = 0; i < 17; ++i) {
      const int symbol = tableBits == 12 ? used[i] * 28 : used[i];
      lengths[std::size_t(symbol)] = std::uint8_t(i < 15 ? i + 1 : 16);
    }
    const std::vector<std::uint32_t> codes = testbits::CanonicalCodes(lengths);
    std::vector<std::uint32_t> table(std::size_t{1} << tableBits);
    codec::DecodeBranches branches;
    ASSERT_TRUE(codec::MakeDecodeTable(symbolCount, lengths.data(), tableBits, table.data(),
                                       &branches));
    for (int s = 0; s < symbolCount; ++s) {
      if (lengths[std::size_t(s)] == 0) continue;
      const unsigned length = lengths[std::size_t(s)];
      // The code on top of the window, followed by arbitrary bits.
      const std::uint32_t window = ((codes[std::size_t(s)] << (16 - length)) |
                                    (0x5A5Au & ((1u << (16 - length)) - 1))) & 0xFFFF;
      const Looked got = Lookup(table.data(), branches, tableBits, std::uint32_t(symbolCount),
                                lengths, window);
      EXPECT_EQ(got.symbol, std::uint32_t(s)) << "tableBits " << tableBits;
      EXPECT_EQ(got.length, length);
    }
  }
}

TEST(DecodeTable, OverAndUnderSubscribedCodesDecodeWithoutFault) {
  codec::DecodeBranches branches;
  std::vector<std::uint32_t> table(4096);
  // Over-subscribed: three 1-bit codes. The first two fill the code space; the third is lost.
  std::vector<std::uint8_t> lengths(510, 0);
  lengths['a'] = lengths['b'] = lengths['c'] = 1;
  ASSERT_TRUE(codec::MakeDecodeTable(510, lengths.data(), 12, table.data(), &branches));
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x0000).symbol, std::uint32_t('a'));
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x8000).symbol, std::uint32_t('b'));
  // 510 codes of 16 bits: every one sits behind tree nodes.
  std::fill(lengths.begin(), lengths.end(), 16);
  ASSERT_TRUE(codec::MakeDecodeTable(510, lengths.data(), 12, table.data(), &branches));
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x0001).symbol, 1u);
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x01FD).symbol, 509u);
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x01FE).symbol, 0u);  // a hole

  // Under-subscribed: a hole decodes as symbol 0 with symbol 0's length.
  std::fill(lengths.begin(), lengths.end(), 0);
  lengths[0] = 3;
  lengths[7] = 2;
  lengths[8] = 14;
  ASSERT_TRUE(codec::MakeDecodeTable(510, lengths.data(), 12, table.data(), &branches));
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x0000).symbol, 7u);
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x4000).symbol, 0u);
  EXPECT_EQ(Lookup(table.data(), branches, 12, 510, lengths, 0x6000).symbol, 8u);
  const Looked hole = Lookup(table.data(), branches, 12, 510, lengths, 0xF000);
  EXPECT_EQ(hole.symbol, 0u);
  EXPECT_EQ(hole.length, 3u);
  const Looked deepHole = Lookup(table.data(), branches, 12, 510, lengths, 0x6004);
  EXPECT_EQ(deepHole.symbol, 0u);
  EXPECT_EQ(deepHole.length, 3u);
}

// ---------------------------------------------------------------------------------------------
// DecodeStream on generated streams

TEST(DecodeStream, RandomStreamsOfEveryMethodDecodeToTheirSymbols) {
  std::mt19937 rng(20261208);
  const std::size_t sizes[] = {1, 2, 3, 100, 263, 264, 265, 520, 4096, 9000, 70000, 300000};
  for (int method = 4; method <= 7; ++method) {
    for (std::size_t size : sizes) {
      for (bool deep : {false, true}) {
        const testbits::RandomStream stream = testbits::MakeRandomStream(rng, method, size, deep);
        std::vector<std::uint8_t> out;
        ASSERT_EQ(Decode(stream.packed, method, size, &out), codec::DecodeOk)
            << "method " << method << " size " << size << " deep " << deep;
        ASSERT_EQ(out, stream.expected)
            << "method " << method << " size " << size << " deep " << deep;
        // The values of the look-ahead bytes do not matter.
        std::vector<std::uint8_t> again;
        ASSERT_EQ(Decode(stream.packed, method, size, &again, 0x00), codec::DecodeOk);
        ASSERT_EQ(again, out);
      }
    }
  }
}

TEST(DecodeStream, SingleSymbolTablesInLaterBlocks) {
  std::vector<Block> blocks(5);
  for (int i = 0; i < 2000; ++i) {
    blocks[0].symbols.push_back(i % 7 == 6 ? Match(4 + i % 50, std::uint32_t(i * 13 % std::min(i, 300)))
                                           : Literal('a' + i % 26));
  }
  // One literal, no match: literal table and temporary table sent as count 0, no position code.
  for (int i = 0; i < 700; ++i) blocks[1].symbols.push_back(Literal('x'));
  // Every byte once with 8-bit codes: the literal lengths are one temporary symbol (count 0).
  for (int i = 0; i < 256; ++i) blocks[2].symbols.push_back(Literal(255 - i));
  // Literals and matches that all use one position code (3, with two extra bits).
  for (int i = 0; i < 900; ++i) {
    blocks[3].symbols.push_back(i % 3 ? Literal('0' + i % 10) : Match(3 + i % 200, 4 + i % 4));
  }
  // Only matches of one length at one offset: literal and position tables both single.
  for (int i = 0; i < 40; ++i) blocks[4].symbols.push_back(Match(17, 0));
  for (int method = 4; method <= 7; ++method) {
    const std::vector<std::uint8_t> packed = testbits::Pack(blocks, method);
    const std::vector<std::uint8_t> expected = testbits::Expand(blocks, SIZE_MAX);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Decode(packed, method, expected.size(), &out), codec::DecodeOk) << method;
    EXPECT_EQ(out, expected) << method;
  }
}

// Matches at every position code, after enough output for offsets up to 65535.
std::vector<Block> EveryPositionCode(int codes) {
  std::vector<Block> blocks(3);  // a block holds at most 65535 symbols
  std::mt19937 rng(7);
  for (int i = 0; i < 70000; ++i) blocks[i / 35000].symbols.push_back(Literal(int(rng() % 256)));
  for (int round = 0; round < 30; ++round) {
    for (int p = 0; p < codes; ++p) {
      const std::uint32_t offset = p < 2 ? std::uint32_t(p)
                                         : (1u << (p - 1)) | (std::uint32_t(rng()) & ((1u << (p - 1)) - 1));
      blocks[2].symbols.push_back(Match(3 + int(rng() % 254), offset));
      blocks[2].symbols.push_back(Literal('z'));
    }
  }
  return blocks;
}

TEST(DecodeStream, SeventeenPositionCodesAreAcceptedForMethodsSixAndSeven) {
  const std::vector<Block> blocks = EveryPositionCode(17);
  const std::vector<std::uint8_t> expected = testbits::Expand(blocks, SIZE_MAX);
  for (int method : {6, 7}) {
    const std::vector<std::uint8_t> packed = testbits::Pack(blocks, method);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Decode(packed, method, expected.size(), &out), codec::DecodeOk) << method;
    EXPECT_EQ(out, expected) << method;
  }
  // Methods 4 and 5 accept 14 position codes: all of them decode, one more is refused.
  const std::vector<Block> fourteen = EveryPositionCode(14);
  const std::vector<std::uint8_t> expected14 = testbits::Expand(fourteen, SIZE_MAX);
  std::vector<std::uint8_t> out;
  ASSERT_EQ(Decode(testbits::Pack(fourteen, 5), 5, expected14.size(), &out), codec::DecodeOk);
  EXPECT_EQ(out, expected14);
  Block fifteen;
  fifteen.symbols.push_back(Literal('a'));
  fifteen.symbols.push_back(Match(3, 0));
  fifteen.positionLengths.assign(15, 0);
  fifteen.positionLengths[0] = 1;
  fifteen.positionLengths[14] = 1;
  EXPECT_EQ(Decode(testbits::Pack({fifteen}, 5), 5, 4, &out), codec::DecodeCorrupt);
  fifteen.positionLengths.assign(18, 0);
  fifteen.positionLengths[0] = 1;
  fifteen.positionLengths[17] = 1;
  EXPECT_EQ(Decode(testbits::Pack({fifteen}, 7), 7, 4, &out), codec::DecodeCorrupt);
}

TEST(DecodeStream, RunsAtOffsetZeroAndShortOffsetsRepeatTheirBytes) {
  // A 256-long match one byte back repeats the last byte, in the careful loop (short stream) and
  // in the fast loop (long stream); short offsets repeat their pattern.
  for (std::size_t prefix : {std::size_t{0}, std::size_t{3000}}) {
    Block block;
    for (std::size_t i = 0; i < prefix; ++i) block.symbols.push_back(Literal(int(i * 7 % 251)));
    block.symbols.push_back(Literal('q'));
    block.symbols.push_back(Match(256, 0));
    for (std::uint32_t offset = 1; offset < 9; ++offset) {
      block.symbols.push_back(Literal('A' + int(offset)));
      block.symbols.push_back(Match(200 + int(offset), offset));
    }
    for (std::size_t i = 0; i < prefix; ++i) block.symbols.push_back(Literal('e'));
    const std::vector<std::uint8_t> expected = testbits::Expand({block}, SIZE_MAX);
    ASSERT_EQ(std::string(expected.begin() + std::ptrdiff_t(prefix),
                          expected.begin() + std::ptrdiff_t(prefix) + 257),
              std::string(257, 'q'));
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Decode(testbits::Pack({block}, 5), 5, expected.size(), &out), codec::DecodeOk);
    EXPECT_EQ(out, expected);
  }
}

TEST(DecodeStream, ZeroLengthOutputDecodesNoSymbol) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(Decode({}, 5, 0, &out), codec::DecodeOk);
  // Whatever the packed bytes say, nothing is read for an empty member.
  EXPECT_EQ(Decode({0xFF, 0xFF, 0xFF}, 7, 0, &out), codec::DecodeOk);
  EXPECT_TRUE(out.empty());
}

TEST(DecodeStream, ABlockCountOfZeroGoesOnUntilTheMemberIsComplete) {
  Block block;
  for (int i = 0; i < 70000; ++i) {
    block.symbols.push_back(i % 5 == 4 ? Match(3 + i % 40, std::uint32_t(i / 5 % 1000))
                                       : Literal(i % 200));
  }
  block.countField = 0;
  const std::vector<std::uint8_t> expected = testbits::Expand({block}, SIZE_MAX);
  std::vector<std::uint8_t> out;
  ASSERT_EQ(Decode(testbits::Pack({block}, 6), 6, expected.size(), &out), codec::DecodeOk);
  EXPECT_EQ(out, expected);
}

// ---------------------------------------------------------------------------------------------
// Hostile streams

// A temporary table in which all 19 symbols have 5-bit codes: symbol t is written as 5 bits t.
void PutPlainTemporaryTable(BitWriter& w) {
  w.Put(5, 19);
  for (int i = 0; i < 19; ++i) {
    testbits::PutBitLength(w, 5);
    if (i == 2) w.Put(2, 0);
  }
}

TEST(DecodeStream, CountsAboveTheirMaximumEndDecoding) {
  std::vector<std::uint8_t> out;
  {
    BitWriter w;  // temporary count 20
    w.Put(16, 1);
    w.Put(5, 20);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeCorrupt);
  }
  {
    BitWriter w;  // literal/length count 511
    w.Put(16, 1);
    PutPlainTemporaryTable(w);
    w.Put(9, 511);
    for (int i = 0; i < 40; ++i) w.Put(16, 0x1234);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeBadLiteralCount);
  }
  {
    BitWriter w;  // single-symbol tables naming symbols outside their alphabets
    w.Put(16, 1);
    w.Put(5, 0);
    w.Put(5, 19);
    w.Put(9, 300);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeCorrupt);
  }
  {
    BitWriter w;
    w.Put(16, 1);
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, 510);
    w.Put(16, 0);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeCorrupt);
  }
  {
    BitWriter w;
    w.Put(16, 1);
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, 'a');
    w.Put(4, 0);
    w.Put(4, 14);  // position code 14 with 13 extra bits: beyond methods 4 and 5
    w.Put(16, 0);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeCorrupt);
  }
  // Unknown method digits.
  EXPECT_EQ(Decode({0, 0, 0, 0}, 3, 1, &out), codec::DecodeCorrupt);
  EXPECT_EQ(Decode({0, 0, 0, 0}, 8, 1, &out), codec::DecodeCorrupt);
}

TEST(DecodeStream, CodeLengthsAboveSixteenAreRefused) {
  std::vector<std::uint8_t> out;
  {
    BitWriter w;  // temporary length 17 (3 bits 7, ten 1-bits, a 0-bit)
    w.Put(16, 1);
    w.Put(5, 4);
    testbits::PutBitLength(w, 17);
    w.Put(32, 0);
    EXPECT_EQ(Decode(w.Finish(), 5, 10, &out), codec::DecodeCorrupt);
  }
  {
    BitWriter w;  // an endless run of 1-bits in a position length
    w.Put(16, 1);
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, 'a');
    w.Put(5, 3);
    for (int i = 0; i < 16; ++i) w.Put(16, 0xFFFF);
    EXPECT_EQ(Decode(w.Finish(), 7, 10, &out), codec::DecodeCorrupt);
  }
  // Length 16 itself is fine (deep codes reach it in the random streams); a position length of
  // 16 written directly decodes too.
  Block block;
  for (int i = 0; i < 20; ++i) block.symbols.push_back(Literal('a' + i));
  block.symbols.push_back(Match(5, 0));
  block.positionLengths.assign(17, 0);
  block.positionLengths[0] = 1;
  for (int p = 1; p < 16; ++p) block.positionLengths[std::size_t(p)] = std::uint8_t(p + 1);
  block.positionLengths[16] = 16;
  const std::vector<std::uint8_t> expected = testbits::Expand({block}, SIZE_MAX);
  ASSERT_EQ(Decode(testbits::Pack({block}, 7), 7, expected.size(), &out), codec::DecodeOk);
  EXPECT_EQ(out, expected);
}

TEST(DecodeStream, ZeroRunsPastTheCountAreCutAtTheCount) {
  // Literal/length lengths: 256 lengths of 8, then a long zero run of 120 against a count of 300,
  // and at the end of the alphabet a run of 531 zeros from index 490 against a count of 510.
  for (std::uint32_t count : {300u, 510u}) {
    BitWriter w;
    w.Put(16, 256);
    PutPlainTemporaryTable(w);
    w.Put(9, count);
    for (int i = 0; i < 256; ++i) w.Put(5, 10);  // temporary symbol 10: length 8
    if (count == 510) {
      w.Put(5, 2);  // 234 zeros, exactly to index 490
      w.Put(9, 214);
    }
    w.Put(5, 2);
    w.Put(9, count == 300 ? 100 : 511);
    // Temporary table with a zero run reaching past its count is used by no test data; the
    // position table: a single code 0.
    w.Put(4, 0);
    w.Put(4, 0);
    for (int i = 0; i < 256; ++i) w.Put(8, std::uint32_t(255 - i));
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Decode(w.Finish(), 5, 256, &out), codec::DecodeOk) << count;
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out[std::size_t(i)], 255 - i);
  }
  {
    // A temporary table of count 4 whose zero run (3) reaches past it: lengths 3 and up are 0.
    BitWriter w;
    w.Put(16, 3);
    w.Put(5, 4);
    testbits::PutBitLength(w, 1);  // symbol 0: one zero length, code 0
    testbits::PutBitLength(w, 0);
    testbits::PutBitLength(w, 1);  // symbol 2: a long zero run, code 1
    w.Put(2, 3);
    w.Put(9, 3);  // literal lengths: one zero, then a run that passes the count
    w.Put(1, 0);
    w.Put(1, 1);
    w.Put(9, 0);
    w.Put(4, 0);
    w.Put(4, 0);
    std::vector<std::uint8_t> out;
    // Every literal length is 0: every symbol decodes as 0 without consuming bits.
    ASSERT_EQ(Decode(w.Finish(), 5, 3, &out), codec::DecodeOk);
    EXPECT_EQ(out, std::vector<std::uint8_t>(3, 0));
  }
}

TEST(DecodeStream, MatchesStopAtTheOriginalSizeAndNeverReachBeforeTheOutput) {
  std::vector<std::uint8_t> out;
  for (std::size_t prefix : {std::size_t{0}, std::size_t{5000}}) {
    Block block;
    for (std::size_t i = 0; i < prefix; ++i) block.symbols.push_back(Literal(int(i % 256)));
    block.symbols.push_back(Literal('a'));
    block.symbols.push_back(Literal('b'));
    block.symbols.push_back(Match(256, 1));
    const std::vector<std::uint8_t> full = testbits::Expand({block}, SIZE_MAX);
    // The output is exactly sized: a write past it is a sanitizer error.
    for (std::size_t cut : {std::size_t{3}, std::size_t{100}, full.size() - prefix - 1}) {
      const std::size_t size = prefix + cut;
      ASSERT_EQ(Decode(testbits::Pack({block}, 5), 5, size, &out), codec::DecodeOk);
      EXPECT_EQ(out, std::vector<std::uint8_t>(full.begin(), full.begin() + std::ptrdiff_t(size)));
    }
    // An offset reaching one byte before the start of the output, in the careful loop (short
    // output) and in the fast loop.
    Block bad;
    for (std::size_t i = 0; i < prefix; ++i) bad.symbols.push_back(Literal(int(i % 256)));
    bad.symbols.push_back(Literal('a'));
    bad.symbols.push_back(Match(3, std::uint32_t(prefix + 1)));
    for (int i = 0; i < 600; ++i) bad.symbols.push_back(Literal('c'));
    EXPECT_EQ(Decode(testbits::Pack({bad}, 5), 5, prefix + 604, &out), codec::DecodeCorrupt);
    EXPECT_EQ(Decode(testbits::Pack({bad}, 5), 5, prefix + 2, &out), codec::DecodeCorrupt);
  }
}

TEST(DecodeStream, TruncatedDataIsAFailureAndNeverReadBeyondItsBuffer) {
  std::mt19937 rng(99);
  for (int method : {5, 7}) {
    const testbits::RandomStream stream = testbits::MakeRandomStream(rng, method, 6000, true);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Decode(stream.packed, method, 6000, &out), codec::DecodeOk);
    for (std::size_t cut = 0; cut < stream.packed.size(); ++cut) {
      const std::vector<std::uint8_t> part(stream.packed.begin(),
                                           stream.packed.begin() + std::ptrdiff_t(cut));
      ASSERT_EQ(Decode(part, method, 6000, &out, 0xFF), codec::DecodeCorrupt) << cut;
      ASSERT_EQ(Decode(part, method, 6000, &out, 0x00), codec::DecodeCorrupt) << cut;
    }
  }
}

TEST(DecodeStream, OverAndUnderSubscribedLiteralCodesDecodeAsTheirTablesSay) {
  std::vector<std::uint8_t> out;
  {
    // 'a', 'b', 'c' all of length 1: 'a' is 0, 'b' is 1, 'c' is lost.
    BitWriter w;
    w.Put(16, 0);
    PutPlainTemporaryTable(w);
    w.Put(9, 'c' + 1);
    w.Put(5, 2);
    w.Put(9, 'a' - 20);
    for (int i = 0; i < 3; ++i) w.Put(5, 3);
    w.Put(4, 0);
    w.Put(4, 0);
    for (int i = 0; i < 600; ++i) w.Put(1, std::uint32_t(i & 1));
    ASSERT_EQ(Decode(w.Finish(), 5, 600, &out), codec::DecodeOk);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(out[std::size_t(i)], i & 1 ? 'b' : 'a') << i;
  }
  {
    // Only 'a' with a 2-bit code 00: the bits 01 fall in a hole and decode as symbol 0, whose
    // length 0 consumes nothing, so the rest of the member is zero bytes.
    BitWriter w;
    w.Put(16, 0);
    PutPlainTemporaryTable(w);
    w.Put(9, 'a' + 1);
    w.Put(5, 2);
    w.Put(9, 'a' - 20);
    w.Put(5, 4);
    w.Put(4, 0);
    w.Put(4, 0);
    w.Put(2, 0);
    w.Put(2, 1);
    ASSERT_EQ(Decode(w.Finish(), 5, 400, &out), codec::DecodeOk);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out, [] {
      std::vector<std::uint8_t> v(400, 0);
      v[0] = 'a';
      return v;
    }());
  }
}

// ---------------------------------------------------------------------------------------------
// Data written by another archiver (tests/data/sample-lh?.lzh, level-2 headers)

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

TEST(DecodeStream, MembersWrittenByAnotherArchiverDecodeToTheirCrc) {
  int members = 0;
  for (int method = 5; method <= 7; ++method) {
    const std::string path =
        testsupport::SourcePath("tests/data/sample-lh" + std::to_string(method) + ".lzh");
    const std::vector<std::uint8_t> file = testsupport::ReadBytes(path);
    ASSERT_FALSE(file.empty()) << path;
    std::size_t pos = 0;
    while (pos + 26 <= file.size() && file[pos] != 0) {
      ASSERT_EQ(file[pos + 20], 2) << "level-2 headers only";
      const std::size_t headerSize = file[pos] | (file[pos + 1] << 8);
      const std::uint32_t packedSize = Le32(&file[pos + 7]);
      const std::uint32_t originalSize = Le32(&file[pos + 11]);
      const std::uint16_t crc = std::uint16_t(file[pos + 21] | (file[pos + 22] << 8));
      ASSERT_EQ(file[pos + 5], '0' + method);
      ASSERT_LE(pos + headerSize + packedSize, file.size());
      const std::vector<std::uint8_t> packed(
          file.begin() + std::ptrdiff_t(pos + headerSize),
          file.begin() + std::ptrdiff_t(pos + headerSize + packedSize));
      std::vector<std::uint8_t> out;
      ASSERT_EQ(Decode(packed, method, originalSize, &out), codec::DecodeOk) << path;
      EXPECT_EQ(ComputeCrc16(out.data(), out.size()), crc) << path << " @" << pos;
      ++members;
      pos += headerSize + packedSize;
    }
  }
  EXPECT_EQ(members, 9);
}

}  // namespace
