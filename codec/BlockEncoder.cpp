#include "codec/BlockEncoder.h"

#include <cstring>

namespace codec {

namespace {
constexpr std::size_t ArrayBytes = sizeof(std::uint16_t) * 4 * LiteralLengthSymbols +
                                   sizeof(std::uint16_t) * LiteralLengthSymbols +
                                   LiteralLengthSymbols + BlockEncoder::SymbolBufferSize;
}  // namespace

BlockEncoder::BlockEncoder() : memory_(ArrayBytes) {
  std::uint8_t* base = memory_.data();
  if (!base) {
    literalFreq_ = firstLiteralFreq_ = literalCodes_ = nullptr;
    literalLengths_ = symbols_ = nullptr;
    return;
  }
  literalFreq_ = reinterpret_cast<std::uint16_t*>(base);
  firstLiteralFreq_ = literalFreq_ + 2 * LiteralLengthSymbols;
  literalCodes_ = firstLiteralFreq_ + 2 * LiteralLengthSymbols;
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
  unitStart_ = 0;
  flagPos_ = 0;
  groupMask_ = 0;
}

bool BlockEncoder::FinishBlocks() {
  SendUnits();
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

template <class Sink>
void BlockEncoder::PutLiteralLengths(Sink& sink, int count) {
  const std::uint8_t* tl = smallLengths_;
  const std::uint16_t* tc = smallCodes_;
  sink.PutBits(LiteralCountBits, static_cast<std::uint32_t>(count));
  WalkLiteralLengths(literalLengths_, count, [&](int symbol, int extraBits, std::uint32_t extra) {
    sink.PutBits(tl[symbol], tc[symbol]);
    if (extraBits != 0) sink.PutBits(extraBits, extra);
  });
}

// Temporary or position lengths: 3 bits up to 6, else three 1-bits, (k - 7) more 1-bits and a
// 0-bit. The temporary table carries a 2-bit count of zero lengths skipped after its third entry.
template <class Sink>
void BlockEncoder::PutSmallLengths(Sink& sink, int count, int countBits, bool zeroRunAfterThird) {
  const std::uint8_t* lengths = smallLengths_;
  sink.PutBits(countBits, static_cast<std::uint32_t>(count));
  int i = 0;
  while (i < count) {
    const int k = lengths[i++];
    if (k <= 6)
      sink.PutBits(3, static_cast<std::uint32_t>(k));
    else
      sink.PutBits(k - 3, (1u << (k - 3)) - 2);
    if (zeroRunAfterThird && i == 3) {
      while (i < 6 && lengths[i] == 0) ++i;
      sink.PutBits(2, static_cast<std::uint32_t>(i - 3));
    }
  }
}

void BlockEncoder::WriteSymbols(std::uint32_t begin, std::uint32_t endPos) {
  const std::uint8_t* s = symbols_ + begin;
  const std::uint8_t* end = symbols_ + endPos;
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

namespace {

// A sink that only counts the bits put to it.
struct BitCounter {
  std::uint64_t bits = 0;
  void PutBits(int n, std::uint32_t) { bits += static_cast<std::uint32_t>(n); }
};

}  // namespace

template <class Sink>
void BlockEncoder::PutHeader(Sink& sink, std::uint16_t* literalFreq, std::uint16_t* positionFreq) {
  int root = MakeTree(LiteralLengthSymbols, literalFreq, literalLengths_, literalCodes_);
  sink.PutBits(16, literalFreq[root]);
  if (root >= LiteralLengthSymbols) {
    int count = LiteralLengthSymbols;
    while (count > 0 && literalLengths_[count - 1] == 0) --count;
    CountTemporaryFrequencies(count);
    const int troot = MakeTree(TemporarySymbols, temporaryFreq_, smallLengths_, smallCodes_);
    if (troot >= TemporarySymbols) {
      int tcount = TemporarySymbols;
      while (tcount > 0 && smallLengths_[tcount - 1] == 0) --tcount;
      PutSmallLengths(sink, tcount, TemporaryCountBits, true);
    } else {
      sink.PutBits(TemporaryCountBits, 0);
      sink.PutBits(TemporaryCountBits, static_cast<std::uint32_t>(troot));
    }
    PutLiteralLengths(sink, count);
  } else {
    sink.PutBits(TemporaryCountBits, 0);
    sink.PutBits(TemporaryCountBits, 0);
    sink.PutBits(LiteralCountBits, 0);
    sink.PutBits(LiteralCountBits, static_cast<std::uint32_t>(root));
  }

  const int proot = MakeTree(positionCodes_, positionFreq, smallLengths_, smallCodes_);
  if (proot >= positionCodes_) {
    int pcount = positionCodes_;
    while (pcount > 0 && smallLengths_[pcount - 1] == 0) --pcount;
    PutSmallLengths(sink, pcount, positionCountBits_, false);
  } else {
    sink.PutBits(positionCountBits_, 0);
    sink.PutBits(positionCountBits_, static_cast<std::uint32_t>(proot));
  }
}

std::uint64_t BlockEncoder::BlockBits(std::uint16_t* literalFreq, std::uint16_t* positionFreq) {
  BitCounter counter;
  PutHeader(counter, literalFreq, positionFreq);
  std::uint64_t bits = counter.bits;
  for (int i = 0; i < LiteralLengthSymbols; ++i)
    bits += std::uint64_t{literalFreq[i]} * literalLengths_[i];
  for (int i = 0; i < positionCodes_; ++i) bits += std::uint64_t{positionFreq[i]} * smallLengths_[i];
  return bits;
}

void BlockEncoder::SendBlock(std::uint32_t begin, std::uint32_t end, std::uint16_t* literalFreq,
                             std::uint16_t* positionFreq) {
  PutHeader(writer_, literalFreq, positionFreq);
  WriteSymbols(begin, end);
  // The limit changes with the next symbol: this block's bytes are checked against today's.
  writer_.EmitWholeBytes();
}

bool BlockEncoder::EndUnit() {
  if (unitStart_ != 0) {
    SendUnits();
    return writer_.ok();
  }
  // The first unit is full: keep its counts apart and start the second one behind it.
  std::memcpy(firstLiteralFreq_, literalFreq_, sizeof(std::uint16_t) * LiteralLengthSymbols);
  std::memcpy(firstPositionFreq_, positionFreq_, sizeof positionFreq_);
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * 2 * LiteralLengthSymbols);
  std::memset(positionFreq_, 0, sizeof positionFreq_);
  unitStart_ = symbolPos_;
  return true;
}

void BlockEncoder::SendUnits() {
  if (unitStart_ == 0) {
    SendBlock(0, symbolPos_, literalFreq_, positionFreq_);
  } else {
    const std::uint64_t apart =
        BlockBits(firstLiteralFreq_, firstPositionFreq_) + BlockBits(literalFreq_, positionFreq_);
    // The first unit's counts become those of both units.
    for (int i = 0; i < LiteralLengthSymbols; ++i) firstLiteralFreq_[i] += literalFreq_[i];
    for (int i = 0; i < positionCodes_; ++i) firstPositionFreq_[i] += positionFreq_[i];
    if (BlockBits(firstLiteralFreq_, firstPositionFreq_) <= apart) {
      SendBlock(0, symbolPos_, firstLiteralFreq_, firstPositionFreq_);
    } else {
      for (int i = 0; i < LiteralLengthSymbols; ++i) firstLiteralFreq_[i] -= literalFreq_[i];
      for (int i = 0; i < positionCodes_; ++i) firstPositionFreq_[i] -= positionFreq_[i];
      SendBlock(0, unitStart_, firstLiteralFreq_, firstPositionFreq_);
      if (writer_.ok()) SendBlock(unitStart_, symbolPos_, literalFreq_, positionFreq_);
    }
  }
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * 2 * LiteralLengthSymbols);
  std::memset(positionFreq_, 0, sizeof positionFreq_);
  symbolPos_ = 0;
  unitStart_ = 0;
}

}  // namespace codec
