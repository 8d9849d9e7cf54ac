// Bits are sent most significant first into a 32768-byte buffer that is written to the output
// whole when full. The writer never grows the stream past its limit: a byte that would bring the
// packed count up to the limit is dropped and `ok` turns false, which is how the encoder learns
// that the data does not shrink. A failed write to the output turns `ok` false the same way.
#pragma once

#include <cstdint>

#include "codec/ByteStream.h"
#include "codec/ZeroedBlock.h"

namespace codec {

class BitWriter {
 public:
  static constexpr std::uint32_t BufferSize = 32768;

  BitWriter() : memory_(BufferSize), buffer_(memory_.data()) {}
  bool valid() const { return buffer_ != nullptr; }

  // Binds the writer to `output` and clears every count; the limit starts at 0.
  void Start(ByteOutput* output);

  // Appends the low `n` bits of `value` (n of 0..16; 0 appends nothing).
  void PutBits(int n, std::uint32_t value) {
    pending_ = (pending_ << n) | (value & ((1u << n) - 1));
    pendingBits_ += n;
    while (pendingBits_ >= 8) {
      pendingBits_ -= 8;
      Emit(static_cast<std::uint8_t>(pending_ >> pendingBits_));
    }
  }

  // Completes the last byte with zero bits and writes what stands in the buffer.
  void Finish();

  std::uint32_t packedCount() const { return packed_; }
  void setLimit(std::uint32_t limit) { limit_ = limit; }
  bool ok() const { return ok_; }

 private:
  void Emit(std::uint8_t byte) {
    if (packed_ >= limit_) {
      ok_ = false;
      return;
    }
    buffer_[fill_++] = byte;
    ++packed_;
    if (fill_ == BufferSize) Flush();
  }
  void Flush();

  ZeroedBlock memory_;
  std::uint8_t* buffer_;
  ByteOutput* output_ = nullptr;
  std::uint32_t pending_ = 0;  // bits not yet emitted, in the low `pendingBits_` bits
  int pendingBits_ = 0;        // 0..7 between calls
  std::uint32_t fill_ = 0;
  std::uint32_t packed_ = 0;
  std::uint32_t limit_ = 0;
  bool ok_ = true;
};

}  // namespace codec
