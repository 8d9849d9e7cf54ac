#include "TestBitstream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "codec/BitReader.h"
#include "codec/CodecFormat.h"
#include "codec/Decoder.h"

namespace testbits {

std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
  std::uint32_t count[18] = {};
  for (std::uint8_t l : lengths) count[l]++;
  std::uint32_t start[18] = {};
  for (int k = 1; k <= 16; ++k) start[k + 1] = (start[k] + count[k]) << 1;
  std::vector<std::uint32_t> codes(lengths.size());
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = start[lengths[s]]++;
  }
  return codes;
}

void PutBitLength(BitWriter& w, int length) {
  if (length < 7) {
    w.Put(3, std::uint32_t(length));
    return;
  }
  w.Put(3, 7);
  for (int i = 7; i < length; ++i) w.Put(1, 1);
  w.Put(1, 0);
}

int PositionCode(std::uint32_t offset) {
  int p = 0;
  while (offset != 0) {
    ++p;
    offset >>= 1;
  }
  return p;
}

namespace {

struct Code {
  bool single = false;
  int symbol = 0;
  std::vector<std::uint8_t> lengths;
  std::vector<std::uint32_t> codes;
};

int CeilLog2(std::size_t n) {
  int bits = 0;
  while ((std::size_t{1} << bits) < n) ++bits;
  return bits;
}

Code Derive(const std::set<int>& used, int alphabet, bool deep, bool allowSingle) {
  Code code;
  code.lengths.assign(std::size_t(alphabet), 0);
  if (used.empty() || (used.size() == 1 && allowSingle)) {
    code.single = true;
    code.symbol = used.empty() ? 0 : *used.begin();
    return code;
  }
  const std::vector<int> symbols(used.begin(), used.end());
  const std::size_t k = symbols.size();
  if (!deep) {
    const int length = std::max(1, CeilLog2(k));
    for (int s : symbols) code.lengths[std::size_t(s)] = std::uint8_t(length);
  } else {
    // Lengths 1..m for the first m symbols (taken from the back so that the length order differs
    // from the symbol order), then the rest sharing the remaining 2^-m of the code space.
    std::size_t m = 0;
    while (m + 1 < k && m + 1 <= 15 && int(m + 1) + CeilLog2(k - m - 1) <= 16) ++m;
    const int restLength = int(m) + CeilLog2(k - m);
    for (std::size_t i = 0; i < k; ++i) {
      const int s = symbols[k - 1 - i];
      code.lengths[std::size_t(s)] = std::uint8_t(i < m ? int(i) + 1 : std::max(restLength, 1));
    }
  }
  code.codes = CanonicalCodes(code.lengths);
  return code;
}

std::size_t Trimmed(const std::vector<std::uint8_t>& lengths) {
  std::size_t n = lengths.size();
  while (n > 0 && lengths[n - 1] == 0) --n;
  return n;
}

Code Explicit(const std::vector<std::uint8_t>& lengths) {
  Code code;
  code.lengths = lengths;
  code.codes = CanonicalCodes(lengths);
  return code;
}

void PutSymbol(BitWriter& w, const Code& code, int symbol) {
  if (!code.single) w.Put(code.lengths[std::size_t(symbol)], code.codes[std::size_t(symbol)]);
}

}  // namespace

void WriteBlock(BitWriter& w, const Block& block, int method) {
  codec::MethodParams params{};
  codec::GetMethodParams(method, &params);
  const int positionCodes = params.positionCodesAccepted;

  std::set<int> usedLiterals, usedPositions;
  for (const Symbol& s : block.symbols) {
    if (s.literal >= 0) {
      usedLiterals.insert(s.literal);
    } else {
      usedLiterals.insert(s.length + codec::LengthSymbolBase);
      usedPositions.insert(PositionCode(s.offset));
    }
  }
  const Code literal = block.literalLengths.empty()
                           ? Derive(usedLiterals, codec::LiteralLengthSymbols, block.deepCodes,
                                    block.allowSingle)
                           : Explicit(block.literalLengths);
  const Code position = block.positionLengths.empty()
                            ? Derive(usedPositions, positionCodes, block.deepCodes,
                                     block.allowSingle)
                            : Explicit(block.positionLengths);

  // The literal/length lengths as temporary symbols (with their run bits).
  struct Temp {
    int symbol;
    int bits;
    std::uint32_t value;
  };
  std::vector<Temp> temps;
  const std::size_t n = Trimmed(literal.lengths);
  for (std::size_t i = 0; i < n;) {
    if (literal.lengths[i] != 0) {
      temps.push_back({literal.lengths[i] + 2, 0, 0});
      ++i;
      continue;
    }
    std::size_t run = 0;
    while (i + run < n && literal.lengths[i + run] == 0) ++run;
    i += run;
    if (run <= 2) {
      for (std::size_t r = 0; r < run; ++r) temps.push_back({0, 0, 0});
    } else if (run <= 18) {
      temps.push_back({1, 4, std::uint32_t(run - 3)});
    } else if (run == 19) {
      temps.push_back({0, 0, 0});
      temps.push_back({1, 4, 15});
    } else {
      temps.push_back({2, 9, std::uint32_t(run - 20)});
    }
  }
  std::set<int> usedTemps;
  for (const Temp& t : temps) usedTemps.insert(t.symbol);
  const Code temp = Derive(usedTemps, codec::TemporarySymbols, false, true);

  if (block.countField < 0 && block.symbols.size() > 0xFFFF) std::abort();  // misuse by a test
  w.Put(16, std::uint32_t(block.countField >= 0 ? block.countField : int(block.symbols.size())));
  if (literal.single) {
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, std::uint32_t(literal.symbol));
  } else {
    if (temp.single) {
      w.Put(5, 0);
      w.Put(5, std::uint32_t(temp.symbol));
    } else {
      const std::size_t tn = Trimmed(temp.lengths);
      w.Put(5, std::uint32_t(tn));
      for (std::size_t i = 0; i < tn; ++i) {
        PutBitLength(w, temp.lengths[i]);
        if (i == 2) {
          std::size_t zeros = 0;
          while (3 + zeros < 6 && temp.lengths[3 + zeros] == 0) ++zeros;
          w.Put(2, std::uint32_t(zeros));
          i += zeros;
        }
      }
    }
    w.Put(9, std::uint32_t(n));
    for (const Temp& t : temps) {
      PutSymbol(w, temp, t.symbol);
      w.Put(t.bits, t.value);
    }
  }
  if (position.single) {
    w.Put(params.positionCountBits, 0);
    w.Put(params.positionCountBits, std::uint32_t(position.symbol));
  } else {
    const std::size_t pn = Trimmed(position.lengths);
    w.Put(params.positionCountBits, std::uint32_t(pn));
    for (std::size_t i = 0; i < pn; ++i) PutBitLength(w, position.lengths[i]);
  }

  for (const Symbol& s : block.symbols) {
    if (s.literal >= 0) {
      PutSymbol(w, literal, s.literal);
      continue;
    }
    PutSymbol(w, literal, s.length + codec::LengthSymbolBase);
    const int p = PositionCode(s.offset);
    PutSymbol(w, position, p);
    if (p >= 2) w.Put(p - 1, s.offset & ((1u << (p - 1)) - 1));
  }
}

