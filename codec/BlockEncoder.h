// The block writer: collects symbols with their frequencies in units of about 16 KiB of symbol
// buffer, and sends every two units (or what is left when the input ends) as one block or as two,
// whichever codes smaller: data that keeps its statistics saves a block header and codes on
// counts twice as large, data that changes keeps codes of its own for each half.
//
// Symbol buffer: groups of up to eight symbols, each group headed by a flag byte whose bits, most
// significant first, mark matches (1) and literals (0). A literal takes one byte; a match three:
// length - 3, then the offset's high and low byte.
//
// Block on the wire: 16-bit symbol count; temporary code lengths; literal/length code lengths
// (through the temporary code); position code lengths; then the symbols.
#pragma once

#include <cstdint>

#include "codec/BitWriter.h"
#include "codec/ByteStream.h"
#include "codec/CodecFormat.h"
#include "codec/HuffmanBuilder.h"
#include "codec/ZeroedBlock.h"

namespace codec {

// Position code of a match offset d (distance - 1): 0 for 0, else the number of significant bits.
inline int PositionCode(std::uint32_t offset) {
#if defined(__GNUC__)
  return offset == 0 ? 0 : 32 - __builtin_clz(offset);
#else
  int p = 0;
  while (offset != 0) {
    ++p;
    offset >>= 1;
  }
  return p;
#endif
}

class BlockEncoder : public HuffmanBuilder {
 public:
  static constexpr std::uint32_t UnitSize = 16384;
  static constexpr std::uint32_t SymbolBufferSize = 2 * UnitSize;
  // A new group starting at or past this many bytes into a unit ends the unit (a group needs at
  // most 25 bytes).
  static constexpr std::uint32_t UnitFullAt = UnitSize - 24;
  static_assert(UnitFullAt + 1 + 8 * 3 <= UnitSize + 1);
  // Two units of symbols stay below the 16-bit symbol count and frequencies of a block.
  static_assert(SymbolBufferSize < 65536);

  BlockEncoder();
  bool valid() const { return HuffmanBuilder::valid() && memory_.data() && writer_.valid(); }

 protected:
  // Prepares a new packed stream into `output` for the method's parameters.
  void StartBlocks(ByteOutput* output, const MethodParams& params);

  // Adds one symbol. `originalRead` (bytes of input read so far) becomes the writer's limit. False
  // when the block that had to be sent first could not be sent (the stream stops growing).
  bool EmitLiteral(std::uint8_t byte, std::uint32_t originalRead) {
    writer_.setLimit(originalRead);
    if (!NextGroupSlot()) return false;
    symbols_[symbolPos_++] = byte;
    ++literalFreq_[byte];
    return true;
  }
  bool EmitMatch(std::uint32_t length, std::uint32_t offset, std::uint32_t originalRead) {
    writer_.setLimit(originalRead);
    if (!NextGroupSlot()) return false;
    std::uint8_t* s = symbols_ + symbolPos_;
    s[0] = static_cast<std::uint8_t>(length - MinMatch);
    s[1] = static_cast<std::uint8_t>(offset >> 8);
    s[2] = static_cast<std::uint8_t>(offset);
    symbolPos_ += 3;
    symbols_[flagPos_] |= groupMask_;
    ++literalFreq_[length + LengthSymbolBase];
    ++positionFreq_[PositionCode(offset)];
    return true;
  }

  // Sends the last block and completes the stream. False when the stream did not stay below the
  // limit or could not be written.
  bool FinishBlocks();

  // Sends the symbols gathered so far as one or two blocks and starts anew.
  void SendUnits();

  bool ok() const { return writer_.ok(); }
  std::uint32_t packedCount() const { return writer_.packedCount(); }
  std::uint32_t symbolBufferPosition() const { return symbolPos_; }

 private:
  bool NextGroupSlot() {
    groupMask_ >>= 1;
    if (groupMask_ != 0) return true;
    groupMask_ = 0x80;
    if (symbolPos_ - unitStart_ >= UnitFullAt && !EndUnit()) return false;
    flagPos_ = symbolPos_;
    symbols_[symbolPos_++] = 0;
    return true;
  }

  // At a full unit: sets the first unit apart, or sends both. False when sending failed.
  bool EndUnit();
  // Builds the codes of a block with these frequencies and puts its header (symbol count and the
  // three length tables) to `sink`.
  template <class Sink>
  void PutHeader(Sink& sink, std::uint16_t* literalFreq, std::uint16_t* positionFreq);
  // Bits of a block with these frequencies, leaving out the offsets' extra bits (the same however
  // the symbols are split into blocks).
  std::uint64_t BlockBits(std::uint16_t* literalFreq, std::uint16_t* positionFreq);
  void SendBlock(std::uint32_t begin, std::uint32_t end, std::uint16_t* literalFreq,
                 std::uint16_t* positionFreq);
  void CountTemporaryFrequencies(int count);
  template <class Sink>
  void PutLiteralLengths(Sink& sink, int count);
  template <class Sink>
  void PutSmallLengths(Sink& sink, int count, int countBits, bool zeroRunAfterThird);
  void WriteSymbols(std::uint32_t begin, std::uint32_t end);

  ZeroedBlock memory_;
  std::uint16_t* literalFreq_;    // 2 * LiteralLengthSymbols: symbols, then internal node sums
  std::uint16_t* firstLiteralFreq_;  // the same for the first unit while the second one fills
  std::uint16_t* literalCodes_;   // LiteralLengthSymbols
  std::uint8_t* literalLengths_;  // LiteralLengthSymbols
  std::uint8_t* symbols_;         // SymbolBufferSize

  BitWriter writer_;
  std::uint16_t positionFreq_[2 * MaxPositionCodes] = {};
  std::uint16_t firstPositionFreq_[2 * MaxPositionCodes] = {};
  std::uint16_t temporaryFreq_[2 * TemporarySymbols] = {};
  // Shared by the temporary code and then the position code of one block.
  std::uint8_t smallLengths_[TemporarySymbols] = {};
  std::uint16_t smallCodes_[TemporarySymbols] = {};
  int positionCodes_ = 0;
  int positionCountBits_ = 0;
  std::uint32_t symbolPos_ = 0;
  std::uint32_t unitStart_ = 0;  // 0 while the first unit fills, then where the second one starts
  std::uint32_t flagPos_ = 0;
  std::uint8_t groupMask_ = 0;
};

}  // namespace codec
