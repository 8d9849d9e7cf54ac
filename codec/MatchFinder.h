// The encoder's match finder: a text buffer of two windows plus look-ahead, hash chains over
// 3-byte prefixes, and per-bucket "long chain" flags.
//
// Positions in the text buffer run from `window` up to 2 * window - 1; when the position reaches
// 2 * window the buffer slides down by one window in one move and the next window of input is read
// behind it. Head and chain entries hold buffer positions (up to 131071 for a 64 KiB window), so
// they are 32-bit. Position 0 means "no candidate": a candidate must lie strictly above the lower
// bound, which is `window` until the first slide and 0 afterwards, so before the first slide the
// first input byte never serves as a match source.
//
// A search walks at most 255 candidates of a chain. A bucket whose walk ran out of budget is
// flagged; later searches whose own bucket is flagged hash a later 3-byte group of the current
// text instead (up to 253 bytes ahead) and find matches through that group's shorter chain, which
// keeps long runs and repetitive data from costing 255 comparisons per byte.
#pragma once

#include <cstdint>

#include "codec/ByteStream.h"
#include "codec/CodecFormat.h"
#include "codec/ZeroedBlock.h"

namespace codec {

class MatchFinder {
 public:
  static constexpr std::uint32_t TextSize = 2 * 65536 + MaxMatch;
  static constexpr std::uint32_t HashSize = 1u << 15;
  static constexpr std::uint32_t HashMask = HashSize - 1;
  static constexpr std::uint32_t MaxChain = 65536;
  static constexpr std::uint32_t MaxSkip = 253;
  static constexpr int ChainBudget = 256;

  MatchFinder();
  bool valid() const { return memory_.data() != nullptr; }

  // Starts on new input with a window of 4096..65536 bytes (a power of two): clears the heads and
  // flags, reads the first fill, and computes the hash of the first position. The match length
  // starts at 2, or at the input size when that is smaller.
  void Start(std::uint32_t window, ByteInput* input);

  // Links the current position into the chain of its hash.
  void Insert() {
    chain_[position_ & windowMask_] = heads_[hash_];
    heads_[hash_] = position_;
  }

  // Moves one byte on. Returns true when the window slid (and new input was read).
  bool Advance() {
    --remaining_;
    bool slid = false;
    if (++position_ == 2 * window_) {
      Slide();
      slid = true;
    }
    hash_ = ((hash_ << 5) ^ text_[position_ + 2]) & HashMask;
    return slid;
  }

  // Looks for a match longer than the current match length at the current position (lazy
  // evaluation: the caller lowers the length it must beat), then inserts the position.
  void SearchAndInsert();

  std::uint32_t position() const { return position_; }
  std::uint32_t remaining() const { return remaining_; }
  std::uint32_t matchLength() const { return matchLength_; }
  std::uint32_t matchPosition() const { return matchPosition_; }
  void setMatchLength(std::uint32_t length) { matchLength_ = length; }
  // Clips the match length to the bytes left in the input.
  void ClipMatchLength() {
    if (matchLength_ > remaining_) matchLength_ = remaining_;
  }
  std::uint8_t byteAt(std::uint32_t pos) const { return text_[pos]; }

  // CRC-16 and count of every byte read from the input so far.
  std::uint16_t crc() const { return crc_; }
  std::uint32_t bytesRead() const { return bytesRead_; }

 private:
  void Slide();
  std::uint32_t Fill(std::uint8_t* to, std::uint32_t count);

  ZeroedBlock memory_;
  std::uint8_t* text_;
  std::uint32_t* heads_;
  std::uint32_t* chain_;
  std::uint8_t* longChain_;

  ByteInput* input_ = nullptr;
  bool inputEnded_ = false;
  std::uint16_t crc_ = 0;
  std::uint32_t bytesRead_ = 0;
  std::uint32_t window_ = 0;
  std::uint32_t windowMask_ = 0;
  std::uint32_t hash_ = 0;
  std::uint32_t matchLength_ = 0;
  std::uint32_t matchPosition_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t lowerBound_ = 0;
  std::uint32_t remaining_ = 0;
};

}  // namespace codec
