#include "archive/ArchiveRewrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"
#include "archive/Crc16.h"
#include "archive/ParallelStager.h"
#include "archive/PathName.h"
#include "codec/Decoder.h"
#include "support/LzhBuilder.h"
#include "support/OpenArchive.h"
#include "support/TempFolder.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

using namespace testsupport;

namespace {

// Decodes a member straight from the archive bytes (independent of the engine's member drivers)
// and checks its CRC. False for an unknown method, corrupt data or a CRC mismatch.
bool DecodeFromBytes(const Bytes& archive, const ArchiveEntry& e, Bytes* out) {
  if (e.dataOffset < 0 || e.packedSize < 0 ||
      static_cast<std::size_t>(e.dataOffset) + e.packedSize > archive.size())
    return false;
  const std::uint8_t* packed = archive.data() + e.dataOffset;
  std::string method(e.method, 5);
  out->assign(e.originalSize, 0);
  if (method == "-lhd-") {
    return e.packedSize == 0 && e.originalSize == 0;
  } else if (method == "-lh0-") {
    if (static_cast<std::uint32_t>(e.packedSize) != e.originalSize) return false;
    std::copy(packed, packed + e.packedSize, out->begin());
  } else if (method.size() == 5 && method.compare(0, 3, "-lh") == 0 && method[3] >= '4' &&
             method[3] <= '7') {
    Bytes input(packed, packed + e.packedSize);
    input.resize(input.size() + 8, 0);
    std::vector<std::uint32_t> work(codec::DecodeWorkSize / 4);
    if (codec::DecodeStream(out->data(), input.data(), static_cast<std::uint32_t>(e.packedSize),
                            method[3] - '0', e.originalSize, work.data()) != 0)
      return false;
  } else {
    return false;
  }
  return ComputeCrc16(out->data(), out->size()) == e.crc;
}

ArchiveEntry NewEntry(const std::string& directory, const std::string& name, char method,
                      int level = 2) {
  ArchiveEntry e;
  std::memset(&e, 0, sizeof e);
  std::snprintf(e.method, sizeof e.method, "-lh%c-", method);
  std::snprintf(e.directory, sizeof e.directory, "%s", directory.c_str());
  std::snprintf(e.name, sizeof e.name, "%s", name.c_str());
  e.headerLevel = static_cast<std::uint8_t>(level);
  e.osId = 'M';
  e.attributes = 0x20;
  e.createTime = e.modifyTime = e.accessTime = 1600000000;
  return e;
}

class Rewrite : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string archivePath = folder / "test.lzh";

  void SetUp() override { ASSERT_TRUE(WriteBytes(archivePath, Bytes{0})); }

  // Stages `data` as member `path` ("DIR\\NAME") through a source file.
  bool Stage(OpenArchive& a, const std::string& path, const Bytes& data, char method = '5',
             int level = 2, RewriteFailure* why = nullptr) {
    std::string source = folder / ("src" + std::to_string(serial++));
    if (!WriteBytes(source, data)) return false;
    std::size_t cut = PathFolderLength(path.c_str());
    std::string dir = path.substr(0, cut), name = path.substr(cut);
    ArchiveEntry e = NewEntry(dir, name, method, level);
    e.originalSize = static_cast<std::uint32_t>(data.size());
    return StageFile(*a, &e, source.c_str(), nullptr, nullptr, why);
  }

  // Every member decodes to the expected bytes, in this order.
  void ExpectContents(const std::vector<std::pair<std::string, Bytes>>& expected) {
    OpenArchive a(archivePath);
    ASSERT_TRUE(a.ok());
    auto members = a.Members();
    Bytes file = ReadBytes(archivePath);
    ASSERT_EQ(members.size(), expected.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      EXPECT_EQ(PathOf(members[i]), expected[i].first);
      Bytes data;
      EXPECT_TRUE(DecodeFromBytes(file, members[i], &data)) << PathOf(members[i]);
      EXPECT_EQ(data, expected[i].second) << PathOf(members[i]);
    }
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.back(), 0);
  }

  void MakeThree() {
    OpenArchive a(archivePath);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(Stage(a, "A.TXT", one));
    ASSERT_TRUE(Stage(a, "DOC\\B.TXT", two, '6'));
    ASSERT_TRUE(Stage(a, "C.TXT", three, '7', 1));
    ASSERT_TRUE(Commit(*a));
    EXPECT_EQ(a.PendingCount(), 0u);
  }

  int serial = 0;
  Bytes one = WordText(5000, 1), two = WordText(70000, 2), three = WordText(300, 3);
};

TEST_F(Rewrite, ReplacingTheMiddleMemberKeepsOrderAndCopiesTheOthers) {
  MakeThree();
  Bytes before = ReadBytes(archivePath);
  std::vector<ArchiveEntry> old;
  {
    OpenArchive a(archivePath);
    old = a.Members();
    Bytes newTwo = WordText(9000, 9);
    ASSERT_TRUE(Stage(a, "doc\\b.txt", newTwo));  // same member, other case
    ASSERT_TRUE(Commit(*a));
    two = newTwo;
  }
  ExpectContents({{"A.TXT", one}, {"doc\\b.txt", two}, {"C.TXT", three}});
  Bytes after = ReadBytes(archivePath);
  OpenArchive a(archivePath);
  auto now = a.Members();
  // The first member is untouched, the third one's header and data moved as one block.
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + old[1].headerOffset, after.begin()));
  std::size_t thirdLength = old[2].dataOffset + old[2].packedSize - old[2].headerOffset;
  EXPECT_TRUE(std::equal(before.begin() + old[2].headerOffset,
                         before.begin() + old[2].headerOffset + thirdLength,
                         after.begin() + now[2].headerOffset));
}

