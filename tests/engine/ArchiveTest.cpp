#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "archive/Archive.h"
#include "archive/Crc16.h"
#include "archive/EntryEnumerator.h"
#include "support/EntryBuilder.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

using namespace testsupport;

namespace {

std::vector<ArchiveEntry> ThreeMembers() {
  std::vector<ArchiveEntry> members = {MakeEntry(2, "DOC\\", "A.TXT"),
                                       MakeEntry(1, "DOC\\SUB\\", "B.TXT"),
                                       MakeEntry(0, "", "C.TXT", "-lh0-")};
  for (std::size_t i = 0; i < members.size(); ++i) members[i].packedSize = static_cast<std::int32_t>(10 * (i + 1));
  return members;
}

// An Archive with one reference, released at the end of the scope.
class Held {
 public:
  Held() : archive_(new Archive) { archive_->Retain(); }
  ~Held() { archive_->Release(); }
  Archive* operator->() const { return archive_; }
  Archive* get() const { return archive_; }

 private:
  Archive* archive_;
};

std::vector<std::string> Paths(Archive* archive) {
  std::vector<std::string> paths;
  EntryEnumerator* snapshot = archive->EnumEntries();
  if (!snapshot) return paths;
  ArchiveEntry e;
  std::uint32_t fetched = 0;
  while (snapshot->Next(1, &e, &fetched) == ResultOk) paths.push_back(std::string(e.directory) + e.name);
  snapshot->Release();
  return paths;
}

class ArchiveTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = temp_ / name;
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
  }
  TempFolder temp_;
};

}  // namespace

TEST_F(ArchiveTest, SnapshotNextResetAndLookups) {
  std::string path = Write("three.lzh", ArchiveImage(ThreeMembers()));
  Held archive;
  ASSERT_EQ(archive->OpenFile(path.c_str()), ResultOk);
  EntryEnumerator* snapshot = archive->EnumEntries();
  ASSERT_NE(snapshot, nullptr);
  ArchiveEntry e;
  std::uint32_t fetched = 99;
  for (const char* expected : {"DOC\\A.TXT", "DOC\\SUB\\B.TXT", "C.TXT"}) {
    ASSERT_EQ(snapshot->Next(1, &e, &fetched), ResultOk);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(std::string(e.directory) + e.name, expected);
  }
  EXPECT_EQ(snapshot->Next(1, &e, &fetched), ResultFalse);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(snapshot->Reset(), ResultOk);
  ArchiveEntry all[5];
  EXPECT_EQ(snapshot->Next(5, all, &fetched), ResultFalse);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(all[2].headerOffset + all[2].headerSize, all[2].dataOffset);
  EXPECT_EQ(all[1].headerOffset, all[0].dataOffset + all[0].packedSize);

  // The snapshot looks up exactly; the archive's own lookup ignores case.
  EXPECT_TRUE(snapshot->FindEntry("DOC\\SUB\\B.TXT", &e));
  EXPECT_STREQ(e.name, "B.TXT");
  EXPECT_FALSE(snapshot->FindEntry("doc\\sub\\b.txt", nullptr));
  void* object = &e;
  EXPECT_EQ(snapshot->QueryInterface(nullptr, &object), ResultNoInterface);
  EXPECT_EQ(object, nullptr);
  snapshot->Release();

  ASSERT_EQ(archive->Lock(false), 1);
  std::int32_t index = archive->FindMember("doc\\sub\\b.txt");
  EXPECT_EQ(index, 1);
  ArchiveEntry member;
  ASSERT_TRUE(archive->GetMember(1, &member));
  EXPECT_STREQ(member.name, "B.TXT");
  EXPECT_STREQ(member.directory, "DOC\\SUB\\");
  EXPECT_EQ(member.packedSize, 20);
  EXPECT_FALSE(archive->GetMember(3, &member));
  EXPECT_EQ(archive->MemberCount(), 3u);
  EXPECT_EQ(archive->FindMember("DOC\\SUB\\"), -1);
  archive->Unlock();
}

