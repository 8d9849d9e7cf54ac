// Smoke run of the header reader over randomly damaged headers (fixed seed): taken from the
// interoperability corpus and from headers of every level built here. Under the sanitizers any
// read outside a buffer fails the run; the checks below hold for every header that is accepted.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ByteSource.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "platform/Platform.h"
#include "support/EntryBuilder.h"
#include "support/OpenArchive.h"
#include "support/TestFiles.h"

using namespace testsupport;

namespace {

std::vector<std::vector<std::uint8_t>> Seeds() {
  std::vector<std::vector<std::uint8_t>> seeds;
  const std::string dir = InteropDir();
  for (const char* name : {"tool01/h0_subdir.lzh", "tool01/h1_subdir.lzh", "tool01/h2_subdir.lzh",
                           "tool08/h3_subdir.lzh", "tool10/h2_lh0.lzh", "tool06/lh0_dirs_bug.lzh",
                           "tool03/eas.lzh", "regression/multiple.lzh", "tool17/l1_full_subdir.lzh"}) {
    std::vector<std::uint8_t> bytes;
    if (ReadBytes(dir + name, &bytes)) {
      if (bytes.size() > 4096) bytes.resize(4096);
      seeds.push_back(bytes);
    }
  }
  for (int level = 0; level <= 3; ++level) {
    ArchiveEntry e = MakeEntry(level, "DOC\\\x95\x5C\\", "NAME.TXT");
    std::strcpy(e.comment, "comment");
    e.attributes = 0x21;
    e.packedSize = 3;
    seeds.push_back(ArchiveImage({e, MakeEntry(level, "", "B")}));
  }
  return seeds;
}

bool Terminated(const char* field, std::size_t size) { return std::memchr(field, 0, size) != nullptr; }

// Walks the header chain from `start` as a scan does; every header accepted is consistent, and
// the engine's header writer takes it back.
void WalkChain(const Bytes& bytes, std::int64_t start, int* accepted) {
  MemorySource source(bytes.data(), bytes.size());
  std::int64_t position = start;
  for (int member = 0; member < 1000; ++member) {
    ArchiveEntry e;
    std::int64_t next = ReadHeader(source, position, &e);
    if (next == 0) break;
    ++*accepted;
    ASSERT_GT(next, position);
    ASSERT_LE(next, 0x7FFFFFFF);
    ASSERT_EQ(e.headerOffset, position);
    ASSERT_GE(e.packedSize, 0);
    ASSERT_EQ(e.dataOffset, e.headerOffset + e.headerSize);
    ASSERT_EQ(next, static_cast<std::int64_t>(e.dataOffset) + e.packedSize);
    ASSERT_GE(e.headerSize, 21);
    ASSERT_TRUE(Terminated(e.method, sizeof e.method));
    ASSERT_TRUE(Terminated(e.directory, sizeof e.directory));
    ASSERT_TRUE(Terminated(e.name, sizeof e.name));
    ASSERT_TRUE(Terminated(e.comment, sizeof e.comment));
    std::uint8_t header[lzh::HeaderBufferSize];
    ASSERT_LE(WriteHeader(e, header), sizeof header);
    position = next;
  }
}

}  // namespace

TEST(HeaderFuzz, DamagedHeadersNeverBreakTheScan) {
  std::vector<std::vector<std::uint8_t>> seeds = Seeds();
  ASSERT_GE(seeds.size(), 4u);
  std::mt19937 random(0x7A4E);
  int accepted = 0;
  for (int iteration = 0; iteration < 4000; ++iteration) {
    std::vector<std::uint8_t> bytes = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < edits && !bytes.empty(); ++k) {
      // Mostly the first header's bytes, where the sizes are.
      std::size_t span = bytes.size() < 64 || random() % 4 == 0 ? bytes.size() : 64;
      std::size_t at = random() % span;
      switch (random() % 5) {
        case 0: bytes[at] = static_cast<std::uint8_t>(random()); break;
        case 1: bytes[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
        case 2: bytes[at] = 0xFF; break;
        case 3: bytes[at] = 0; break;
        default: bytes.resize(at); break;
      }
    }
    WalkChain(bytes, 0, &accepted);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(accepted, 100);  // the damage leaves many headers readable: the checks ran
}

// The inputs that once broke the fuzz targets, replayed in every build (under the sanitizers
// natively, under Wine): the header chain from 0 and from 128, then a scan and both member
// drivers, each into exactly the member's size.
TEST(HeaderFuzz, FuzzRegressionInputsStayHarmless) {
  const std::string dir = SourcePath("fuzz/regression");
  const std::vector<std::string> names = ListFolder(dir);
  ASSERT_GE(names.size(), 3u) << "no inputs found in " << dir;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = dir + platform::PathSeparator() + name;
    Bytes bytes;
    ASSERT_TRUE(ReadBytes(path, &bytes));
    int accepted = 0;
    for (std::int64_t start : {0, 128}) {
      WalkChain(bytes, start, &accepted);
      if (HasFatalFailure()) return;
    }
    EXPECT_GT(accepted, 0);

    OpenArchive archive(path);
    ASSERT_TRUE(archive.ok());
    const std::vector<ArchiveEntry> members = archive.Members();
    EXPECT_FALSE(members.empty());
    for (const ArchiveEntry& member : members) {
      const std::string memberPath = PathOf(member);
      // Paths may repeat: the drivers decode the first member of a path.
      ASSERT_TRUE(archive->Lock(false));
      ArchiveEntry first;
      const std::int32_t index = archive->FindMember(memberPath.c_str());
      ASSERT_TRUE(archive->GetMember(std::uint32_t(index), &first));
      archive->Unlock();
      if (first.originalSize > (256u << 10)) continue;  // claims far more than the file holds
      platform::MemoryBlock block = platform::NoBlock;
      ArchiveEntry decoded;
      const int result = archive->DecodeMember(memberPath.c_str(), &block, &decoded);
      EXPECT_EQ(result == 0, block != platform::NoBlock) << memberPath;
      if (block != platform::NoBlock) {
        EXPECT_EQ(platform::BlockSize(block), decoded.originalSize);
        platform::FreeBlock(block);
      }
      std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[first.originalSize]);
      EXPECT_EQ(archive->DecodeMemberInto(memberPath.c_str(), buffer.get(), nullptr), result);
      EXPECT_FALSE(archive->OwnedByCurrentThread());
    }
  }
}
