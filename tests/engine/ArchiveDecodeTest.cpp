// The member drivers DecodeMember and DecodeMemberInto over real archives: the interoperability
// corpus, archives written by another archiver, and archives built here with damaged members.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"
#include "archive/Crc16.h"
#include "archive/EntryEnumerator.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "platform/Platform.h"
#include "support/EntryBuilder.h"
#include "support/OpenArchive.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace {

using namespace testsupport;

bool Decodable(const ArchiveEntry& entry) {
  for (const char* m : {"-lh0-", "-lh4-", "-lh5-", "-lh6-", "-lh7-"}) {
    if (std::memcmp(entry.method, m, 6) == 0) return true;
  }
  return false;
}

// Decodes with DecodeMember; checks the block's size and CRC itself as well. Returns the result.
int DecodeAndCheck(Archive& archive, const ArchiveEntry& member, std::vector<std::uint8_t>* data) {
  platform::MemoryBlock block = platform::NoBlock;
  ArchiveEntry copy;
  std::memset(&copy, 0, sizeof copy);
  const int result = archive.DecodeMember(PathOf(member).c_str(), &block, &copy);
  if (result != 0) {
    EXPECT_EQ(block, platform::NoBlock);
    return result;
  }
  EXPECT_NE(block, platform::NoBlock);
  EXPECT_EQ(platform::BlockSize(block), member.originalSize);
  EXPECT_EQ(copy.crc, member.crc);
  EXPECT_EQ(copy.dataOffset, member.dataOffset);
  const auto* bytes = static_cast<const std::uint8_t*>(platform::LockBlock(block));
  if (member.originalSize > 0) {
    EXPECT_EQ(ComputeCrc16(bytes, member.originalSize), member.crc) << PathOf(member);
    if (data) data->assign(bytes, bytes + member.originalSize);
  } else if (data) {
    data->clear();
  }
  platform::UnlockBlock(block);
  platform::FreeBlock(block);
  return result;
}

// Archives whose data another reader's own test also rejects: members cut short.
bool KnownDamaged(const std::string& name) {
  return name == "regression/truncated.lzh" || name == "tool15/lh7.lzh" ||
         name == "tool15/lh7_long.lzh";
}

TEST(ArchiveDecode, EveryDecodableMemberOfTheInteropCorpusDecodesToItsCrc) {
  const std::string dir = InteropDir();
  std::vector<std::uint8_t> manifest;
  ASSERT_TRUE(ReadBytes(dir + "MANIFEST.tsv", &manifest));
  std::istringstream lines(std::string(manifest.begin(), manifest.end()));
  std::string line, last;
  std::vector<std::string> names;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    const std::string name = line.substr(0, line.find('\t'));
    if (name != last) names.push_back(name);
    last = name;
  }
  ASSERT_GT(names.size(), 150u);

  int decoded = 0, refused = 0, damaged = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    OpenArchive archive(dir + name);
    ASSERT_TRUE(archive.ok());
    for (const ArchiveEntry& member : archive.Members()) {
      const int result = DecodeAndCheck(*archive, member, nullptr);
      if (!Decodable(member)) {
        EXPECT_EQ(result, 1) << PathOf(member);
        ++refused;
      } else if (KnownDamaged(name)) {
        EXPECT_EQ(result, 1) << PathOf(member);
        ++damaged;
      } else {
        EXPECT_EQ(result, 0) << PathOf(member) << " " << std::string(member.method, 5);
        ++decoded;
      }
    }
  }
  EXPECT_GT(decoded, 150);
  EXPECT_GT(refused, 50);
  EXPECT_EQ(damaged, 3);
}

