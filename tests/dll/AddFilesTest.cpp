// Adding files: drops onto the three places a drop target serves, the name questions, the
// progress dialog's delay and Cancel, and the checks on drop lists. Every scenario reads the
// archive back through the engine, whose decoder checks each member's CRC.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "archive/StringList.h"
#include "dll/DropTestSupport.h"
#include "dll/FolderTestSupport.h"
#include "dll/RegistryFixture.h"
#include "dll/ViewTestSupport.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ClassFactory.h"
#include "namespace/ResourceText.h"
#include "namespace/WideName.h"
#include "operations/AddFilesJob.h"
#include "operations/DropList.h"
#include "resource.h"
#include "ui/UiHarness.h"

using namespace foldertest;
using namespace droptest;

namespace {

// Member path -> contents ("<dir>" for a folder entry); long contents as size and hash.
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
  EntryEnumerator* snapshot = archive->OpenFile(path.c_str()) == ResultOk ? archive->EnumEntries()
                                                                         : nullptr;
  ArchiveEntry entry;
  while (snapshot && snapshot->Next(1, &entry, nullptr) == ResultOk) {
    char key[EntryPathMax];
    EntryPath(entry, key);
    platform::MemoryBlock block = platform::NoBlock;
    if (entry.attributes & 0x10) {
      members[key] = "<dir>";
    } else if (archive->DecodeMember(key, &block, nullptr) != 0) {
      members[key] = "<damaged>";
    } else {
      const char* bytes = static_cast<const char*>(platform::LockBlock(block));
      members[key] = Digest(std::string(bytes, platform::BlockSize(block)));
      platform::FreeBlock(block);
    }
  }
  if (snapshot) snapshot->Release();
  archive->Release();
  return members;
}

// Sample contents: text lines that compress, or noise that does not.
std::string Sample(std::size_t size, std::uint32_t seed, bool noise = false) {
  std::string text;
  std::uint32_t x = seed * 2654435761u + 7;
  while (text.size() < size) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    if (noise) text += static_cast<char>(x >> 24);
    else text += "line " + std::to_string(x % 1000) + " of the sample text\r\n";
  }
  text.resize(size);
  return text;
}

// String `id` of the library filled with `text`.
std::string Filled(UINT id, const std::string& text) {
  char pattern[512], filled[1024];
  LoadLibraryString(id, pattern, sizeof pattern);
  wsprintfA(filled, pattern, text.c_str());
  return filled;
}

class AddFilesTest : public RegistryFixture {
 protected:
  void SetUp() override {
    RegistryFixture::SetUp();
    DialogDelay(-1);
    start_ = ObjectCount();
  }
  void TearDown() override {
    EXPECT_EQ(ObjectCount(), start_) << "objects left alive";
    RegistryFixture::TearDown();
  }

