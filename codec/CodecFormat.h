// Constants fixed by the block format of methods "-lh4-" to "-lh7-", shared by the decoder and
// the encoder. A member's packed data is a sequence of blocks, each: a 16-bit symbol count, the
// temporary code lengths, the literal/length code lengths, the position code lengths, then the
// symbols (see BlockReader/BlockWriter for the field order).
#pragma once

#include <cstdint>

namespace codec {

// Literal/length alphabet: 0..255 literal bytes, 256..509 match lengths 3..256.
constexpr int LiteralLengthSymbols = 510;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 256;
constexpr int LengthSymbolBase = 256 - MinMatch;  // symbol = length + 253
static_assert(LengthSymbolBase + MaxMatch == LiteralLengthSymbols - 1);

// Temporary alphabet: code lengths of the literal/length code.
constexpr int TemporarySymbols = 19;
constexpr int TemporaryCountBits = 5;
constexpr int LiteralCountBits = 9;
constexpr int MaxCodeLength = 16;

// Branch arrays of a decode tree: enough for the 509 internal nodes of a 510-symbol code.
constexpr int BranchEntries = 1020;
constexpr int LiteralTableBits = 12;
constexpr int SmallTableBits = 8;

// Per-method parameters (the method digit of "-lhN-").
struct MethodParams {
  int positionCodesWritten;   // encoder
  int positionCodesAccepted;  // decoder
  int positionCountBits;
  std::uint32_t window;       // encoder: 1 << (positionCodesWritten - 1)
};

// False for any digit other than 4..7.
inline bool GetMethodParams(int digit, MethodParams* out) {
  switch (digit) {
    case 4: *out = {13, 14, 4, 4096}; return true;
    case 5: *out = {14, 14, 4, 8192}; return true;
    case 6: *out = {16, 17, 5, 32768}; return true;
    case 7: *out = {17, 17, 5, 65536}; return true;
    default: return false;
  }
}

constexpr int MaxPositionCodes = 17;

}  // namespace codec
