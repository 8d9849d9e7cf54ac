// A deliberately plain reader of "-lh4-".."-lh7-" packed data for checking the encoder: bit by
// bit canonical decoding, every field recorded. It shares no code with the codec, so a fault in
// the encoder's tables or bit order shows up as a mismatch here rather than cancelling out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_lzh {

struct Symbol {
  int code;             // 0..255 literal, 256..509 length symbol
  std::uint32_t offset; // for matches: distance - 1
};

struct Block {
  std::uint32_t symbolCount = 0;
  bool singleLiteralCode = false;
  bool singleTemporaryCode = false;
  bool singlePositionCode = false;
  // Temporary-code symbols used while sending the literal/length lengths, in order.
  std::vector<int> lengthTableSymbols;
  std::vector<std::uint8_t> literalLengths;  // 510 entries
  std::vector<Symbol> symbols;
};

struct Stream {
  std::vector<Block> blocks;
  std::vector<std::uint8_t> data;
};

// Decodes `originalSize` bytes; false with `error` set on any inconsistency (bad table, offset
// before the start, reading past the packed data plus its two bytes of look-ahead).
bool ReadStream(const std::uint8_t* packed, std::size_t packedSize, int method,
                std::size_t originalSize, Stream* out, std::string* error);

}  // namespace testing_lzh
