// Bit reader over a packed buffer, most significant bit first.
//
// The state is a 32-bit word whose upper 16 bits are the window (the next 16 bits of the stream,
// first bit on top) and whose next 8 bits are a spare byte, plus the count of valid bits left in
// the spare byte (0..8). The reader keeps 16 bits of look-ahead: it has fetched exactly two bytes
// beyond the byte that holds the last consumed bit, so a buffer of packed data must be followed by
// two readable bytes (their values do not matter).
//
// The packed data is hostile: a fetch beyond the packed bytes plus those two look-ahead bytes
// reads nothing, supplies zero bits and marks the reader overrun, so a truncated stream is
// reported instead of read past its buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

// Readable bytes a reader needs after the last packed byte.
constexpr std::uint32_t ReaderLookahead = 2;

class BitReader {
 public:
  // `data` holds `packedSize` bytes of packed data followed by ReaderLookahead more bytes.
  // Loads the first two bytes into the window.
  void Start(const std::uint8_t* data, std::uint32_t packedSize) {
    begin_ = data;
    cursor_ = data;
    limit_ = data + std::size_t{packedSize} + ReaderLookahead;
    word_ = 0;
    spare_ = 0;
    overrun_ = false;
    SkipBits(16);
  }

  // The next 16 bits, first bit in the top position.
  std::uint32_t Window() const { return word_ >> 16; }

  // Consumes n bits (0..16). At most two bytes are fetched.
  void SkipBits(unsigned n) {
    while (n > spare_) {
      word_ <<= spare_;
      n -= spare_;
      word_ |= std::uint32_t{Fetch()} << 8;
      spare_ = 8;
    }
    word_ <<= n;
    spare_ -= n;
  }

  // Returns the next n bits (1..16) as a number and consumes them.
  std::uint32_t GetBits(unsigned n) {
    std::uint32_t value = word_ >> (32 - n);
    SkipBits(n);
    return value;
  }

  // True once a fetch wanted a byte past the packed data and its look-ahead: the stream asked
  // for bits it does not have.
  bool Overrun() const { return overrun_; }

  // Bits consumed since Start. The state is fully determined by it: the reader holds the bytes up
  // to two past the one containing the last consumed bit.
  std::uint64_t BitPosition() const {
    return std::uint64_t(cursor_ - begin_) * 8 - 16 - spare_;
  }

  // Puts the reader into the state it would have after consuming `position` bits from the
  // start. Used after a faster reader with a wider buffer has consumed bits from the same data.
  void Seek(std::uint64_t position) {
    cursor_ = begin_ + position / 8;
    unsigned offset = unsigned(position % 8);
    word_ = 0;
    spare_ = 0;
    SkipBits(16);
    SkipBits(offset);
  }

  const std::uint8_t* Begin() const { return begin_; }
  const std::uint8_t* Limit() const { return limit_; }

 private:
  std::uint8_t Fetch() {
    if (cursor_ < limit_) return *cursor_++;
    overrun_ = true;
    return 0;
  }

  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* cursor_ = nullptr;
  const std::uint8_t* limit_ = nullptr;
  std::uint32_t word_ = 0;
  unsigned spare_ = 0;
  bool overrun_ = false;
};

}  // namespace codec
