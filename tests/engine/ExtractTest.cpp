#include "archive/Extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/TimeConversion.h"
#include "support/LzhBuilder.h"
#include "support/OpenArchive.h"
#include "support/TempFolder.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

using namespace testsupport;

namespace {

class Extraction : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string archivePath = folder / "x.lzh";
  std::string target = folder / "out";

  void SetUp() override { ASSERT_TRUE(platform::MakeDirectory(target.c_str())); }

  std::string Out(const std::string& relative) {
    std::string p = target;
    p += platform::PathSeparator();
    for (char c : relative) p += c == '|' ? platform::PathSeparator() : c;
    return p;
  }

  struct Report {
    std::vector<std::pair<std::string, ExtractResult>> results;
  };
  static void Record(void* context, const ArchiveEntry& e, ExtractResult result, const char*) {
    static_cast<Report*>(context)->results.emplace_back(PathOf(e), result);
  }
};

TEST_F(Extraction, MakesFoldersAndRestoresTimesAndAttributes) {
  ASSERT_TRUE(WriteBytes(archivePath, Bytes{0}));
  std::string source = folder / "a.txt";
  Bytes text = WordText(20000, 4);
  ASSERT_TRUE(WriteBytes(source, text));
  {
    OpenArchive a(archivePath);
    ArchiveEntry folderEntry;
    std::memset(&folderEntry, 0, sizeof folderEntry);
    std::strcpy(folderEntry.directory, "DOC\\");
    std::strcpy(folderEntry.method, "-lhd-");
    folderEntry.attributes = 0x10;
    folderEntry.headerLevel = 2;
    folderEntry.createTime = folderEntry.accessTime = folderEntry.modifyTime = 1500000000;
    ASSERT_TRUE(StageFile(*a, &folderEntry, "", nullptr, nullptr));
    ArchiveEntry e = folderEntry;
    std::strcpy(e.directory, "DOC\\SUB\\");
    std::strcpy(e.name, "A.TXT");
    std::strcpy(e.method, "-lh5-");
    e.attributes = 0x21;  // read-only
    e.headerLevel = 3;
    e.createTime = 1400000000;
    e.accessTime = 1450000000;
    e.modifyTime = 1420000000;
    e.originalSize = static_cast<std::uint32_t>(text.size());
    ASSERT_TRUE(StageFile(*a, &e, source.c_str(), nullptr, nullptr));
    ASSERT_TRUE(Commit(*a));
  }
  ASSERT_EQ(ExtractAll(archivePath.c_str(), target.c_str()), 1);
  std::string file = Out("DOC|SUB|A.TXT");
  // Times first: reading the file may move its access time.
  platform::FileTime create, access, write;
  platform::FileHandle f = platform::OpenFile(file.c_str(), platform::OpenMode::ReadExisting);
  ASSERT_TRUE(platform::GetFileTimes(f, &create, &access, &write));
  platform::CloseFile(f);
  platform::FileTime expected;
  UnixToFileTime(1420000000, &expected);
  EXPECT_EQ(platform::ToU64(write), platform::ToU64(expected));
  UnixToFileTime(1450000000, &expected);
  EXPECT_EQ(platform::ToU64(access), platform::ToU64(expected));
  EXPECT_EQ(ReadBytes(file), text);
  EXPECT_TRUE(platform::GetAttributes(file.c_str()) & platform::AttrReadOnly);
  // The folder keeps its own time although a file was written into it afterwards.
  auto folderTime = std::filesystem::last_write_time(std::filesystem::u8path(Out("DOC")));
  auto fileTime = std::filesystem::last_write_time(std::filesystem::u8path(file));
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(fileTime - folderTime).count(),
            1420000000 - 1500000000);
}

