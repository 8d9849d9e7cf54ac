// Compresses one input into the packed data of a "-lh4-".."-lh7-" member: LZ77 with lazy
// matching over the match finder, coded in static-Huffman blocks by the block writer.
#pragma once

#include <cstdint>

#include "codec/BlockEncoder.h"
#include "codec/ByteStream.h"
#include "codec/MatchFinder.h"
#include "platform/Platform.h"

namespace codec {

// Progress report: packed bytes written so far and original bytes read so far. A nonzero answer
// cancels. Called with (0, 0) at the start, after every slide of the window, once after the last
// symbol, and with a packed count of 0xFFFFFFFF when the data turned out not to compress.
using ProgressCallback = int (*)(void* context, std::uint32_t packed, std::uint32_t original);

constexpr std::uint32_t NotCompressedProgress = 0xFFFFFFFFu;

class LzEncoder : public BlockEncoder {
 public:
  LzEncoder() = default;

  // False when the work arrays could not be allocated; Encode then answers 2 at once.
  bool valid() const { return BlockEncoder::valid() && finder_.valid(); }

  // Reads `input` to its end and writes the packed data to `output`.
  // 0: packed data written (smaller than the input); packedSize and crc stored when given.
  // 1: not compressed: the data does not shrink, the input is empty, the method digit is not
  //    4..7, the output refused a write, or reading the input failed (the data would be cut
  //    short). Nothing is stored in the out-parameters.
  // 2: cancelled by the callback, or the work arrays are missing (out of memory).
  // After 1 or 2 the output holds a partial stream that the caller discards.
  int Encode(ByteOutput& output, ByteInput& input, int method, std::uint32_t* packedSize,
             std::uint16_t* crc, ProgressCallback progress, void* context);

  // The same over platform files, read and written from their current positions.
  int Encode(platform::FileHandle output, platform::FileHandle input, int method,
             std::uint32_t* packedSize, std::uint16_t* crc, ProgressCallback progress,
             void* context);

 private:
  MatchFinder finder_;
};

}  // namespace codec
