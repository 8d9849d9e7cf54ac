#include "ReferenceReader.h"

namespace testing_lzh {

namespace {

class Bits {
 public:
  Bits(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  // Bits past the data read as 0; more than two bytes past it is an overrun.
  std::uint32_t Get(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      std::size_t byte = bit_ >> 3;
      int b = 0;
      if (byte < size_) b = (data_[byte] >> (7 - (bit_ & 7))) & 1;
      else if (byte >= size_ + 2) overrun_ = true;
      ++bit_;
      v = (v << 1) | static_cast<std::uint32_t>(b);
    }
    return v;
  }
  bool overrun() const { return overrun_; }
  std::size_t bitsUsed() const { return bit_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t bit_ = 0;
  bool overrun_ = false;
};

// Canonical code from lengths, decoded one bit at a time.
struct Code {
  int single = -1;  // symbol of a code sent with count 0
  std::vector<std::uint8_t> lengths;

  bool Decode(Bits& bits, int* symbol) const {
    if (single >= 0) {
      *symbol = single;
      return true;
    }
    int count[17] = {};
    for (auto l : lengths) count[l]++;
    std::uint32_t code = 0, first = 0;
    for (int len = 1; len <= 16; ++len) {
      code |= bits.Get(1);
      std::uint32_t c = static_cast<std::uint32_t>(count[len]);
      if (code - first < c) {
        int want = static_cast<int>(code - first);
        for (std::size_t s = 0; s < lengths.size(); ++s) {
          if (lengths[s] == len && want-- == 0) {
            *symbol = static_cast<int>(s);
            return true;
          }
        }
      }
      first = (first + c) << 1;
      code <<= 1;
    }
    return false;
  }
};

bool ReadSmallLengths(Bits& bits, int countBits, int maxCount, bool zeroRun, Code* code) {
  int n = static_cast<int>(bits.Get(countBits));
  code->lengths.assign(static_cast<std::size_t>(maxCount), 0);
  code->single = -1;
  if (n == 0) {
    code->single = static_cast<int>(bits.Get(countBits));
    return code->single < maxCount;
  }
  if (n > maxCount) return false;
  int i = 0;
  while (i < n) {
    int v = static_cast<int>(bits.Get(3));
    if (v == 7) {
      while (bits.Get(1) == 1) {
        if (++v > 16) return false;
      }
    }
    code->lengths[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(v);
    if (zeroRun && i == 3) {
      int z = static_cast<int>(bits.Get(2));
      if (i + z > n) return false;  // our writer never lets the run pass the count
      i += z;
    }
  }
  return true;
}

}  // namespace

bool ReadStream(const std::uint8_t* packed, std::size_t packedSize, int method,
                std::size_t originalSize, Stream* out, std::string* error) {
  const int positionCodes = method < 6 ? 14 : 17;
  const int countBits = method < 6 ? 4 : 5;
  Bits bits(packed, packedSize);
  out->blocks.clear();
  out->data.clear();
  Code temporary, literal, position;
  std::uint32_t left = 0;
  while (out->data.size() < originalSize) {
    if (left == 0) {
      Block block;
      block.symbolCount = bits.Get(16);
      left = block.symbolCount;
      if (left == 0) {
        *error = "block of 0 symbols";
        return false;
      }
      if (!ReadSmallLengths(bits, 5, 19, true, &temporary)) {
        *error = "bad temporary table";
        return false;
      }
      block.singleTemporaryCode = temporary.single >= 0;
      int n = static_cast<int>(bits.Get(9));
      literal.lengths.assign(510, 0);
      literal.single = -1;
      if (n == 0) {
        literal.single = static_cast<int>(bits.Get(9));
        block.singleLiteralCode = true;
        if (literal.single >= 510) {
          *error = "bad single literal";
          return false;
        }
      } else {
        if (n > 510) {
          *error = "literal count";
          return false;
        }
        int i = 0;
        while (i < n) {
          int t;
          if (!temporary.Decode(bits, &t)) {
            *error = "bad temporary code";
            return false;
          }
          block.lengthTableSymbols.push_back(t);
          int zeros = 0;
          if (t == 0) zeros = 1;
          else if (t == 1) zeros = static_cast<int>(bits.Get(4)) + 3;
          else if (t == 2) zeros = static_cast<int>(bits.Get(9)) + 20;
          else literal.lengths[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(t - 2);
          if (i + zeros > n) {
            *error = "zero run past the count";
            return false;
          }
          i += zeros;
        }
      }
      block.literalLengths = literal.lengths;
      if (!ReadSmallLengths(bits, countBits, positionCodes, false, &position)) {
        *error = "bad position table";
        return false;
      }
      block.singlePositionCode = position.single >= 0;
      out->blocks.push_back(std::move(block));
    }
    Block& block = out->blocks.back();
    int s;
    if (!literal.Decode(bits, &s)) {
      *error = "bad literal code";
      return false;
    }
    --left;
    if (s < 256) {
      block.symbols.push_back({s, 0});
      out->data.push_back(static_cast<std::uint8_t>(s));
    } else {
      int p;
      if (!position.Decode(bits, &p)) {
        *error = "bad position code";
        return false;
      }
      std::uint32_t d = p < 2 ? static_cast<std::uint32_t>(p)
                              : ((1u << (p - 1)) | bits.Get(p - 1));
      block.symbols.push_back({s, d});
      std::size_t length = static_cast<std::size_t>(s - 253);
      if (d + 1 > out->data.size()) {
        *error = "offset before the start";
        return false;
      }
      if (out->data.size() + length > originalSize) {
        *error = "match past the end";
        return false;
      }
      for (std::size_t k = 0; k < length; ++k) out->data.push_back(out->data[out->data.size() - d - 1]);
    }
    if (bits.overrun()) {
      *error = "read past the packed data";
      return false;
    }
  }
  if (left != 0) {
    *error = "last block announces more symbols than were needed";
    return false;
  }
  if ((bits.bitsUsed() + 7) / 8 != packedSize) {
    *error = "packed size does not end with the last symbol";
    return false;
  }
  return true;
}

}  // namespace testing_lzh
