// One zero-filled movable memory block, locked for the lifetime of its owner. The codec's work
// objects each take one for their arrays; a failed allocation leaves `data()` null, which the
// owner reports through its `valid()`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

namespace codec {

class ZeroedBlock {
 public:
  explicit ZeroedBlock(std::size_t size) : block_(platform::AllocBlock(size, true)) {
    if (block_ != platform::NoBlock) data_ = static_cast<std::uint8_t*>(platform::LockBlock(block_));
  }
  ~ZeroedBlock() {
    if (block_ == platform::NoBlock) return;
    platform::UnlockBlock(block_);
    platform::FreeBlock(block_);
  }
  ZeroedBlock(const ZeroedBlock&) = delete;
  ZeroedBlock& operator=(const ZeroedBlock&) = delete;

  std::uint8_t* data() const { return data_; }

 private:
  platform::MemoryBlock block_;
  std::uint8_t* data_ = nullptr;
};

}  // namespace codec
