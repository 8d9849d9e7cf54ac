// DecodeStream over arbitrary packed data. Input: one byte selecting the method (4 + byte % 4),
// three bytes of original size (the low 17 bits: up to 128 KiB, room for the longest offsets of
// "-lh7-" while one input stays quick), then the packed data.
// The packed data sits in an exactly sized buffer with its two look-ahead bytes, and the output
// is exactly the original size, so any read or write beyond them is reported.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/BitReader.h"
#include "codec/Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int method = 4 + data[0] % 4;
  const std::uint32_t originalSize = (data[1] | (data[2] << 8) | (data[3] << 16)) & 0x1FFFF;
  const std::uint32_t packedSize = std::uint32_t(size - 4);

  std::unique_ptr<std::uint8_t[]> packed(new std::uint8_t[packedSize + codec::ReaderLookahead]);
  std::memcpy(packed.get(), data + 4, packedSize);
  std::memset(packed.get() + packedSize, 0, codec::ReaderLookahead);
  std::unique_ptr<std::uint8_t[]> output(new std::uint8_t[originalSize]);
  std::unique_ptr<std::uint32_t[]> work(new std::uint32_t[codec::DecodeWorkSize / 4]);
  const int result = codec::DecodeStream(output.get(), packed.get(), packedSize, method,
                                         originalSize, work.get());
  if (result != codec::DecodeOk && result != codec::DecodeCorrupt &&
      result != codec::DecodeBadLiteralCount) {
    __builtin_trap();
  }
  return 0;
}
