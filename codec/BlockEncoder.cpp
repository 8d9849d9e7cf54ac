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

// Frequencies of the temporary code, from the same walk that writes the literal/length lengths.
void BlockEncoder::CountTemporaryFrequencies(int count) {
  std::memset(temporaryFreq_, 0, sizeof temporaryFreq_);
  const std::uint8_t* lengths = literalLengths_;
  int i = 0;
  while (i < count) {
    const int k = lengths[i++];
    if (k != 0) {
      ++temporaryFreq_[k + 2];
      continue;
    }
    int run = 1;
    while (i < count && lengths[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      temporaryFreq_[0] = static_cast<std::uint16_t>(temporaryFreq_[0] + run);
    } else if (run <= 18) {
      ++temporaryFreq_[1];
    } else if (run == 19) {
      ++temporaryFreq_[0];
      ++temporaryFreq_[1];
    } else {
      ++temporaryFreq_[2];
    }
  }
}

// Literal/length lengths through the temporary code. Zero runs: 1-2 as single zeros, 3-18 as
// symbol 1 + 4 bits, 19 as a single zero and a run of 18 (a long run starts at 20), 20 or more as
// symbol 2 + 9 bits.
void BlockEncoder::WriteLiteralLengths(int count) {
  const std::uint8_t* lengths = literalLengths_;
  const std::uint8_t* tl = smallLengths_;
  const std::uint16_t* tc = smallCodes_;
  writer_.PutBits(LiteralCountBits, static_cast<std::uint32_t>(count));
  int i = 0;
  while (i < count) {
    const int k = lengths[i++];
    if (k != 0) {
      writer_.PutBits(tl[k + 2], tc[k + 2]);
      continue;
    }
    int run = 1;
    while (i < count && lengths[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (int r = 0; r < run; ++r) writer_.PutBits(tl[0], tc[0]);
    } else if (run <= 18) {
      writer_.PutBits(tl[1], tc[1]);
      writer_.PutBits(4, static_cast<std::uint32_t>(run - 3));
    } else if (run == 19) {
      writer_.PutBits(tl[0], tc[0]);
      writer_.PutBits(tl[1], tc[1]);
      writer_.PutBits(4, 15);
    } else {
      writer_.PutBits(tl[2], tc[2]);
      writer_.PutBits(9, static_cast<std::uint32_t>(run - 20));
    }
  }
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
  std::memset(literalFreq_, 0, sizeof(std::uint16_t) * 2 * LiteralLengthSymbols);
  std::memset(positionFreq_, 0, sizeof positionFreq_);
}

}  // namespace codec