  // Source files and folders below `base` ("name\" makes a folder).
  using Tree = std::vector<std::pair<std::string, std::string>>;
  static void Make(const TempFolder& base, const Tree& tree) {
    for (const auto& [path, text] : tree) {
      if (path.back() == '\\') CreateDirectoryA((base / path).c_str(), nullptr);
      else ASSERT_TRUE(WriteBytes(base / path, Bytes(text.begin(), text.end())));
    }
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

  // A job run on this thread, as the new-compression command runs it, over `sources`.
  AddFilesOutcome RunJob(const TempFolder& base, const std::vector<std::string>& sources,
                         const char* target = "", HWND owner = HWND(-1), unsigned threads = 0) {
    ArchiveFolder* folder = OpenFolder();
    AddFilesJob* job = AddFilesJob::Create(owner == HWND(-1) ? view_.window() : owner, folder,
                                           target);
    AddFilesOutcome outcome;
    EXPECT_NE(job, nullptr);
    if (job) {
      job->SetThreads(threads);
      std::vector<std::string> paths;
      for (const auto& s : sources) paths.push_back(base / s);
      HGLOBAL drop = MakeDropFiles(paths);
      EXPECT_TRUE(job->AddDropList(drop, false));
      GlobalFree(drop);
      outcome = job->Outcome();
      delete job;
    }
    folder->Release();
    return outcome;
  }

  // The drop handler of the archive file at `path`, made as the shell makes it.
  static IDropTarget* IconTarget(const std::string& path) {
    IClassFactory* factory = nullptr;
    IPersistFile* file = nullptr;
    IDropTarget* target = nullptr;
    EXPECT_EQ(CreateComObject<ClassFactory>(IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, reinterpret_cast<void**>(&file)),
              S_OK);
    factory->Release();
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    EXPECT_EQ(file->Load(wide, STGM_READ), S_OK);
    file->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
    file->Release();
    return target;
  }

  TempFolder dir_;
  std::string archive_ = dir_ / "ARC.LZH";
  ViewWindowStub view_;
  LONG start_ = 0;
};

// The folder window, a folder member and the archive icon: each drop adds a file and a folder
// tree under the target's path and keeps what was there; Shift shows the move cursor but the
// drop reports a copy; the worker ends, and the view is told to refresh.
TEST_F(AddFilesTest, DropsOntoEveryPlaceAddFilesAndFoldersUnderTheTargetPath) {
  const std::string big = Sample(300000, 1), small = Sample(5000, 2);
  TempFolder src;
  Make(src, {{"new.txt", big}, {"tree\\", ""}, {"tree\\sub\\", ""}, {"tree\\a.txt", "alpha"},
             {"tree\\sub\\b.txt", small}});
  for (std::string place : {"folder window", "member folder", "archive icon"}) {
    SCOPED_TRACE(place);
    ASSERT_TRUE(WriteArchive(archive_, {FolderEntry("DIR\\"), File("DIR\\OLD.TXT", "old"),
                                        File("ROOT.TXT", "root")}));
    IDropTarget* target = nullptr;
    ArchiveFolder* folder = place == "archive icon" ? nullptr : OpenFolder();
    if (!folder) {
      target = IconTarget(archive_);
    } else if (place == "member folder") {
      HeldItem item(MakeItem("DIR", 0x10));
      LPCITEMIDLIST one = item.list();
      ASSERT_EQ(folder->GetUIObjectOf(view_.window(), 1, &one, IID_IDropTarget, nullptr,
                                      reinterpret_cast<void**>(&target)), S_OK);
    } else {
      ASSERT_EQ(folder->CreateViewObject(view_.window(), IID_IDropTarget,
                                         reinterpret_cast<void**>(&target)), S_OK);
    }
    int refreshes = view_.refreshes();
    auto* data = new FileDropData({src / "new.txt", src / "tree"});
    data->AddRef();
    POINTL point = {0, 0};
    DWORD effects[3] = {DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                        DROPEFFECT_COPY | DROPEFFECT_MOVE};
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON | MK_SHIFT, point, &effects[0]), S_OK);
    EXPECT_EQ(target->DragOver(MK_LBUTTON, point, &effects[1]), S_OK);
    EXPECT_EQ(target->Drop(data, MK_LBUTTON | MK_SHIFT, point, &effects[2]), S_OK);
    EXPECT_EQ(effects[0], static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(effects[1], static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(effects[2], static_cast<DWORD>(DROPEFFECT_COPY)) << "a move would lose the files";
    target->Release();
    data->Release();
    if (folder) folder->Release();
    ASSERT_TRUE(PumpUntil([&] { return ObjectCount() == start_; })) << "the worker did not end";
    std::string p = place == "member folder" ? "DIR\\" : "";
    EXPECT_EQ(ReadMembers(archive_),
              (Members{{"DIR\\", "<dir>"}, {"DIR\\OLD.TXT", "old"}, {"ROOT.TXT", "root"},
                       {p + "new.txt", Digest(big)}, {p + "tree\\", "<dir>"},
                       {p + "tree\\a.txt", "alpha"}, {p + "tree\\sub\\", "<dir>"},
                       {p + "tree\\sub\\b.txt", Digest(small)}}));
    if (folder) {
      EXPECT_TRUE(PumpUntil([&] { return view_.refreshes() > refreshes; }));
    }
  }
  // Compressed on one thread or several, the files go into the archive in the same order and
  // make the same bytes.
  Bytes made[2];
  for (unsigned threads : {1u, 3u}) {
    ASSERT_TRUE(WriteArchive(archive_, {}));
    RunJob(src, {"new.txt", "tree"}, "", HWND(-1), threads);
    made[threads == 1 ? 0 : 1] = ReadBytes(archive_);
  }
  EXPECT_FALSE(made[0].empty());
  EXPECT_EQ(made[0], made[1]);
}

// Name collisions against an archive holding a folder DIR\ and a file ROOT.TXT: the question
// asked, the answer given, and what the archive holds afterwards.
TEST_F(AddFilesTest, CollisionsAskTheRightQuestionAndFollowTheAnswer) {
  struct Case {
    const char* name;
    Tree sources;  // made below a fresh folder
    std::vector<std::string> dropped;
    std::vector<AnyThreadDialogs::Answer> answers;
    std::vector<std::string> asked;
    Members added;  // besides, or instead of, DIR\ and ROOT.TXT
  };
  auto all = [](HWND d) { ui::Click(d, IDC_ALL); ui::Click(d, IDOK); };
  const Case cases[] = {
      {"file over a folder, renamed", {{"DIR", "f"}}, {"DIR"}, {Rename("DIR2")}, {"121-folder"},
       {{"DIR2", "f"}}},
      {"file over a folder, skipped", {{"DIR", "f"}}, {"DIR"}, {Press(IDCANCEL)}, {"121-folder"},
       {}},
      {"folder over a file, renamed", {{"ROOT.TXT\\", ""}, {"ROOT.TXT\\in.txt", "in"}},
       {"ROOT.TXT"}, {Rename("R2")}, {"121-file"}, {{"R2\\", "<dir>"}, {"R2\\in.txt", "in"}}},
      {"other letter case asks; overwrite keeps the member's name", {{"root.txt", "new"}},
       {"root.txt"}, {Press(IDOK)}, {"124"}, {{"ROOT.TXT", "new"}}},
      {"renamed beside the member", {{"root.txt", "new"}}, {"root.txt"}, {Rename("r.txt")},
       {"124"}, {{"r.txt", "new"}}},
      {"skipped", {{"ROOT.TXT", "new"}}, {"ROOT.TXT"}, {Press(IDCANCEL)}, {"124"}, {}},
      {"overwrite-all answers the rest of the job",
       {{"a\\", ""}, {"b\\", ""}, {"c\\", ""}, {"a\\ROOT.TXT", "1"}, {"b\\ROOT.TXT", "2"},
        {"c\\ROOT.TXT", "3"}},
       {"a\\ROOT.TXT", "b\\ROOT.TXT", "c\\ROOT.TXT"}, {all}, {"124"}, {{"ROOT.TXT", "3"}}},
      {"a folder merges into the member folder, spelled as it is", {{"dir\\", ""},
       {"dir\\x.txt", "x"}}, {"dir"}, {}, {}, {{"DIR\\x.txt", "x"}}},
      {"folder over a file, skipped with its contents",
       {{"ROOT.TXT\\", ""}, {"ROOT.TXT\\in.txt", "in"}}, {"ROOT.TXT"}, {Press(IDCANCEL)},
       {"121-file"}, {}},
      {"file over a folder that only member paths make", {{"imp", "f"}}, {"imp"},
       {Rename("imp2")}, {"121-folder"}, {{"imp2", "f"}}},
      {"Shift-JIS file over a folder that member paths make", {{"\x83\x5C\x95\x5Cx", "f"}},
       {"\x83\x5C\x95\x5Cx"},
       {Press(IDCANCEL)}, {"121-folder"}, {}},
      {"a folder merges into one that member paths make", {{"Imp\\", ""}, {"Imp\\y.txt", "y"}},
       {"Imp"}, {}, {}, {{"IMP\\", "<dir>"}, {"IMP\\y.txt", "y"}}},
      {"two items of one drop collide",
       {{"a\\", ""}, {"b\\", ""}, {"a\\same.txt", "1"}, {"b\\same.txt", "2"}},
       {"a\\same.txt", "b\\same.txt"}, {Rename("same2.txt")}, {"124"},
       {{"same.txt", "1"}, {"same2.txt", "2"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteArchive(archive_, {FolderEntry("DIR\\"), File("ROOT.TXT", "root"),
                                        File("IMP\\x.txt", "x"), File("\x83\x5C\x95\x5Cx\\a.txt", "a")}));
    TempFolder src;
    Make(src, c.sources);
    AnyThreadDialogs dialogs(c.answers);
    RunJob(src, c.dropped);
    dialogs.Finish();
    EXPECT_EQ(dialogs.seen(), c.asked);
    Members expected = {{"DIR\\", "<dir>"}, {"ROOT.TXT", "root"}, {"IMP\\x.txt", "x"},
                        {"\x83\x5C\x95\x5Cx\\a.txt", "a"}};
    for (const auto& m : c.added) expected[m.first] = m.second;
    EXPECT_EQ(ReadMembers(archive_), expected);
  }
  // The questions are owned by the view's window; one closed before the question still gets it
  // asked (without an owner).
  TempFolder again;
  Make(again, {{"ROOT.TXT", "new"}, {"DIR", "f"}});
  std::vector<HWND> owners;
  auto skip = [&](HWND d) {
    owners.push_back(GetWindow(d, GW_OWNER));
    ui::Click(d, IDCANCEL);
  };
  AnyThreadDialogs owned({skip, skip});
  RunJob(again, {"ROOT.TXT", "DIR"});
  owned.Finish();
  EXPECT_EQ(owned.seen(), (std::vector<std::string>{"124", "121-folder"}));
  EXPECT_EQ(owners, (std::vector<HWND>{view_.window(), view_.window()}));

  // Another program takes a name that was free when it was settled, while the file waits to be
  // compressed with the rest of the job: the question is asked when it is staged.
  ASSERT_TRUE(WriteArchive(archive_, {File("ROOT.TXT", "root")}));
  Make(again, {{"same.txt", "mine"}});
  AnyThreadDialogs taken({[&](HWND dialog) {
    Archive* other = new Archive;
    other->Retain();
    ArchiveEntry theirs = {};
    std::strcpy(theirs.name, "same.txt");
    std::memcpy(theirs.method, "-lh5-", 6);
    EXPECT_EQ(other->OpenFile(archive_.c_str()), ResultOk);
    EXPECT_TRUE(StageFile(*other, &theirs, (again / "ROOT.TXT").c_str(), nullptr, nullptr));
    EXPECT_TRUE(Commit(*other));
    other->Release();
    ui::Click(dialog, IDOK);
  }, Rename("same2.txt")});
  RunJob(again, {"same.txt", "ROOT.TXT"});
  taken.Finish();
  EXPECT_EQ(taken.seen(), (std::vector<std::string>{"124", "124"}));
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ROOT.TXT", "new"}, {"same.txt", "new"},
                                            {"same2.txt", "mine"}}));
  HWND closed = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(closed);
  TempFolder src;
  Make(src, {{"ROOT.TXT", "new"}});
  AnyThreadDialogs dialogs({Press(IDCANCEL)});
  RunJob(src, {"ROOT.TXT"}, "", closed);
  dialogs.Finish();
  EXPECT_EQ(dialogs.seen(), std::vector<std::string>{"124"});

