#include "codec/Decoder.h"

#include <cstring>
#include <new>

#include "codec/BitReader.h"

namespace codec {
namespace {

// The fast loop needs this much output room per symbol: a whole match plus the overshoot of a
// match copied in 16-byte blocks.
constexpr std::size_t FastOutputMargin = MaxMatch + 16;
// ...and 8 readable input bytes for one refill of its 64-bit bit buffer.
constexpr std::size_t FastInputMargin = 8;

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  return (std::uint64_t{p[0]} << 56) | (std::uint64_t{p[1]} << 48) | (std::uint64_t{p[2]} << 40) |
         (std::uint64_t{p[3]} << 32) | (std::uint64_t{p[4]} << 24) | (std::uint64_t{p[5]} << 16) |
         (std::uint64_t{p[6]} << 8) | std::uint64_t{p[7]};
#endif
}

// Follows tree nodes from `node` with the bits of `window` (16 bits, first on top) that come
// after the first tableBits. Node numbers grow along every path, so the walk ends; a code of at
// most MaxCodeLength bits ends within the window.
inline std::uint32_t WalkTree(std::uint32_t node, std::uint32_t window, int tableBits,
                              std::uint32_t symbolCount, const DecodeBranches& branches) {
  std::uint32_t mask = std::uint32_t{1} << (15 - tableBits);
  while (node >= symbolCount) {
    node = (window & mask) ? branches.one[node] : branches.zero[node];
    mask >>= 1;
  }
  return node;
}

// Decodes one symbol with the BitReader (tables of tableBits bits) and consumes its code.
inline std::uint32_t DecodeSymbol(BitReader& reader, const std::uint32_t* table, int tableBits,
                                  std::uint32_t symbolCount, const std::uint8_t* lengths,
                                  const DecodeBranches& branches) {
  const std::uint32_t window = reader.Window();
  const std::uint32_t entry = table[window >> (16 - tableBits)];
  std::uint32_t symbol = entry & EntryValueMask;
  unsigned length;
  if (symbol < symbolCount) {
    length = entry >> EntryLengthShift;
  } else {
    symbol = WalkTree(symbol, window, tableBits, symbolCount, branches);
    length = lengths[symbol];
  }
  reader.SkipBits(length);
  return symbol;
}

// A length in the 3-bit form: 0..6 as they stand, 7 followed by one 1-bit per further step and a
// closing 0-bit. False for a length above MaxCodeLength, which no code here may have; this also
// stops a run of 1-bits in damaged data early.
bool ReadBitLength(BitReader& reader, std::uint8_t* length) {
  std::uint32_t value = reader.GetBits(3);
  if (value == 7) {
    while (reader.GetBits(1) != 0) {
      if (++value > std::uint32_t(MaxCodeLength)) return false;
    }
  }
  *length = std::uint8_t(value);
  return true;
}

// The temporary table (zeroRun: after the third length, 2 bits give a run of zero lengths) or the
// position table: a count of countBits bits, at most symbolCount; 0 means a single symbol,
// given in as many bits again. A zero run reaching past the count is cut at the count: lengths
// past it are zero anyway.
int ReadSmallTable(BitReader& reader, DecodeWork& work, int countBits, std::uint32_t symbolCount,
                   bool zeroRun) {
  std::uint8_t* lengths = work.smallLengths;
  std::memset(lengths, 0, TemporarySymbols);
  const std::uint32_t count = reader.GetBits(unsigned(countBits));
  if (count == 0) {
    const std::uint32_t symbol = reader.GetBits(unsigned(countBits));
    if (symbol >= symbolCount) return DecodeCorrupt;
    MakeSingleSymbolTable(symbol, SmallTableBits, work.smallTable);
    return DecodeOk;
  }
  if (count > symbolCount) return DecodeCorrupt;
  std::uint32_t i = 0;
  while (i < count) {
    if (!ReadBitLength(reader, &lengths[i])) return DecodeCorrupt;
    ++i;
    if (zeroRun && i == 3) {
      std::uint32_t zeros = reader.GetBits(2);
      for (; zeros > 0 && i < count; --zeros) lengths[i++] = 0;
    }
  }
  if (!MakeDecodeTable(int(symbolCount), lengths, SmallTableBits, work.smallTable,
                       &work.branches)) {
    return DecodeCorrupt;
  }
  return DecodeOk;
}

// The literal/length table: a 9-bit count, at most 510 (0: one symbol in 9 more bits); then
// entries coded with the temporary code: 0 one zero length, 1 + 4 bits z: z + 3 zero lengths,
// 2 + 9 bits z: z + 20 zero lengths, t >= 3: length t - 2. A zero run past the count is cut there.
int ReadLiteralTable(BitReader& reader, DecodeWork& work) {
  std::uint8_t* lengths = work.literalLengths;
  const std::uint32_t count = reader.GetBits(LiteralCountBits);
  if (count == 0) {
    const std::uint32_t symbol = reader.GetBits(LiteralCountBits);
    if (symbol >= std::uint32_t(LiteralLengthSymbols)) return DecodeCorrupt;
    std::memset(lengths, 0, LiteralLengthSymbols);
    MakeSingleSymbolTable(symbol, LiteralTableBits, work.literalTable);
    return DecodeOk;
  }
  if (count > std::uint32_t(LiteralLengthSymbols)) return DecodeBadLiteralCount;
  std::uint32_t i = 0;
  while (i < count) {
    const std::uint32_t t = DecodeSymbol(reader, work.smallTable, SmallTableBits, TemporarySymbols,
                                         work.smallLengths, work.branches);
    if (t >= 3) {
      lengths[i++] = std::uint8_t(t - 2);
      continue;
    }
    std::uint32_t zeros = 1;
    if (t == 1) zeros = reader.GetBits(4) + 3;
    if (t == 2) zeros = reader.GetBits(9) + 20;
    for (; zeros > 0 && i < count; --zeros) lengths[i++] = 0;
  }
  std::memset(lengths + count, 0, LiteralLengthSymbols - count);
  if (!MakeDecodeTable(LiteralLengthSymbols, lengths, LiteralTableBits, work.literalTable,
                       &work.branches)) {
    return DecodeCorrupt;
  }
  return DecodeOk;
}

// Block header: 16-bit symbol count, then the temporary, literal/length and position tables.
// A count of 0 is never written; such a block goes on until the member is complete, as a 32-bit
// count that wraps below zero would.
// Data that ends inside a header is reported as such, whatever the missing bits made of a count.
int ReadBlockHeader(BitReader& reader, DecodeWork& work, std::uint64_t* symbols) {
  const std::uint32_t count = reader.GetBits(16);
  *symbols = count != 0 ? count : std::uint64_t{1} << 32;
  int result = ReadSmallTable(reader, work, TemporaryCountBits, TemporarySymbols, true);
  if (result == DecodeOk) result = ReadLiteralTable(reader, work);
  if (result == DecodeOk) {
    result = ReadSmallTable(reader, work, int(work.positionCountBits), work.positionCodes, false);
  }
  return reader.Overrun() ? DecodeCorrupt : result;
}

// Where one decoding stands between the loops.
struct DecodeState {
  std::uint8_t* out;
  std::uint64_t blockLeft;
};

// The hot loop. Runs while the current block has symbols, 8 bytes of input are readable for a
// refill and a whole match fits in the output with room to spare, so no symbol needs a bounds
// check. Bits come from a 64-bit buffer refilled before each match or run of up to three
// literals (a match with its position code and extra bits takes at most 16 + 16 + 15 bits, three
// literals at most 3 x 16; a refill leaves at least 56). Returns false for a match that reaches
// before the start of the output.
bool FastLoop(BitReader& reader, const DecodeWork& work, std::uint8_t* const output,
              std::uint8_t* const outEnd, DecodeState& state) {
  const std::uint8_t* const packed = reader.Begin();
  const std::uint64_t startBit = reader.BitPosition();
  const std::uint8_t* in = packed + startBit / 8;
  std::uint8_t* out = state.out;
  if (std::size_t(reader.Limit() - in) < FastInputMargin ||
      std::size_t(outEnd - out) < FastOutputMargin || state.blockLeft == 0) {
    return true;
  }
  const std::uint8_t* const inLast = reader.Limit() - FastInputMargin;
  std::uint8_t* const outLast = outEnd - FastOutputMargin;
  std::uint64_t blockLeft = state.blockLeft;
  const std::uint32_t positionCodes = work.positionCodes;
  const std::uint32_t* const literalTable = work.literalTable;
  const std::uint32_t* const positionTable = work.smallTable;

  // Left-aligned bit buffer: `avail` valid bits on top; the bits below are the stream's next bits
  // too, so a refill may OR the same bits in again.
  std::uint64_t bits = LoadBigEndian64(in) << (startBit % 8);
  unsigned avail = 56 - unsigned(startBit % 8);
  in += 7;
  bool ok = true;

  while (blockLeft != 0 && in <= inLast && out <= outLast) {
    bits |= LoadBigEndian64(in) >> avail;
    in += (63 - avail) >> 3;
    avail |= 56;

    std::uint32_t entry = literalTable[bits >> (64 - LiteralTableBits)];
    std::uint32_t symbol = entry & EntryValueMask;
    --blockLeft;
    if (symbol < 256) {
      unsigned length = entry >> EntryLengthShift;
      bits <<= length;
      avail -= length;
      *out++ = std::uint8_t(symbol);
      // Two more literals fit the same refill: a direct-table code takes at most 16 bits, and a
      // few bytes past outLast are still inside the margin.
      for (int more = 0; more < 2 && blockLeft != 0; ++more) {
        entry = literalTable[bits >> (64 - LiteralTableBits)];
        symbol = entry & EntryValueMask;
        if (symbol >= 256) break;
        --blockLeft;
        length = entry >> EntryLengthShift;
        bits <<= length;
        avail -= length;
        *out++ = std::uint8_t(symbol);
      }
      continue;
    }
    unsigned length;
    if (symbol < std::uint32_t(LiteralLengthSymbols)) {
      length = entry >> EntryLengthShift;
    } else {
      symbol = WalkTree(symbol, std::uint32_t(bits >> 48), LiteralTableBits, LiteralLengthSymbols,
                        work.branches);
      length = work.literalLengths[symbol];
    }
    bits <<= length;
    avail -= length;
    if (symbol < 256) {
      *out++ = std::uint8_t(symbol);
      continue;
    }
    const std::uint32_t matchLength = symbol - LengthSymbolBase;

    entry = positionTable[bits >> (64 - SmallTableBits)];
    std::uint32_t code = entry & EntryValueMask;
    if (code < positionCodes) {
      length = entry >> EntryLengthShift;
    } else {
      code = WalkTree(code, std::uint32_t(bits >> 48), SmallTableBits, positionCodes,
                      work.branches);
      length = work.smallLengths[code];
    }
    bits <<= length;
    avail -= length;
    std::size_t distance = code;  // offset: 0 is the byte just before
    if (code >= 2) {
      const unsigned extra = code - 1;
      distance = (std::size_t{1} << extra) | std::size_t(bits >> (64 - extra));
      bits <<= extra;
      avail -= extra;
    }
    if (distance >= std::size_t(out - output)) {
      ok = false;
      break;
    }
    const std::uint8_t* from = out - distance - 1;
    if (distance >= 15) {
      // Source and destination are at least 16 apart: block copies see only finished bytes.
      std::uint8_t* to = out;
      std::uint8_t* const end = out + matchLength;
      do {
        std::memcpy(to, from, 16);
        to += 16;
        from += 16;
      } while (to < end);
    } else if (distance >= 7) {
      // At least 8 apart: the same with words.
      std::uint8_t* to = out;
      std::uint8_t* const end = out + matchLength;
      do {
        std::memcpy(to, from, 8);
        to += 8;
        from += 8;
      } while (to < end);
    } else if (distance == 0) {
      std::memset(out, out[-1], matchLength);
    } else {
      for (std::uint32_t i = 0; i < matchLength; ++i) out[i] = from[i];
    }
    out += matchLength;
  }

  state.out = out;
  state.blockLeft = blockLeft;
  reader.Seek(std::uint64_t(in - packed) * 8 - avail);
  return ok;
}

// One symbol with every check, for the end of the input or output. Returns false for a match
// that reaches before the start of the output.
bool CarefulStep(BitReader& reader, const DecodeWork& work, std::uint8_t* const output,
                 std::uint8_t* const outEnd, DecodeState& state) {
  const std::uint32_t symbol =
      DecodeSymbol(reader, work.literalTable, LiteralTableBits, LiteralLengthSymbols,
                   work.literalLengths, work.branches);
  --state.blockLeft;
  std::uint8_t* out = state.out;
  if (symbol < 256) {
    *out++ = std::uint8_t(symbol);
    state.out = out;
    return true;
  }
  std::size_t matchLength = symbol - LengthSymbolBase;
  const std::uint32_t code = DecodeSymbol(reader, work.smallTable, SmallTableBits,
                                          work.positionCodes, work.smallLengths, work.branches);
  std::size_t distance = code;
  if (code >= 2) distance = (std::size_t{1} << (code - 1)) | reader.GetBits(code - 1);
  if (distance >= std::size_t(out - output)) return false;
  // The part of a match beyond the original size is not written.
  if (matchLength > std::size_t(outEnd - out)) matchLength = std::size_t(outEnd - out);
  const std::uint8_t* from = out - distance - 1;
  for (std::size_t i = 0; i < matchLength; ++i) out[i] = from[i];
  state.out = out + matchLength;
  return true;
}

}  // namespace

int DecodeStream(std::uint8_t* output, const std::uint8_t* packed, std::uint32_t packedSize,
                 int method, std::uint32_t originalSize, void* workArea) {
  MethodParams params;
  if (!GetMethodParams(method, &params)) return DecodeCorrupt;
  DecodeWork& work = *new (workArea) DecodeWork;
  work.positionCodes = std::uint32_t(params.positionCodesAccepted);
  work.positionCountBits = std::uint32_t(params.positionCountBits);

  BitReader reader;
  reader.Start(packed, packedSize);
  std::uint8_t* const outEnd = output + originalSize;
  DecodeState state{output, 0};
  while (state.out != outEnd) {
    if (state.blockLeft == 0) {
      const int result = ReadBlockHeader(reader, work, &state.blockLeft);
      if (result != DecodeOk) return result;
    }
    if (!FastLoop(reader, work, output, outEnd, state)) return DecodeCorrupt;
    if (state.out == outEnd || state.blockLeft == 0) continue;
    if (!CarefulStep(reader, work, output, outEnd, state)) return DecodeCorrupt;
    if (reader.Overrun()) return DecodeCorrupt;
  }
  return DecodeOk;
}

}  // namespace codec
