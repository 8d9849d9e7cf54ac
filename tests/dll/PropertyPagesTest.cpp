// The property sheets of members and of the archive file, shown modally and driven from the
// harness's watcher thread: what the pages show, what applying them writes to the archive, and
// that a change the archive cannot take is never reported as done.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "commands/PropertySheets.h"
#include "dll/FolderTestSupport.h"
#include "dll/RegistryFixture.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/Settings.h"
#include "resource.h"
#include "ui/UiHarness.h"

using namespace foldertest;

namespace {

// The Shift-JIS bytes of a text written here in UTF-8.
std::string Sjis(const char* utf8) {
  wchar_t wide[512];
  char bytes[1024];
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
  WideCharToMultiByte(932, 0, wide, -1, bytes, sizeof bytes, nullptr, nullptr);
  return bytes;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

// Presses a sheet button; then the message box a page put up (answered with `answer`, its text
// returned in `told`) or nothing, and whether the sheet is still open afterwards. Every wait is
// bounded.
bool Press(HWND sheet, int button, int answer = 0, std::string* told = nullptr) {
  PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
  for (DWORD waited = 0; waited < 10000 && IsWindow(sheet); waited += 20) {
    if (HWND box = ui::FindOtherDialog(sheet)) {
      Send(box, WM_NULL);
      if (told) *told = ui::Text(box, 0xFFFF);  // a message box's text control
      ui::Click(box, answer ? answer : IDOK);
      if (IsWindow(box)) PostMessageA(box, WM_CLOSE, 0, 0);  // an answer the box does not offer
      // The page goes on applying after the box: give the sheet time to close.
      for (DWORD settle = 0; settle < 1500 && IsWindow(sheet); settle += 20) Sleep(20);
      break;
    }
    Sleep(20);
  }
  bool open = IsWindow(sheet) && IsWindowVisible(sheet);
  if (open) PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  return open;
}

// The attribute boxes as "x" checked, "-" clear, "?" open, in the order archive, read-only,
// hidden, system.
std::string Boxes(HWND page) {
  std::string states;
  for (int control : {IDC_PAGE_ARCHIVE, IDC_PAGE_READ_ONLY, IDC_PAGE_HIDDEN, IDC_PAGE_SYSTEM})
    states += "-x?"[Send(GetDlgItem(page, control), BM_GETCHECK) % 3];
  return states;
}

// Sets a box as a click would leave it and tells the page.
void SetBox(HWND page, int control, WPARAM state) {
  Send(GetDlgItem(page, control), BM_SETCHECK, state);
  ui::Command(page, control);
}

std::string Caption(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

class PropertyPagesTest : public RegistryFixture {
 protected:
  void TearDown() override {
    for (IShellFolder* folder : folders_) folder->Release();
    for (LPITEMIDLIST list : shellLists_) CoTaskMemFree(list);
    RegistryFixture::TearDown();
  }

  // A new archive file of the members, opened as the shell opens it.
  ArchiveFolder* Open(const std::vector<RawMember>& members) {
    path_ = dir_ / ("P" + std::to_string(folders_.size()) + ".LZH");
    EXPECT_TRUE(WriteArchive(path_, members));
    shellLists_.push_back(ShellIdListOf(path_));
    void* out = nullptr;
    EXPECT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    folders_.push_back(static_cast<IShellFolder*>(out));
    auto* folder = static_cast<ArchiveFolder*>(folders_.back());
    EXPECT_EQ(folder->Initialize(shellLists_.back()), S_OK);
    return folder;
  }

  static ItemId Item(ArchiveFolder* folder, const std::string& path) {
    IEnumIDList* enumerator = nullptr;
    folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator);
    ReceivedItems received;
    ReadAll(enumerator, received);
    enumerator->Release();
    for (std::size_t i = 0; i < received.size(); ++i)
      if (path == received[i].path) return received[i];
    ADD_FAILURE() << "no item " << path;
    return ItemId{};
  }

  // Works on the archive file through an Archive object of its own, as another window would;
  // `work` gets the member `key` (when given) read from a fresh snapshot.
  bool WithOtherArchive(const std::string& key,
                        const std::function<void(Archive&, ArchiveEntry&)>& work) {
    auto* archive = new Archive;
    archive->Retain();
    archive->OpenFile(path_.c_str());
    EntryEnumerator* snapshot = archive->EnumEntries();
    ArchiveEntry entry = {};
    bool found = snapshot && snapshot->FindEntry(key.c_str(), &entry);
    members_ = snapshot ? snapshot->Count() : 0;
    if (snapshot) snapshot->Release();
    work(*archive, entry);
    archive->Release();
    return found;
  }

  // The header of `key` as the file holds it now; false when it is not there.
  bool Stored(const std::string& key, ArchiveEntry* out) {
    return WithOtherArchive(key, [&](Archive&, ArchiveEntry& entry) { *out = entry; });
  }

  void SetComment(const std::string& key, const char* comment) {
    ASSERT_TRUE(WithOtherArchive(key, [&](Archive& archive, ArchiveEntry& entry) {
      lstrcpyA(entry.comment, comment);
      ASSERT_TRUE(StageEntry(archive, key.c_str(), entry) && Commit(archive));
    }));
  }

  // Shows the members' sheet for `items` of `folder` and lets `drive` work on it.
  static void Members(ArchiveFolder* folder, const std::vector<ItemId>& items,
                      const std::function<void(HWND sheet, HWND page)>& drive) {
    PropertyTarget target{folder, items};
    ui::Answerer answerer([&](HWND sheet) { drive(sheet, ui::CurrentPage(sheet)); });
    ShowMemberProperties(nullptr, target);
    EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  }

  // The archive file's bytes and last-write time: a rewrite shows in the time even when it
  // writes the same bytes.
  std::string Bytes() const {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data);
    return std::to_string(data.ftLastWriteTime.dwHighDateTime) + ":" +
           std::to_string(data.ftLastWriteTime.dwLowDateTime) + ":" + ReadText(path_);
  }

  TempFolder dir_;
  std::string path_;
  std::uint32_t members_ = 0;
  std::vector<IShellFolder*> folders_;
  std::vector<LPITEMIDLIST> shellLists_;
};

RawMember FileWith(const std::string& path, std::uint8_t attributes) {
  RawMember member = File(path, "alpha");
  member.attributes = attributes;
  return member;
}

// One member with a comment at level 2: what the member page shows, and the level-0 question.
TEST_F(PropertyPagesTest, OneMemberShowsItsHeaderAndTheLevelZeroQuestionDecides) {
  struct Case {
    int answer;  // 0: the page is left untouched and OK pressed
    int level;
    const char* comment;
    bool staysOpen;
  } cases[] = {{0, 2, "note", false}, {IDYES, 1, "note", false}, {IDNO, 0, "", false},
               {IDCANCEL, 2, "note", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
    SetComment("A.TXT", "note");
    std::string before = Bytes();
    std::string caption, texts, boxes, question;
    int combos[4] = {};
    bool methodEnabled = true, open = false;
    Members(root, {Item(root, "A.TXT")}, [&](HWND sheet, HWND page) {
      caption = Caption(sheet);
      texts = ui::Text(page, IDC_PAGE_NAME) + "|" + ui::Text(page, IDC_PAGE_LOCATION);
      boxes = Boxes(page) + (ui::Text(page, IDC_PAGE_MODIFIED).empty() ? " no time" : "");
      combos[0] = ui::ComboCount(page, IDC_METHOD);
      combos[1] = ui::ComboSelection(page, IDC_METHOD);
      combos[2] = ui::ComboCount(page, IDC_HEADER_LEVEL);
      combos[3] = ui::ComboSelection(page, IDC_HEADER_LEVEL);
      methodEnabled = ui::Enabled(page, IDC_METHOD);
      if (c.answer) ui::ChooseComboEntry(page, IDC_HEADER_LEVEL, 0);
      open = Press(sheet, PSBTN_OK, c.answer, &question);
    });
    EXPECT_EQ(caption, "A.TXT" + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
    EXPECT_EQ(texts, "A.TXT|" + path_);
    EXPECT_EQ(boxes, "x---");
    EXPECT_EQ(std::vector<int>(combos, combos + 4), (std::vector<int>{8, 0, 4, 2}));  // "-lh0-"
    EXPECT_FALSE(methodEnabled);
    EXPECT_EQ(question.rfind(Sjis("ﾚﾍﾞﾙ0ﾍｯﾀﾞではLZHﾌｧｲﾙにｺﾒﾝﾄを"), 0), c.answer ? 0u : std::string::npos);
    EXPECT_EQ(open, c.staysOpen);
    ArchiveEntry entry;
    ASSERT_TRUE(Stored("A.TXT", &entry));
    EXPECT_EQ(entry.headerLevel, c.level);
    EXPECT_STREQ(entry.comment, c.comment);
    EXPECT_EQ(Bytes() == before, c.answer == 0 || c.answer == IDCANCEL) << "rewritten or not";
  }
}

TEST_F(PropertyPagesTest, CommentPageFollowsTheLevelAndItsTextIsStored) {
  ArchiveFolder* root = Open({File("A.TXT", "alpha")});
  SetComment("A.TXT", "note");
  std::string shown, enabled, told;
  LRESULT limit = 0;
  bool tooLongKeptOpen = false;
  // 700 kanji fit the edit's characters but not the header's 1,023 bytes: refused, not cut.
  Members(root, {Item(root, "A.TXT")}, [&](HWND sheet, HWND) {
    Send(sheet, PSM_SETCURSEL, 1);
    SetDlgItemTextW(ui::CurrentPage(sheet), IDC_PAGE_COMMENT, std::wstring(700, L'\x6f22').c_str());
    tooLongKeptOpen = Press(sheet, PSBTN_OK, IDOK, &told);
  });
  Members(root, {Item(root, "A.TXT")}, [&](HWND sheet, HWND member) {
    for (int level : {2, 0, 1}) {
      ui::ChooseComboEntry(member, IDC_HEADER_LEVEL, level);
      Send(sheet, PSM_SETCURSEL, 1);
      enabled += ui::Enabled(ui::CurrentPage(sheet), IDC_PAGE_COMMENT) ? "x" : "-";
      if (level != 1) Send(sheet, PSM_SETCURSEL, 0);
    }
    HWND comment = ui::CurrentPage(sheet);
    shown = ui::Text(comment, IDC_PAGE_COMMENT);
    limit = Send(GetDlgItem(comment, IDC_PAGE_COMMENT), EM_GETLIMITTEXT);
    ui::SetText(comment, IDC_PAGE_COMMENT, "rewritten note");
    Press(sheet, PSBTN_OK);
  });
  EXPECT_EQ(shown, "note");
  EXPECT_EQ(enabled, "x-x");
  EXPECT_EQ(limit, 1023);
  EXPECT_TRUE(tooLongKeptOpen && told.find("A.TXT") != std::string::npos) << told;
  ArchiveEntry entry;
  ASSERT_TRUE(Stored("A.TXT", &entry));
  EXPECT_EQ(entry.headerLevel, 1);
  EXPECT_STREQ(entry.comment, "rewritten note");
}

// Several members: the totals (64-bit), the common type, three-state boxes that keep each
// member's own bit, and a box set for all of them.
TEST_F(PropertyPagesTest, SeveralMembersShowTotalsAndKeepOrSetEachBit) {
  ArchiveFolder* root =
      Open({FileWith("A.TXT", 0x21), FileWith("B.TXT", 0x20), FileWith("C.TXT", 0x21)});
  std::vector<ItemId> three = {Item(root, "A.TXT"), Item(root, "B.TXT"), Item(root, "C.TXT")};
  std::vector<ItemId> large = three;
  large[0].originalSize = large[1].originalSize = 3000000000u;
  large[0].packedSize = large[1].packedSize = 2000000000;
  large[2].originalSize = large[2].packedSize = 0;
  std::vector<ItemId> empty = large;
  empty[0].originalSize = empty[1].originalSize = 0;
  struct Case {
    const std::vector<ItemId>* items;
    bool setReadOnly;
    const char* size;  // the exact count of the size text
    const char* ratio;
    std::uint16_t attributes[3];
  } cases[] = {
      {&three, false, "(15 ", "100 %", {0x21, 0x20, 0x21}},
      {&large, false, "(6,000,000,000 ", "66 %", {0x21, 0x20, 0x21}},
      {&empty, false, "(0 ", "", {0x21, 0x20, 0x21}},
      // Last: the items keep the bits they were listed with, so the box still starts open.
      {&three, true, "(15 ", "100 %", {0x21, 0x21, 0x21}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::string before = Bytes();
    std::string caption, texts, size, boxes;
    Members(root, *c.items, [&](HWND sheet, HWND page) {
      caption = Caption(sheet);
      texts = ui::Text(page, IDC_PAGE_NAME) + "|" + ui::Text(page, IDC_PAGE_LOCATION) + "|" +
              ui::Text(page, IDC_PAGE_RATIO) + "|" + ui::Text(page, IDC_PAGE_TYPE);
      size = ui::Text(page, IDC_PAGE_SIZE);
      boxes = Boxes(page);
      if (c.setReadOnly) SetBox(page, IDC_PAGE_READ_ONLY, BST_CHECKED);
      Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(caption, "A.TXT" + Sjis(",...のﾌﾟﾛﾊﾟﾃｨ"));
    EXPECT_EQ(texts.rfind(Sjis("ﾌｧｲﾙ数 : 3、ﾌｫﾙﾀﾞ数 : 0|全") + path_ + "|" + c.ratio + "|" +
                          Sjis("すべての種類"), 0), 0u) << texts;
    EXPECT_NE(size.find(c.size + Sjis("ﾊﾞｲﾄ)")), std::string::npos) << size;
    EXPECT_EQ(boxes, "x?--");
    const char* keys[] = {"A.TXT", "B.TXT", "C.TXT"};
    for (int i = 0; i < 3; ++i) {
      ArchiveEntry entry;
      ASSERT_TRUE(Stored(keys[i], &entry));
      EXPECT_EQ(entry.attributes, c.attributes[i]) << keys[i];
    }
    EXPECT_EQ(Bytes() == before, !c.setReadOnly) << "rewritten or not";
  }
}

// Folders without a header of their own: one made up from a member path, one listed with the
// header of the folder inside it. Their page shows no times and open boxes; OK on the untouched
// page adds nothing, a set box adds a real folder entry at the HeaderLevel setting.
TEST_F(PropertyPagesTest, FolderWithoutItsOwnHeaderGetsOneWhenSomethingIsSet) {
  HeaderLevel(1);
  for (const char* folderPath : {"DIR", "TOP"}) {
    for (bool touch : {false, true}) {
      SCOPED_TRACE(std::string(folderPath) + (touch ? " set" : " untouched"));
      ArchiveFolder* root =
          Open({File("DIR\\A.TXT"), FolderEntry("TOP\\SUB\\"), File("TOP\\SUB\\B.TXT")});
      std::string before = Bytes();
      std::string shown;
      Members(root, {Item(root, folderPath)}, [&](HWND sheet, HWND page) {
        shown = ui::Text(page, IDC_PAGE_CREATED) + ui::Text(page, IDC_PAGE_MODIFIED) + "|" +
                Boxes(page) + "|" + std::to_string(ui::ComboSelection(page, IDC_HEADER_LEVEL));
        if (touch) SetBox(page, IDC_PAGE_ARCHIVE, BST_CHECKED);
        Press(sheet, PSBTN_OK);
      });
      EXPECT_EQ(shown, "|????|1");
      ArchiveEntry entry;
      ASSERT_EQ(Stored(std::string(folderPath) + "\\", &entry), touch);
      EXPECT_EQ(Bytes() == before, !touch) << "rewritten or not";
      if (!touch) continue;
      EXPECT_STREQ(entry.method, "-lhd-");
      EXPECT_EQ(entry.headerLevel, 1);
      EXPECT_EQ(entry.attributes, 0x30);
      EXPECT_EQ(members_, 4u);
    }
  }
}

// What the pages must not do: report a refused rewrite as done, stage a member another window
// deleted meanwhile, or cut a path to fit a level-0 header.
TEST_F(PropertyPagesTest, ChangesTheArchiveCannotTakeAreRefusedAndTakenBack) {
  // The archive is locked by another process while the page applies.
  ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
  std::string before = Bytes();
  HANDLE other = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(LockFile(other, 0, 0, 0xFFFFFFFF, 0));
  std::string told;
  bool open = false;
  Members(root, {Item(root, "A.TXT")}, [&](HWND sheet, HWND page) {
    SetBox(page, IDC_PAGE_READ_ONLY, BST_CHECKED);
    open = Press(sheet, PSBTN_OK, IDOK, &told);
  });
  UnlockFile(other, 0, 0, 0xFFFFFFFF, 0);
  CloseHandle(other);
  EXPECT_NE(told.find(path_), std::string::npos) << told;
  EXPECT_TRUE(open);
  EXPECT_EQ(Bytes(), before);
  // Nothing of the refused change rides along with the next commit.
  ArchiveEntry entry;
  ASSERT_TRUE(Commit(*root->archive) && Stored("A.TXT", &entry));
  EXPECT_EQ(entry.attributes, 0x20) << "staged changes left behind";

  // Another window deletes one of two selected members before the page applies.
  root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
  std::vector<ItemId> items = {Item(root, "A.TXT"), Item(root, "B.TXT")};
  WithOtherArchive("", [](Archive& archive, ArchiveEntry&) {
    ASSERT_TRUE(MarkDeleted(archive, "A.TXT") && Commit(archive));
  });
  Members(root, items, [&](HWND sheet, HWND page) {
    SetBox(page, IDC_PAGE_READ_ONLY, BST_CHECKED);
    Press(sheet, PSBTN_OK);
  });
  EXPECT_FALSE(Stored("A.TXT", &entry));
  ASSERT_TRUE(Stored("B.TXT", &entry));
  EXPECT_EQ(entry.attributes, 0x21);
  EXPECT_EQ(members_, 1u);

  // Under open pages another window deletes a folder and changes a member's header: nothing of
  // the folder comes back, and OK on the member's untouched page keeps the other window's change.
  root = Open({FolderEntry("DIR\\"), File("DIR\\A.TXT"), File("B.TXT")});
  items = {Item(root, "DIR"), Item(root, "B.TXT")};
  WithOtherArchive("B.TXT", [](Archive& archive, ArchiveEntry& entry) {
    entry.attributes = 0x21, entry.headerLevel = 1;
    ASSERT_TRUE(MarkDeletedBelow(archive, "DIR") == 2 && StageEntry(archive, "B.TXT", entry));
    ASSERT_TRUE(Commit(archive));
  });
  Members(root, {items[0]}, [&](HWND sheet, HWND page) {
    SetBox(page, IDC_PAGE_HIDDEN, BST_CHECKED);
    Press(sheet, PSBTN_OK);
  });
  Members(root, {items[1]}, [&](HWND sheet, HWND) { Press(sheet, PSBTN_OK); });
  EXPECT_FALSE(Stored("DIR\\", &entry));
  ASSERT_TRUE(Stored("B.TXT", &entry));
  EXPECT_EQ(entry.attributes, 0x21);
  EXPECT_EQ(entry.headerLevel, 1);
  EXPECT_EQ(members_, 1u);
  // Level 0 for a path a level-0 header cannot hold; captions and locations of long names.
  std::string folder(250, 'F'), name(250, 'N'), caption, location;
  root = Open({File(folder + "\\A"), File(folder + "\\B"), File(name)});
  before = Bytes();
  Members(root, {Item(root, name)}, [&](HWND sheet, HWND page) {
    caption = Caption(sheet);
    ui::ChooseComboEntry(page, IDC_HEADER_LEVEL, 0);
    open = Press(sheet, PSBTN_OK, IDOK, &told);
  });
  EXPECT_EQ(caption, name + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
  EXPECT_NE(told.find(name), std::string::npos) << told;
  EXPECT_TRUE(open);
  EXPECT_EQ(Bytes(), before);
  void* out = nullptr;
  ASSERT_EQ(root->BindToObject(HeldItem(Item(root, folder)).list(), nullptr, IID_IShellFolder, &out),
            S_OK);
  folders_.push_back(static_cast<IShellFolder*>(out));
  auto* inside = static_cast<ArchiveFolder*>(folders_.back());
  Members(inside, {Item(inside, folder + "\\A"), Item(inside, folder + "\\B")},
          [&](HWND sheet, HWND page) {
            location = ui::Text(page, IDC_PAGE_LOCATION);
            Press(sheet, PSBTN_CANCEL);
          });
  EXPECT_EQ(location, Sjis("全") + folder);
}

TEST_F(PropertyPagesTest, ArchivePageCountsTheMembersAndChangesTheFilesAttributes) {
  ArchiveFolder* root = Open({File("A.TXT", std::string(2000, 'a')), File("DIR\\B.TXT", "beta"),
                              FolderEntry("DIR\\")});
  std::string caption, texts, boxes;
  bool enabled = true;
  ui::Answerer answerer([&](HWND sheet) {
    HWND page = ui::CurrentPage(sheet);
    caption = Caption(sheet);
    texts = ui::Text(page, IDC_PAGE_NAME) + "|" + ui::Text(page, IDC_PAGE_SIZE) + "|" +
            ui::Text(page, IDC_PAGE_LOCATION);
    enabled = ui::Enabled(page, IDC_HEADER_LEVEL) || ui::Enabled(page, IDC_METHOD) ||
              ui::Enabled(page, IDC_PAGE_SYSTEM);
    boxes = Boxes(page);
    SetBox(page, IDC_PAGE_READ_ONLY, BST_CHECKED);
    Press(sheet, PSBTN_OK);
  });
  ShowArchiveProperties(nullptr, root);
  EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(caption, path_ + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
  EXPECT_EQ(texts, Sjis("ﾌｧｲﾙ数 : 2、ﾌｫﾙﾀﾞ数 : 1|2KB (2004ﾊﾞｲﾄ)|") + path_);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(boxes[1], '-');
  EXPECT_NE(GetFileAttributesA(path_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
