#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/ByteSource.h"
#include "archive/Crc16.h"
#include "archive/Header.h"
#include "support/EntryBuilder.h"

using namespace testsupport;

namespace {

const std::string Hyo = "\x95\x5C";  // a Shift-JIS character whose second byte is a backslash

std::int64_t Read(const std::vector<std::uint8_t>& bytes, ArchiveEntry* entry,
                  std::int64_t position = 0) {
  MemorySource source(bytes.data(), bytes.size());
  return ReadHeader(source, position, entry);
}

// Header CRC of levels 1-3: over the whole header with the CRC field (type 0x00) zero.
bool HeaderCrcHolds(std::vector<std::uint8_t> header, std::size_t crcOffset) {
  std::uint16_t stored = static_cast<std::uint16_t>(header[crcOffset] | header[crcOffset + 1] << 8);
  header[crcOffset] = header[crcOffset + 1] = 0;
  return ComputeCrc16(header.data(), header.size()) == stored;
}

std::size_t FindBytes(const std::vector<std::uint8_t>& hay, const std::string& needle) {
  std::vector<std::uint8_t> bytes(needle.begin(), needle.end());
  auto it = std::search(hay.begin(), hay.end(), bytes.begin(), bytes.end());
  return it == hay.end() ? std::string::npos : static_cast<std::size_t>(it - hay.begin());
}

}  // namespace

TEST(Header, RoundTripsEveryLevel) {
  for (int level = 0; level <= 3; ++level) {
    struct Case {
      std::string directory, name, comment;
      const char* method;
      std::uint16_t attributes;
    };
    const Case cases[] = {
        {"DOC\\SUB\\", "A.TXT", "", "-lh5-", 0x20},
        {"", "README", "a comment", "-lh0-", 0x21},
        {"DOC\\" + Hyo + "\\", Hyo + ".TXT", Hyo + " comment", "-lh7-", 0x01},
        {"DOC\\SUB\\", "", "", "-lhd-", 0x10},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE("level " + std::to_string(level) + " " + c.directory + c.name);
      ArchiveEntry in = MakeEntry(level, c.directory, c.name, c.method);
      std::strcpy(in.comment, c.comment.c_str());
      in.attributes = c.attributes;
      in.packedSize = 1000;
      in.originalSize = 4000;
      in.modifyTime = 946684800 + 2 * 12345;
      std::vector<std::uint8_t> header = HeaderBytes(in);
      ASSERT_FALSE(header.empty());
      ArchiveEntry out;
      EXPECT_EQ(Read(header, &out), static_cast<std::int64_t>(header.size()) + 1000);
      EXPECT_EQ(out.headerLevel, level);
      EXPECT_STREQ(out.method, c.method);
      EXPECT_EQ(out.packedSize, 1000);
      EXPECT_EQ(out.originalSize, 4000u);
      EXPECT_EQ(out.crc, 0x1234);
      EXPECT_EQ(out.headerOffset, 0);
      EXPECT_EQ(out.headerSize, static_cast<std::int32_t>(header.size()));
      EXPECT_EQ(out.dataOffset, out.headerSize);
      EXPECT_EQ(std::string(out.directory), c.directory);
      EXPECT_EQ(std::string(out.name), c.name);
      EXPECT_EQ(std::string(out.comment), level == 0 ? "" : c.comment);
      EXPECT_EQ(out.modifyTime, in.modifyTime);
      EXPECT_EQ(out.attributes, c.attributes);
      EXPECT_EQ(out.osId, level == 0 ? 0 : 'W');
      if (level == 3) {
        EXPECT_EQ(out.createTime, in.createTime);
        EXPECT_EQ(out.accessTime, in.accessTime);
      } else {
        EXPECT_EQ(out.createTime, out.modifyTime);
        EXPECT_EQ(out.accessTime, out.modifyTime);
      }
    }
  }
}

TEST(Header, DosTimesKeepTheTwoSecondGrain) {
  for (int level = 0; level <= 1; ++level) {
    ArchiveEntry in = MakeEntry(level, "", "ODD.TXT");
    in.modifyTime = 946684800 + 7;  // odd second
    ArchiveEntry out;
    ASSERT_NE(Read(HeaderBytes(in), &out), 0);
    EXPECT_EQ(out.modifyTime, 946684800u + 6);
  }
}