TEST_F(Rewrite, AppendingThenDeletingTheLastGivesBackTheSameBytes) {
  MakeThree();
  Bytes before = ReadBytes(archivePath);
  Bytes four = WordText(1234, 4);
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(Stage(a, "NEW\\D.TXT", four, '4', 0));
    ASSERT_TRUE(Commit(*a));
  }
  ExpectContents({{"A.TXT", one}, {"DOC\\B.TXT", two}, {"C.TXT", three}, {"NEW\\D.TXT", four}});
  {
    OpenArchive a(archivePath);
    EXPECT_FALSE(MarkDeleted(*a, "NEW\\NOPE.TXT"));
    ASSERT_TRUE(MarkDeleted(*a, "new\\d.txt"));
    ASSERT_TRUE(Commit(*a));
  }
  EXPECT_EQ(ReadBytes(archivePath), before);
}

TEST_F(Rewrite, HeaderOnlyChangesKeepThePackedData) {
  MakeThree();
  Bytes before = ReadBytes(archivePath);
  OpenArchive a(archivePath);
  auto old = a.Members();
  ArchiveEntry renamed = old[1];
  std::strcpy(renamed.directory, "\x95\x5C\\");  // Shift-JIS name whose trail byte is 0x5C
  std::strcpy(renamed.name, "RENAMED.TXT");
  std::strcpy(renamed.comment, "a comment");
  renamed.headerLevel = 3;
  ASSERT_TRUE(StageEntry(*a, "DOC\\B.TXT", renamed));
  ArchiveEntry levelZero = old[2];
  levelZero.headerLevel = 0;
  ASSERT_TRUE(StageEntry(*a, "C.TXT", levelZero));
  ASSERT_TRUE(Commit(*a));
  ExpectContents({{"A.TXT", one}, {"\x95\x5C\\RENAMED.TXT", two}, {"C.TXT", three}});
  auto now = a.Members();
  EXPECT_STREQ(now[1].comment, "a comment");
  EXPECT_EQ(now[1].headerLevel, 3);
  EXPECT_EQ(now[2].headerLevel, 0);
  Bytes after = ReadBytes(archivePath);
  EXPECT_TRUE(std::equal(before.begin() + old[1].dataOffset,
                         before.begin() + old[1].dataOffset + old[1].packedSize,
                         after.begin() + now[1].dataOffset));
}

TEST_F(Rewrite, StagingAPathTwiceKeepsTheSecondAndFoldersHaveNoData) {
  OpenArchive a(archivePath);
  ASSERT_TRUE(Stage(a, "X.TXT", WordText(4000, 5)));
  Bytes second = WordText(6000, 6);
  ASSERT_TRUE(Stage(a, "X.TXT", second));
  ArchiveEntry folderEntry = NewEntry("DIR\\", "", '5');
  folderEntry.attributes = 0x10;
  ASSERT_TRUE(StageFile(*a, &folderEntry, "", nullptr, nullptr));
  EXPECT_EQ(std::string(folderEntry.method), "-lhd-");
  EXPECT_EQ(a.PendingCount(), 2u);
  ASSERT_TRUE(Commit(*a));
  ExpectContents({{"X.TXT", second}, {"DIR\\", {}}});
}

TEST_F(Rewrite, DataThatDoesNotShrinkIsStoredWithItsCrc) {
  Bytes noise = NoiseBytes(100000, 7);
  Bytes tiny = TextBytes("ab");
  Bytes empty;
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(Stage(a, "NOISE.BIN", noise, '7'));
    ASSERT_TRUE(Stage(a, "TINY", tiny, '5'));
    ASSERT_TRUE(Stage(a, "EMPTY", empty, '5'));
    ASSERT_TRUE(Stage(a, "STORED", one, '0'));
    ASSERT_TRUE(Commit(*a));
  }
  ExpectContents({{"NOISE.BIN", noise}, {"TINY", tiny}, {"EMPTY", empty}, {"STORED", one}});
  OpenArchive a(archivePath);
  for (const auto& m : a.Members()) {
    EXPECT_EQ(std::string(m.method), "-lh0-") << PathOf(m);
    EXPECT_EQ(static_cast<std::uint32_t>(m.packedSize), m.originalSize);
  }
}

