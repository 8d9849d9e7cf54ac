// Decoder of methods "-lh4-" to "-lh7-": one member's packed data, memory to memory.
//
// The output buffer is also the dictionary: matches copy from bytes already produced in it, so
// no window of its own is kept and any number of threads may decode at once, each with its own
// work area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/CodecFormat.h"
#include "codec/DecodeTable.h"

namespace codec {

// Size of the work area a caller allocates for one DecodeStream call.
constexpr std::size_t DecodeWorkSize = 32768;

// Results of DecodeStream.
constexpr int DecodeOk = 0;
// A temporary or position table announced more lengths than allowed, or the stream is otherwise
// corrupt: a code length above MaxCodeLength, a single-symbol table naming a symbol outside its
// alphabet, a match reaching before the start of the output, or data that ends before the output
// is complete.
constexpr int DecodeCorrupt = 1;
// The literal/length table announced more than LiteralLengthSymbols lengths.
constexpr int DecodeBadLiteralCount = 2;

// Everything one decoding needs besides its buffers; lives in the caller's work area.
struct DecodeWork {
  std::uint32_t positionCodes;      // accepted position codes: 14 or 17
  std::uint32_t positionCountBits;  // width of the position-table count: 4 or 5
  DecodeBranches branches;
  std::uint32_t literalTable[1u << LiteralTableBits];
  // Temporary code while the literal/length lengths are read, then the position code.
  std::uint32_t smallTable[1u << SmallTableBits];
  std::uint8_t literalLengths[LiteralLengthSymbols];
  std::uint8_t smallLengths[TemporarySymbols];
};
static_assert(sizeof(DecodeWork) <= DecodeWorkSize, "DecodeWork must fit the work area");
static_assert(TemporarySymbols >= MaxPositionCodes, "position lengths share the small array");

// Decodes `packedSize` bytes at `packed` into exactly `originalSize` bytes at `output`.
// `packed` must be followed by ReaderLookahead readable bytes (the drivers allocate
// packedSize + 2); the stream is never read beyond them. `method` is the digit of "-lhN-" (4..7;
// anything else is DecodeCorrupt). `work` is a DecodeWorkSize-byte area, suitably aligned for
// 32-bit values. Returns DecodeOk, DecodeCorrupt or DecodeBadLiteralCount; after a failure the
// output holds meaningless bytes from the fault onward.
int DecodeStream(std::uint8_t* output, const std::uint8_t* packed, std::uint32_t packedSize,
                 int method, std::uint32_t originalSize, void* work);

}  // namespace codec