TEST(ArchiveDecode, BothDriversDecodeArchivesOfAnotherArchiver) {
  for (int method = 5; method <= 7; ++method) {
    OpenArchive archive(SourcePath("tests/data/sample-lh" + std::to_string(method) + ".lzh"));
    ASSERT_TRUE(archive.ok());
    const std::vector<ArchiveEntry> members = archive.Members();
    ASSERT_EQ(members.size(), 3u);
    for (const ArchiveEntry& member : members) {
      std::vector<std::uint8_t> data;
      ASSERT_EQ(DecodeAndCheck(*archive, member, &data), 0) << PathOf(member);
      // The same through the caller's buffer, looked up in another case.
      std::string upper = PathOf(member);
      for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
      std::vector<std::uint8_t> into(member.originalSize + 1, 0xEE);
      ArchiveEntry copy;
      ASSERT_EQ(archive->DecodeMemberInto(upper.c_str(), into.data(), &copy), 0);
      EXPECT_EQ(std::memcmp(into.data(), data.data(), data.size()), 0);
      EXPECT_EQ(into.back(), 0xEE);  // nothing beyond the original size
      EXPECT_EQ(PathOf(copy), PathOf(member));
    }
    const std::vector<std::uint8_t> zeros(70000, 0);
    std::vector<std::uint8_t> data;
    ASSERT_EQ(DecodeAndCheck(*archive, members[2], &data), 0);
    EXPECT_EQ(data, zeros);
  }
}

TEST(ArchiveDecode, ACallerHoldingTheLockKeepsItAndItsFilePosition) {
  OpenArchive archive(SourcePath("tests/data/sample-lh6.lzh"));
  ASSERT_TRUE(archive.ok());
  const std::vector<ArchiveEntry> members = archive.Members();
  ASSERT_FALSE(members.empty());

  for (bool withFileLock : {false, true}) {
    ASSERT_EQ(archive->Lock(withFileLock), 1);
    ASSERT_EQ(platform::SeekFile(archive->File(), 1234, platform::SeekFrom::Begin), 1234);
    EXPECT_EQ(DecodeAndCheck(*archive, members[1], nullptr), 0);
    EXPECT_EQ(platform::SeekFile(archive->File(), 0, platform::SeekFrom::Current), 1234);
    EXPECT_TRUE(archive->OwnedByCurrentThread());
    archive->Unlock();
  }

  // Without the caller's lock the driver takes and releases it: another thread, and another
  // handle with the whole-file lock, get it afterwards.
  EXPECT_EQ(DecodeAndCheck(*archive, members[0], nullptr), 0);
  EXPECT_FALSE(archive->OwnedByCurrentThread());
  int otherThread = 0;
  std::thread([&] {
    otherThread = archive->Lock(true);
    if (otherThread) archive->Unlock();
  }).join();
  EXPECT_EQ(otherThread, 1);
  OpenArchive second(SourcePath("tests/data/sample-lh6.lzh"));
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second->Lock(true), 1);
  second->Unlock();
}

TEST(ArchiveDecode, ThreadsDecodeMembersOfOneArchiveAtTheSameTime) {
  OpenArchive archive(SourcePath("tests/data/sample-lh7.lzh"));
  ASSERT_TRUE(archive.ok());
  const std::vector<ArchiveEntry> members = archive.Members();
  ASSERT_EQ(members.size(), 3u);
  int failures[3] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        platform::MemoryBlock block = platform::NoBlock;
        if (archive->DecodeMember(PathOf(members[std::size_t(t)]).c_str(), &block, nullptr) != 0) {
          ++failures[t];
        }
        if (block != platform::NoBlock) platform::FreeBlock(block);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures[0] + failures[1] + failures[2], 0);
}

// A member whose header the engine writes from the fields, followed by `data`.
EntryMember Member(const char* name, const char* method, int level, std::vector<std::uint8_t> data,
                 std::uint32_t originalSize, std::uint16_t crc) {
  EntryMember m;
  std::memset(&m.entry, 0, sizeof m.entry);
  std::memcpy(m.entry.method, method, 6);
  std::strcpy(m.entry.name, name);
  m.entry.headerLevel = std::uint8_t(level);
  m.entry.attributes = 0x20;
  m.entry.packedSize = std::int32_t(data.size());
  m.entry.originalSize = originalSize;
  m.entry.crc = crc;
  m.entry.modifyTime = 1700000000;
  m.data = std::move(data);
  return m;
}