TEST_F(Rewrite, ABlockInFrontIsKeptAndAnEmptyCommitChangesNothing) {
  Bytes image(128, 'J');
  Bytes rest = ArchiveBytes({Level0(StoredMember("DOC\\A.TXT", TextBytes("hello"))),
                             Level2(StoredMember("B.TXT", TextBytes("world")))});
  image.insert(image.end(), rest.begin(), rest.end());
  ASSERT_TRUE(WriteBytes(archivePath, image));
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(Commit(*a));
  }
  EXPECT_EQ(ReadBytes(archivePath), image);
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(Stage(a, "C.TXT", one));
    ASSERT_TRUE(MarkDeleted(*a, "B.TXT"));
    ASSERT_TRUE(Commit(*a));
  }
  Bytes after = ReadBytes(archivePath);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 128, after.begin()));
  ExpectContents({{"DOC\\A.TXT", TextBytes("hello")}, {"C.TXT", one}});
}

TEST_F(Rewrite, RefusesWhatTheHeadersCannotDescribe) {
  OpenArchive a(archivePath);
  // A sparse file of 4 GiB: its size does not fit the 32-bit size fields.
  std::string big = folder / "big.bin";
  platform::FileHandle f = platform::OpenFile(big.c_str(), platform::OpenMode::CreateAlways);
  ASSERT_NE(f, platform::NoFile);
  ASSERT_EQ(platform::SeekFile(f, std::int64_t{1} << 32, platform::SeekFrom::Begin),
            std::int64_t{1} << 32);
  ASSERT_TRUE(platform::SetEndOfFile(f));
  platform::CloseFile(f);
  ArchiveEntry e = NewEntry("", "BIG.BIN", '5');
  RewriteFailure why = RewriteFailure::None;
  EXPECT_FALSE(StageFile(*a, &e, big.c_str(), nullptr, nullptr, &why));
  EXPECT_EQ(why, RewriteFailure::TooLarge);
  // A level-0 path longer than its size byte allows.
  EXPECT_FALSE(Stage(a, std::string(200, 'D') + "\\" + std::string(50, 'N'), one, '5', 0, &why));
  EXPECT_EQ(why, RewriteFailure::BadEntry);
  // A describable member still stages after the refusals, and clears the reason.
  EXPECT_TRUE(Stage(a, "MISSING", one, '5', 2, &why));
  EXPECT_EQ(why, RewriteFailure::None);
  ArchiveEntry missing = NewEntry("", "M", '5');
  EXPECT_FALSE(StageFile(*a, &missing, (folder / "no-such-file").c_str(), nullptr, nullptr, &why));
  EXPECT_EQ(why, RewriteFailure::SourceUnreadable);
  EXPECT_EQ(a.PendingCount(), 1u);  // nothing refused was left staged
}

TEST_F(Rewrite, RefusesToGrowAnArchivePastTwoGigabytes) {
  // One stored member whose data (sparse zeros) ends just below 2^31.
  RawMember m;
  m.path = "HUGE.BIN";
  m.crc = 0;
  Bytes header = Level2(m);
  std::uint32_t packed = 0x7FFFFF00u - static_cast<std::uint32_t>(header.size());
  for (int i = 0; i < 4; ++i) {
    header[7 + i] = static_cast<std::uint8_t>(packed >> (8 * i));
    header[11 + i] = static_cast<std::uint8_t>(packed >> (8 * i));
  }
  ASSERT_TRUE(WriteBytes(archivePath, header));
  platform::FileHandle f = platform::OpenFile(archivePath.c_str(), platform::OpenMode::ReadWriteExisting);
  ASSERT_NE(f, platform::NoFile);
  std::int64_t end = static_cast<std::int64_t>(header.size()) + packed + 1;  // + closing zero
  ASSERT_EQ(platform::SeekFile(f, end, platform::SeekFrom::Begin), end);
  ASSERT_TRUE(platform::SetEndOfFile(f));
  platform::CloseFile(f);
  OpenArchive a(archivePath);
  ASSERT_EQ(a.Members().size(), 1u);
  ASSERT_TRUE(Stage(a, "MORE.TXT", NoiseBytes(1000, 3), '5'));
  RewriteFailure why = RewriteFailure::None;
  EXPECT_FALSE(Commit(*a, &why));
  EXPECT_EQ(why, RewriteFailure::TooLarge);
  EXPECT_EQ(a.PendingCount(), 1u);
  platform::FileHandle g = platform::OpenFile(archivePath.c_str(), platform::OpenMode::ReadExisting);
  EXPECT_EQ(platform::FileSize(g), end);
  platform::CloseFile(g);
  // Deleting instead shrinks it and is fine.
  ASSERT_TRUE(MarkDeleted(*a, "HUGE.BIN"));
  ASSERT_TRUE(Commit(*a));
  EXPECT_EQ(a.Members().size(), 1u);
}