TEST_F(ArchiveTest, PrefixBlockBrokenChainAndDamagedMembers) {
  // A 128-byte block in front (starting with a zero byte, which alone would end the archive).
  std::vector<std::uint8_t> image(128, 0x5A);
  image[0] = 0;
  std::vector<std::uint8_t> body = ArchiveImage(ThreeMembers());
  image.insert(image.end(), body.begin(), body.end());
  Held prefixed;
  ASSERT_EQ(prefixed->OpenFile(Write("prefixed.lzh", image).c_str()), ResultOk);
  EXPECT_EQ(Paths(prefixed.get()).size(), 3u);
  ASSERT_EQ(prefixed->Lock(false), 1);
  ArchiveEntry first;
  ASSERT_TRUE(prefixed->GetMember(0, &first));
  EXPECT_EQ(first.headerOffset, 128);
  prefixed->Unlock();

  // The chain breaks after three members: they stay.
  body.pop_back();
  std::vector<std::uint8_t> broken = body;
  std::vector<std::uint8_t> bad = HeaderBytes(MakeEntry(2, "", "D.TXT"));
  bad[20] = 9;
  broken.insert(broken.end(), bad.begin(), bad.end());
  Held chain;
  ASSERT_EQ(chain->OpenFile(Write("broken.lzh", broken).c_str()), ResultOk);
  EXPECT_EQ(Paths(chain.get()).size(), 3u);

  // A fourth member whose packed size would send the next header backwards ends the scan.
  std::vector<std::uint8_t> backwards = body;
  std::vector<std::uint8_t> negative = HeaderBytes(MakeEntry(0, "", "D.TXT"));
  Set32(negative, 7, 0xFFFFFF00);
  negative[1] = 0;  // the checksum is not verified
  backwards.insert(backwards.end(), negative.begin(), negative.end());
  backwards.push_back(0);
  Held looping;
  ASSERT_EQ(looping->OpenFile(Write("backwards.lzh", backwards).c_str()), ResultOk);
  EXPECT_EQ(Paths(looping.get()).size(), 3u);
}

TEST_F(ArchiveTest, NotAnArchiveClosesButAnEmptyArchiveStaysOpen) {
  Held text;
  ASSERT_EQ(text->OpenFile(Write("text.lzh", std::vector<std::uint8_t>(300, 'x')).c_str()), ResultOk);
  EXPECT_TRUE(Paths(text.get()).empty());
  EXPECT_EQ(text->File(), platform::NoFile);
  EXPECT_EQ(text->Lock(true), 0);
  EXPECT_FALSE(text->OwnedByCurrentThread());

  for (const auto& bytes : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0}}) {
    Held empty;
    ASSERT_EQ(empty->OpenFile(Write("empty" + std::to_string(bytes.size()) + ".lzh", bytes).c_str()),
              ResultOk);
    EXPECT_TRUE(Paths(empty.get()).empty());
    EXPECT_NE(empty->File(), platform::NoFile);
    EXPECT_EQ(empty->Lock(true), 1);  // a later rewrite can take the file lock
    empty->Unlock();
  }
}

TEST_F(ArchiveTest, OpenFileFailuresLeaveTheObjectAsItWas) {
  Held archive;
  EXPECT_EQ(archive->OpenFile(nullptr), ResultInvalidArg);
  std::string path = Write("a.lzh", ArchiveImage(ThreeMembers()));
  ASSERT_EQ(archive->OpenFile(path.c_str()), ResultOk);
  platform::FileHandle file = archive->File();
  EXPECT_EQ(archive->OpenFile((temp_ / "missing.lzh").c_str()), ResultInvalidArg);
  EXPECT_EQ(archive->OpenFile(std::string(300, 'p').c_str()), ResultInvalidArg);
  EXPECT_EQ(archive->File(), file);
  EXPECT_EQ(std::string(archive->Path()), path);
  EXPECT_EQ(archive->OpenFile(nullptr), ResultOk);
  EXPECT_EQ(Paths(archive.get()).size(), 3u);
}

TEST_F(ArchiveTest, LockExcludesOtherThreadsAndIsReentrantForItsOwner) {
  std::string path = Write("lock.lzh", ArchiveImage(ThreeMembers()));
  Held archive;
  ASSERT_EQ(archive->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(archive->Lock(false), 1);
  EXPECT_EQ(archive->Lock(false), 1);  // again, at once
  EXPECT_EQ(archive->Lock(true), 1);   // the owner may add the file lock
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    archive->Lock(false);
    acquired = true;
    archive->Unlock();
  });
  Held second;
  ASSERT_EQ(second->OpenFile(path.c_str()), ResultOk);
  EXPECT_EQ(second->Lock(true), 0);
  archive->Unlock();  // the Lock that took the file lock is undone: the file lock goes with it
  EXPECT_EQ(second->Lock(true), 1);
  second->Unlock();
  archive->Unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(acquired.load());  // counted: one Lock of the owner is still held
  archive->Unlock();
  other.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_FALSE(archive->OwnedByCurrentThread());

  // A snapshot taken under the caller's own lock leaves that lock held.
  ASSERT_EQ(archive->Lock(false), 1);
  EntryEnumerator* snapshot = archive->EnumEntries();
  ASSERT_NE(snapshot, nullptr);
  snapshot->Release();
  EXPECT_TRUE(archive->OwnedByCurrentThread());
  archive->Unlock();
}