// The member's header states another packed size than the data written.
EntryMember Claiming(EntryMember member, std::int32_t packedSize) {
  member.entry.packedSize = packedSize;
  return member;
}

TEST(ArchiveDecode, DamagedOrUndecodableMembersFailAndHandOutNothing) {
  // A packed member to damage: the first member of the -lh5- sample, re-wrapped.
  std::vector<std::uint8_t> sample;
  ASSERT_TRUE(ReadBytes(SourcePath("tests/data/sample-lh5.lzh"), &sample));
  OpenArchive original(SourcePath("tests/data/sample-lh5.lzh"));
  const std::vector<ArchiveEntry> sampleMembers = original.Members();
  ASSERT_EQ(sampleMembers.size(), 3u);
  const ArchiveEntry& text = sampleMembers[0];
  const std::vector<std::uint8_t> packed(sample.begin() + text.dataOffset,
                                         sample.begin() + text.dataOffset + text.packedSize);
  std::vector<std::uint8_t> flipped = packed;
  flipped[flipped.size() / 2] ^= 0x10;

  const std::uint16_t helloCrc = ComputeCrc16("HELLO", 5);
  TempFolder folder;
  const std::string path = folder / "damaged.lzh";
  ASSERT_TRUE(WriteBytes(
      path,
      ArchiveImage(
          {Member("good.txt", "-lh5-", 2, packed, text.originalSize, text.crc),
           Member("wrongcrc.txt", "-lh5-", 1, packed, text.originalSize, text.crc ^ 0x0101),
           Member("flipped.txt", "-lh5-", 2, flipped, text.originalSize, text.crc),
           Member("short.txt", "-lh5-", 0,
                  std::vector<std::uint8_t>(packed.begin(), packed.end() - 40),
                  text.originalSize, text.crc),
           Member("stored.txt", "-lh0-", 2, TextBytes("HELLOxxxxx"), 5, helloCrc),
           Member("storedshort.txt", "-lh0-", 2, TextBytes("HEL"), 5, helloCrc),
           Member("old.txt", "-lh1-", 2, TextBytes("HELLO"), 5, helloCrc),
           Member("empty.bin", "-lh5-", 2, {}, 0, 0),
           Member("empty0.bin", "-lh0-", 1, {}, 0, 0),
           // Claims far more packed data than the file holds (the last member: the scan stops
           // after it).
           Claiming(Member("huge.bin", "-lh5-", 2, packed, text.originalSize, text.crc),
                    0x7FFF0000)})));
  OpenArchive archive(path);
  ASSERT_TRUE(archive.ok());
  const std::vector<ArchiveEntry> members = archive.Members();
  ASSERT_EQ(members.size(), 10u);
  ASSERT_GT(members[9].packedSize, 0x70000000);

  std::vector<std::uint8_t> data;
  EXPECT_EQ(DecodeAndCheck(*archive, members[0], &data), 0);
  EXPECT_EQ(data.size(), text.originalSize);
  // Not 2: no buffer is sized by a packed size the file cannot hold.
  for (int i : {1, 2, 3, 5, 6, 9}) {
    EXPECT_EQ(DecodeAndCheck(*archive, members[std::size_t(i)], nullptr), 1) << i;
  }
  // A stored member with more packed bytes than its size yields just its size.
  EXPECT_EQ(DecodeAndCheck(*archive, members[4], &data), 0);
  EXPECT_EQ(data, TextBytes("HELLO"));
  std::vector<std::uint8_t> into(6, 0xEE);
  EXPECT_EQ(archive->DecodeMemberInto("STORED.TXT", into.data(), nullptr), 0);
  EXPECT_EQ(into[5], 0xEE);
  // Empty members, compressed or stored, decode to empty blocks.
  for (int i : {7, 8}) {
    EXPECT_EQ(DecodeAndCheck(*archive, members[std::size_t(i)], &data), 0) << i;
    EXPECT_TRUE(data.empty());
  }

  platform::MemoryBlock block = platform::NoBlock;
  EXPECT_EQ(archive->DecodeMember("missing.txt", &block, nullptr), 1);
  EXPECT_EQ(block, platform::NoBlock);
  // The lock of a failed call is released.
  EXPECT_FALSE(archive->OwnedByCurrentThread());
  EXPECT_EQ(archive->Lock(true), 1);
  archive->Unlock();
}