TEST_F(Rewrite, ALockedArchiveIsLeftAloneAndTheChangesStayStaged) {
  MakeThree();
  Bytes before = ReadBytes(archivePath);
  OpenArchive a(archivePath);
  OpenArchive other(archivePath);
  ASSERT_TRUE(Stage(a, "D.TXT", one));
  ASSERT_TRUE(other->Lock(true));
  RewriteFailure why = RewriteFailure::None;
  EXPECT_FALSE(Commit(*a, &why));
  EXPECT_EQ(why, RewriteFailure::Locked);
  other->Unlock();
  EXPECT_EQ(ReadBytes(archivePath), before);
  EXPECT_EQ(a.PendingCount(), 1u);
  ASSERT_TRUE(Commit(*a));
  EXPECT_EQ(a.Members().size(), 4u);
  // A name taken meanwhile, ignoring case, by a member or by another job's staging.
  ASSERT_TRUE(Stage(a, "E.TXT", two));
  ArchiveEntry renamed = a.Members()[2];  // C.TXT, to be R.TXT: its new name is taken too
  std::strcpy(renamed.name, "R.TXT");
  ASSERT_TRUE(StageEntry(*a, "C.TXT", renamed));
  for (const char* taken : {"a.txt", "d.txt", "e.txt", "r.txt"}) {
    ArchiveEntry e = NewEntry("", taken, '5');
    EXPECT_FALSE(StageFile(*a, &e, archivePath.c_str(), nullptr, nullptr, &why, nullptr, true));
    EXPECT_EQ(why, RewriteFailure::Collision) << taken;
  }
  // The last member's data cut short: a new header would land inside what it claims.
  Bytes cut = ReadBytes(archivePath);
  cut.resize(cut.size() - 40);
  const std::string cutPath = folder / "cut.lzh";  // the open archives keep their own file
  ASSERT_TRUE(WriteBytes(cutPath, cut));
  {
    OpenArchive c(cutPath);
    ASSERT_TRUE(Stage(c, "NEW.TXT", one));
    EXPECT_FALSE(Commit(*c, &why));
    EXPECT_EQ(why, RewriteFailure::DamagedTail);
    EXPECT_EQ(ReadBytes(cutPath), cut);
    ASSERT_TRUE(MarkDeleted(*c, a.Members().back().name));  // taking the cut member out is fine
    EXPECT_TRUE(Commit(*c, &why));
  }
#ifndef _WIN32
  // Another program put a new file at the path: the change must not go to the orphaned one.
  OpenArchive moved(archivePath);
  ASSERT_TRUE(Stage(moved, "F.TXT", one));
  ASSERT_TRUE(WriteBytes(archivePath + ".new", before));
  ASSERT_EQ(std::rename((archivePath + ".new").c_str(), archivePath.c_str()), 0);
  EXPECT_FALSE(Commit(*moved, &why));
  EXPECT_EQ(why, RewriteFailure::Replaced);
  EXPECT_EQ(ReadBytes(archivePath), before);
#endif
}

// Every write (then every read) of a commit fails once in turn: the commit either fails and
// leaves the archive byte for byte as it was, with its changes still staged, or succeeds with
// exactly the result of a commit without faults.
TEST_F(Rewrite, AFailedIoNeverLeavesAHalfWrittenArchive) {
  MakeThree();
  Bytes before = ReadBytes(archivePath);
  Bytes newTwo = NoiseBytes(3000, 11);  // stored: its CRC is computed during the commit
  Bytes four = WordText(20000, 12);
  auto stageAll = [&](OpenArchive& a) {
    ASSERT_TRUE(Stage(a, "DOC\\B.TXT", newTwo, '5'));
    ASSERT_TRUE(Stage(a, "D.TXT", four, '6'));
    ASSERT_TRUE(MarkDeleted(*a, "A.TXT"));
    ArchiveEntry c = a.Members()[2];
    std::strcpy(c.name, "C2.TXT");
    ASSERT_TRUE(StageEntry(*a, "C.TXT", c));
  };
  std::string expectedPath = folder / "expected.lzh";
  ASSERT_TRUE(WriteBytes(expectedPath, before));
  {
    OpenArchive e(expectedPath);
    stageAll(e);
    ASSERT_TRUE(Commit(*e));
  }
  Bytes expected = ReadBytes(expectedPath);
  for (int reads = 0; reads < 2; ++reads) {
    int failures = 0;
    bool lastSucceeded = false;
    for (std::uint32_t k = 1; k <= 80; ++k) {
      ASSERT_TRUE(WriteBytes(archivePath, before));
      OpenArchive a(archivePath);
      stageAll(a);
      a.Members();  // scanned before the fault is armed
      if (reads)
        platform::FailNthRead(k);
      else
        platform::FailNthWrite(k);
      RewriteFailure why = RewriteFailure::None;
      bool ok = Commit(*a, &why);
      platform::FailNthRead(0);
      platform::FailNthWrite(0);
      lastSucceeded = ok;
      if (ok) {
        EXPECT_EQ(ReadBytes(archivePath), expected) << "k=" << k;
      } else {
        ++failures;
        EXPECT_EQ(ReadBytes(archivePath), before) << "k=" << k;
        // A read error while the commit scans the file again makes the archive object take
        // the file for no archive and close it; the staged changes survive a reopening.
        if (why == RewriteFailure::NotOpen) {
          ASSERT_EQ(a->OpenFile(archivePath.c_str()), ResultOk);
        }
        EXPECT_EQ(a.PendingCount(), 4u) << "k=" << k;
        ASSERT_TRUE(Commit(*a)) << "k=" << k;
        EXPECT_EQ(ReadBytes(archivePath), expected) << "k=" << k;
      }
    }
    EXPECT_GT(failures, 1) << (reads ? "reads" : "writes");
    EXPECT_TRUE(lastSucceeded);
  }
}

