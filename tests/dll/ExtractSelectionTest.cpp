// Extraction of a view's selection: the folder picker and the overwrite question answered
// automatically, paths relative to the view's folder, and members that try to leave the chosen
// folder.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "dll/FolderTestSupport.h"
#include "namespace/ArchiveFolder.h"
#include "operations/ExtractSelection.h"
#include "resource.h"
#include "support/OpenArchive.h"
#include "ui/UiHarness.h"

using namespace foldertest;

namespace {

// Answers the modal dialogs of the calling thread in order, one answer per dialog. A dialog that
// comes after the last answer is counted and cancelled, so the test fails instead of hanging.
class DialogSequence {
 public:
  using Answer = std::function<void(HWND)>;
  explicit DialogSequence(std::vector<Answer> answers)
      : answers_(std::move(answers)), owner_(GetCurrentThreadId()) {
    thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
  }
  ~DialogSequence() { Finish(); }
  // Stops watching; the number of dialogs answered.
  int Finish() {
    if (thread_) {
      stop_ = true;
      WaitForSingleObject(thread_, 60000);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    return answered_;
  }
  int unexpected() const { return unexpected_; }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  static DWORD WINAPI Watch(void* self) {
    static_cast<DialogSequence*>(self)->Run();
    return 0;
  }
  void Run() {
    DWORD idle = 0;
    while (!stop_ && idle < 20000) {
      HWND dialog = ui::FindDialogOfThread(owner_);
      if (!dialog) {
        Sleep(20);
        idle += 20;
        continue;
      }
      idle = 0;
      char caption[256] = "";
      GetWindowTextA(dialog, caption, sizeof caption);
      texts_.push_back(caption);
      SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
      if (answered_ < static_cast<int>(answers_.size())) {
        answers_[answered_++](dialog);
      } else {
        ++unexpected_;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      }
      for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
      if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
    }
  }

  std::vector<Answer> answers_;
  DWORD owner_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  int answered_ = 0;
  int unexpected_ = 0;
  std::vector<std::string> texts_;
};

DialogSequence::Answer Pick(const std::string& folder) {
  return [folder](HWND dialog) {
    SendMessageTimeoutA(dialog, BFFM_SETSELECTIONA, TRUE,
                        reinterpret_cast<LPARAM>(folder.c_str()), SMTO_NORMAL, 60000, nullptr);
    ui::Click(dialog, IDOK);
  };
}

DialogSequence::Answer Press(int button) {
  return [button](HWND dialog) { ui::Click(dialog, button); };
}

// Run with the members decoded on the calling thread and with three workers decoding ahead.
class ExtractTest : public testing::TestWithParam<unsigned> {
 protected:
  void TearDown() override {
    for (IShellFolder* folder : folders_) folder->Release();
    if (shellList_) CoTaskMemFree(shellList_);
  }

  ArchiveFolder* Open(const std::vector<RawMember>& members) {
    std::string path = archives_ / "X.LZH";
    EXPECT_TRUE(WriteArchive(path, members));
    shellList_ = ShellIdListOf(path);
    void* out = nullptr;
    EXPECT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    folders_.push_back(folder);
    EXPECT_EQ(folder->Initialize(shellList_), S_OK);
    return folder;
  }

  ArchiveFolder* Bind(ArchiveFolder* folder, const ItemId& item) {
    void* out = nullptr;
    EXPECT_EQ(folder->BindToObject(reinterpret_cast<LPCITEMIDLIST>(&item), nullptr,
                                   IID_IShellFolder, &out),
              S_OK);
    folders_.push_back(static_cast<IShellFolder*>(out));
    return static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  }

  std::vector<HeldItem> Items(ArchiveFolder* folder) {
    IEnumIDList* enumerator = nullptr;
    EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator),
              S_OK);
    ReceivedItems received;
    ReadAll(enumerator, received);
    enumerator->Release();
    std::vector<HeldItem> items;
    for (std::size_t i = 0; i < received.size(); ++i) items.push_back(received[i]);
    return items;
  }

