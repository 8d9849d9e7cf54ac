// Adding files: drops onto the three places a drop target serves, the name questions of the
// add-files job, the progress dialog's delay and Cancel, and the checks on drop lists. Every
// scenario runs the job as the shell would start it and reads the archive back through the
// engine, whose decoder checks each member's CRC.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/StringList.h"
#include "commands/ArchiveDropTarget.h"
#include "dll/DropTestSupport.h"
#include "dll/FolderTestSupport.h"
#include "dll/RegistryFixture.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ClassFactory.h"
#include "operations/AddFilesJob.h"
#include "operations/DropList.h"
#include "resource.h"
#include "ui/UiHarness.h"

using namespace foldertest;
using namespace droptest;

namespace {

// Member path -> contents ("<dir>" for a folder entry), as read back and decoded; long contents
// as their size and hash, so a failure stays readable.
using Members = std::map<std::string, std::string>;

std::string Digest(const std::string& text) {
  if (text.size() <= 40) return text;
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return "#" + std::to_string(text.size()) + ":" + std::to_string(hash);
}

Members ReadMembers(const std::string& path) {
  Members members;
  Archive* archive = new Archive;
  archive->Retain();
  if (archive->OpenFile(path.c_str()) == ResultOk) {
    EntryEnumerator* snapshot = archive->EnumEntries();
    ArchiveEntry entry;
    while (snapshot && snapshot->Next(1, &entry, nullptr) == ResultOk) {
      char key[EntryPathMax];
      EntryPath(entry, key);
      if (entry.attributes & 0x10) {
        members[key] = "<dir>";
        continue;
      }
      platform::MemoryBlock block = platform::NoBlock;
      if (archive->DecodeMember(key, &block, nullptr) != 0) {
        members[key] = "<damaged>";
        continue;
      }
      members[key] = Digest(std::string(static_cast<const char*>(platform::LockBlock(block)),
                                        platform::BlockSize(block)));
      platform::UnlockBlock(block);
      platform::FreeBlock(block);
    }
    if (snapshot) snapshot->Release();
  }
  archive->Release();
  return members;
}

std::string Compressible(std::size_t size, int seed) {
  std::string text;
  unsigned state = static_cast<unsigned>(seed) * 2654435761u + 1;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += "line " + std::to_string(state % 1000) + " of the sample text\r\n";
  }
  text.resize(size);
  return text;
}

// Bytes that do not compress: the encoder works through them and then stores them.
std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::uint32_t x = seed * 2654435761u + 7;
  for (char& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<char>(x >> 24);
  }
  return bytes;
}

class AddFilesTest : public RegistryFixture {
 protected:
  void SetUp() override {
    RegistryFixture::SetUp();
    DialogDelay(-1);
    start_ = ObjectCount();
    archive_ = dir_ / "ARC.LZH";
  }
  void TearDown() override {
    EXPECT_EQ(ObjectCount(), start_) << "objects left alive";
    RegistryFixture::TearDown();
  }

  void Source(const std::string& relative, const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(dir_ / relative, Bytes(text.begin(), text.end()))) << relative;
  }
  void SourceFolder(const std::string& relative) {
    CreateDirectoryA((dir_ / relative).c_str(), nullptr);
  }

  ArchiveFolder* OpenFolder() {
    LPITEMIDLIST list = ShellIdListOf(archive_);
    void* out = nullptr;
    EXPECT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    EXPECT_EQ(folder->Initialize(list), S_OK);
    CoTaskMemFree(list);
    return folder;
  }

  // Runs a job synchronously on this thread over the given sources (relative to the test folder).
  AddFilesOutcome RunJob(const std::vector<std::string>& sources, const char* target = "") {
    ArchiveFolder* folder = OpenFolder();
    AddFilesJob* job = AddFilesJob::Create(view_.window(), folder, target);
    EXPECT_NE(job, nullptr);
    AddFilesOutcome outcome;
    if (job) {
      std::vector<std::string> paths;
      for (const auto& s : sources) paths.push_back(dir_ / s);
      HGLOBAL drop = MakeDropFiles(paths);
      EXPECT_TRUE(job->AddDropList(drop, false));
      GlobalFree(drop);
      outcome = job->Outcome();
      delete job;
    }
    folder->Release();
    return outcome;
  }

  // Waits until every object made for a drop is gone: the worker deletes its job last.
  bool WaitForJobs() {
    return PumpUntil([&] { return ObjectCount() == start_; });
  }

  TempDir dir_;
  std::string archive_;
  ViewWindowStub view_;
  LONG start_ = 0;
};