// Compressing on several workers makes the archive one worker makes, byte for byte; a member
// that cannot be read fails alone, and a cancel stages nothing more.
TEST_F(Rewrite, StagingOnWorkersMakesTheSameArchiveAsOneThread) {
  std::vector<StageRequest> requests;
  for (int i = 0; i < 40; ++i) {
    StageRequest r;
    const std::string name = "F" + std::to_string(i) + ".BIN";
    r.entry = NewEntry(i % 3 ? "DIR\\" : "", name, "04567"[i % 5]);
    r.source = folder / name;
    const std::size_t size = i == 7 ? 2500000 : 300 + 997 * i;
    ASSERT_TRUE(WriteBytes(r.source, i % 4 ? WordText(size, i) : NoiseBytes(size, i)));
    requests.push_back(r);
  }
  requests[13].source = folder / "missing";
  Bytes made[2];
  for (unsigned threads : {1u, 4u}) {
    ASSERT_TRUE(WriteBytes(archivePath, Bytes{0}));
    OpenArchive a(archivePath);
    std::vector<StageRequest> run = requests;
    EXPECT_EQ(StageFiles(*a, run, threads, nullptr, nullptr), 39u);
    EXPECT_FALSE(run[13].staged);
    EXPECT_EQ(run[13].why, RewriteFailure::SourceUnreadable);
    ASSERT_TRUE(Commit(*a));
    made[threads == 1 ? 0 : 1] = ReadBytes(archivePath);
  }
  EXPECT_EQ(made[0], made[1]);
  OpenArchive check(archivePath);
  const auto members = check.Members();
  ASSERT_EQ(members.size(), 39u);
  for (const ArchiveEntry& m : members) {
    Bytes data;
    EXPECT_TRUE(DecodeFromBytes(made[1], m, &data)) << PathOf(m);
  }
  std::vector<StageRequest> cancelled = requests;
  int calls = 0;
  EXPECT_EQ(StageFiles(*check, cancelled, 4,
                       [](void* c, std::uint64_t, std::uint32_t) { return ++*static_cast<int*>(c); },
                       &calls),
            0u);
  EXPECT_EQ(check.PendingCount(), 0u);
  EXPECT_EQ(cancelled.back().why, RewriteFailure::Cancelled);
}

TEST_F(Rewrite, TwoThreadsStagingAndCommittingOnOneArchiveLoseNothing) {
  OpenArchive a(archivePath);
  std::atomic<int> failures{0};
  auto worker = [&](int id) {
    for (int i = 0; i < 6; ++i) {
      std::string name = "T" + std::to_string(id) + "_" + std::to_string(i);
      std::string source = folder / name;
      if (!WriteBytes(source, WordText(3000 + i * 100, id * 10 + i))) ++failures;
      ArchiveEntry e = NewEntry("", name, '5');
      if (!StageFile(*a, &e, source.c_str(), nullptr, nullptr)) ++failures;
      if (!Commit(*a)) ++failures;
    }
  };
  std::thread t1(worker, 1), t2(worker, 2);
  t1.join();
  t2.join();
  EXPECT_EQ(failures.load(), 0);
  auto members = a.Members();
  EXPECT_EQ(members.size(), 12u);
  Bytes file = ReadBytes(archivePath);
  for (const auto& m : members) {
    Bytes data;
    EXPECT_TRUE(DecodeFromBytes(file, m, &data)) << PathOf(m);
  }
}

TEST_F(Rewrite, DeletingAFolderTakesEverythingBelowIt) {
  OpenArchive a(archivePath);
  ASSERT_TRUE(Stage(a, "DOC\\A.TXT", one));
  ASSERT_TRUE(Stage(a, "DOC\\SUB\\B.TXT", two));
  ASSERT_TRUE(Stage(a, "DOCS\\C.TXT", three));
  const std::string soft = "\x83\x5C\x83\x74\x83\x67.TXT";  // its first character ends in 0x5C
  ASSERT_TRUE(Stage(a, soft.c_str(), one));
  ArchiveEntry folderEntry = NewEntry("DOC\\", "", '5');
  folderEntry.attributes = 0x10;
  ASSERT_TRUE(StageFile(*a, &folderEntry, "", nullptr, nullptr));
  ASSERT_TRUE(Commit(*a));
  EXPECT_EQ(MarkDeletedBelow(*a, "\x83\x5C"), 0u);
  EXPECT_EQ(MarkDeletedBelow(*a, "doc"), 3u);
  ASSERT_TRUE(Commit(*a));
  ExpectContents({{"DOCS\\C.TXT", three}, {soft, one}});
}

// Two members under one path (other archivers write such files): a staged change concerns the
// first of them in file order, whatever the case of the path; the second is copied as it was.
TEST_F(Rewrite, AChangeToARepeatedPathConcernsItsFirstMember) {
  const RawMember first = StoredMember("DUP.TXT", Bytes(300, 'a')),
                  second = StoredMember("dup.txt", Bytes(500, 'b')),
                  last = StoredMember("Z.TXT", Bytes(70, 'z'));
  ASSERT_TRUE(WriteBytes(archivePath, ArchiveBytes({Level2(first), Level2(second), Level2(last)})));
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(MarkDeleted(*a, "Dup.Txt"));
    ASSERT_TRUE(Commit(*a));
  }
  ExpectContents({{"dup.txt", second.data}, {"Z.TXT", last.data}});
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(MarkDeleted(*a, "z.txt"));
    ASSERT_TRUE(MarkDeleted(*a, "DUP.TXT"));
    ASSERT_TRUE(Commit(*a));
  }
  ExpectContents({});
}