  // Extracts `items` of `folder`, answering the picker with the target folder and then `answers`.
  int Extract(ArchiveFolder* folder, const std::vector<HeldItem>& items,
              std::vector<DialogSequence::Answer> answers, int* dialogs = nullptr) {
    std::vector<LPCITEMIDLIST> lists;
    for (const HeldItem& item : items) lists.push_back(reinterpret_cast<LPCITEMIDLIST>(&item));
    answers.insert(answers.begin(), Pick(target_.path()));
    DialogSequence sequence(std::move(answers));
    int result = ExtractSelection(folder->archive, folder->innerPath,
                                  static_cast<UINT>(lists.size()), lists.data(), nullptr,
                                  GetParam());
    int answered = sequence.Finish();
    EXPECT_EQ(sequence.unexpected(), 0) << "dialogs nobody expected";
    if (dialogs) *dialogs = answered;
    return result;
  }

  std::string Target(const std::string& relative) const { return target_ / relative; }

  TempFolder archives_;
  TempFolder target_;
  LPITEMIDLIST shellList_ = nullptr;
  std::vector<IShellFolder*> folders_;
};

}  // namespace

TEST_P(ExtractTest, CancellingThePickerExtractsNothing) {
  ArchiveFolder* root = Open({File("A.TXT", "alpha")});
  std::vector<HeldItem> items = Items(root);
  std::vector<LPCITEMIDLIST> lists = {reinterpret_cast<LPCITEMIDLIST>(&items[0])};
  DialogSequence sequence({Press(IDCANCEL)});
  EXPECT_EQ(ExtractSelection(root->archive, root->innerPath, 1, lists.data(), nullptr), 0);
  EXPECT_EQ(sequence.Finish(), 1);
  EXPECT_FALSE(Exists(Target("A.TXT")));
}

TEST_P(ExtractTest, FilesAndFoldersLandRelativeToTheViewsFolder) {
  ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("DOC\\SUB\\B.TXT", "beta"),
                              FolderEntry("DOC\\EMPTY\\"), File("DOC\\C.TXT", "gamma"),
                              File("OTHER\\D.TXT", "delta")});
  std::vector<HeldItem> items = Items(root);  // A.TXT, DOC, OTHER
  ASSERT_EQ(items.size(), 3u);
  int dialogs = 0;
  EXPECT_EQ(Extract(root, {items[0], items[1]}, {}, &dialogs), 1);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(ReadText(Target("A.TXT")), "alpha");
  EXPECT_EQ(ReadText(Target("DOC\\SUB\\B.TXT")), "beta");
  EXPECT_EQ(ReadText(Target("DOC\\C.TXT")), "gamma");
  EXPECT_TRUE(IsDirectory(Target("DOC\\EMPTY")));
  EXPECT_FALSE(Exists(Target("OTHER")));

  // From the view of DOC, selecting SUB writes SUB\... under the chosen folder.
  ArchiveFolder* doc = Bind(root, items[1]);
  std::vector<HeldItem> inner = Items(doc);  // C.TXT, SUB, EMPTY
  std::string seen;
  for (const HeldItem& item : inner) seen += std::string(item.path) + ";";
  ASSERT_EQ(inner.size(), 3u) << seen;
  ASSERT_STREQ(inner[1].path, "DOC\\SUB");
  EXPECT_EQ(Extract(doc, {inner[1], inner[0]}, {}), 1);
  EXPECT_EQ(ReadText(Target("SUB\\B.TXT")), "beta");
  EXPECT_EQ(ReadText(Target("C.TXT")), "gamma");
}

TEST_P(ExtractTest, MembersThatWouldLeaveTheChosenFolderAreNotWritten) {
  ArchiveFolder* root = Open({File("..\\EVIL1.TXT", "evil"), File("DOC\\..\\..\\EVIL2.TXT", "evil"),
                              File("DOC\\GOOD.TXT", "good")});
  std::vector<HeldItem> items = Items(root);  // the folders ".." and "DOC"
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(Extract(root, items, {}), 1);
  EXPECT_EQ(ReadText(Target("DOC\\GOOD.TXT")), "good");
  std::string parent = target_.path().substr(0, target_.path().rfind('\\'));
  EXPECT_FALSE(Exists(parent + "\\EVIL1.TXT"));
  EXPECT_FALSE(Exists(parent + "\\EVIL2.TXT"));
  EXPECT_FALSE(Exists(Target("EVIL1.TXT")));
  EXPECT_FALSE(Exists(Target("EVIL2.TXT")));
}