TEST_F(Extraction, NeverWritesOutsideTheTargetFolder) {
  std::vector<Bytes> members;
  const char* level0Paths[] = {"..\\evil0.txt", "../evil1.txt", "C:evil2.txt",
                               "\\root3.txt",   "A\\..\\..\\evil4.txt", "good.txt:stream",
                               "A/../../evil5.txt", "\\\\server\\share\\evil6.txt", "...\\evil7",
                               "/root9.txt"};
  for (const char* p : level0Paths) members.push_back(Level0(StoredMember(p, TextBytes("bad"))));
  // Level 2: folder "..\" in the 0x02 extended header.
  members.push_back(Level2(StoredMember("..\\..\\evil8.txt", TextBytes("bad"))));
  // The trail byte 0x5C is not a separator.
  members.push_back(Level0(StoredMember("SAFE\\\x95\x5C.txt", TextBytes("good"))));
  // Links the target already holds, to the folder above it and to the (read-only) archive.
  members.push_back(Level0(StoredMember("LINK\\EVIL.TXT", TextBytes("bad"))));
  members.push_back(Level0(StoredMember("FILELINK", TextBytes("bad"))));
  ASSERT_TRUE(WriteBytes(archivePath, ArchiveBytes(members)));
  platform::SetAttributes(archivePath.c_str(), platform::AttrReadOnly);
  std::error_code noLink;  // Windows may refuse to make links (then they are plain names)
  std::filesystem::create_directory_symlink(folder.path(), Out("LINK"), noLink);
  if (!noLink) std::filesystem::create_symlink(archivePath, Out("FILELINK"), noLink);
  ASSERT_TRUE(!noLink || platform::PathSeparator() == '\\') << noLink.message();

  OpenArchive a(archivePath);
  Report report;
  ExtractOptions options;
  options.report = Record;
  options.reportContext = &report;
  options.state = OverwriteState::ReplaceAll;  // even when replacing is allowed
  ExtractCounts counts;
  ASSERT_TRUE(ExtractEntries(*a, target.c_str(), options, &counts));
  EXPECT_EQ(counts.written, noLink ? 5u : 3u);
  EXPECT_EQ(counts.failed, noLink ? 9u : 11u);
  ASSERT_EQ(report.results.size(), 14u);
  for (const auto& result : report.results) {
    bool lands = result.first.find("root") != std::string::npos ||
                 result.first.find("SAFE") != std::string::npos;
    bool link = result.first.find("LINK") != std::string::npos;
    EXPECT_EQ(result.second, lands || (link && noLink) ? ExtractResult::Written
                             : link                   ? ExtractResult::LinkRefused
                                                      : ExtractResult::Refused)
        << result.first;
  }
  // The file a link leads to keeps even its mode.
  EXPECT_TRUE(platform::GetAttributes(archivePath.c_str()) & platform::AttrReadOnly);
  EXPECT_EQ(ReadBytes(Out("SAFE|\x95\x5C.txt")), TextBytes("good"));
  // A leading separator is dropped: the member lands below the target.
  EXPECT_EQ(ReadBytes(Out("root3.txt")), TextBytes("bad"));
  EXPECT_EQ(ReadBytes(Out("root9.txt")), TextBytes("bad"));
  // Nothing but the target folder and the archive in the folder above it.
  EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"out", "x.lzh"}));
  EXPECT_EQ(ListFolder(target), (std::vector<std::string>{"FILELINK", "LINK", "SAFE", "root3.txt",
                                                          "root9.txt"}));
  // The single-member path of the shell library's selection uses the same guard.
  ArchiveEntry e = a.Members()[0];
  ExtractResult result;
  EXPECT_EQ(ExtractMemberBelow(*a, 0, e, target.c_str(), "..\\evil0.txt", nullptr, nullptr,
                               nullptr, &result),
            0);
  EXPECT_EQ(result, ExtractResult::Refused);
}

// Into a folder whose name ends in a double-byte character with trail byte 0x5C (ソ): the
// members land inside it, not beside it in the parent.
TEST_F(Extraction, AFolderEndingInATrailByte0x5CGetsItsSeparator) {
  ASSERT_TRUE(WriteArchive(archivePath, {StoredMember("DIR\\A.TXT", TextBytes("inside"))}));
  const std::string so = Out("\x83\x5C");
  ASSERT_TRUE(platform::MakeDirectory(so.c_str()));
  OpenArchive a(archivePath);
  ExtractCounts counts;
  ASSERT_TRUE(ExtractEntries(*a, so.c_str(), ExtractOptions(), &counts));
  EXPECT_EQ(counts.written, 1u);
  EXPECT_EQ(ReadBytes(Out("\x83\x5C|DIR|A.TXT")), TextBytes("inside"));
  EXPECT_EQ(ListFolder(target).size(), 1u) << "nothing beside the folder";
}