namespace {
platform::FileTime LastWriteTime(const std::string& path) {
  platform::FileTime write{0, 0};
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::ReadExisting);
  if (file != platform::NoFile) {
    platform::GetFileTimes(file, nullptr, nullptr, &write);
    platform::CloseFile(file);
  }
  return write;
}
}  // namespace

// Another writer changes the file after this object's scan and the last-write time is put back,
// as a coarse clock would leave it. A commit must not cut the file where the old catalogue says
// the headers are: after a scan made without the file lock it scans again; after one made under
// the lock the size tells.
TEST_F(Rewrite, ACommitNoticesWhatAnotherWriterChangedSinceTheScan) {
  auto rename = [&](const char* from, const char* to) {
    OpenArchive other(archivePath);
    ASSERT_TRUE(other->Lock(false));
    ArchiveEntry entry;
    ASSERT_TRUE(other->GetMember(static_cast<std::uint32_t>(other->FindMember(from)), &entry));
    other->Unlock();
    std::snprintf(entry.name, sizeof entry.name, "%s", to);
    ASSERT_TRUE(StageEntry(*other, from, entry));
    ASSERT_TRUE(Commit(*other));
  };
  MakeThree();
  platform::FileTime stamp = LastWriteTime(archivePath);
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(a->Lock(false));  // scanned without the file lock
    a->Unlock();
    // The first header grows by three bytes and the second shrinks by three: same size.
    rename("A.TXT", "AAAA.TXT");
    rename("DOC\\B.TXT", "BT");
    ASSERT_TRUE(platform::SetPathTimes(archivePath.c_str(), nullptr, nullptr, &stamp));
    ASSERT_TRUE(MarkDeleted(*a, "A.TXT"));
    ASSERT_TRUE(Commit(*a));  // "A.TXT" is gone by now: nothing to do
  }
  ExpectContents({{"AAAA.TXT", one}, {"DOC\\BT", two}, {"C.TXT", three}});

  stamp = LastWriteTime(archivePath);
  OpenArchive b(archivePath);
  ASSERT_TRUE(b->Lock(true));  // scanned under the file lock
  b->Unlock();
  rename("AAAA.TXT", "A.TXT");
  ASSERT_TRUE(platform::SetPathTimes(archivePath.c_str(), nullptr, nullptr, &stamp));
  ASSERT_TRUE(MarkDeleted(*b, "DOC\\BT"));
  ASSERT_TRUE(Commit(*b));
  ExpectContents({{"A.TXT", one}, {"C.TXT", three}});
}

}  // namespace

namespace {

// Runs a host tool and returns its exit status (POSIX builds only).
int RunTool(const std::string& command) {
#ifdef _WIN32
  (void)command;
  return -1;
#else
  return std::system((command + " >/dev/null 2>&1").c_str());
#endif
}

}  // namespace

