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

constexpr int MessageText = 0xFFFF;  // the text control of a message box
constexpr DWORD WaitMs = 10000;

// The Shift-JIS bytes of a text written here in UTF-8.
std::string Sjis(const char* utf8) {
  wchar_t wide[512];
  char bytes[1024];
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
  WideCharToMultiByte(932, 0, wide, -1, bytes, sizeof bytes, nullptr, nullptr);
  return bytes;
}

// A dialog of the sheet's thread other than the sheet (a message box of a page).
HWND OtherDialog(HWND sheet) {
  struct Search {
    HWND sheet;
    HWND found;
  } search = {sheet, nullptr};
  EnumThreadWindows(
      GetWindowThreadProcessId(sheet, nullptr),
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* s = reinterpret_cast<Search*>(parameter);
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        if (window == s->sheet || lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window))
          return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Presses a sheet button and waits until the sheet closes (null) or a message box comes up (the
// box). A sheet that does neither within the wait gives null as well; callers check the sheet.
HWND Press(HWND sheet, int button) {
  PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
  for (DWORD waited = 0; waited < WaitMs && IsWindow(sheet); waited += 20) {
    if (HWND box = OtherDialog(sheet)) {
      SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
      return box;
    }
    Sleep(20);
  }
  return nullptr;
}

// True when the sheet is still open once it has handled everything sent before.
bool StillOpen(HWND sheet) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(sheet, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  return IsWindow(sheet) && IsWindowVisible(sheet);
}

void ShowPage(HWND sheet, int index) {
  SendMessageTimeoutA(sheet, PSM_SETCURSEL, index, 0, SMTO_NORMAL, 5000, nullptr);
}

LRESULT Check(HWND page, int control) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(GetDlgItem(page, control), BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

// Sets a box as a click would leave it and tells the page.
void SetCheck(HWND page, int control, WPARAM state) {
  SendMessageTimeoutA(GetDlgItem(page, control), BM_SETCHECK, state, 0, SMTO_NORMAL, 5000,
                      nullptr);
  ui::Command(page, control);
}

std::string Caption(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

const int Boxes[] = {IDC_PAGE_ARCHIVE, IDC_PAGE_READ_ONLY, IDC_PAGE_HIDDEN, IDC_PAGE_SYSTEM};

class PropertyPagesTest : public RegistryFixture {
 protected:
  void TearDown() override {
    for (IShellFolder* folder : folders_) folder->Release();
    for (LPITEMIDLIST list : shellLists_) CoTaskMemFree(list);
    RegistryFixture::TearDown();
  }

  // A new archive file of the members, opened as the shell opens it.
  ArchiveFolder* Open(const std::vector<RawMember>& members) {
    path_ = dir_ / ("P" + std::to_string(serial_++) + ".LZH");
    EXPECT_TRUE(WriteArchive(path_, members));
    LPITEMIDLIST list = ShellIdListOf(path_);
    shellLists_.push_back(list);
    void* out = nullptr;
    EXPECT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    folders_.push_back(folder);
    EXPECT_EQ(folder->Initialize(list), S_OK);
    return folder;
  }

  ArchiveFolder* Bind(ArchiveFolder* folder, const ItemId& item) {
    HeldItem held(item);
    void* out = nullptr;
    EXPECT_EQ(folder->BindToObject(held.list(), nullptr, IID_IShellFolder, &out), S_OK);
    folders_.push_back(static_cast<IShellFolder*>(out));
    return static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  }

  static ItemId Item(ArchiveFolder* folder, const std::string& path) {
    IEnumIDList* enumerator = nullptr;
    EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator),
              S_OK);
    ReceivedItems received;
    ReadAll(enumerator, received);
    enumerator->Release();
    for (std::size_t i = 0; i < received.size(); ++i)
      if (path == received[i].path) return received[i];
    ADD_FAILURE() << "no item " << path;
    return ItemId{};
  }

  // Works on the archive file through an Archive object of its own, as another window would.
  void WithOtherArchive(const std::function<void(Archive&)>& work) {
    auto* archive = new Archive;
    archive->Retain();
    ASSERT_EQ(archive->OpenFile(path_.c_str()), ResultOk);
    work(*archive);
    archive->Release();
  }

  // The header of `key` as the file holds it now; false when it is not there.
  bool Stored(const std::string& key, ArchiveEntry* entry) {
    bool found = false;
    WithOtherArchive([&](Archive& archive) {
      EntryEnumerator* snapshot = archive.EnumEntries();
      ASSERT_NE(snapshot, nullptr);
      found = snapshot->FindEntry(key.c_str(), entry);
      members_ = snapshot->Count();
      snapshot->Release();
    });
    return found;
  }

  void SetComment(const std::string& key, const char* comment) {
    WithOtherArchive([&](Archive& archive) {
      EntryEnumerator* snapshot = archive.EnumEntries();
      ArchiveEntry entry;
      ASSERT_TRUE(snapshot->FindEntry(key.c_str(), &entry));
      snapshot->Release();
      lstrcpyA(entry.comment, comment);
      ASSERT_TRUE(StageEntry(archive, key.c_str(), entry));
      ASSERT_TRUE(Commit(archive));
    });
  }

  // Shows the members' sheet for `items` of `folder` and lets `drive` work on it.
  static void Members(ArchiveFolder* folder, const std::vector<ItemId>& items,
                      const std::function<void(HWND sheet)>& drive) {
    PropertyTarget target{folder, items};
    ui::Answerer answerer(drive);
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
  static inline int serial_ = 0;
};

RawMember FileWith(const std::string& path, std::uint8_t attributes) {
  RawMember member = File(path, "alpha");
  member.attributes = attributes;
  return member;
}

// One member with a comment at level 2: what the member page shows, and the level-0 question.
TEST_F(PropertyPagesTest, OneMemberShowsItsHeaderAndTheLevelZeroQuestionDecides) {
  struct Case {
    const char* what;
    int answer;  // 0: the page is left untouched and OK pressed
    int level;
    const char* comment;
    bool staysOpen;
  } cases[] = {
      {"untouched", 0, 2, "note", false},
      {"yes keeps the comment at level 1", IDYES, 1, "note", false},
      {"no drops the comment at level 0", IDNO, 0, "", false},
      {"cancel keeps the sheet open", IDCANCEL, 2, "note", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
    SetComment("A.TXT", "note");
    std::string before = Bytes();
    std::string caption, name, location, modified, question;
    int methods = 0, method = -1, levels = 0, level = -1;
    bool methodEnabled = true, open = false;
    LRESULT boxes[4] = {};
    Members(root, {Item(root, "A.TXT")}, [&](HWND sheet) {
      HWND page = ui::CurrentPage(sheet);
      caption = Caption(sheet);
      name = ui::Text(page, IDC_PAGE_NAME);
      location = ui::Text(page, IDC_PAGE_LOCATION);
      modified = ui::Text(page, IDC_PAGE_MODIFIED);
      methods = ui::ComboCount(page, IDC_METHOD);
      method = ui::ComboSelection(page, IDC_METHOD);
      methodEnabled = ui::Enabled(page, IDC_METHOD);
      levels = ui::ComboCount(page, IDC_HEADER_LEVEL);
      level = ui::ComboSelection(page, IDC_HEADER_LEVEL);
      for (int i = 0; i < 4; ++i) boxes[i] = Check(page, Boxes[i]);
      if (!c.answer) {
        Press(sheet, PSBTN_OK);
        return;
      }
      ui::ChooseComboEntry(page, IDC_HEADER_LEVEL, 0);
      HWND box = Press(sheet, PSBTN_OK);
      if (!box) return;
      question = ui::Text(box, MessageText);
      ui::Click(box, c.answer);
      open = StillOpen(sheet);
      if (open) PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(caption, "A.TXT" + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
    EXPECT_EQ(name, "A.TXT");
    EXPECT_EQ(location, path_);
    EXPECT_FALSE(modified.empty());
    EXPECT_EQ(methods, 8);
    EXPECT_EQ(method, 0);  // "-lh0-"
    EXPECT_FALSE(methodEnabled);
    EXPECT_EQ(levels, 4);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(boxes[0], BST_CHECKED);
    EXPECT_EQ(boxes[1], BST_UNCHECKED);
    if (c.answer) {
      EXPECT_EQ(question.rfind(Sjis("ﾚﾍﾞﾙ0ﾍｯﾀﾞではLZHﾌｧｲﾙにｺﾒﾝﾄを"), 0), 0u);
    }
    EXPECT_EQ(open, c.staysOpen);
    ArchiveEntry entry;
    ASSERT_TRUE(Stored("A.TXT", &entry));
    EXPECT_EQ(entry.headerLevel, c.level);
    EXPECT_STREQ(entry.comment, c.comment);
    if (c.answer == 0 || c.answer == IDCANCEL) {
      EXPECT_EQ(Bytes(), before) << "rewritten";
    }
  }
}

TEST_F(PropertyPagesTest, CommentPageFollowsTheLevelAndItsTextIsStored) {
  ArchiveFolder* root = Open({File("A.TXT", "alpha")});
  SetComment("A.TXT", "note");
  std::string shown;
  bool atTwo = false, atZero = true, atOne = false;
  LRESULT limit = 0;
  Members(root, {Item(root, "A.TXT")}, [&](HWND sheet) {
    HWND member = ui::CurrentPage(sheet);
    ShowPage(sheet, 1);
    HWND comment = ui::CurrentPage(sheet);
    shown = ui::Text(comment, IDC_PAGE_COMMENT);
    atTwo = ui::Enabled(comment, IDC_PAGE_COMMENT);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(comment, IDC_PAGE_COMMENT), EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL,
                        5000, &result);
    limit = static_cast<LRESULT>(result);
    ShowPage(sheet, 0);
    ui::ChooseComboEntry(member, IDC_HEADER_LEVEL, 0);
    ShowPage(sheet, 1);
    atZero = ui::Enabled(comment, IDC_PAGE_COMMENT);
    ShowPage(sheet, 0);
    ui::ChooseComboEntry(member, IDC_HEADER_LEVEL, 1);
    ShowPage(sheet, 1);
    atOne = ui::Enabled(comment, IDC_PAGE_COMMENT);
    ui::SetText(comment, IDC_PAGE_COMMENT, "rewritten note");
    Press(sheet, PSBTN_OK);
  });
  EXPECT_EQ(shown, "note");
  EXPECT_TRUE(atTwo);
  EXPECT_FALSE(atZero);
  EXPECT_TRUE(atOne);
  EXPECT_EQ(limit, 1023);
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
  large[0].originalSize = 3000000000u;
  large[0].packedSize = 2000000000;
  large[1].originalSize = 3000000000u;
  large[1].packedSize = 2000000000;
  large[2].originalSize = 0;
  large[2].packedSize = 0;
  std::vector<ItemId> empty = large;
  empty[0].originalSize = empty[1].originalSize = 0;
  empty[0].packedSize = empty[1].packedSize = 0;

  struct Case {
    const char* what;
    const std::vector<ItemId>* items;
    WPARAM readOnly;  // what the read-only box is set to; BST_INDETERMINATE leaves it alone
    const char* size;  // a part of the size text
    const char* ratio;
    std::uint16_t attributes[3];
  } cases[] = {
      {"untouched", &three, BST_INDETERMINATE, "(15 ", "100 %", {0x21, 0x20, 0x21}},
      {"totals past 4 GiB", &large, BST_INDETERMINATE, "(6,000,000,000 ", "66 %",
       {0x21, 0x20, 0x21}},
      {"no ratio for nothing", &empty, BST_INDETERMINATE, "(0 ", "", {0x21, 0x20, 0x21}},
      // Last: the items keep the bits they were listed with, so the box still starts open.
      {"read-only for all", &three, BST_CHECKED, "(15 ", "100 %", {0x21, 0x21, 0x21}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string before = Bytes();
    std::string caption, counts, type, location, size, ratio;
    LRESULT boxes[4] = {};
    Members(root, *c.items, [&](HWND sheet) {
      HWND page = ui::CurrentPage(sheet);
      caption = Caption(sheet);
      counts = ui::Text(page, IDC_PAGE_NAME);
      type = ui::Text(page, IDC_PAGE_TYPE);
      location = ui::Text(page, IDC_PAGE_LOCATION);
      size = ui::Text(page, IDC_PAGE_SIZE);
      ratio = ui::Text(page, IDC_PAGE_RATIO);
      for (int i = 0; i < 4; ++i) boxes[i] = Check(page, Boxes[i]);
      if (c.readOnly != BST_INDETERMINATE) SetCheck(page, IDC_PAGE_READ_ONLY, c.readOnly);
      Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(caption, "A.TXT" + Sjis(",...のﾌﾟﾛﾊﾟﾃｨ"));
    EXPECT_EQ(counts, Sjis("ﾌｧｲﾙ数 : 3、ﾌｫﾙﾀﾞ数 : 0"));
    EXPECT_EQ(type.rfind(Sjis("すべての種類"), 0), 0u) << type;
    EXPECT_EQ(location, Sjis("全") + path_);
    EXPECT_NE(size.find(std::string(c.size) + Sjis("ﾊﾞｲﾄ)")), std::string::npos) << size;
    EXPECT_EQ(ratio, c.ratio);
    EXPECT_EQ(boxes[0], BST_CHECKED);
    EXPECT_EQ(boxes[1], BST_INDETERMINATE);
    EXPECT_EQ(boxes[2], BST_UNCHECKED);
    const char* keys[] = {"A.TXT", "B.TXT", "C.TXT"};
    for (int i = 0; i < 3; ++i) {
      ArchiveEntry entry;
      ASSERT_TRUE(Stored(keys[i], &entry));
      EXPECT_EQ(entry.attributes, c.attributes[i]) << keys[i];
    }
    if (c.readOnly == BST_INDETERMINATE) {
      EXPECT_EQ(Bytes(), before) << "rewritten";
    }
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
      ArchiveFolder* root = Open({File("DIR\\A.TXT"), FolderEntry("TOP\\SUB\\"),
                                  File("TOP\\SUB\\B.TXT")});
      std::string before = Bytes();
      std::string created, modified;
      int level = -1;
      LRESULT boxes[4] = {};
      Members(root, {Item(root, folderPath)}, [&](HWND sheet) {
        HWND page = ui::CurrentPage(sheet);
        created = ui::Text(page, IDC_PAGE_CREATED);
        modified = ui::Text(page, IDC_PAGE_MODIFIED);
        level = ui::ComboSelection(page, IDC_HEADER_LEVEL);
        for (int i = 0; i < 4; ++i) boxes[i] = Check(page, Boxes[i]);
        if (touch) SetCheck(page, IDC_PAGE_ARCHIVE, BST_CHECKED);
        Press(sheet, PSBTN_OK);
      });
      EXPECT_EQ(created, "");
      EXPECT_EQ(modified, "");
      EXPECT_EQ(level, 1);
      for (LRESULT box : boxes) EXPECT_EQ(box, BST_INDETERMINATE);
      ArchiveEntry entry;
      bool added = Stored(std::string(folderPath) + "\\", &entry);
      EXPECT_EQ(added, touch);
      if (!touch) {
        EXPECT_EQ(Bytes(), before) << "rewritten";
      }
      if (!added) continue;
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
  {
    ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
    std::string before = Bytes();
    HANDLE other = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(LockFile(other, 0, 0, 0xFFFFFFFF, 0));
    std::string told;
    bool open = false;
    Members(root, {Item(root, "A.TXT")}, [&](HWND sheet) {
      SetCheck(ui::CurrentPage(sheet), IDC_PAGE_READ_ONLY, BST_CHECKED);
      HWND box = Press(sheet, PSBTN_OK);
      if (!box) return;
      told = ui::Text(box, MessageText);
      ui::Click(box, IDOK);
      open = StillOpen(sheet);
      PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    UnlockFile(other, 0, 0, 0xFFFFFFFF, 0);
    CloseHandle(other);
    EXPECT_NE(told.find(path_), std::string::npos) << told;
    EXPECT_TRUE(open);
    EXPECT_EQ(root->archive->Pending().Count(), 0u) << "staged changes left behind";
    EXPECT_EQ(Bytes(), before);
    // Nothing of the refused change rides along with the next commit.
    ASSERT_TRUE(Commit(*root->archive));
    ArchiveEntry entry;
    ASSERT_TRUE(Stored("A.TXT", &entry));
    EXPECT_EQ(entry.attributes, 0x20);
  }
  // Another window deletes one of two selected members before the page applies.
  {
    ArchiveFolder* root = Open({File("A.TXT", "alpha"), File("B.TXT", "beta")});
    std::vector<ItemId> items = {Item(root, "A.TXT"), Item(root, "B.TXT")};
    WithOtherArchive([](Archive& archive) {
      ASSERT_TRUE(MarkDeleted(archive, "A.TXT"));
      ASSERT_TRUE(Commit(archive));
    });
    Members(root, items, [&](HWND sheet) {
      SetCheck(ui::CurrentPage(sheet), IDC_PAGE_READ_ONLY, BST_CHECKED);
      Press(sheet, PSBTN_OK);
    });
    ArchiveEntry entry;
    EXPECT_FALSE(Stored("A.TXT", &entry));
    ASSERT_TRUE(Stored("B.TXT", &entry));
    EXPECT_EQ(entry.attributes, 0x21);
    EXPECT_EQ(members_, 1u);
  }
  // Level 0 for a path a level-0 header cannot hold, and a caption and location of long names.
  {
    std::string folder(250, 'F');
    std::string name(250, 'N');
    ArchiveFolder* root = Open({File(folder + "\\A"), File(folder + "\\B"), File(name)});
    std::string before = Bytes();
    std::string caption, told, location;
    bool open = false;
    Members(root, {Item(root, name)}, [&](HWND sheet) {
      caption = Caption(sheet);
      ui::ChooseComboEntry(ui::CurrentPage(sheet), IDC_HEADER_LEVEL, 0);
      HWND box = Press(sheet, PSBTN_OK);
      if (!box) return;
      told = ui::Text(box, MessageText);
      ui::Click(box, IDOK);
      open = StillOpen(sheet);
      PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(caption, name + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
    EXPECT_NE(told.find(name), std::string::npos) << told;
    EXPECT_TRUE(open);
    EXPECT_EQ(Bytes(), before);
    ArchiveFolder* inside = Bind(root, Item(root, folder));
    Members(inside, {Item(inside, folder + "\\A"), Item(inside, folder + "\\B")},
            [&](HWND sheet) {
              location = ui::Text(ui::CurrentPage(sheet), IDC_PAGE_LOCATION);
              PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
            });
    EXPECT_EQ(location, Sjis("全") + folder);
  }
}

TEST_F(PropertyPagesTest, ArchivePageCountsTheMembersAndChangesTheFilesAttributes) {
  ArchiveFolder* root = Open({File("A.TXT", std::string(2000, 'a')), File("DIR\\B.TXT", "beta"),
                              FolderEntry("DIR\\")});
  std::string caption, counts, size, location;
  bool levelEnabled = true, methodEnabled = true, systemEnabled = true;
  LRESULT readOnly = -1;
  ui::Answerer answerer([&](HWND sheet) {
    HWND page = ui::CurrentPage(sheet);
    caption = Caption(sheet);
    counts = ui::Text(page, IDC_PAGE_NAME);
    size = ui::Text(page, IDC_PAGE_SIZE);
    location = ui::Text(page, IDC_PAGE_LOCATION);
    levelEnabled = ui::Enabled(page, IDC_HEADER_LEVEL);
    methodEnabled = ui::Enabled(page, IDC_METHOD);
    systemEnabled = ui::Enabled(page, IDC_PAGE_SYSTEM);
    readOnly = Check(page, IDC_PAGE_READ_ONLY);
    SetCheck(page, IDC_PAGE_READ_ONLY, BST_CHECKED);
    Press(sheet, PSBTN_OK);
  });
  ShowArchiveProperties(nullptr, root);
  EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(caption, path_ + Sjis("のﾌﾟﾛﾊﾟﾃｨ"));
  EXPECT_EQ(counts, Sjis("ﾌｧｲﾙ数 : 2、ﾌｫﾙﾀﾞ数 : 1"));
  EXPECT_EQ(size, Sjis("2KB (2004ﾊﾞｲﾄ)"));
  EXPECT_EQ(location, path_);
  EXPECT_FALSE(levelEnabled);
  EXPECT_FALSE(methodEnabled);
  EXPECT_FALSE(systemEnabled);
  EXPECT_EQ(readOnly, BST_UNCHECKED);
  DWORD attributes = GetFileAttributesA(path_.c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