TEST_F(ArchiveTest, FileLockExcludesASecondArchiveOnTheSameFile) {
  std::string path = Write("shared.lzh", ArchiveImage(ThreeMembers()));
  Held first, second;
  ASSERT_EQ(first->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(second->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(first->Lock(true), 1);
  EXPECT_EQ(second->Lock(true), 0);
  EXPECT_FALSE(second->OwnedByCurrentThread());  // a failed Lock releases what it took
  EXPECT_EQ(second->Lock(false), 1);             // the spin locks are per object
  second->Unlock();
  first->Unlock();
  EXPECT_EQ(second->Lock(true), 1);
  second->Unlock();
}

TEST_F(ArchiveTest, RescansWhenTheFileChanges) {
  std::vector<ArchiveEntry> members = ThreeMembers();
  std::string path = Write("changing.lzh", ArchiveImage({members[0], members[1]}));
  Held reader;
  ASSERT_EQ(reader->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(Paths(reader.get()).size(), 2u);
  EntryEnumerator* before = reader->EnumEntries();
  ASSERT_NE(before, nullptr);

  // Rewritten behind the reader's back with the old last-write time: the stamp still matches.
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::ReadExisting);
  platform::FileTime written;
  ASSERT_TRUE(platform::GetFileTimes(file, nullptr, nullptr, &written));
  platform::CloseFile(file);
  std::vector<std::uint8_t> three = ArchiveImage(members);
  file = platform::OpenFile(path.c_str(), platform::OpenMode::ReadWriteExisting);
  ASSERT_NE(file, platform::NoFile);
  ASSERT_TRUE(platform::WriteFile(file, three.data(), static_cast<std::uint32_t>(three.size())));
  ASSERT_TRUE(platform::SetFileTimes(file, nullptr, nullptr, &written));
  platform::CloseFile(file);
  EXPECT_EQ(Paths(reader.get()).size(), 2u);
  // Forcing a rescan (as after a rewrite through this object) reads it again.
  reader->ForceRescan();
  EXPECT_EQ(Paths(reader.get()).size(), 3u);

  // Another object changes the file and its time: the reader sees it at its next Lock.
  Held writer;
  ASSERT_EQ(writer->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(writer->Lock(true), 1);
  std::vector<std::uint8_t> one = ArchiveImage({members[2]});
  ASSERT_EQ(platform::SeekFile(writer->File(), 0, platform::SeekFrom::Begin), 0);
  ASSERT_TRUE(platform::WriteFile(writer->File(), one.data(), static_cast<std::uint32_t>(one.size())));
  ASSERT_TRUE(platform::SetEndOfFile(writer->File()));
  platform::FileTime later = platform::FromU64(platform::ToU64(written) + 50000000);
  ASSERT_TRUE(platform::SetFileTimes(writer->File(), nullptr, nullptr, &later));
  writer->Unlock();
  std::vector<std::string> paths = Paths(reader.get());
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0], "C.TXT");

  // A snapshot taken before the rescans still holds what it saw.
  EXPECT_EQ(before->Count(), 2u);
  ArchiveEntry e;
  EXPECT_TRUE(before->FindEntry("DOC\\SUB\\B.TXT", &e));
  EXPECT_EQ(e.packedSize, 20);
  before->Release();
}

// A scan that cannot read the file through (a read error, or another handle holding the file
// lock while it rewrites the file) keeps the catalogue it had and the file open, and the next
// Lock scans again; a rewrite refuses to build on it.
TEST_F(ArchiveTest, AnUnreadableFileKeepsTheCatalogueAndIsScannedAgain) {
  std::vector<ArchiveEntry> members = ThreeMembers();
  std::string path = Write("flaky.lzh", ArchiveImage({members[0], members[1]}));
  Held reader;
  ASSERT_EQ(reader->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(Paths(reader.get()).size(), 2u);
  EXPECT_FALSE(reader->ScanFailed());

  Held writer;
  ASSERT_EQ(writer->OpenFile(path.c_str()), ResultOk);
  ASSERT_EQ(writer->Lock(true), 1);
  std::vector<std::uint8_t> three = ArchiveImage(members);
  ASSERT_EQ(platform::SeekFile(writer->File(), 0, platform::SeekFrom::Begin), 0);
  ASSERT_TRUE(platform::WriteFile(writer->File(), three.data(),
                                  static_cast<std::uint32_t>(three.size())));
  const platform::FileTime later{0, 0x01DC0000};  // some day in 2025
  ASSERT_TRUE(platform::SetFileTimes(writer->File(), nullptr, nullptr, &later));
#ifndef _WIN32
  // Still rewriting: the reader keeps what it had. (Windows refuses the reads themselves, which
  // the read error below stands for; Wine does not enforce such locks on reads.)
  ASSERT_EQ(reader->Lock(false), 1);
  EXPECT_EQ(reader->MemberCount(), 2u);
  EXPECT_TRUE(reader->ScanFailed());
  EXPECT_NE(reader->File(), platform::NoFile);
  reader->Unlock();
#endif
  writer->Unlock();

  // A read error: the same.
  platform::FailNthRead(1);
  ASSERT_EQ(reader->Lock(false), 1);
  platform::FailNthRead(0);
  EXPECT_EQ(reader->MemberCount(), 2u);
  EXPECT_TRUE(reader->ScanFailed());
  EXPECT_NE(reader->File(), platform::NoFile);
  reader->Unlock();

  EXPECT_EQ(Paths(reader.get()).size(), 3u);
  EXPECT_FALSE(reader->ScanFailed());

  // Even the first scan of a file: it is not taken for "not an archive".
  Held fresh;
  ASSERT_EQ(fresh->OpenFile(path.c_str()), ResultOk);
  platform::FailNthRead(1);
  ASSERT_EQ(fresh->Lock(false), 1);
  platform::FailNthRead(0);
  EXPECT_TRUE(fresh->ScanFailed());
  EXPECT_NE(fresh->File(), platform::NoFile);
  fresh->Unlock();
  EXPECT_EQ(Paths(fresh.get()).size(), 3u);
}

TEST_F(ArchiveTest, CopyDataCopiesRangesWithTheirCrc) {
  std::vector<std::uint8_t> data(600000);
  std::uint32_t x = 12345;
  for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
  std::string sourcePath = Write("source.bin", data);
  std::string archivePath = Write("copy.lzh", {0});
  Held archive;
  ASSERT_EQ(archive->OpenFile(archivePath.c_str()), ResultOk);

  for (std::uint32_t count : {Archive::CopyToEnd, 300001u, 0x40000u, 0u}) {
    SCOPED_TRACE(count);
    platform::FileHandle source = platform::OpenFile(sourcePath.c_str(), platform::OpenMode::ReadExisting);
    platform::FileHandle target = platform::CreateTempFile();
    ASSERT_NE(target, platform::NoFile);
    std::uint16_t crc = 0xFFFF;
    EXPECT_EQ(archive->CopyData(source, target, count, &crc), 1);
    std::size_t expected = count == Archive::CopyToEnd ? data.size() : count;
    EXPECT_EQ(platform::FileSize(target), static_cast<std::int64_t>(expected));
    EXPECT_EQ(crc, ComputeCrc16(data.data(), expected));
    std::vector<std::uint8_t> copied(expected);
    std::uint32_t got = 0;
    platform::SeekFile(target, 0, platform::SeekFrom::Begin);
    if (expected) {
      ASSERT_TRUE(platform::ReadFile(target, copied.data(), static_cast<std::uint32_t>(expected), &got));
    }
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), data.begin()));
    platform::CloseFile(source);
    platform::CloseFile(target);
  }

  // A source that ends before the promised count, and a failing write, fail the copy.
  platform::FileHandle source = platform::OpenFile(sourcePath.c_str(), platform::OpenMode::ReadExisting);
  platform::FileHandle target = platform::CreateTempFile();
  EXPECT_EQ(archive->CopyData(source, target, 700000, nullptr), 0);
  platform::SeekFile(source, 0, platform::SeekFrom::Begin);
  platform::FailNthWrite(2);
  EXPECT_EQ(archive->CopyData(source, target, Archive::CopyToEnd, nullptr), 0);
  platform::FailNthWrite(0);
  platform::CloseFile(source);
  platform::CloseFile(target);
}
