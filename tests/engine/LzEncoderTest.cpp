#include "codec/LzEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "EncoderTestUtil.h"
#include "ReferenceReader.h"
#include "archive/Crc16.h"
#include "codec/Decoder.h"

using encoder_test::EncodeBytes;
using encoder_test::Encoded;
using testsupport::NoiseBytes;
using testsupport::WordText;

namespace {

testing_lzh::Stream ReadBack(const Encoded& e, int method, const std::vector<std::uint8_t>& input) {
  testing_lzh::Stream s;
  std::string error;
  EXPECT_TRUE(testing_lzh::ReadStream(e.packed.data(), e.packed.size(), method, input.size(), &s,
                                     &error))
      << error;
  return s;
}

// Our own decoder, as the member drivers call it.
std::vector<std::uint8_t> Decode(const Encoded& e, int method, std::size_t originalSize) {
  std::vector<std::uint8_t> packed = e.packed;
  packed.resize(packed.size() + 2);
  std::vector<std::uint8_t> output(originalSize);
  std::vector<std::uint32_t> work(codec::DecodeWorkSize / 4);
  int result = codec::DecodeStream(output.data(), packed.data(),
                                   static_cast<std::uint32_t>(e.packed.size()), method,
                                   static_cast<std::uint32_t>(originalSize), work.data());
  EXPECT_EQ(result, codec::DecodeOk);
  return output;
}

// Noise that changes its byte values every `stretch` bytes: literals whose statistics differ
// from one unit of the symbol buffer to the next.
std::vector<std::uint8_t> AlternatingNoise(std::size_t size, std::size_t stretch) {
  std::vector<std::uint8_t> v = NoiseBytes(size, 11, 100);
  for (std::size_t i = 0; i < size; ++i)
    if ((i / stretch) % 2 == 1) v[i] = static_cast<std::uint8_t>(v[i] + 128);
  return v;
}

void ExpectRoundTrip(const std::vector<std::uint8_t>& input, int method) {
  Encoded e = EncodeBytes(input, method);
  ASSERT_EQ(e.result, 0) << "method " << method << " size " << input.size();
  EXPECT_EQ(e.packedSize, e.packed.size());
  EXPECT_LT(e.packedSize, input.size());
  EXPECT_EQ(e.crc, ComputeCrc16(input.data(), input.size()));
  testing_lzh::Stream s = ReadBack(e, method, input);
  EXPECT_TRUE(s.data == input) << "method " << method;
  EXPECT_TRUE(Decode(e, method, input.size()) == input) << "method " << method;
}

TEST(LzEncoder, RoundTripsThroughAnIndependentReader) {
  for (int method = 4; method <= 7; ++method) {
    ExpectRoundTrip(WordText(300000, 1), method);
    ExpectRoundTrip(NoiseBytes(150000, 7, 12), method);
    ExpectRoundTrip(AlternatingNoise(100000, 14544), method);  // blocks of one unit
    ExpectRoundTrip(WordText(3000, 5), method);
    // Mixed: text, a stretch of noise, and the text again from far back.
    std::vector<std::uint8_t> mixed = WordText(40000, 2);
    std::vector<std::uint8_t> noise = NoiseBytes(30000, 3, 40);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 40000);
    ExpectRoundTrip(mixed, method);
    // Past the point where the text buffer moves (4 * 65536 - window bytes in), with text
    // repeated from as far back as the window reaches, and an end inside the next look-ahead.
    codec::MethodParams params;
    ASSERT_TRUE(codec::GetMethodParams(method, &params));
    std::vector<std::uint8_t> far = NoiseBytes(262144 + 300, 13, 40);
    for (int i = 0; i < 30000; ++i) far.push_back(far[far.size() - (params.window - 1)]);
    ExpectRoundTrip(far, method);
  }
}

TEST(LzEncoder, Lh7FindsMatchesBeyond32KiBAcrossTheSlide) {
  // 100000 noise bytes, then 20000 bytes repeated from 60000 back: only a 64 KiB window can
  // reach them, and they lie past the first slide (at 65536 bytes).
  std::vector<std::uint8_t> input = NoiseBytes(100000, 11);
  input.insert(input.end(), input.begin() + 40000, input.begin() + 60000);
  Encoded e = EncodeBytes(input, 7);
  ASSERT_EQ(e.result, 0);
  testing_lzh::Stream s = ReadBack(e, 7, input);
  ASSERT_TRUE(s.data == input);
  EXPECT_TRUE(Decode(e, 7, input.size()) == input);
  std::size_t far = 0;
  for (const auto& b : s.blocks)
    for (const auto& sym : b.symbols)
      if (sym.code >= 256 && sym.offset == 59999) ++far;
  EXPECT_GE(far, 70u);  // 20000 bytes in matches of 256
  // The same data with -lh6- (32 KiB window) cannot shrink.
  EXPECT_EQ(EncodeBytes(input, 6).result, 1);
}