TEST_F(Extraction, DamagedOrUnknownMembersLeaveNoFileAndTheOthersGoOn) {
  RawMember unknown;
  unknown.method = "-lh1-";
  unknown.path = "OLD.TXT";
  unknown.data = TextBytes("xxxxxxxx");
  RawMember badCrc = StoredMember("BADCRC.TXT", TextBytes("stored bytes"));
  badCrc.crc = 0x1234;
  RawMember garbage;  // compressed data that is not a valid stream
  garbage.method = "-lh5-";
  garbage.path = "GARBAGE.TXT";
  garbage.data = NoiseBytes(40, 1);
  garbage.originalSize = 5000;
  RawMember fine = StoredMember("FINE.TXT", TextBytes("fine"));
  ASSERT_TRUE(WriteBytes(archivePath, ArchiveBytes({Level0(unknown), Level2(badCrc),
                                                     Level2(garbage), Level0(fine)})));
  OpenArchive a(archivePath);
  ExtractCounts counts;
  ASSERT_TRUE(ExtractEntries(*a, target.c_str(), ExtractOptions(), &counts));
  EXPECT_EQ(counts.failed, 3u);
  EXPECT_EQ(ListFolder(target), std::vector<std::string>{"FINE.TXT"});
}

TEST_F(Extraction, ExistingFilesAreKeptUnlessTheQuestionSaysOtherwise) {
  const Bytes content = TextBytes("new content");
  ASSERT_TRUE(WriteArchive(archivePath, {StoredMember("A.TXT", content, 1600000000),
                                         StoredMember("B.TXT", content, 1600000000),
                                         StoredMember("C.TXT", content, 1600000000)}));
  for (const char* name : {"A.TXT", "B.TXT", "C.TXT"}) ASSERT_TRUE(WriteBytes(Out(name), TextBytes("old")));
  platform::SetAttributes(Out("A.TXT").c_str(), platform::AttrReadOnly);

  // Extract-all keeps every existing file, content and attributes.
  ASSERT_EQ(ExtractAll(archivePath.c_str(), target.c_str()), 1);
  for (const char* name : {"A.TXT", "B.TXT", "C.TXT"}) EXPECT_EQ(ReadBytes(Out(name)), TextBytes("old"));
  EXPECT_TRUE(platform::GetAttributes(Out("A.TXT").c_str()) & platform::AttrReadOnly);

  struct Asker {
    std::vector<OverwriteAnswer> answers;
    std::vector<OverwriteRecord> asked;
  };
  auto ask = [](void* context, const OverwriteRecord& record) {
    auto* asker = static_cast<Asker*>(context);
    asker->asked.push_back(record);
    OverwriteAnswer answer = asker->answers.front();
    asker->answers.erase(asker->answers.begin());
    return answer;
  };
  OpenArchive a(archivePath);
  auto members = a.Members();
  Asker asker;
  asker.answers = {OverwriteAnswer::No, OverwriteAnswer::Yes, OverwriteAnswer::Cancel};
  OverwriteState state = OverwriteState::Ask;
  EXPECT_EQ(ExtractMemberToFile(*a, 0, members[0], target.c_str(), Out("A.TXT").c_str(), ask, &asker, &state), 0);
  EXPECT_EQ(ReadBytes(Out("A.TXT")), TextBytes("old"));
  ASSERT_EQ(asker.asked.size(), 1u);
  EXPECT_STREQ(asker.asked[0].newName, "A.TXT");
  EXPECT_EQ(asker.asked[0].newSize, 11u);
  EXPECT_EQ(asker.asked[0].newTime, 1600000000u);
  EXPECT_EQ(asker.asked[0].existingSize, 3u);
  EXPECT_TRUE(asker.asked[0].existingAttributes & platform::AttrReadOnly);
  // "Yes" replaces even a read-only file; the member's own attributes follow.
  EXPECT_EQ(ExtractMemberToFile(*a, 0, members[0], target.c_str(), Out("A.TXT").c_str(), ask, &asker, &state), 1);
  EXPECT_EQ(ReadBytes(Out("A.TXT")), TextBytes("new content"));
  EXPECT_EQ(state, OverwriteState::Ask);
  EXPECT_EQ(ExtractMemberToFile(*a, 1, members[1], target.c_str(), Out("B.TXT").c_str(), ask, &asker, &state), 0);
  EXPECT_EQ(state, OverwriteState::Stop);
  EXPECT_EQ(ExtractMemberToFile(*a, 2, members[2], target.c_str(), Out("C.TXT").c_str(), ask, &asker, &state), 0);
  EXPECT_EQ(ReadBytes(Out("B.TXT")), TextBytes("old"));
  EXPECT_EQ(ReadBytes(Out("C.TXT")), TextBytes("old"));
  // "All" replaces this and every later one without asking again.
  asker.answers = {OverwriteAnswer::All};
  asker.asked.clear();
  ExtractOptions options;
  options.ask = ask;
  options.askContext = &asker;
  ExtractCounts counts;
  ASSERT_TRUE(ExtractEntries(*a, target.c_str(), options, &counts));
  EXPECT_EQ(asker.asked.size(), 1u);
  EXPECT_EQ(counts.written, 3u);
  for (const char* name : {"A.TXT", "B.TXT", "C.TXT"})
    EXPECT_EQ(ReadBytes(Out(name)), TextBytes("new content"));
}

