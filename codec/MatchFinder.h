// The encoder's match finder: a text buffer of history plus look-ahead, hash chains over 3-byte
// prefixes, and per-bucket "long chain" flags.
//
// The first input byte sits at buffer position `window`. A candidate must lie strictly above the
// lower bound (`window` until the buffer first moves, 0 afterwards, so the first input byte never
// serves as a match source) and less than one window behind the position.
//
// The encoder's results are those of a two-window text buffer (TwoWindowText bytes) that slides
// by one window every `window` bytes of input and reads one window behind: the same matches, the
// same bytes past the end of the input, the same count of bytes read (which bounds the packed
// data) and a progress report at every window. The buffer here is larger, so it moves only when
// the position reaches SlideAt, and heads and links are rebased once per move rather than once
// per window: for a 8 KiB window that saves moving 120 KiB and rebasing 32768 heads every 8 KiB.
// It moves by a multiple of the window, so a position keeps its chain slot (position AND
// window - 1).
//
// A chain slot holds Links links: the previous position of the same hash and the ones before it,
// copied from the previous position's slot when the position is inserted. The walk is one
// dependent load per step, and most candidates fail at their first comparison, so the walk is
// bound by the latency of those loads; with four links a step covers four candidates, and a slot
// is 16 bytes, a quarter of a cache line (two links take 8% more time on -lh5-, six or
// eight cost more at every insertion than they save in the walk).
//
// A search walks at most 63 candidates of a chain for windows up to 8 KiB, 127 for the larger
// ones: 255 candidates made archives only 0.01-0.02% smaller and took a sixth more time on -lh5-,
// a third more on -lh7-. A bucket whose walk ran out of budget is flagged; later searches whose
// own bucket is flagged hash a later 3-byte group of the current text instead (up to 253 bytes
// ahead) and find matches through that group's shorter chain, which keeps long runs and
// repetitive data from costing a full walk per byte.
#pragma once

#include <cstdint>

#include "codec/ByteStream.h"
#include "codec/CodecFormat.h"
#include "codec/ZeroedBlock.h"

namespace codec {

class MatchFinder {
 public:
  static constexpr std::uint32_t MaxWindow = 65536;
  static constexpr std::uint32_t TwoWindowText = 2 * MaxWindow + MaxMatch;
  // A multiple of every window; positions stay below it. Behind it there is room for the
  // look-ahead that the two-window buffer has read.
  static constexpr std::uint32_t SlideAt = 4 * MaxWindow;
  static constexpr std::uint32_t TextSize = SlideAt + TwoWindowText;
  static_assert(SlideAt + MaxMatch + 8 <= TextSize, "match comparisons read 8 bytes at a time");
  static constexpr std::uint32_t HashSize = 1u << 15;
  static constexpr std::uint32_t HashMask = HashSize - 1;
  static constexpr std::uint32_t MaxChain = 65536;
  static constexpr std::uint32_t Links = 4;  // links per chain slot
  static constexpr std::uint32_t MaxSkip = 253;
  // One more than the candidates a search compares, for windows above SmallWindow and up to it.
  static constexpr int ChainBudget = 128;
  static constexpr int SmallWindowChainBudget = 64;
  static constexpr std::uint32_t SmallWindow = 8192;

  MatchFinder();
  bool valid() const { return memory_.data() != nullptr; }

  // Starts on new input with a window of 4096..65536 bytes (a power of two): clears the heads and
  // flags, reads the first fill, and computes the hash of the first position. The match length
  // starts at 2, or at the input size when that is smaller.
  void Start(std::uint32_t window, ByteInput* input);

  // Links the current position into the chain of its hash.
  void Insert() { Link(position_, hash_); }

  // Moves one byte on. Returns true when another window of input has been passed (a slide of the
  // window, for progress reports).
  bool Advance() {
    --remaining_;
    bool slid = false;
    if (++position_ == nextSlide_) slid = PassWindow();
    hash_ = ((hash_ << 5) ^ text_[position_ + 2]) & HashMask;
    return slid;
  }

  // Advance followed by Insert, `count` times: the positions covered by an emitted match. Returns
  // true when a window was passed on the way.
  bool AdvanceInserting(std::uint32_t count);

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

  // CRC-16 of every byte read from the input so far.
  std::uint16_t crc() const { return crc_; }
  // Bytes the two-window buffer would have read by now (the limit of the packed data and the
  // count for progress reports). This buffer reads ahead at least as far.
  std::uint32_t bytesRead() const {
    return bytesRead_ < twoWindowRead_ ? bytesRead_ : twoWindowRead_;
  }

 private:
  void Link(std::uint32_t position, std::uint32_t hash) {
    const std::uint32_t previous = heads_[hash];
    std::uint32_t* slot = chain_ + Links * (position & windowMask_);
    // The links behind `previous` are only used while `previous` lies inside the window, and
    // then its slot still holds its own links.
    const std::uint32_t* before = chain_ + Links * (previous & windowMask_);
    slot[0] = previous;
    for (std::uint32_t i = 1; i < Links; ++i) slot[i] = before[i - 1];
    heads_[hash] = position;
  }
  bool PassWindow();
  void Slide();
  void TopUp();
  std::uint32_t Fill(std::uint8_t* to, std::uint32_t count);

  ZeroedBlock memory_;
  std::uint8_t* text_;
  std::uint32_t* heads_;
  std::uint32_t* chain_;  // per slot: Links earlier positions of the same hash, newest first
  std::uint8_t* longChain_;

  ByteInput* input_ = nullptr;
  bool inputEnded_ = false;
  std::uint16_t crc_ = 0;
  std::uint32_t bytesRead_ = 0;
  std::uint32_t twoWindowRead_ = 0;
  std::uint32_t window_ = 0;
  int chainBudget_ = ChainBudget;
  std::uint32_t windowMask_ = 0;
  std::uint32_t hash_ = 0;
  std::uint32_t matchLength_ = 0;
  std::uint32_t matchPosition_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t nextSlide_ = 0;  // position at which the next window is passed
  std::uint32_t lowerBound_ = 0;
  std::uint32_t remaining_ = 0;
};

}  // namespace codec