TEST(LzEncoder, RunOfOneValueIsTwoLiteralsThenLongestMatches) {
  std::vector<std::uint8_t> input(100000, 'x');
  Encoded e = EncodeBytes(input, 5);
  ASSERT_EQ(e.result, 0);
  testing_lzh::Stream s = ReadBack(e, 5, input);
  EXPECT_TRUE(Decode(e, 5, input.size()) == input);
  ASSERT_EQ(s.blocks.size(), 1u);
  const auto& symbols = s.blocks[0].symbols;
  ASSERT_GE(symbols.size(), 3u);
  EXPECT_EQ(symbols[0].code, 'x');
  EXPECT_EQ(symbols[1].code, 'x');
  // 99998 bytes: 390 matches of 256 and a tail of 158.
  ASSERT_EQ(symbols.size(), 2u + 390u + 1u);
  for (std::size_t i = 2; i < symbols.size(); ++i) {
    EXPECT_EQ(symbols[i].offset, 0u);
    EXPECT_EQ(symbols[i].code, i + 1 < symbols.size() ? 256 + 253 : 158 + 253);
  }
}

TEST(LzEncoder, TinyAndEmptyInputsDoNotCompress) {
  for (std::size_t size = 0; size <= 2; ++size) {
    struct Calls {
      std::vector<std::uint32_t> packed;
    } calls;
    auto record = [](void* c, std::uint32_t packed, std::uint32_t) {
      static_cast<Calls*>(c)->packed.push_back(packed);
      return 0;
    };
    Encoded e = EncodeBytes(std::vector<std::uint8_t>(size, 'q'), 5, record, &calls);
    EXPECT_EQ(e.result, 1) << size;
    EXPECT_EQ(e.packedSize, 0xDEADBEEFu) << "out-parameters untouched";
    EXPECT_EQ(e.crc, 0xBEEF);
    ASSERT_FALSE(calls.packed.empty());
    EXPECT_EQ(calls.packed.back(), codec::NotCompressedProgress);
  }
}

TEST(LzEncoder, MethodDigitsOutside4To7AreRefused) {
  std::vector<std::uint8_t> input = WordText(10000, 3);
  for (int method : {0, 1, 3, 8, -5}) EXPECT_EQ(EncodeBytes(input, method).result, 1) << method;
}

TEST(LzEncoder, IncompressibleInputNeverGrowsToTheInputSize) {
  for (const auto& [size, method] : {std::pair{1000000, 5}, {300000, 4}, {300000, 7}, {5000, 6}}) {
    std::vector<std::uint8_t> input = NoiseBytes(size, 99);
    codec::LzEncoder encoder;
    codec::MemoryInput in(input.data(), input.size());
    codec::MemoryOutput out;
    std::uint32_t packed = 0;
    EXPECT_EQ(encoder.Encode(out, in, method, &packed, nullptr, nullptr, nullptr), 1) << method;
    EXPECT_EQ(packed, 0u);
    EXPECT_LT(out.size(), input.size());
  }
}

// Blocks end at group starts when a unit of the symbol buffer (16360..16384 bytes) is full; two
// units go out as one block when that codes smaller, as two when their statistics differ.
TEST(LzEncoder, BlocksEndOnlyAtGroupStartsWhenTheSymbolBufferIsFull) {
  struct Row {
    std::vector<std::uint8_t> input;
    bool joined;  // some block carries two units
    bool split;   // some block before the last carries one unit
  };
  // Noise: counts that differ by chance decide both ways. 14544 literals fill one unit (1818
  // groups of eight): each unit of the alternating noise has values of its own.
  for (const Row& row : {Row{NoiseBytes(200000, 5, 200), true, true},
                         Row{WordText(400000, 8), true, false},
                         Row{AlternatingNoise(200000, 14544), false, true}}) {
    const auto& input = row.input;
    Encoded e = EncodeBytes(input, 5);
    ASSERT_EQ(e.result, 0);
    testing_lzh::Stream s = ReadBack(e, 5, input);
    ASSERT_TRUE(s.data == input);
    EXPECT_TRUE(Decode(e, 5, input.size()) == input);
    ASSERT_GE(s.blocks.size(), 3u);
    bool joined = false, split = false;
    for (std::size_t b = 0; b < s.blocks.size(); ++b) {
      const auto& block = s.blocks[b];
      EXPECT_EQ(block.symbolCount, block.symbols.size());
      std::size_t bytes = (block.symbols.size() + 7) / 8;  // flag bytes
      for (const auto& sym : block.symbols) bytes += sym.code >= 256 ? 3 : 1;
      joined |= bytes > 16384u;
      EXPECT_LE(bytes, 2 * 16384u);
      if (b + 1 < s.blocks.size()) {
        split |= bytes <= 16384u;
        EXPECT_EQ(block.symbolCount % 8, 0u) << "block " << b;
        EXPECT_TRUE((bytes >= 16360u && bytes <= 16384u) || bytes >= 2 * 16360u)
            << "block " << b << ": " << bytes;
      }
    }
    EXPECT_EQ(joined, row.joined) << input.size();
    EXPECT_EQ(split, row.split) << input.size();
  }
}