TEST(Header, LevelOneShortAndLongForms) {
  // No folder, no comment, attribute 0x20: 27 + N bytes, no extended headers.
  ArchiveEntry e = MakeEntry(1, "", "A.TXT");
  e.packedSize = 77;
  std::vector<std::uint8_t> shortForm = HeaderBytes(e);
  ASSERT_EQ(shortForm.size(), 27u + 5);
  EXPECT_EQ(shortForm[0], 30);
  EXPECT_EQ(shortForm[30] | shortForm[31] << 8, 0);
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < 32; ++i) sum = static_cast<std::uint8_t>(sum + shortForm[i]);
  EXPECT_EQ(shortForm[1], sum);
  EXPECT_EQ(shortForm[7], 77);

  // A folder forces the long form: the packed size field counts the extended headers.
  e = MakeEntry(1, "DOC\\", "A.TXT");
  e.packedSize = 1000;
  std::vector<std::uint8_t> longForm = HeaderBytes(e);
  std::size_t s = longForm[0];
  std::uint32_t field = longForm[7] | longForm[8] << 8 | longForm[9] << 16 | longForm[10] << 24;
  EXPECT_EQ(field, 1000 + longForm.size() - (s + 2));
  ArchiveEntry out;
  EXPECT_EQ(Read(longForm, &out), static_cast<std::int64_t>(longForm.size()) + 1000);
  EXPECT_EQ(out.packedSize, 1000);
  EXPECT_TRUE(HeaderCrcHolds(longForm, longForm.size() - 4));

  // A name over 230 bytes is carried only by its extended header (N = 0, S = 25).
  e = MakeEntry(1, "", std::string(231, 'n'));
  std::vector<std::uint8_t> longName = HeaderBytes(e);
  EXPECT_EQ(longName[0], 25);
  EXPECT_EQ(longName[21], 0);
  ASSERT_NE(Read(longName, &out), 0);
  EXPECT_EQ(std::string(out.name), std::string(231, 'n'));
}

TEST(Header, LevelTwoPadsATotalWhoseLowByteIsZero) {
  // 26 + (3 + 200) + (3 + 200) + (3 + 67) + 5 + 5 = 512 before the pad byte.
  ArchiveEntry e = MakeEntry(2, std::string(199, 'd') + "\\", std::string(200, 'n'));
  std::memset(e.comment, 'c', 67);
  e.packedSize = 5;
  std::vector<std::uint8_t> header = HeaderBytes(e);
  ASSERT_EQ(header.size(), 513u);
  EXPECT_EQ(header[0] | header[1] << 8, 513);
  EXPECT_EQ(header[510] | header[511] << 8, 0);  // closing size
  EXPECT_EQ(header[512], 0);                      // pad
  EXPECT_TRUE(HeaderCrcHolds(header, 508));
  ArchiveEntry out;
  EXPECT_EQ(Read(header, &out), 513 + 5);
  EXPECT_EQ(out.dataOffset, 513);
}