// Whatever follows the last readable member (padding after the closing byte, a damaged header
// that ended the scan) stays in the file, and new members go in front of it, where every reader
// finds them.
// The process stops at its k-th write (every later change of a file fails, as after a crash),
// for every k of a delete, a replace, an add and a header-only change. A fresh Archive then finds
// exactly the old members or exactly the new ones, and no journal is left behind.
TEST_F(Rewrite, ACommitInterruptedAtAnyWriteLeavesTheOldOrTheNewArchive) {
  const Bytes big = NoiseBytes(1500000, 21), fresh = WordText(9000, 22);
  using Contents = std::vector<std::pair<std::string, Bytes>>;
  const Contents old = {{"A.TXT", one}, {"BIG.BIN", big}, {"C.TXT", three}};
  {
    OpenArchive a(archivePath);
    ASSERT_TRUE(Stage(a, "A.TXT", one));
    ASSERT_TRUE(Stage(a, "BIG.BIN", big, '0'));
    ASSERT_TRUE(Stage(a, "C.TXT", three));
    ASSERT_TRUE(Commit(*a));
  }
  const Bytes before = ReadBytes(archivePath);
  struct Case {
    const char* what;
    std::function<void(OpenArchive&)> stage;
    Contents after;
  };
  const Case cases[] = {
      {"delete", [&](OpenArchive& a) { ASSERT_TRUE(MarkDeleted(*a, "A.TXT")); },
       {{"BIG.BIN", big}, {"C.TXT", three}}},
      {"replace", [&](OpenArchive& a) { ASSERT_TRUE(Stage(a, "A.TXT", fresh, '0')); },
       {{"A.TXT", fresh}, {"BIG.BIN", big}, {"C.TXT", three}}},
      {"add", [&](OpenArchive& a) { ASSERT_TRUE(Stage(a, "D.TXT", fresh)); },
       {{"A.TXT", one}, {"BIG.BIN", big}, {"C.TXT", three}, {"D.TXT", fresh}}},
      {"rename", [&](OpenArchive& a) {
         ArchiveEntry e = a.Members()[0];
         std::strcpy(e.name, "A-LONGER-NAME.TXT");
         ASSERT_TRUE(StageEntry(*a, "A.TXT", e));
       },
       {{"A-LONGER-NAME.TXT", one}, {"BIG.BIN", big}, {"C.TXT", three}}},
  };
  auto contents = [&]() {
    OpenArchive a(archivePath);
    Contents found;
    const std::vector<ArchiveEntry> members = a.Members();  // the opening finishes a commit
    const Bytes file = ReadBytes(archivePath);
    for (const ArchiveEntry& m : members) {
      Bytes data;
      if (!DecodeFromBytes(file, m, &data)) data = Bytes{'?'};
      found.emplace_back(PathOf(m), data);
    }
    return found;
  };
  for (const Case& c : cases) {
    int interrupted = 0, asNew = 0;
    for (std::uint32_t k = 1;; ++k) {
      SCOPED_TRACE(std::string(c.what) + " k=" + std::to_string(k));
      ASSERT_TRUE(WriteBytes(archivePath, before));
      bool ok;
      {
        OpenArchive a(archivePath);
        c.stage(a);
        a.Members();
        platform::StopWritesFrom(k);
        ok = Commit(*a);
        platform::StopWritesFrom(0);
      }
      const Contents found = contents();
      EXPECT_TRUE(found == old || found == c.after);
      EXPECT_EQ(platform::GetAttributes((archivePath + Archive::JournalSuffix).c_str()),
                platform::InvalidAttributes);
      if (ok) {
        EXPECT_EQ(found, c.after);
        break;
      }
      ++interrupted;
      if (found == c.after) ++asNew;
      ASSERT_LT(k, 400u);
    }
    // Interruptions before and after the journal was sealed both happened.
    RecordProperty(std::string(c.what) + "_interruptions", interrupted);
    EXPECT_GT(interrupted, asNew) << c.what;
    EXPECT_GT(asNew, 0) << c.what;
  }
}

TEST_F(Rewrite, NewMembersGoAfterTheLastReadableMemberAndTrailingBytesStay) {
  const RawMember first = StoredMember("A.TXT", WordText(900, 1)),
                  second = StoredMember("DIR\\B.TXT", WordText(400, 2));
  Bytes damaged = Level2(second);
  damaged[20] = 9;  // a header level no reader knows: the scan ends there
  struct Case {
    const char* what;
    Bytes tail;       // after the members' data
    Bytes kept;       // what must follow the new closing byte
  };
  const Case cases[] = {
      {"zero padding", Bytes(1 + 77, 0), Bytes(77, 0)},
      {"0x1A padding", [] { Bytes b(60, 0x1A); b.insert(b.begin(), 0); return b; }(), Bytes(60, 0x1A)},
      {"0x1A, no closing byte", Bytes(40, 0x1A), Bytes(40, 0x1A)},
      {"damaged header", [&] { Bytes b = damaged; b.push_back(0); return b; }(),
       [&] { Bytes b = damaged; b.push_back(0); return b; }()},
  };
  const Bytes added = WordText(3000, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = Level2(first);
    Bytes two = Level2(second);
    image.insert(image.end(), two.begin(), two.end());
    image.insert(image.end(), c.tail.begin(), c.tail.end());
    ASSERT_TRUE(WriteBytes(archivePath, image));
    {
      OpenArchive a(archivePath);
      ASSERT_EQ(a.Members().size(), 2u);
      ASSERT_TRUE(Stage(a, "NEW.TXT", added));
      ASSERT_TRUE(Commit(*a));
    }
    Bytes file = ReadBytes(archivePath);
    ASSERT_GT(file.size(), c.kept.size());
    EXPECT_TRUE(std::equal(c.kept.begin(), c.kept.end(), file.end() - c.kept.size()))
        << "the old trailing bytes are kept at the end";
    EXPECT_EQ(file[file.size() - c.kept.size() - 1], 0) << "a closing byte in front of them";
    OpenArchive check(archivePath);
    auto members = check.Members();
    ASSERT_EQ(members.size(), 3u);
    const Bytes* expected[] = {&first.data, &second.data, &added};
    for (std::size_t i = 0; i < 3; ++i) {
      Bytes data;
      EXPECT_TRUE(DecodeFromBytes(file, members[i], &data)) << PathOf(members[i]);
      EXPECT_EQ(data, *expected[i]) << PathOf(members[i]);
    }
#ifndef _WIN32
    EXPECT_EQ(RunTool("lhasa t '" + archivePath + "'"), 0);
    EXPECT_EQ(RunTool("7z l '" + archivePath + "' | grep -q NEW.TXT"), 0);
    EXPECT_EQ(RunTool("lhasa l '" + archivePath + "' | grep -qi new.txt"), 0);
#endif
  }
}