class OverwriteTest : public ExtractTest {
 protected:
  // Three members whose targets exist; returns the root's three items.
  std::vector<HeldItem> Prepare() {
    ArchiveFolder* root = Open({File("F1.TXT", "new1"), File("F2.TXT", "new2"),
                                File("F3.TXT", "new3")});
    for (const char* name : {"F1.TXT", "F2.TXT", "F3.TXT"})
      EXPECT_TRUE(WriteBytes(Target(name), TextBytes("old")));
    root_ = root;
    return Items(root);
  }
  std::string Contents() {
    return ReadText(Target("F1.TXT")) + "," + ReadText(Target("F2.TXT")) + "," +
           ReadText(Target("F3.TXT"));
  }
  ArchiveFolder* root_ = nullptr;
};

TEST_P(OverwriteTest, YesAndNoDecideFileByFile) {
  std::vector<HeldItem> items = Prepare();
  int dialogs = 0;
  EXPECT_EQ(Extract(root_, items, {Press(IDNO), Press(IDOK), Press(IDNO)}, &dialogs), 1);
  EXPECT_EQ(dialogs, 4);
  EXPECT_EQ(Contents(), "old,new2,old");
}

TEST_P(OverwriteTest, AllReplacesTheRestWithoutAsking) {
  std::vector<HeldItem> items = Prepare();
  SetFileAttributesA(Target("F3.TXT").c_str(), FILE_ATTRIBUTE_READONLY);
  int dialogs = 0;
  EXPECT_EQ(Extract(root_, items, {Press(IDNO), Press(IDC_ALL)}, &dialogs), 1);
  EXPECT_EQ(dialogs, 3);
  EXPECT_EQ(Contents(), "old,new2,new3");
}

TEST_P(OverwriteTest, CancelEndsTheSelection) {
  std::vector<HeldItem> items = Prepare();
  DeleteFileA(Target("F3.TXT").c_str());
  int dialogs = 0;
  EXPECT_EQ(Extract(root_, items, {Press(IDOK), Press(IDCANCEL)}, &dialogs), 1);
  EXPECT_EQ(dialogs, 3);
  // F3 did not exist and would have needed no question, but the extraction had ended.
  EXPECT_EQ(ReadText(Target("F1.TXT")), "new1");
  EXPECT_EQ(ReadText(Target("F2.TXT")), "old");
  EXPECT_FALSE(Exists(Target("F3.TXT")));
}

// F3 replaced by another handle while the first question is open (the workers may have decoded it
// already): it is neither asked about nor written, and no old bytes are written for it.
TEST_P(OverwriteTest, AMemberReplacedMeanwhileIsNotWritten) {
  std::vector<HeldItem> items = Prepare();
  auto replaceF3 = [this](HWND dialog) {
    const std::string fresh = archives_ / "F3.NEW";
    ASSERT_TRUE(WriteBytes(fresh, TextBytes("newer3")));
    OpenArchive writer(archives_ / "X.LZH");
    std::vector<ArchiveEntry> now;  // read while the workers may hold the file lock
    for (int i = 0; i < 400 && (now = writer.Members()).size() < 3; ++i) Sleep(5);
    ASSERT_EQ(now.size(), 3u);
    ArchiveEntry entry = now[2];
    entry.originalSize = 6;
    EXPECT_TRUE(StageFile(*writer, &entry, fresh.c_str(), nullptr, nullptr));
    bool committed = false;  // the workers hold the file lock for a moment at a time
    for (int i = 0; i < 400 && !(committed = Commit(*writer)); ++i) Sleep(5);
    EXPECT_TRUE(committed);
    ui::Click(dialog, IDOK);
  };
  int dialogs = 0;
  EXPECT_EQ(Extract(root_, items, {replaceF3, Press(IDNO)}, &dialogs), 1);
  EXPECT_EQ(dialogs, 3);
  EXPECT_EQ(Contents(), "new1,old,old");
}

INSTANTIATE_TEST_SUITE_P(Threads, ExtractTest, testing::Values(1u, 3u));
INSTANTIATE_TEST_SUITE_P(Threads, OverwriteTest, testing::Values(1u, 3u));