std::vector<std::uint8_t> Expand(const std::vector<Block>& blocks, std::size_t originalSize) {
  std::vector<std::uint8_t> out;
  for (const Block& block : blocks) {
    for (const Symbol& s : block.symbols) {
      if (s.literal >= 0) {
        out.push_back(std::uint8_t(s.literal));
      } else {
        for (int i = 0; i < s.length; ++i) out.push_back(out[out.size() - s.offset - 1]);
      }
    }
  }
  out.resize(std::min(out.size(), originalSize));
  return out;
}

std::vector<std::uint8_t> Pack(const std::vector<Block>& blocks, int method) {
  BitWriter w;
  for (const Block& b : blocks) WriteBlock(w, b, method);
  return w.Finish();
}

RandomStream MakeRandomStream(std::mt19937& rng, int method, std::size_t size, bool deepCodes) {
  codec::MethodParams params{};
  codec::GetMethodParams(method, &params);
  RandomStream stream;
  const int alphabet = 2 + int(rng() % 255);
  const int matchPercent = int(rng() % 90);
  std::size_t produced = 0;
  while (produced < size) {
    Block block;
    block.deepCodes = deepCodes;
    const std::size_t symbols = 1 + rng() % 3000;
    for (std::size_t i = 0; i < symbols && produced < size; ++i) {
      const std::size_t left = size - produced;
      if (produced > 0 && left >= 3 && int(rng() % 100) < matchPercent) {
        int length;
        switch (rng() % 4) {
          case 0: length = 256; break;
          case 1: length = 3 + int(rng() % 8); break;
          default: length = 3 + int(rng() % 254); break;
        }
        length = int(std::min<std::size_t>(std::size_t(length), left));
        const std::size_t reach = std::min<std::size_t>(produced, params.window);
        std::uint32_t offset;
        switch (rng() % 4) {
          case 0: offset = 0; break;
          case 1: offset = std::uint32_t(rng() % std::min<std::size_t>(reach, 8)); break;
          default: offset = std::uint32_t(rng() % reach); break;
        }
        block.symbols.push_back(Match(length, offset));
        produced += std::size_t(length);
      } else {
        block.symbols.push_back(Literal(int(rng() % std::uint32_t(alphabet))));
        ++produced;
      }
    }
    stream.blocks.push_back(block);
  }
  stream.packed = Pack(stream.blocks, method);
  stream.expected = Expand(stream.blocks, size);
  return stream;
}

int Decode(const std::vector<std::uint8_t>& packed, int method, std::size_t originalSize,
           std::vector<std::uint8_t>* output, std::uint8_t fill) {
  const std::size_t total = packed.size() + codec::ReaderLookahead;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[total]);
  if (!packed.empty()) std::memcpy(buffer.get(), packed.data(), packed.size());
  std::memset(buffer.get() + packed.size(), fill, codec::ReaderLookahead);
  // An exactly sized output: a write past originalSize is a sanitizer error.
  std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[originalSize + (originalSize == 0)]);
  std::vector<std::uint32_t> work(codec::DecodeWorkSize / sizeof(std::uint32_t));
  const int result = codec::DecodeStream(out.get(), buffer.get(), std::uint32_t(packed.size()),
                                         method, std::uint32_t(originalSize), work.data());
  output->assign(out.get(), out.get() + originalSize);
  return result;
}

}  // namespace testbits