// Replacing a file writes the new contents beside it first: a write that fails at any point
// leaves the old file as it was (read-only bit included) and nothing else behind.
TEST_F(Extraction, AFailedReplacementLeavesTheOldFileUntouched) {
  const Bytes fresh = NoiseBytes(200000, 5);
  ASSERT_TRUE(WriteArchive(archivePath, {StoredMember("A.TXT", fresh)}));
  const Bytes old = TextBytes("the user's own file");
  ASSERT_TRUE(WriteBytes(Out("A.TXT"), old));
  platform::SetAttributes(Out("A.TXT").c_str(), platform::AttrReadOnly);
  OpenArchive a(archivePath);
  const ArchiveEntry entry = a.Members()[0];
  int failures = 0;
  for (std::uint32_t n = 1;; ++n) {
    ASSERT_LT(n, 50u);
    OverwriteState state = OverwriteState::ReplaceAll;
    platform::FailNthWrite(n);
    int written = ExtractMemberToFile(*a, 0, entry, target.c_str(), Out("A.TXT").c_str(),
                                      nullptr, nullptr, &state);
    platform::FailNthWrite(0);
    EXPECT_EQ(ListFolder(target), std::vector<std::string>{"A.TXT"}) << "write " << n;
    if (written == 1) break;
    ++failures;
    EXPECT_EQ(ReadBytes(Out("A.TXT")), old) << "write " << n;
    EXPECT_TRUE(platform::GetAttributes(Out("A.TXT").c_str()) & platform::AttrReadOnly);
  }
  EXPECT_GE(failures, 1);
  EXPECT_EQ(ReadBytes(Out("A.TXT")), fresh);
}