// Length-table runs of zeros between two used literals: 19 is written as a single zero and a
// short run (a long run only starts at 20).
TEST(LzEncoder, ZeroRunsInTheLiteralLengthTable) {
  struct Case {
    int gap;
    std::vector<int> symbols;
  };
  for (const Case& c : {Case{1, {0}}, Case{2, {0, 0}}, Case{3, {1}}, Case{18, {1}},
                        Case{19, {0, 1}}, Case{20, {2}}, Case{21, {2}}}) {
    const std::uint8_t low = 'A';
    const std::uint8_t high = static_cast<std::uint8_t>(low + c.gap + 1);
    std::vector<std::uint8_t> input = NoiseBytes(5000, 21, 2);
    for (auto& b : input) b = b ? high : low;
    Encoded e = EncodeBytes(input, 6);
    ASSERT_EQ(e.result, 0);
    testing_lzh::Stream s = ReadBack(e, 6, input);
    ASSERT_TRUE(s.data == input);
    ASSERT_EQ(s.blocks.size(), 1u);
    const auto& t = s.blocks[0].lengthTableSymbols;
    // 65 zeros before 'A' (a long run), 'A', the gap, the high byte.
    ASSERT_GE(t.size(), 3u + c.symbols.size()) << c.gap;
    EXPECT_EQ(t[0], 2);
    EXPECT_GE(t[1], 3);
    for (std::size_t i = 0; i < c.symbols.size(); ++i) EXPECT_EQ(t[2 + i], c.symbols[i]) << c.gap;
    EXPECT_GE(t[2 + c.symbols.size()], 3) << c.gap;
  }
}

struct Progress {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;
  int cancelAt = 0;  // 1-based call that answers "cancel"; 0 never
};

int RecordProgress(void* context, std::uint32_t packed, std::uint32_t original) {
  auto* p = static_cast<Progress*>(context);
  p->calls.emplace_back(packed, original);
  return p->cancelAt != 0 && static_cast<int>(p->calls.size()) == p->cancelAt;
}

TEST(LzEncoder, ProgressIsReportedAtStartSlidesAndEnd) {
  struct Case {
    std::vector<std::uint8_t> input;
    int method;
    std::uint32_t window;
  };
  // Text; a run of one byte, where every slide falls inside a match; noise with few matches.
  for (const Case& c : {Case{WordText(200000, 4), 5, 8192},
                        Case{std::vector<std::uint8_t>(200000, 'x'), 5, 8192},
                        Case{NoiseBytes(200000, 9, 40), 4, 4096},
                        Case{WordText(200000, 6), 7, 65536}}) {
    Progress p;
    Encoded e = EncodeBytes(c.input, c.method, RecordProgress, &p);
    ASSERT_EQ(e.result, 0);
    ASSERT_GE(p.calls.size(), 3u);
    EXPECT_EQ(p.calls.front(), std::make_pair(0u, 0u));
    // The first fill reads 131328 - window bytes; one more window comes with each slide.
    std::size_t slides = p.calls.size() - 2;
    EXPECT_EQ(slides, (200000u - 1) / c.window) << c.method;
    for (std::size_t i = 1; i < p.calls.size(); ++i) {
      EXPECT_GE(p.calls[i].first, p.calls[i - 1].first);
      EXPECT_GE(p.calls[i].second, p.calls[i - 1].second);
      // Bytes read, which also bound the packed data: the first fill and a window per slide.
      if (i + 1 < p.calls.size())
        EXPECT_EQ(p.calls[i].second,
                  std::min<std::size_t>(200000, 131328 - c.window + std::size_t{c.window} * i))
            << c.method << " call " << i;
    }
    EXPECT_EQ(p.calls.back().second, 200000u);
    EXPECT_LE(p.calls.back().first, e.packedSize);
  }
}

TEST(LzEncoder, CancelOnTheFirstCallCodesNothing) {
  std::vector<std::uint8_t> input = WordText(200000, 4);
  Progress p;
  p.cancelAt = 1;
  Encoded e = EncodeBytes(input, 5, RecordProgress, &p);
  EXPECT_EQ(e.result, 2);
  EXPECT_TRUE(e.packed.empty());
  EXPECT_EQ(e.packedSize, 0xDEADBEEFu);
  ASSERT_EQ(p.calls.size(), 2u);  // the start and the final report
  EXPECT_EQ(p.calls[1].first, 0u);
}

