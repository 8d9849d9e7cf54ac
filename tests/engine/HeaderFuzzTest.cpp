// Smoke run of the header reader over randomly damaged headers (fixed seed): taken from the
// interoperability corpus and from headers of every level built here. Under the sanitizers any
// read outside a buffer fails the run; the checks below hold for every header that is accepted.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "EntryBuilder.h"
#include "TestFiles.h"
#include "archive/ByteSource.h"
#include "archive/Header.h"

using namespace testentries;

namespace {

std::vector<std::vector<std::uint8_t>> Seeds() {
  std::vector<std::vector<std::uint8_t>> seeds;
  const std::string dir = testfiles::InteropDir();
  for (const char* name : {"tool01/h0_subdir.lzh", "tool01/h1_subdir.lzh", "tool01/h2_subdir.lzh",
                           "tool08/h3_subdir.lzh", "tool10/h2_lh0.lzh", "tool06/lh0_dirs_bug.lzh",
                           "tool03/eas.lzh", "regression/multiple.lzh", "tool17/l1_full_subdir.lzh"}) {
    std::vector<std::uint8_t> bytes;
    if (!dir.empty() && testfiles::ReadAll(dir + name, &bytes)) {
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
    MemorySource source(bytes.data(), bytes.size());
    std::int64_t position = 0;
    for (int member = 0; member < 1000; ++member) {
      ArchiveEntry e;
      std::int64_t next = ReadHeader(source, position, &e);
      if (next == 0) break;
      ++accepted;
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
      position = next;
    }
  }
  EXPECT_GT(accepted, 100);  // the damage leaves many headers readable: the checks ran
}
