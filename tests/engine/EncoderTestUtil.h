// Helpers shared by the encoder tests: inputs, encoding to memory, and outputs that fail.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/ByteStream.h"
#include "codec/LzEncoder.h"
#include "support/TestData.h"

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