  // The new name of a rename staged (not yet written) is taken: the question is asked.
  ArchiveFolder* folder = OpenFolder();
  ArchiveEntry renamed;
  EntryEnumerator* snapshot = folder->archive->EnumEntries();
  ASSERT_NE(snapshot, nullptr);
  ASSERT_EQ(snapshot->Next(1, &renamed, nullptr), ResultOk);
  snapshot->Release();
  std::strcpy(renamed.name, "ren.txt");
  ASSERT_TRUE(StageEntry(*folder->archive, "ROOT.TXT", renamed));
  Make(again, {{"ren.txt", "mine"}});
  AnyThreadDialogs asked({Press(IDCANCEL)});
  AddFilesJob* job = AddFilesJob::Create(view_.window(), folder, "");
  ASSERT_NE(job, nullptr);
  ASSERT_TRUE(job->AddSource((again / "ren.txt").c_str()));
  job->Run();
  delete job;
  asked.Finish();
  EXPECT_EQ(asked.seen(), std::vector<std::string>{"124"});
  EXPECT_TRUE(Commit(*folder->archive));
  folder->Release();
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ren.txt", "new"}, {"same.txt", "new"},
                                            {"same2.txt", "mine"}}));
}

// Not taken: the archive itself (DROPEFFECT_NONE from the first DragEnter), data without a file
// list, a drop onto the icon of an archive that is gone, items whose path inside the archive would not fit a path buffer, and files of 4 GiB;
// the job goes on past them and tells them once.
TEST_F(AddFilesTest, TheArchiveItselfAndPathsTooLongAreNotAdded) {
  ASSERT_TRUE(WriteArchive(archive_, {File("ROOT.TXT", "root")}));
  ArchiveFolder* folder = OpenFolder();
  IDropTarget* target = nullptr;
  ASSERT_EQ(folder->CreateViewObject(view_.window(), IID_IDropTarget,
                                     reinterpret_cast<void**>(&target)), S_OK);
  POINTL point = {0, 0};
  IDropTarget* missing = IconTarget(dir_ / "GONE.LZH");
  for (int i = 0; i < 3; ++i) {
    auto* data = new FileDropData({i == 2 ? dir_ / "x.txt" : archive_}, i != 1);
    data->AddRef();
    IDropTarget* to = i == 2 ? missing : target;
    DWORD entered = DROPEFFECT_COPY, dropped = DROPEFFECT_COPY;
    EXPECT_EQ(to->DragEnter(data, MK_LBUTTON, point, &entered), S_OK);
    EXPECT_EQ(to->Drop(data, MK_LBUTTON, point, &dropped), S_FALSE);
    EXPECT_EQ(entered | dropped, static_cast<DWORD>(DROPEFFECT_NONE)) << i;
    data->Release();
  }
  missing->Release();
  target->Release();
  folder->Release();
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ROOT.TXT", "root"}}));

  // Below a folder 200 bytes deep, the dropped tree's 70-byte folder no longer fits.
  const std::string deep(200, 'D'), x(70, 'x');
  TempFolder src;
  Make(src, {{"t\\", ""}, {"t\\" + x + "\\", ""}, {"t\\short.txt", "s"},
             {"t\\" + x + "\\long.txt", "l"}});
  // A (sparse) file of 4 GiB cannot be stored: the format's sizes have 32 bits.
  HANDLE huge = CreateFileA((src / "t\\huge.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = 0x100000000LL;
  ASSERT_TRUE(SetFilePointerEx(huge, size, nullptr, FILE_BEGIN) && SetEndOfFile(huge));
  CloseHandle(huge);
  AnyThreadDialogs told({Press(IDOK)});
  AddFilesOutcome outcome = RunJob(src, {"t"}, (deep + "\\").c_str());
  told.Finish();
  EXPECT_EQ(outcome.failed, 2u);
  ASSERT_EQ(told.seen().size(), 1u);
  EXPECT_EQ(told.seen()[0].rfind("2 ", 0), 0u) << "the count of items not added first";
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ROOT.TXT", "root"}, {deep + "\\t\\", "<dir>"},
                                            {deep + "\\t\\short.txt", "s"}}));

  // Each told by name and reason, the rest added: names the code page cannot hold (never the file
  // a best-fit spelling names) and a file gone before it was read.
  ASSERT_TRUE(WriteArchive(archive_, {}));
  TempFolder w;
  Make(w, {{"ok.txt", "ok"}, {"cafe.txt", "plain"}, {"tree\\", ""}, {"tree\\in.txt", "in"}});
  wchar_t base[MAX_PATH];
  ASSERT_TRUE(NameToWide(w.path().c_str(), base, MAX_PATH));
  const std::wstring at(base);
  for (const std::wstring name : {L"\\caf\u00e9.txt", L"\\tree\\caf\u00e9.txt", L"\\\U0001F600.txt"}) {
    HANDLE file = CreateFileW((at + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  folder = OpenFolder();
  AddFilesJob* job = AddFilesJob::Create(view_.window(), folder, "");
  ASSERT_NE(job, nullptr);
  AnyThreadDialogs listed({Press(IDOK)});
  HGLOBAL drop = MakeDropFiles(std::vector<std::wstring>{
      at + L"\\ok.txt", at + L"\\caf\u00e9.txt", at + L"\\\U0001F600.txt", at + L"\\gone.txt",
      at + L"\\tree"});
  EXPECT_TRUE(job->AddDropList(drop, false));
  GlobalFree(drop);
  listed.Finish();
  EXPECT_EQ(job->Outcome().failed, 4u);
  delete job;
  folder->Release();
  ASSERT_EQ(listed.seen().size(), 1u);
  for (const std::string& line :
       {Filled(IDS_NOT_ADDED_UNREPRESENTABLE, w / "caf?.txt"),
        Filled(IDS_NOT_ADDED_UNREPRESENTABLE, w / "?.txt"),
        Filled(IDS_NOT_ADDED_VANISHED, w / "gone.txt"),
        Filled(IDS_NOT_ADDED_UNREPRESENTABLE, w / "tree\\caf?.txt")})
    EXPECT_NE(listed.seen()[0].find(line), std::string::npos) << line;
  EXPECT_EQ(ReadMembers(archive_),
            (Members{{"ok.txt", "ok"}, {"tree\\", "<dir>"}, {"tree\\in.txt", "in"}}));

  // An archive another program holds deny-write: refused while dragging; dropped anyway, the
  // user is told why and nothing is compressed.
  HANDLE held = CreateFileA(archive_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  IDropTarget* icon = IconTarget(archive_);
  auto* data = new FileDropData({w / "ok.txt"});
  data->AddRef();
  AnyThreadDialogs why({Press(IDOK)});
  DWORD entered = DROPEFFECT_COPY, dropped = DROPEFFECT_COPY;
  EXPECT_EQ(icon->DragEnter(data, MK_LBUTTON, point, &entered), S_OK);
  EXPECT_EQ(icon->Drop(data, MK_LBUTTON, point, &dropped), S_FALSE);
  why.Finish();
  EXPECT_EQ(entered | dropped, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(why.seen(), std::vector<std::string>{Filled(IDS_ARCHIVE_NOT_WRITABLE, "ARC.LZH")});
  data->Release();
  icon->Release();
  CloseHandle(held);
}

// A Commit refused (another program locks the archive) is told as such, Run reports the failure,
// and what the job staged is taken back: a later Commit of the same archive, by anyone, does not
// write it. Something another job staged is a taken name for this one, and stays staged.
TEST_F(AddFilesTest, AFailedCommitIsToldAndLeavesNothingStaged) {
  ASSERT_TRUE(WriteArchive(archive_, {File("ROOT.TXT", "root")}));
  TempFolder src;
  Make(src, {{"other.txt", "mine"}, {"theirs.txt", "theirs"}});
  ArchiveFolder* folder = OpenFolder();
  ArchiveEntry theirs = {};
  std::strcpy(theirs.name, "other.txt");
  std::memcpy(theirs.method, "-lh5-", 6);
  ASSERT_TRUE(StageFile(*folder->archive, &theirs, (src / "theirs.txt").c_str(), nullptr, nullptr));
  AddFilesJob* job = AddFilesJob::Create(view_.window(), folder, "");
  ASSERT_NE(job, nullptr);
  HANDLE other = CreateFileA(archive_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(LockFile(other, 0, 0, 0xFFFFFFFF, 0));
  AnyThreadDialogs told({Rename("mine.txt"), Press(IDOK)});
  ASSERT_TRUE(job->AddSource((src / "other.txt").c_str()));
  EXPECT_FALSE(job->Run()) << "nothing was written";
  told.Finish();
  UnlockFile(other, 0, 0, 0xFFFFFFFF, 0);
  CloseHandle(other);
  EXPECT_EQ(job->Outcome().staged, 1u);
  EXPECT_FALSE(job->Outcome().committed);
  EXPECT_EQ(told.seen(), (std::vector<std::string>{"124", Filled(IDS_ARCHIVE_NOT_WRITABLE,
                                                                  "ARC.LZH")}));
  delete job;
  EXPECT_TRUE(Commit(*folder->archive));
  folder->Release();
  EXPECT_EQ(ReadMembers(archive_), (Members{{"ROOT.TXT", "root"}, {"other.txt", "theirs"}}));
}

// DialogDelay -1 never shows the progress dialog; 0 shows it at the first progress report with
// the item's texts, and Cancel there stops the file being compressed and the walk, keeping
// what was staged before. A dialog closed before its window exists still goes.
TEST_F(AddFilesTest, ProgressDialogFollowsTheDelayAndCancelKeepsWhatWasStaged) {
  const std::string big = Sample(24 << 20, 3, true);
  TempFolder src;
  Make(src, {{"first.txt", "first"}, {"big.bin", big}, {"last.txt", "last"}});
  ASSERT_TRUE(WriteArchive(archive_, {}));
  AnyThreadDialogs none({});
  AddFilesOutcome quiet = RunJob(src, {"big.bin"});
  none.Finish();
  EXPECT_FALSE(quiet.dialogShown);
  EXPECT_TRUE(none.seen().empty());
  EXPECT_EQ(ReadMembers(archive_), (Members{{"big.bin", Digest(big)}}));

  // A job that ends before its dialog has published its window still closes the dialog.
  for (int i = 0; i < 5; ++i) {
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Open(nullptr, std::make_shared<ProgressShared>()));
    DWORD begin = GetTickCount();
    dialog.Close();
    EXPECT_LT(GetTickCount() - begin, 5000u) << "Close waited for a dialog nobody closed";
  }
  // The delay is measured across the wrap of the tick counter; -1 never passes.
  EXPECT_FALSE(DelayPassed(0xFFFFF000u, 0x00000200u, 5));  // 4,608 ms
  EXPECT_TRUE(DelayPassed(0xFFFFF000u, 0x00001000u, 4));   // 8,192 ms
  EXPECT_FALSE(DelayPassed(0, 0xFFFFFFFFu, -1));

  ASSERT_TRUE(WriteArchive(archive_, {}));
  DialogDelay(0);
  std::string item, fromTo, ratio;
  AnyThreadDialogs cancel({[&](HWND dialog) {
    for (int i = 0; i < 500 && ui::Text(dialog, IDC_RATIO).empty(); ++i) Sleep(10);
    item = ui::Text(dialog, IDC_ITEM_NAME);
    fromTo = ui::Text(dialog, IDC_FROM_TO);
    ratio = ui::Text(dialog, IDC_RATIO);
    ui::Click(dialog, IDCANCEL);
  }});
  AddFilesOutcome outcome = RunJob(src, {"first.txt", "big.bin", "last.txt"});
  cancel.Finish();
  EXPECT_TRUE(outcome.dialogShown);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(item, "big.bin");
  char pattern[64], expected[MAX_PATH];
  LoadLibraryString(IDS_FROM_TO, pattern, sizeof pattern);
  wsprintfA(expected, pattern, PathNamePart(src.path().c_str()), "ARC.LZH");
  EXPECT_EQ(fromTo, expected);
  EXPECT_FALSE(ratio.empty()) << "a progress report shows the ratio";
  EXPECT_EQ(ReadMembers(archive_), (Members{{"first.txt", "first"}}));

  // A drop runs the job on a worker thread: its progress dialog is owned by the view's window,
  // and Cancel there works the same.
  ASSERT_TRUE(WriteArchive(archive_, {}));
  ArchiveFolder* folder = OpenFolder();
  IDropTarget* target = nullptr;
  ASSERT_EQ(folder->CreateViewObject(view_.window(), IID_IDropTarget,
                                     reinterpret_cast<void**>(&target)), S_OK);
  HWND owner = nullptr;
  AnyThreadDialogs dropped({[&](HWND dialog) {
    owner = GetWindow(dialog, GW_OWNER);
    ui::Click(dialog, IDCANCEL);
  }});
  auto* data = new FileDropData({src / "big.bin"});
  data->AddRef();
  POINTL point = {0, 0};
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, point, &effect), S_OK);
  EXPECT_EQ(target->Drop(data, MK_LBUTTON, point, &effect), S_OK);
  target->Release();
  data->Release();
  folder->Release();
  ASSERT_TRUE(PumpUntil([&] { return ObjectCount() == start_; })) << "the worker did not end";
  dropped.Finish();
  EXPECT_EQ(dropped.seen().size(), 1u);
  EXPECT_EQ(owner, view_.window());
  EXPECT_EQ(ReadMembers(archive_), Members{});
}

// Drop lists are read only when well formed; names with wildcards or too long are passed over.
TEST(DropListTest, MalformedListsAreRefusedAndBadNamesSkipped) {
  auto block = [](DWORD offset, bool wide, const std::string& names) {
    DROPFILES header = {offset, {0, 0}, FALSE, wide};
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    return bytes + names;
  };
  std::string wideName;
  for (char ch : std::string("C:\\w.txt")) wideName += std::string(1, ch) + '\0';
  const std::string nul(1, '\0'), longName = "C:\\" + std::string(300, 'n');
  struct Case {
    std::string block;
    bool ok;
    std::vector<std::string> paths;
    unsigned skipped;
  };
  const Case cases[] = {
      {block(20, false, "C:\\a" + nul + "C:\\b" + nul + nul), true, {"C:\\a", "C:\\b"}, 0},
      {block(20, true, wideName + nul + nul + nul + nul), true, {"C:\\w.txt"}, 0},
      {block(20, false, "C:\\*.txt" + nul + "C:\\a?" + nul + longName + nul + "C:\\ok" + nul + nul),
       true, {"C:\\ok"}, 3},
      {block(20, false, "C:\\a" + nul + "C:\\b"), false, {}, 0},  // no end inside the block
      {block(4000, false, "C:\\a" + nul + nul), false, {}, 0},    // offset past the block
      {block(4, false, "C:\\a" + nul + nul), false, {}, 0},       // offset inside the header
      {std::string(8, '\0'), false, {}, 0},                        // shorter than its header
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    HGLOBAL medium = GlobalAlloc(GMEM_MOVEABLE, c.block.size());
    std::memcpy(GlobalLock(medium), c.block.data(), c.block.size());
    GlobalUnlock(medium);
    StringList paths;
    DropListCounts counts;
    EXPECT_EQ(ReadDropList(medium, paths, &counts), c.ok);
    std::vector<std::string> read;
    for (std::uint32_t i = 0; i < paths.Count(); ++i) {
      const char* key = nullptr;
      paths.Get(i, &key, nullptr, nullptr);
      read.push_back(key);
    }
    EXPECT_EQ(read, c.paths);
    EXPECT_EQ(counts.skipped, c.skipped);
    GlobalFree(medium);
  }
  // Progress of files over 42 MB: `done * 100` overflows 32 bits.
  EXPECT_EQ(ProgressPercent(3000000000u, 4000000000u), 75);
  EXPECT_EQ(ProgressPercent(50u << 20, 100u << 20), 50);
  // Texts longer than the dialog's buffers are cut between two characters, never inside one.
  std::string ka;
  for (int i = 0; i < 300; ++i) ka += "\x82\xa9";
  ProgressShared shared;
  shared.SetTexts(("xy" + ka).c_str(), ("zz" + ka).c_str());
  EXPECT_EQ(std::string(shared.itemName), "xy" + ka.substr(0, 256));
  EXPECT_EQ(std::string(shared.fromTo), "zz" + ka.substr(0, 516));
}

}  // namespace
