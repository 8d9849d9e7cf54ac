// Code lengths and canonical codes from symbol frequencies, for the writing side of the block
// format. Lengths are limited to 16 bits; codes are canonical (shorter codes first, within one
// length in increasing symbol order) so that only the lengths need to be sent.
#pragma once

#include <cstdint>

#include "codec/CodecFormat.h"
#include "codec/ZeroedBlock.h"

namespace codec {

class HuffmanBuilder {
 public:
  HuffmanBuilder();
  virtual ~HuffmanBuilder() = default;
  HuffmanBuilder(const HuffmanBuilder&) = delete;
  HuffmanBuilder& operator=(const HuffmanBuilder&) = delete;

  bool valid() const { return memory_.data() != nullptr; }

  // Fills lengths[0..symbolCount) and codes[0..symbolCount) from freq[0..symbolCount) and returns
  // the root. With fewer than two used symbols every length is 0, codes[root] is 0 and the root is
  // that symbol (0 when none is used), so a root below symbolCount means "single symbol". Otherwise
  // the root is an internal node (symbolCount or more) and freq[root] is the sum of all
  // frequencies. freq needs room for 2 * symbolCount - 1 entries: internal nodes keep their sums
  // there. symbolCount is at most LiteralLengthSymbols.
  int MakeTree(int symbolCount, std::uint16_t* freq, std::uint8_t* lengths, std::uint16_t* codes);

 private:
  void DownHeap(int i);
  void CountDepths(int root);
  void LimitDepths();

  ZeroedBlock memory_;
  std::uint16_t* left_;      // BranchEntries: zero-branch of internal nodes
  std::uint16_t* right_;     // BranchEntries: one-branch
  std::uint16_t* heap_;      // LiteralLengthSymbols + 1, positions from 1
  std::uint16_t* sortList_;  // leaves in the order they left the heap
  std::uint16_t depthCount_[MaxCodeLength + 1] = {};
  int symbolCount_ = 0;
  int heapSize_ = 0;
  const std::uint16_t* freq_ = nullptr;
};

}  // namespace codec