// A header-only change writes a header in front of the member's own packed data, whatever its
// attribute bits say; one whose member left the archive meanwhile is not done at all.
TEST_F(Rewrite, HeaderOnlyChangesNeverLeaveAHeaderWithoutItsData) {
  RawMember flagged =
      StoredMember("FLAGGED.TXT", TextBytes("a file whose folder bit is set by some writer"));
  flagged.attributes = 0x30;
  const RawMember other = StoredMember("B.TXT", Bytes(700, 'b')),
                  last = StoredMember("Z.TXT", Bytes(90, 'z'));
  const Bytes image = ArchiveBytes({Level2(flagged), Level2(other), Level2(last)});

  ASSERT_TRUE(WriteBytes(archivePath, image));
  {
    OpenArchive a(archivePath);
    ArchiveEntry renamed = a.Members()[0];
    std::strcpy(renamed.name, "RENAMED.TXT");
    ASSERT_TRUE(StageEntry(*a, "FLAGGED.TXT", renamed));
    ASSERT_TRUE(Commit(*a));
  }
  ExpectContents({{"RENAMED.TXT", flagged.data}, {"B.TXT", other.data}, {"Z.TXT", last.data}});

  ASSERT_TRUE(WriteBytes(archivePath, image));
  OpenArchive a(archivePath);
  ArchiveEntry commented = a.Members()[1];
  std::strcpy(commented.comment, "stale");
  ASSERT_TRUE(StageEntry(*a, "B.TXT", commented));
  {
    OpenArchive other(archivePath);  // another window deletes the member first
    ASSERT_TRUE(MarkDeleted(*other, "B.TXT"));
    ASSERT_TRUE(Commit(*other));
  }
  std::uint32_t dropped = 0;
  ASSERT_TRUE(Commit(*a, nullptr, &dropped));
  EXPECT_EQ(dropped, 1u);
  ExpectContents({{"FLAGGED.TXT", flagged.data}, {"Z.TXT", last.data}});
}

// "A.TXT" and "a.txt" side by side: every operation reaches the member it names.
TEST_F(Rewrite, MembersDifferingInLetterCaseAreEachReachedByTheirOwnPath) {
  const RawMember upper = StoredMember("A.TXT", Bytes(300, 'U')),
                  lower = StoredMember("a.txt", Bytes(500, 'l')),
                  last = StoredMember("Z.TXT", Bytes(70, 'z'));
  const Bytes image = ArchiveBytes({Level2(upper), Level2(lower), Level2(last)});
  enum Operation { Rename, Delete, Comment, Replace };
  struct Case {
    Operation operation;
    const char* path;
    std::vector<std::pair<std::string, Bytes>> expected;
  };
  const Bytes fresh(40, 'n');
  const Case cases[] = {
      {Rename, "a.txt", {{"A.TXT", upper.data}, {"b.txt", lower.data}, {"Z.TXT", last.data}}},
      {Rename, "A.TXT", {{"b.txt", upper.data}, {"a.txt", lower.data}, {"Z.TXT", last.data}}},
      {Delete, "a.txt", {{"A.TXT", upper.data}, {"Z.TXT", last.data}}},
      {Delete, "A.TXT", {{"a.txt", lower.data}, {"Z.TXT", last.data}}},
      {Comment, "a.txt", {{"A.TXT", upper.data}, {"a.txt", lower.data}, {"Z.TXT", last.data}}},
      {Replace, "a.txt", {{"A.TXT", upper.data}, {"a.txt", fresh}, {"Z.TXT", last.data}}},
      // A path no member has exactly still reaches one that differs in case only.
      {Delete, "A.txt", {{"a.txt", lower.data}, {"Z.TXT", last.data}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.operation) + " " + c.path);
    ASSERT_TRUE(WriteBytes(archivePath, image));
    OpenArchive a(archivePath);
    std::vector<std::pair<std::string, Bytes>> before = {
        {"A.TXT", upper.data}, {"a.txt", lower.data}, {"Z.TXT", last.data}};
    for (const auto& member : before) {  // the decoder reaches each one too
      platform::MemoryBlock block = platform::NoBlock;
      ASSERT_EQ(a->DecodeMember(member.first.c_str(), &block, nullptr), 0);
      const auto* data = static_cast<const std::uint8_t*>(platform::LockBlock(block));
      EXPECT_EQ(Bytes(data, data + platform::BlockSize(block)), member.second) << member.first;
      platform::UnlockBlock(block);
      platform::FreeBlock(block);
    }
    ArchiveEntry entry{};
    for (const auto& member : a.Members())
      if (PathOf(member) == c.path) entry = member;
    switch (c.operation) {
      case Rename:
        std::strcpy(entry.name, "b.txt");
        ASSERT_TRUE(StageEntry(*a, c.path, entry));
        break;
      case Comment:
        std::strcpy(entry.comment, "note");
        ASSERT_TRUE(StageEntry(*a, c.path, entry));
        break;
      case Delete:
        ASSERT_TRUE(MarkDeleted(*a, c.path));
        break;
      case Replace:
        ASSERT_TRUE(Stage(a, c.path, fresh, '0'));
        break;
    }
    ASSERT_TRUE(Commit(*a));
    ExpectContents(c.expected);
    if (c.operation == Comment) {
      auto members = a.Members();
      EXPECT_STREQ(members[0].comment, "");
      EXPECT_STREQ(members[1].comment, "note");
    }
  }
}
