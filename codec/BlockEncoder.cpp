#include "codec/BlockEncoder.h"

#include <cstring>

namespace codec {

namespace {
constexpr std::size_t ArrayBytes = sizeof(std::uint16_t) * 2 * LiteralLengthSymbols +
                                   sizeof(std::uint16_t) * LiteralLengthSymbols +
                                   LiteralLengthSymbols + BlockEncoder::SymbolBufferSize;
}  // namespace

BlockEncoder::BlockEncoder() : memory_(ArrayBytes) {
  std::uint8_t* base = memory_.data();
  if (!base) {
    literalFreq_ = literalCodes_ = nullptr;
    literalLengths_ = symbols_ = nullptr;
    return;
  }
  literalFreq_ = reinterpret_cast<std::uint16_t*>(base);
  literalCodes_ = literalFreq_ + 2 * LiteralLengthSymbols;
  literalLengths_ = reinterpret_cast<std::uint8_t*>(literalCodes_ + LiteralLengthSymbols);
  symbols_ = literalLengths_ + LiteralLengthSymbols;
}

void BlockEncoder::StartBlocks(ByteOutput* output, const MethodParams& params) {
  writer_.Start(output);
  positionCodes_ = params.positionCodesWritten;
  positionCountBits_ = params.positionCountBits;
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * 2 * LiteralLengthSymbols);
  std::memset(positionFreq_, 0, sizeof positionFreq_);
  symbolPos_ = 0;
  flagPos_ = 0;
  groupMask_ = 0;
}

bool BlockEncoder::FinishBlocks() {
  SendBlock();
  writer_.Finish();
  return writer_.ok();
}

namespace {

// The literal/length lengths as temporary-code symbols, each with its extra bits: a length k is
// symbol k + 2; zero runs of 1-2 are single zeros (symbol 0), 3-18 symbol 1 + 4 bits, 19 a single
// zero and a run of 18 (a long run starts at 20), 20 or more symbol 2 + 9 bits. Counting the
// frequencies and writing the table walk the lengths through this one rule.
template <class Emit>
void WalkLiteralLengths(const std::uint8_t* lengths, int count, Emit emit) {
  int i = 0;
  while (i < count) {
    const int k = lengths[i++];
    if (k != 0) {
      emit(k + 2, 0, 0u);
      continue;
    }
    int run = 1;
    while (i < count && lengths[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (int r = 0; r < run; ++r) emit(0, 0, 0u);
    } else if (run <= 18) {
      emit(1, 4, static_cast<std::uint32_t>(run - 3));
    } else if (run == 19) {
      emit(0, 0, 0u);
      emit(1, 4, 15u);
    } else {
      emit(2, 9, static_cast<std::uint32_t>(run - 20));
    }
  }
}

}  // namespace

void BlockEncoder::CountTemporaryFrequencies(int count) {
  std::memset(temporaryFreq_, 0, sizeof temporaryFreq_);
  WalkLiteralLengths(literalLengths_, count,
                     [this](int symbol, int, std::uint32_t) { ++temporaryFreq_[symbol]; });
}

void BlockEncoder::WriteLiteralLengths(int count) {
  const std::uint8_t* tl = smallLengths_;
  const std::uint16_t* tc = smallCodes_;
  writer_.PutBits(LiteralCountBits, static_cast<std::uint32_t>(count));
  WalkLiteralLengths(literalLengths_, count, [&](int symbol, int extraBits, std::uint32_t extra) {
    writer_.PutBits(tl[symbol], tc[symbol]);
    if (extraBits != 0) writer_.PutBits(extraBits, extra);
  });
}

// Temporary or position lengths: 3 bits up to 6, else three 1-bits, (k - 7) more 1-bits and a
// 0-bit. The temporary table carries a 2-bit count of zero lengths skipped after its third entry.
void BlockEncoder::WriteSmallLengths(int count, int countBits, bool zeroRunAfterThird) {
  const std::uint8_t* lengths = smallLengths_;
  writer_.PutBits(countBits, static_cast<std::uint32_t>(count));
  int i = 0;
  while (i < count) {
    const int k = lengths[i++];
    if (k <= 6)
      writer_.PutBits(3, static_cast<std::uint32_t>(k));
    else
      writer_.PutBits(k - 3, (1u << (k - 3)) - 2);
    if (zeroRunAfterThird && i == 3) {
      while (i < 6 && lengths[i] == 0) ++i;
      writer_.PutBits(2, static_cast<std::uint32_t>(i - 3));
    }
  }
}

void BlockEncoder::WriteSymbols() {
  const std::uint8_t* s = symbols_;
  const std::uint8_t* end = symbols_ + symbolPos_;
  const std::uint8_t* ll = literalLengths_;
  const std::uint16_t* lc = literalCodes_;
  const std::uint8_t* pl = smallLengths_;
  const std::uint16_t* pc = smallCodes_;
  BitWriter& w = writer_;
  while (s < end && w.ok()) {
    const unsigned flags = *s++;
    for (unsigned mask = 0x80; mask != 0 && s < end; mask >>= 1) {
      if (flags & mask) {
        const unsigned symbol = s[0] + 256u;
        const std::uint32_t offset = (std::uint32_t{s[1]} << 8) | s[2];
        s += 3;
        w.PutBits(ll[symbol], lc[symbol]);
        const int p = PositionCode(offset);
        w.PutBits(pl[p], pc[p]);
        if (p >= 2) w.PutBits(p - 1, offset);
      } else {
        const unsigned symbol = *s++;
        w.PutBits(ll[symbol], lc[symbol]);
      }
    }
  }
}

void BlockEncoder::SendBlock() {
  int root = MakeTree(LiteralLengthSymbols, literalFreq_, literalLengths_, literalCodes_);
  writer_.PutBits(16, literalFreq_[root]);
  if (root >= LiteralLengthSymbols) {
    int count = LiteralLengthSymbols;
    while (count > 0 && literalLengths_[count - 1] == 0) --count;
    CountTemporaryFrequencies(count);
    const int troot = MakeTree(TemporarySymbols, temporaryFreq_, smallLengths_, smallCodes_);
    if (troot >= TemporarySymbols) {
      int tcount = TemporarySymbols;
      while (tcount > 0 && smallLengths_[tcount - 1] == 0) --tcount;
      WriteSmallLengths(tcount, TemporaryCountBits, true);
    } else {
      writer_.PutBits(TemporaryCountBits, 0);
      writer_.PutBits(TemporaryCountBits, static_cast<std::uint32_t>(troot));
    }
    WriteLiteralLengths(count);
  } else {
    writer_.PutBits(TemporaryCountBits, 0);
    writer_.PutBits(TemporaryCountBits, 0);
    writer_.PutBits(LiteralCountBits, 0);
    writer_.PutBits(LiteralCountBits, static_cast<std::uint32_t>(root));
  }

  const int proot = MakeTree(positionCodes_, positionFreq_, smallLengths_, smallCodes_);
  if (proot >= positionCodes_) {
    int pcount = positionCodes_;
    while (pcount > 0 && smallLengths_[pcount - 1] == 0) --pcount;
    WriteSmallLengths(pcount, positionCountBits_, false);
  } else {
    writer_.PutBits(positionCountBits_, 0);
    writer_.PutBits(positionCountBits_, static_cast<std::uint32_t>(proot));
  }

  WriteSymbols();
  // The limit changes with the next symbol: this block's bytes are checked against today's.
  writer_.EmitWholeBytes();
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * 2 * LiteralLengthSymbols);
  std::memset(positionFreq_, 0, sizeof positionFreq_);
}

}  // namespace codec