TEST(Header, FolderExtendedHeaderUsesFFSeparators) {
  ArchiveEntry e = MakeEntry(2, "DOC\\" + Hyo + "\\", "A.TXT");
  std::vector<std::uint8_t> header = HeaderBytes(e);
  // The second byte of the double-byte character stays 0x5C; real separators become 0xFF.
  EXPECT_NE(FindBytes(header, "\x02" "DOC\xFF\x95\x5C\xFF"), std::string::npos);

  ArchiveEntry out;
  std::vector<std::uint8_t> raw = RawLevel2({{0x01, "A.TXT"}, {0x02, "\xFF" "DOC\xFFSUB\xFF"}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_STREQ(out.directory, "DOC\\SUB\\");  // leading separator dropped
  // Written without the closing 0xFF by some archivers: the folder still ends with a backslash.
  raw = RawLevel2({{0x01, "hello.txt"}, {0x02, "subdir\xFFsubdir2"}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_STREQ(out.directory, "subdir\\subdir2\\");
  EXPECT_STREQ(out.name, "hello.txt");
}

TEST(Header, LevelZeroPathsSplitAtTheLastRealBackslash) {
  ArchiveEntry out;
  std::vector<std::uint8_t> h = HeaderBytes(MakeEntry(0, "DOC\\SUB\\", "A.TXT"));
  ASSERT_NE(Read(h, &out), 0);
  EXPECT_STREQ(out.directory, "DOC\\SUB\\");
  EXPECT_STREQ(out.name, "A.TXT");
  h = HeaderBytes(MakeEntry(0, "DOC\\", "", "-lhd-"));
  ASSERT_NE(Read(h, &out), 0);
  EXPECT_STREQ(out.directory, "DOC\\");
  EXPECT_STREQ(out.name, "");
  // The second byte of 0x95 0x5C is not a separator: the name stays whole.
  h = HeaderBytes(MakeEntry(0, "", Hyo + ".TXT"));
  ASSERT_NE(Read(h, &out), 0);
  EXPECT_STREQ(out.directory, "");
  EXPECT_EQ(std::string(out.name), Hyo + ".TXT");
}

TEST(Header, FolderMethodSetsTheFolderBit) {
  for (int level = 0; level <= 3; ++level) {
    ArchiveEntry e = MakeEntry(level, "D\\", "", "-lhd-");
    e.attributes = 0x20;
    ArchiveEntry out;
    ASSERT_NE(Read(HeaderBytes(e), &out), 0);
    EXPECT_EQ(out.attributes & 0x10, 0x10) << "level " << level;
  }
}

TEST(Header, TextFieldsAreCutAtTheirFieldOnACharacterBoundary) {
  ArchiveEntry out;
  // A 1500-byte comment keeps its first 1023 bytes.
  std::vector<std::uint8_t> raw = RawLevel2({{0x01, "A"}, {0x3F, std::string(1500, 'c')}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_EQ(std::string(out.comment), std::string(1023, 'c'));
  // A double-byte character across the limit is left out whole.
  raw = RawLevel2({{0x01, "A"}, {0x3F, std::string(1022, 'c') + Hyo + "tail"}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_EQ(std::string(out.comment), std::string(1022, 'c'));
  // Names and folders longer than 259 bytes.
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += Hyo;
  raw = RawLevel2({{0x01, longName}, {0x02, std::string(400, 'd') + "\xFF"}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_EQ(std::string(out.name), longName.substr(0, 258));
  EXPECT_EQ(std::strlen(out.directory), 259u);
  EXPECT_EQ(out.directory[258], '\\');
  // A lead byte whose second byte is missing is dropped, so the folder's closing backslash is
  // not taken as its second byte.
  raw = RawLevel2({{0x01, "AB\x95"}, {0x02, "DIR\xFFX\x95"}}, 0);
  ASSERT_NE(Read(raw, &out), 0);
  EXPECT_STREQ(out.name, "AB");
  EXPECT_STREQ(out.directory, "DIR\\X\\");
}

TEST(Header, OtherExtendedHeadersAreApplied) {
  std::string attribute("\x21\x00", 2);
  std::string unixTime("\x10\x00\x00\x40", 4);
  std::vector<std::uint8_t> raw =
      RawLevel2({{0x01, "A"}, {0x40, attribute}, {0x54, unixTime}, {0x99, "unknown"}}, 3);
  ArchiveEntry out;
  EXPECT_EQ(Read(raw, &out), static_cast<std::int64_t>(raw.size()) + 3);
  EXPECT_EQ(out.attributes, 0x21);
  EXPECT_EQ(out.modifyTime, 0x40000010u);
}

TEST(Header, EndOfArchiveAndUnknownLevels) {
  ArchiveEntry out;
  std::vector<std::uint8_t> h = HeaderBytes(MakeEntry(2, "", "A"));
  std::vector<std::uint8_t> zero(h.size(), 0);
  EXPECT_EQ(Read(zero, &out), 0);
  EXPECT_EQ(Read(std::vector<std::uint8_t>(h.begin(), h.begin() + 20), &out), 0);
  h[20] = 4;
  EXPECT_EQ(Read(h, &out), 0);
  std::vector<std::uint8_t> truncated = HeaderBytes(MakeEntry(3, "DIR\\", "A"));
  truncated.resize(truncated.size() - 1);
  EXPECT_EQ(Read(truncated, &out), 0);
}

// ----- Damaged and hostile headers: unreadable (0), never read past their bytes or backwards.

TEST(HeaderHostile, SizeByteTooSmallForItsFields) {
  ArchiveEntry out;
  for (int level = 0; level <= 1; ++level) {
    std::vector<std::uint8_t> h = HeaderBytes(MakeEntry(level, "", "NAME.TXT"));
    ASSERT_NE(Read(h, &out), 0);
    std::vector<std::uint8_t> small = h;
    small[0] = 19;  // not even the path length byte
    EXPECT_EQ(Read(small, &out), 0) << level;
    small = h;
    small[0] = static_cast<std::uint8_t>(h[0] - 1);  // N no longer fits with the fields after it
    EXPECT_EQ(Read(small, &out), 0) << level;
    small = h;
    small[21] = 200;  // N larger than S allows
    EXPECT_EQ(Read(small, &out), 0) << level;
  }
}

TEST(HeaderHostile, ExtendedSizesOutsideTheirBounds) {
  ArchiveEntry out;
  // Sizes smaller than the type byte and the next-size field.
  for (std::uint32_t size : {1u, 2u}) {
    std::vector<std::uint8_t> h = RawLevel2({{0x01, "A"}}, 0);
    Set16(h, 24, size);
    EXPECT_EQ(Read(h, &out), 0) << size;
  }
  std::vector<std::uint8_t> h3 = HeaderBytes(MakeEntry(3, "", "A"));
  Set32(h3, 28, 4);
  EXPECT_EQ(Read(h3, &out), 0);
  // Sizes reaching past the end of the file, up to the largest a field can hold.
  h3 = HeaderBytes(MakeEntry(3, "", "A"));
  Set32(h3, 28, 0x7FFFFFF0);
  EXPECT_EQ(Read(h3, &out), 0);
  Set32(h3, 28, 0xFFFFFFFF);
  EXPECT_EQ(Read(h3, &out), 0);
  std::vector<std::uint8_t> h1 = HeaderBytes(MakeEntry(1, "DIR\\", "A"));
  Set16(h1, h1[0], 0xFFFF);
  EXPECT_EQ(Read(h1, &out), 0);
}

TEST(HeaderHostile, LevelOneExtendedHeadersLargerThanThePackedSize) {
  ArchiveEntry e = MakeEntry(1, "DIR\\", "A");
  e.packedSize = 0;
  std::vector<std::uint8_t> h = HeaderBytes(e);
  ArchiveEntry out;
  ASSERT_EQ(Read(h, &out), static_cast<std::int64_t>(h.size()));
  Set32(h, 7, static_cast<std::uint32_t>(h.size() - (h[0] + 2) - 1));  // one byte short
  EXPECT_EQ(Read(h, &out), 0);
}

TEST(HeaderHostile, NextPositionAlwaysMovesForwardBelowTwoGigabytes) {
  ArchiveEntry out;
  for (int level = 0; level <= 3; ++level) {
    std::vector<std::uint8_t> h = HeaderBytes(MakeEntry(level, "", "A"));
    Set32(h, 7, 0xFFFFFFF0);  // negative as a signed size
    EXPECT_EQ(Read(h, &out), 0) << level;
    Set32(h, 7, 0x7FFFFFF0);  // data end past 2^31 - 1
    EXPECT_EQ(Read(h, &out), 0) << level;
  }
  std::vector<std::uint8_t> h = HeaderBytes(MakeEntry(2, "", "A"));
  EXPECT_EQ(Read(h, &out, 0x80000000LL), 0);
  EXPECT_EQ(Read(h, &out, -1), 0);
}

TEST(HeaderHostile, DeclaredHeaderSizeSmallerThanItsExtendedHeaders) {
  // A total that leaves out part of the chain (one writer leaves out the closing size field, or
  // a damaged total of 5): the data starts after the extended headers, never inside them.
  for (int total : {5, 26, 40}) {
    std::vector<std::uint8_t> raw = RawLevel2({{0x01, "gpl-2.gz"}, {0x40, std::string(2, '\0')}}, 9, total);
    ArchiveEntry out;
    EXPECT_EQ(Read(raw, &out), static_cast<std::int64_t>(raw.size()) + 9) << total;
    EXPECT_EQ(out.headerSize, static_cast<std::int32_t>(raw.size()));
  }
}

TEST(HeaderWrite, RefusesEntriesThatDoNotFitTheirLevel) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  ArchiveEntry e = MakeEntry(0, std::string(133, 'd') + "\\", std::string(100, 'n'));
  EXPECT_EQ(WriteHeader(e, buffer), 0u);  // 234 bytes of path
  e = MakeEntry(0, std::string(132, 'd') + "\\", std::string(100, 'n'));
  ASSERT_EQ(WriteHeader(e, buffer), 257u);  // 233: S = 255
  EXPECT_EQ(buffer[0], 255);
  e.headerLevel = 4;
  EXPECT_EQ(WriteHeader(e, buffer), 0u);
  e.headerLevel = 2;
  e.packedSize = -1;
  EXPECT_EQ(WriteHeader(e, buffer), 0u);
}

TEST(HeaderWrite, FullFieldsFitTheBufferAtEveryLevel) {
  for (int level = 1; level <= 3; ++level) {
    ArchiveEntry e = MakeEntry(level, "", "");
    // Fields filled to their last byte without a NUL are taken up to their size limit.
    std::memset(e.directory, 'd', sizeof e.directory);
    std::memset(e.name, 'n', sizeof e.name);
    std::memset(e.comment, 'c', sizeof e.comment);
    e.attributes = 0x01;
    std::vector<std::uint8_t> header = HeaderBytes(e);
    ASSERT_FALSE(header.empty());
    ASSERT_LE(header.size(), lzh::HeaderBufferSize);
    ArchiveEntry out;
    ASSERT_EQ(Read(header, &out), static_cast<std::int64_t>(header.size()));
    EXPECT_EQ(std::strlen(out.name), 259u);
    EXPECT_EQ(std::strlen(out.directory), 259u);
    EXPECT_EQ(std::strlen(out.comment), 1023u);
  }
}