// The three places files are dropped: the folder window, a folder member and the archive icon.
// Each drop adds a file and a folder tree under the target's path, keeps what was there, and
// leaves the archive readable; Shift shows the move cursor but the drop reports a copy.
TEST_F(AddFilesTest, DropsOntoEveryPlaceAddFilesAndFoldersUnderTheTargetPath) {
  struct Place {
    const char* name;
    const char* prefix;  // where the dropped items land
  };
  const Place places[] = {{"folder window", ""}, {"member folder", "DIR\\"},
                          {"archive icon", ""}};
  const std::string big = Compressible(300000, 1);
  Source("new.txt", big);
  SourceFolder("tree");
  SourceFolder("tree\\sub");
  Source("tree\\a.txt", "alpha");
  Source("tree\\sub\\b.txt", Compressible(5000, 2));
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    ASSERT_TRUE(WriteArchive(archive_, {FolderEntry("DIR\\"), File("DIR\\OLD.TXT", "old"),
                                        File("ROOT.TXT", "root")}));
    IDropTarget* target = nullptr;
    ArchiveFolder* folder = nullptr;
    std::string which = place.name;
    if (which == "archive icon") {
      IClassFactory* factory = nullptr;
      ASSERT_EQ(CreateComObject<ClassFactory>(IID_IClassFactory,
                                              reinterpret_cast<void**>(&factory)), S_OK);
      IPersistFile* file = nullptr;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile,
                                        reinterpret_cast<void**>(&file)), S_OK);
      factory->Release();
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, archive_.c_str(), -1, wide, MAX_PATH);
      ASSERT_EQ(file->Load(wide, STGM_READ), S_OK);
      ASSERT_EQ(file->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)), S_OK);
      file->Release();
    } else {
      folder = OpenFolder();
      if (which == "member folder") {
        // Take the folder item the way the view hands it over: from the enumeration.
        IEnumIDList* items = nullptr;
        ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), S_OK);
        ReceivedItems received;
        ReadAll(items, received);
        items->Release();
        ASSERT_EQ(received.size(), 1u);
        LPCITEMIDLIST one = received.items[0];
        ASSERT_EQ(folder->GetUIObjectOf(view_.window(), 1, &one, IID_IDropTarget, nullptr,
                                        reinterpret_cast<void**>(&target)), S_OK);
      } else {
        ASSERT_EQ(folder->CreateViewObject(view_.window(), IID_IDropTarget,
                                           reinterpret_cast<void**>(&target)), S_OK);
      }
    }
    int refreshesBefore = view_.refreshes();
    auto* data = new FileDropData({dir_ / "new.txt", dir_ / "tree"});
    data->AddRef();
    POINTL point = {0, 0};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON | MK_SHIFT, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(data, MK_LBUTTON | MK_SHIFT, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "a move would lose the files";
    target->Release();
    data->Release();
    if (folder) folder->Release();
    ASSERT_TRUE(WaitForJobs()) << "the worker did not finish";
    std::string p = place.prefix;
    Members expected = {{"DIR\\", "<dir>"}, {"DIR\\OLD.TXT", "old"}, {"ROOT.TXT", "root"},
                        {p + "new.txt", Digest(big)}, {p + "tree\\", "<dir>"},
                        {p + "tree\\a.txt", "alpha"}, {p + "tree\\sub\\", "<dir>"},
                        {p + "tree\\sub\\b.txt", Digest(Compressible(5000, 2))}};
    EXPECT_EQ(ReadMembers(archive_), expected);
    if (which != "archive icon") {
      EXPECT_TRUE(PumpUntil([&] { return view_.refreshes() > refreshesBefore; })) << "no refresh command";
    }
  }
}