TEST(LzEncoder, CancelDuringTheWorkStopsAtThatStep) {
  std::vector<std::uint8_t> input = WordText(400000, 4);
  Progress p;
  p.cancelAt = 3;
  Encoded e = EncodeBytes(input, 5, RecordProgress, &p);
  EXPECT_EQ(e.result, 2);
  ASSERT_EQ(p.calls.size(), 4u);
  EXPECT_LT(p.calls.back().second, input.size());
}

TEST(LzEncoder, WriteErrorsEndWithFailureNotTruncatedData) {
  std::vector<std::uint8_t> input = NoiseBytes(400000, 17, 20);  // packs to well over 32 KiB
  for (int failAt : {1, 2}) {
    codec::LzEncoder encoder;
    codec::MemoryInput in(input.data(), input.size());
    encoder_test::FailingOutput out(failAt);
    Progress p;
    std::uint32_t packed = 7;
    EXPECT_EQ(encoder.Encode(out, in, 5, &packed, nullptr, RecordProgress, &p), 1) << failAt;
    EXPECT_EQ(packed, 7u);
    EXPECT_EQ(out.writes(), failAt) << "no writes after the first refusal";
    EXPECT_EQ(p.calls.back().first, codec::NotCompressedProgress);
  }
  // A small input whose only write is the final one.
  std::vector<std::uint8_t> small = WordText(20000, 3);
  codec::LzEncoder encoder;
  codec::MemoryInput in(small.data(), small.size());
  encoder_test::FailingOutput out(1);
  EXPECT_EQ(encoder.Encode(out, in, 5, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(out.writes(), 1);
}

TEST(LzEncoder, EncodesBetweenPlatformFiles) {
  std::vector<std::uint8_t> input = WordText(400000, 12);  // more than the first read takes
  Encoded reference = EncodeBytes(input, 6);
  ASSERT_EQ(reference.result, 0);

  platform::FileHandle source = platform::CreateTempFile();
  ASSERT_NE(source, platform::NoFile);
  ASSERT_TRUE(platform::WriteFile(source, input.data(), static_cast<std::uint32_t>(input.size())));

  // No fault; the first write fails; the second read fails.
  for (int fault : {0, 1, 2}) {
    ASSERT_EQ(platform::SeekFile(source, 0, platform::SeekFrom::Begin), 0);
    platform::FileHandle target = platform::CreateTempFile();
    ASSERT_NE(target, platform::NoFile);
    if (fault == 1) platform::FailNthWrite(1);
    if (fault == 2) platform::FailNthRead(2);
    codec::LzEncoder encoder;
    std::uint32_t packed = 0;
    std::uint16_t crc = 0;
    int result = encoder.Encode(target, source, 6, &packed, &crc, nullptr, nullptr);
    platform::FailNthWrite(0);
    platform::FailNthRead(0);
    if (fault == 0) {
      ASSERT_EQ(result, 0);
      EXPECT_EQ(packed, reference.packedSize);
      EXPECT_EQ(crc, reference.crc);
      std::vector<std::uint8_t> written(packed);
      ASSERT_EQ(platform::SeekFile(target, 0, platform::SeekFrom::Begin), 0);
      std::uint32_t got = 0;
      ASSERT_TRUE(platform::ReadFile(target, written.data(), packed, &got));
      EXPECT_EQ(got, packed);
      EXPECT_TRUE(written == reference.packed);
    } else {
      EXPECT_EQ(result, 1) << "fault " << fault;
      EXPECT_EQ(packed, 0u);
    }
    platform::CloseFile(target);
  }
  platform::CloseFile(source);
}

}  // namespace

namespace {

TEST(LzEncoder, MissingWorkArraysAreReportedAsOutOfMemory) {
  std::vector<std::uint8_t> input = WordText(50000, 6);
  // The encoder takes four blocks: Huffman builder, block writer, bit writer, match finder.
  for (std::uint32_t failing = 1; failing <= 4; ++failing) {
    platform::FailNthAlloc(failing);
    codec::LzEncoder encoder;
    platform::FailNthAlloc(0);
    EXPECT_FALSE(encoder.valid()) << failing;
    codec::MemoryInput in(input.data(), input.size());
    codec::MemoryOutput out;
    std::uint32_t packed = 5;
    Progress p;
    EXPECT_EQ(encoder.Encode(out, in, 5, &packed, nullptr, RecordProgress, &p), 2) << failing;
    EXPECT_EQ(packed, 5u);
    EXPECT_EQ(out.size(), 0u);
    EXPECT_EQ(in.consumed(), 0u);
  }
  codec::LzEncoder whole;
  EXPECT_TRUE(whole.valid());
}

}  // namespace
