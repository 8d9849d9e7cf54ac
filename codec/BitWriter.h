// Bits are sent most significant first into a 32768-byte buffer that is written to the output
// whole when full. The writer never grows the stream past its limit: a byte that would bring the
// packed count up to the limit is dropped and `ok` turns false, which is how the encoder learns
// that the data does not shrink. A failed write to the output turns `ok` false the same way.
//
// Bits gather in a 64-bit word and leave it four bytes at a time. A caller that changes the limit
// calls EmitWholeBytes first, so that every byte is still checked against the limit that stood
// when its bits were put.
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
    if (pendingBits_ >= 32) EmitWord();
  }

  // Emits every complete byte of the pending bits (fewer than 8 bits stay pending).
  void EmitWholeBytes() {
    while (pendingBits_ >= 8) {
      pendingBits_ -= 8;
      Emit(static_cast<std::uint8_t>(pending_ >> pendingBits_));
    }
  }

  // Completes the last byte with zero bits and writes what stands in the buffer.
  void Finish();

  std::uint32_t packedCount() const { return packed_; }
  // Bytes emitted after this are checked against `limit`; see EmitWholeBytes.
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
  void EmitWord() {
    pendingBits_ -= 32;
    const auto word = static_cast<std::uint32_t>(pending_ >> pendingBits_);
    // packed_ never exceeds limit_: all four bytes fit below the limit, or they go one by one.
    if (limit_ - packed_ > 3 && fill_ + 4 <= BufferSize) {
      std::uint8_t* to = buffer_ + fill_;
      to[0] = static_cast<std::uint8_t>(word >> 24);
      to[1] = static_cast<std::uint8_t>(word >> 16);
      to[2] = static_cast<std::uint8_t>(word >> 8);
      to[3] = static_cast<std::uint8_t>(word);
      fill_ += 4;
      packed_ += 4;
      if (fill_ == BufferSize) Flush();
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) Emit(static_cast<std::uint8_t>(word >> shift));
  }
  void Flush();

  ZeroedBlock memory_;
  std::uint8_t* buffer_;
  ByteOutput* output_ = nullptr;
  std::uint64_t pending_ = 0;  // bits not yet emitted, in the low `pendingBits_` bits
  int pendingBits_ = 0;        // 0..31 between calls
  std::uint32_t fill_ = 0;
  std::uint32_t packed_ = 0;
  std::uint32_t limit_ = 0;
  bool ok_ = true;
};

}  // namespace codec