// Each member decodes at its place (a repeated path too); a stale place says so.
TEST(ArchiveDecode, ARepeatedPathDecodesEachMemberAtItsPlace) {
  TempFolder folder;
  const std::string path = folder / "twice.lzh";
  ASSERT_TRUE(WriteBytes(
      path, ArchiveImage({Member("same.txt", "-lh0-", 2, TextBytes("first"), 5,
                                 ComputeCrc16("first", 5)),
                          Member("same.txt", "-lh0-", 0, TextBytes("second!"), 7,
                                 ComputeCrc16("second!", 7)),
                          Member("same.txt", "-lh0-", 2, TextBytes("third"), 5, 0x1234)})));
  OpenArchive archive(path);
  const std::vector<ArchiveEntry> members = archive.Members();
  ASSERT_EQ(members.size(), 3u);
  struct Row {
    std::uint32_t index, expected;  // the place, and the snapshot record handed in
    int result;
    const char* data;
  } rows[] = {{0, 0, 0, "first"}, {1, 1, 0, "second!"}, {2, 2, 1, ""},
              {1, 0, Archive::DecodeChanged, ""}, {3, 2, Archive::DecodeChanged, ""}};
  for (const Row& row : rows) {
    platform::MemoryBlock block = platform::NoBlock;
    EXPECT_EQ(archive->DecodeMemberAt(row.index, members[row.expected], &block, nullptr),
              row.result) << row.index;
    const std::size_t n = std::strlen(row.data);
    ASSERT_EQ(block != platform::NoBlock, n > 0) << row.index;
    if (n == 0) continue;
    EXPECT_TRUE(platform::BlockSize(block) == n &&
                std::memcmp(platform::LockBlock(block), row.data, n) == 0) << row.index;
    platform::UnlockBlock(block);
    platform::FreeBlock(block);
  }
}

TEST(ArchiveDecode, FolderEntriesAndOtherMethodsAreRefusedWithoutReadingData) {
  const std::string dir = InteropDir();
  OpenArchive archive(dir + "regression/dir.lzh");
  ASSERT_TRUE(archive.ok());
  const std::vector<ArchiveEntry> members = archive.Members();
  ASSERT_EQ(members.size(), 1u);
  ASSERT_EQ(std::memcmp(members[0].method, "-lhd-", 6), 0);
  OpenArchive stored(SourcePath("tests/data/sample-lh5.lzh"));
  const std::vector<ArchiveEntry> storedMembers = stored.Members();
  ASSERT_FALSE(storedMembers.empty());

  // The next read fails: a refusal that read nothing leaves it armed for the following call.
  platform::FailNthRead(1);
  platform::MemoryBlock block = platform::NoBlock;
  EXPECT_EQ(archive->DecodeMember(PathOf(members[0]).c_str(), &block, nullptr), 1);
  EXPECT_EQ(stored->DecodeMember(PathOf(storedMembers[0]).c_str(), &block, nullptr), 1);
  EXPECT_EQ(block, platform::NoBlock);
  platform::FailNthRead(0);
  EXPECT_EQ(DecodeAndCheck(*stored, storedMembers[0], nullptr), 0);
}

TEST(ArchiveDecode, AClosedArchiveDecodesNothing) {
  Archive* archive = new Archive;
  archive->Retain();
  platform::MemoryBlock block = platform::NoBlock;
  std::uint8_t buffer[16];
  EXPECT_EQ(archive->DecodeMember("a.txt", &block, nullptr), 1);
  EXPECT_EQ(archive->DecodeMemberInto("a.txt", buffer, nullptr), 1);
  EXPECT_EQ(block, platform::NoBlock);
  archive->Release();
}

}  // namespace