// Name collisions: the question asked (by kind), the answer given, and what the archive holds
// afterwards. The archive starts with a folder DIR\ and a file ROOT.TXT.
TEST_F(AddFilesTest, CollisionsAskTheRightQuestionAndFollowTheAnswer) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // source path -> contents
    std::vector<std::string> folders;                        // source folders to make first
    std::vector<std::string> dropped;
    std::vector<AnyThreadDialogs::Answer> answers;
    std::vector<std::string> asked;
    Members added;  // besides (or replacing) DIR\ and ROOT.TXT
  };
  const Case cases[] = {
      {"file over a folder, renamed", {{"DIR", "f"}}, {}, {"DIR"}, {Rename("DIR2")},
       {"121-folder"}, {{"DIR2", "f"}}},
      {"file over a folder, cancelled", {{"DIR", "f"}}, {}, {"DIR"}, {Press(IDCANCEL)},
       {"121-folder"}, {}},
      {"folder over a file, renamed", {{"f\\ROOT.TXT\\in.txt", "in"}}, {"f", "f\\ROOT.TXT"},
       {"f\\ROOT.TXT"}, {Rename("R2")}, {"121-file"}, {{"R2\\", "<dir>"}, {"R2\\in.txt", "in"}}},
      {"other letter case is asked, overwrite keeps the member's name", {{"root.txt", "new"}},
       {}, {"root.txt"}, {Press(IDOK)}, {"124"}, {{"ROOT.TXT", "new"}}},
      {"renamed beside the member", {{"root.txt", "new"}}, {}, {"root.txt"}, {Rename("r.txt")},
       {"124"}, {{"r.txt", "new"}}},
      {"cancel keeps the member", {{"ROOT.TXT", "new"}}, {}, {"ROOT.TXT"}, {Press(IDCANCEL)},
       {"124"}, {}},
      {"overwrite-all answers the rest of the job",
       {{"a\\ROOT.TXT", "one"}, {"b\\ROOT.TXT", "two"}, {"c\\ROOT.TXT", "three"}},
       {"a", "b", "c"}, {"a\\ROOT.TXT", "b\\ROOT.TXT", "c\\ROOT.TXT"},
       {[](HWND d) { ui::Click(d, IDC_ALL); ui::Click(d, IDOK); }}, {"124"},
       {{"ROOT.TXT", "three"}}},
      {"two items of one drop collide", {{"a\\same.txt", "one"}, {"b\\same.txt", "two"}},
       {"a", "b"}, {"a\\same.txt", "b\\same.txt"}, {Rename("same2.txt")}, {"124"},
       {{"same.txt", "one"}, {"same2.txt", "two"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteArchive(archive_, {FolderEntry("DIR\\"), File("ROOT.TXT", "root")}));
    TempDir::Remove(dir_ / "a");
    TempDir::Remove(dir_ / "b");
    TempDir::Remove(dir_ / "c");
    TempDir::Remove(dir_ / "f");
    for (const auto& f : c.folders) SourceFolder(f);
    for (const auto& f : c.files) Source(f.first, f.second);
    AnyThreadDialogs dialogs(c.answers);
    RunJob(c.dropped);
    dialogs.Finish();
    EXPECT_EQ(dialogs.seen(), c.asked);
    EXPECT_EQ(dialogs.unexpected(), 0);
    Members expected = {{"DIR\\", "<dir>"}, {"ROOT.TXT", "root"}};
    for (const auto& m : c.added) expected[m.first] = m.second;
    EXPECT_EQ(ReadMembers(archive_), expected);
    for (const auto& f : c.files) DeleteFileA((dir_ / f.first).c_str());
    DeleteFileA((dir_ / "DIR").c_str());
    DeleteFileA((dir_ / "root.txt").c_str());
  }
}

// What is not taken: the archive itself, paths too deep for a path buffer (told once at the
// end), data without a file list.
TEST_F(AddFilesTest, TheArchiveItselfAndPathsTooLongAreNotAdded) {
  ASSERT_TRUE(WriteArchive(archive_, {File("ROOT.TXT", "root")}));
  ArchiveFolder* folder = OpenFolder();
  IDropTarget* target = nullptr;
  ASSERT_EQ(folder->CreateViewObject(view_.window(), IID_IDropTarget,
                                     reinterpret_cast<void**>(&target)), S_OK);
  POINTL point = {0, 0};
  for (bool offerFiles : {true, false}) {
    auto* self = new FileDropData({archive_}, offerFiles);
    self->AddRef();
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(self, MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(self, MK_LBUTTON, point, &effect), S_FALSE);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    self->Release();
  }
  target->Release();
  folder->Release();
  ASSERT_TRUE(WaitForJobs());
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ROOT.TXT", "root"}}));

  // A folder 200 bytes deep inside the archive leaves no room for the dropped tree's deeper file.
  std::string deep(200, 'D');
  SourceFolder("t");
  SourceFolder("t\\" + std::string(70, 'x'));
  Source("t\\short.txt", "s");
  Source("t\\" + std::string(70, 'x') + "\\long.txt", "l");
  AnyThreadDialogs told({Press(IDOK)});
  AddFilesOutcome outcome = RunJob({"t"}, (deep + "\\").c_str());
  told.Finish();
  EXPECT_EQ(outcome.failed, 1u);
  ASSERT_EQ(told.seen().size(), 1u);
  EXPECT_NE(told.seen()[0].find("1 "), std::string::npos) << told.seen()[0];
  Members members = ReadMembers(archive_);
  EXPECT_EQ(members.count(deep + "\\t\\short.txt"), 1u);
  EXPECT_EQ(members.size(), 3u) << "ROOT.TXT, t\\ and t\\short.txt; not the x folder, whose path is too long";
}

// DialogDelay -1 never shows the progress dialog; 0 shows it at the first progress report, and
// Cancel there stops the file being compressed and the walk, keeping what was staged before.
TEST_F(AddFilesTest, ProgressDialogFollowsTheDelayAndCancelKeepsWhatWasStaged) {
  const std::string big = Noise(8 << 20, 3);
  Source("first.txt", "first");
  Source("big.txt", big);
  Source("last.txt", "last");
  ASSERT_TRUE(WriteArchive(archive_, {}));
  {
    AnyThreadDialogs none({});
    AddFilesOutcome outcome = RunJob({"big.txt"});
    none.Finish();
    EXPECT_FALSE(outcome.dialogShown);
    EXPECT_TRUE(none.seen().empty());
    EXPECT_EQ(ReadMembers(archive_), (Members{{"big.txt", Digest(big)}}));
  }

  ASSERT_TRUE(WriteArchive(archive_, {}));
  DialogDelay(0);
  std::string ratio;
  AnyThreadDialogs cancel({[&](HWND dialog) {
    // Wait for a progress report to show the ratio, then cancel.
    for (int i = 0; i < 500 && ui::Text(dialog, IDC_RATIO).empty(); ++i) Sleep(10);
    ratio = ui::Text(dialog, IDC_RATIO);
    ui::Click(dialog, IDCANCEL);
  }});
  AddFilesOutcome outcome = RunJob({"first.txt", "big.txt", "last.txt"});
  cancel.Finish();
  EXPECT_TRUE(outcome.dialogShown);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_FALSE(ratio.empty()) << "the ratio text of a progress report";
  EXPECT_EQ(ReadMembers(archive_), (Members{{"first.txt", "first"}}));
}

// Drop lists are read only when well formed; names with wildcards or too long are passed over.
TEST(DropListTest, MalformedListsAreRefusedAndBadNamesSkipped) {
  struct Case {
    const char* name;
    std::vector<BYTE> block;  // DROPFILES and names
    bool ok;
    std::vector<std::string> paths;
    unsigned skipped;
  };
  auto header = [](DWORD offset, bool wide) {
    std::vector<BYTE> b(sizeof(DROPFILES), 0);
    DROPFILES d = {};
    d.pFiles = offset;
    d.fWide = wide;
    std::memcpy(b.data(), &d, sizeof d);
    return b;
  };
  auto with = [](std::vector<BYTE> b, const std::string& names) {
    b.insert(b.end(), names.begin(), names.end());
    return b;
  };
  const std::string longName = "C:\\" + std::string(300, 'n');
  std::vector<BYTE> wide = header(sizeof(DROPFILES), true);
  for (char ch : std::string("C:\\w.txt")) {
    wide.push_back(static_cast<BYTE>(ch));
    wide.push_back(0);
  }
  wide.insert(wide.end(), 4, 0);
  const Case cases[] = {
      {"two names", with(header(20, false), std::string("C:\\a\0C:\\b\0\0", 11)), true,
       {"C:\\a", "C:\\b"}, 0},
      {"wide names", wide, true, {"C:\\w.txt"}, 0},
      {"wildcards and a long name skipped",
       with(header(20, false), std::string("C:\\*.txt\0C:\\a?\0", 15) + longName +
                                   std::string("\0C:\\ok\0\0", 8)),
       true, {"C:\\ok"}, 3},
      {"no end inside the block", with(header(20, false), std::string("C:\\a\0C:\\b", 9)),
       false, {}, 0},
      {"offset past the block", with(header(4000, false), std::string("C:\\a\0\0", 6)), false,
       {}, 0},
      {"offset inside the header", with(header(4, false), std::string("C:\\a\0\0", 6)), false,
       {}, 0},
      {"block shorter than its header", std::vector<BYTE>(8, 0), false, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.block.size());
    std::memcpy(GlobalLock(block), c.block.data(), c.block.size());
    GlobalUnlock(block);
    StringList paths;
    DropListCounts counts;
    EXPECT_EQ(ReadDropList(block, paths, &counts), c.ok);
    std::vector<std::string> read;
    for (std::uint32_t i = 0; i < paths.Count(); ++i) {
      const char* key = nullptr;
      paths.Get(i, &key, nullptr, nullptr);
      read.push_back(key);
    }
    EXPECT_EQ(read, c.paths);
    EXPECT_EQ(counts.skipped, c.skipped);
    GlobalFree(block);
  }
  // Progress of files over 42 MB: 32-bit arithmetic would overflow here.
  EXPECT_EQ(ProgressPercent(3000000000u, 4000000000u), 75);
  EXPECT_EQ(ProgressPercent(50u << 20, 100u << 20), 50);
}

}  // namespace