// Every member is extracted as itself (a repeated path, names that are one file on Windows, data
// with the folder bit); one landing on a file this run wrote follows the overwrite rules, and one
// that another object replaces or moves (deleting A) after the first report is written whole.
TEST_F(Extraction, MembersAreExtractedAsThemselves) {
  const bool win = platform::PathSeparator() == '\\';
  const auto W = ExtractResult::Written, K = ExtractResult::SameFileKept,
             R = ExtractResult::SameFileReplaced;
  struct Row {
    std::vector<const char*> paths;
    const char* act;  // "f": replace all; "A", "B": the writer replaces it; "-": deletes A
    std::vector<ExtractResult> results;
    const char* file;
    std::size_t from;  // member whose data the file holds (3: the writer's)
    unsigned threads = 4;  // members decoded ahead of the writing must be checked again
  } rows[] = {
      {{"S", "S"}, "", {W, K}, "S", 0}, {{"S", "S"}, "f", {W, R}, "S", 1},
      {{"A", "a", "B.", "B"}, "", {W, win ? K : W, W, win ? K : W}, "B", win ? 2u : 3u},
      {{"A", "a"}, "f", {W, win ? R : W}, "A", win ? 1u : 0u}, {{"BIT10"}, "", {W}, "BIT10", 0},
      {{"A", "B", "C"}, "B", {W, W, W}, "B", 3}, {{"A", "B", "C"}, "A", {W, W, W, W}, "A", 3},
      {{"A", "B", "C"}, "-", {W, W, W}, "C", 2}, {{"A", "B", "C"}, "B", {W, W, W}, "B", 3, 1},
      {{"A", "B", "C"}, "A", {W, W, W, W}, "A", 3, 1},
  };
  int n = 0;
  for (const Row& row : rows) {
    std::vector<RawMember> members;
    for (const char* p : row.paths) members.push_back(StoredMember(p, WordText(99 + n, int(members.size()))));
    if (row.paths.size() == 1) members[0].attributes = 0x30;
    const std::string rowTarget = Out("row" + std::to_string(n++));
    ASSERT_TRUE(WriteArchive(archivePath, members) && platform::MakeDirectory(rowTarget.c_str()));
    members.push_back(StoredMember("", WordText(5000, 9)));
    ASSERT_TRUE(WriteBytes(folder / "fresh", members.back().data));
    struct Hook : Report {
      const Row* row;
      std::string archive, fresh;
    } hook{{}, &row, archivePath, folder / "fresh"};
    ExtractOptions options;
    options.state = *row.act == 'f' ? OverwriteState::ReplaceAll : OverwriteState::Ask;
    options.reportContext = &hook;
    options.threads = row.threads;
    options.report = [](void* context, const ArchiveEntry& e, ExtractResult r, const char* t) {
      auto* h = static_cast<Hook*>(context);
      Record(h, e, r, t);
      const char act = *h->row->act;
      if (h->results.size() != 1 || (act != 'A' && act != 'B' && act != '-')) return;
      // The extraction's workers hold the file lock for a moment at a time: another process
      // waits for it, and so does this writer.
      OpenArchive writer(h->archive);
      std::vector<ArchiveEntry> now;
      for (int i = 0; i < 400 && (now = writer.Members()).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_GE(now.size(), 2u);
      ArchiveEntry entry = now[act == 'B' ? 1 : 0];
      entry.originalSize = 5000;
      EXPECT_TRUE(act == '-' ? MarkDeleted(*writer, "A")
                                         : StageFile(*writer, &entry, h->fresh.c_str(), nullptr, nullptr));
      bool committed = false;
      for (int i = 0; i < 400 && !(committed = Commit(*writer)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      EXPECT_TRUE(committed);
    };
    OpenArchive a(archivePath);
    ExtractCounts counts;
    ASSERT_TRUE(ExtractEntries(*a, rowTarget.c_str(), options, &counts));
    std::vector<ExtractResult> results;
    for (const auto& r : hook.results) results.push_back(r.second);
    EXPECT_EQ(results, row.results) << n;
    EXPECT_EQ(ReadBytes(rowTarget + platform::PathSeparator() + row.file), members[row.from].data) << n;
    EXPECT_EQ(counts.failed, std::uint32_t(std::count(results.begin(), results.end(), K)));
  }
}

TEST_F(Extraction, AFailedWriteLeavesNoPartialFile) {
  ASSERT_TRUE(WriteArchive(archivePath, {StoredMember("BIG.BIN", NoiseBytes(300000, 2))}));
  OpenArchive a(archivePath);
  a.Members();
  platform::FailNthWrite(1);
  ExtractCounts counts;
  ASSERT_TRUE(ExtractEntries(*a, target.c_str(), ExtractOptions(), &counts));
  platform::FailNthWrite(0);
  EXPECT_EQ(counts.failed, 1u);
  EXPECT_TRUE(ListFolder(target).empty());
}

}  // namespace
