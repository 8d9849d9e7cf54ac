#include "archive/DecodeAhead.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "support/LzhBuilder.h"
#include "support/OpenArchive.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

using namespace testsupport;

namespace {

// The bytes of a taken block, or of nothing.
Bytes Contents(platform::MemoryBlock block, std::uint32_t size) {
  if (block == platform::NoBlock) return {};
  const auto* data = static_cast<const std::uint8_t*>(platform::LockBlock(block));
  Bytes bytes(data, data + size);
  platform::UnlockBlock(block);
  platform::FreeBlock(block);
  return bytes;
}

// Members taken in archive order, with some queued ones skipped, one taken without being queued
// and the queue dropped half-way, come out as DecodeMemberAt gives them, with no block lost.
TEST(DecodeAhead, TakesWhatDecodeMemberAtGives) {
  TempFolder folder;
  const std::string path = folder / "a.lzh";
  std::vector<RawMember> members;
  for (int i = 0; i < 24; ++i)
    members.push_back(StoredMember("M" + std::to_string(i), WordText(1000 + 700 * i, i)));
  members[5].crc = 0x1234;  // damaged: fails wherever it is decoded
  ASSERT_TRUE(WriteArchive(path, members));
  OpenArchive a(path);
  const std::vector<ArchiveEntry> entries = a.Members();
  ASSERT_EQ(entries.size(), members.size());
  for (unsigned threads : {1u, 3u}) {
    DecodeAhead pool(*a, threads);
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
      if (i % 7 != 6) pool.Queue(i, entries[i]);  // 6, 13, 20: taken unqueued
      if (i % 5 == 3 || i == 15) continue;        // skipped: dropped by the next Take
      if (i == 17) pool.Clear();
      platform::MemoryBlock block = platform::NoBlock;
      ArchiveEntry member;
      const int result = pool.Take(i, entries[i], &block, &member);
      EXPECT_EQ(result, i == 5 ? 1 : 0) << i << " on " << threads;
      EXPECT_EQ(Contents(block, entries[i].originalSize), i == 5 ? Bytes{} : members[i].data)
          << i << " on " << threads;
    }
  }
}

}  // namespace
