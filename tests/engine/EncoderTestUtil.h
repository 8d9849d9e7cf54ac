// Helpers shared by the encoder tests: inputs, encoding to memory, and outputs that fail.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/ByteStream.h"
#include "codec/LzEncoder.h"

namespace encoder_test {

struct Encoded {
  int result = -1;
  std::uint32_t packedSize = 0xDEADBEEF;
  std::uint16_t crc = 0xBEEF;
  std::vector<std::uint8_t> packed;
};

inline Encoded EncodeBytes(const std::vector<std::uint8_t>& input, int method,
                           codec::ProgressCallback progress = nullptr, void* context = nullptr) {
  Encoded e;
  codec::LzEncoder encoder;
  codec::MemoryInput in(input.data(), input.size());
  codec::MemoryOutput out;
  e.result = encoder.Encode(out, in, method, &e.packedSize, &e.crc, progress, context);
  e.packed.assign(out.data(), out.data() + out.size());
  return e;
}

// Deterministic pseudo-random bytes (xorshift), `alphabet` distinct values.
inline std::vector<std::uint8_t> NoiseBytes(std::size_t size, std::uint32_t seed, int alphabet = 256) {
  std::vector<std::uint8_t> v(size);
  std::uint32_t x = seed ? seed : 1;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x % static_cast<std::uint32_t>(alphabet));
  }
  return v;
}

// Text-like data: words from a small vocabulary, so it compresses as real text does.
inline std::vector<std::uint8_t> TextBytes(std::size_t size, std::uint32_t seed) {
  static const char* const words[] = {"archive ", "member ", "header ", "folder ", "shell ",
                                      "の ", "圧縮 ", "データ ", "window\r\n", "block ",
                                      "symbol ", "length ", "position ", "code ", "table "};
  std::vector<std::uint8_t> v;
  std::uint32_t x = seed ? seed : 1;
  while (v.size() < size) {
    x = x * 1103515245u + 12345u;
    const char* w = words[(x >> 16) % (sizeof words / sizeof *words)];
    while (*w && v.size() < size) v.push_back(static_cast<std::uint8_t>(*w++));
  }
  return v;
}

// Accepts `failAt - 1` writes, then refuses every write.
class FailingOutput final : public codec::ByteOutput {
 public:
  explicit FailingOutput(int failAt) : failAt_(failAt) {}
  bool Write(const void*, std::uint32_t count) override {
    ++writes_;
    if (writes_ >= failAt_) return false;
    written_ += count;
    return true;
  }
  int writes() const { return writes_; }
  std::uint64_t written() const { return written_; }

 private:
  int failAt_;
  int writes_ = 0;
  std::uint64_t written_ = 0;
};

}  // namespace encoder_test
