// Test-only writer of "-lh4-".."-lh7-" block streams, so decoder tests can build exact bitstreams
// (including malformed ones) and know the bytes they must decode to.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace testbits {

class BitWriter {
 public:
  // Appends the low n bits of value, most significant first (n may be 0..32).
  void Put(int n, std::uint32_t value) {
    for (int i = n - 1; i >= 0; --i) {
      pending_ = std::uint8_t((pending_ << 1) | ((value >> i) & 1));
      if (++count_ == 8) {
        bytes_.push_back(pending_);
        pending_ = 0;
        count_ = 0;
      }
    }
  }
  // Completes the last byte with zero bits.
  std::vector<std::uint8_t> Finish() {
    std::vector<std::uint8_t> out = bytes_;
    if (count_ != 0) out.push_back(std::uint8_t(pending_ << (8 - count_)));
    return out;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint8_t pending_ = 0;
  int count_ = 0;
};

// Canonical codes for the given lengths (0 = unused).
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths);

// Lengths 3-bit/unary form of the temporary and position tables.
void PutBitLength(BitWriter& w, int length);

// One symbol of a block: a literal (0..255), or a match of `length` (3..256) at `offset`
// (0 = the byte just before).
struct Symbol {
  int literal = -1;
  int length = 0;
  std::uint32_t offset = 0;
};
inline Symbol Literal(int byte) { return Symbol{byte, 0, 0}; }
inline Symbol Match(int length, std::uint32_t offset) { return Symbol{-1, length, offset}; }

// Position code of an offset: 0 for 0, else its number of significant bits.
int PositionCode(std::uint32_t offset);

struct Block {
  std::vector<Symbol> symbols;
  // Code lengths; left empty, they are derived from the symbols used (shape below).
  std::vector<std::uint8_t> literalLengths;   // 510 entries
  std::vector<std::uint8_t> positionLengths;  // positionCodes entries
  // Derived codes: uniform over the used symbols, or "deep" (lengths 1, 2, 3, ... then the rest
  // at up to 16 bits) so that codes longer than the direct tables are exercised.
  bool deepCodes = false;
  // A code with exactly one used symbol is sent in the single-symbol form (count 0).
  bool allowSingle = true;
  // The 16-bit symbol count written; -1 writes the real number of symbols.
  int countField = -1;
};

// Writes one block for the method digit (4..7).
void WriteBlock(BitWriter& w, const Block& block, int method);

// What the symbols decode to, cut at originalSize.
std::vector<std::uint8_t> Expand(const std::vector<Block>& blocks, std::size_t originalSize);

// A stream of random blocks producing `size` bytes (literals from a small alphabet and matches
// at offsets within the method's window), with its packed bytes and its expected output.
struct RandomStream {
  std::vector<std::uint8_t> packed;
  std::vector<std::uint8_t> expected;
  std::vector<Block> blocks;
};
RandomStream MakeRandomStream(std::mt19937& rng, int method, std::size_t size, bool deepCodes);

// Packs blocks into a stream.
std::vector<std::uint8_t> Pack(const std::vector<Block>& blocks, int method);

// Decodes with an exactly sized copy of `packed` plus two look-ahead bytes of `fill`, so the
// sanitizers see any read beyond them; returns DecodeStream's result and the output.
int Decode(const std::vector<std::uint8_t>& packed, int method, std::size_t originalSize,
           std::vector<std::uint8_t>* output, std::uint8_t fill = 0xA5);

}  // namespace testbits
