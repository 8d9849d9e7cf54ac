#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/LargeAllocator.h"
#include "platform/Platform.h"

// Blocks and arrays around the sizes where the platform switches to large pages: zero-filled
// when asked, usable to their last byte, and released without disturbing their neighbours.
TEST(LargeMemory, BlocksAndArraysOfEverySizeClassAreWholeAndZeroWhenAsked) {
  const std::size_t sizes[] = {0, 1, 4095, 262143, 262144, 2097151, 2097152, 2097153, 5000000};
  std::vector<platform::MemoryBlock> blocks;
  std::vector<std::pair<void*, std::size_t>> arrays;
  for (std::size_t size : sizes) {
    platform::MemoryBlock block = platform::AllocBlock(size, true);
    ASSERT_NE(block, platform::NoBlock) << size;
    EXPECT_EQ(platform::BlockSize(block), size);
    auto* bytes = static_cast<std::uint8_t*>(platform::LockBlock(block));
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < size; ++i) nonZero += bytes[i] != 0;
    EXPECT_EQ(nonZero, 0u) << size;
    if (size) std::memset(bytes, 0xA5, size);
    platform::UnlockBlock(block);
    blocks.push_back(block);

    void* array = platform::AllocLarge(size);
    ASSERT_NE(array, nullptr) << size;
    if (size) std::memset(array, 0x5A, size);
    arrays.emplace_back(array, size);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    auto* bytes = static_cast<std::uint8_t*>(platform::LockBlock(blocks[i]));
    if (sizes[i]) {
      EXPECT_EQ(bytes[0], 0xA5);
      EXPECT_EQ(bytes[sizes[i] - 1], 0xA5);
    }
    platform::UnlockBlock(blocks[i]);
    platform::FreeBlock(blocks[i]);
    auto* array = static_cast<std::uint8_t*>(arrays[i].first);
    if (sizes[i]) {
      EXPECT_EQ(array[sizes[i] - 1], 0x5A);
    }
    platform::FreeLarge(arrays[i].first, arrays[i].second);
  }
  std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> grown;
  for (std::uint32_t i = 0; i < 1000000; ++i) grown.push_back(i);
  EXPECT_EQ(grown[999999], 999999u);
}
