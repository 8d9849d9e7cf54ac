// The archive file seen from outside: "ここに解凍(&X)" in the right-drag menu and what it
// extracts, and the summary page with its member list and its hold on the extension.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/ArchiveFileExtension.h"
#include "dll/DropTestSupport.h"
#include "dll/FolderTestSupport.h"
#include "namespace/ClassFactory.h"
#include "namespace/ResourceText.h"
#include "resource.h"
#include "ui/UiHarness.h"

using namespace foldertest;
using namespace droptest;

namespace {

class ArchiveFileExtensionTest : public testing::Test {
 protected:
  void SetUp() override { start_ = ObjectCount(); }
  void TearDown() override { EXPECT_EQ(ObjectCount(), start_) << "objects left alive"; }

  // An extension made by the class factory and initialised as the shell does.
  IShellExtInit* Make(const std::vector<std::string>& dropped, const std::string& folder,
                      bool offerFiles = true) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(CreateComObject<ClassFactory>(IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory)), S_OK);
    IShellExtInit* init = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit,
                                      reinterpret_cast<void**>(&init)), S_OK);
    factory->Release();
    LPITEMIDLIST list = folder.empty() ? nullptr : ShellIdListOf(folder);
    auto* data = new FileDropData(dropped, offerFiles);
    data->AddRef();
    EXPECT_EQ(init->Initialize(list, data, nullptr), S_OK);
    data->Release();
    CoTaskMemFree(list);
    return init;
  }

  // The items QueryContextMenu adds, as texts.
  static std::vector<std::string> MenuItems(IShellExtInit* init) {
    IContextMenu* menu = nullptr;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    HMENU popup = CreatePopupMenu();
    HRESULT result = menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL);
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
      char text[128] = "";
      GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
      items.push_back(text);
    }
    EXPECT_EQ(HRESULT_CODE(result), static_cast<int>(items.size()));
    if (!items.empty()) {
      EXPECT_EQ(GetMenuItemID(popup, 0), 100u);
    }
    DestroyMenu(popup);
    menu->Release();
    return items;
  }

  TempFolder dir_;
  LONG start_ = 0;
};

TEST_F(ArchiveFileExtensionTest, ExtractHereIsOfferedForExactlyOneArchiveOnAFileSystemFolder) {
  char extractHere[64];
  LoadLibraryString(IDS_EXTRACT_HERE, extractHere, sizeof extractHere);
  struct Case {
    const char* name;
    std::vector<std::string> dropped;
    bool folderGiven;
    bool offerFiles;
    bool offered;
  };
  const std::string a = dir_ / "a.lzh";
  const Case cases[] = {
      {"one archive", {a}, true, true, true},
      {"upper-case extension", {dir_ / "B.LZH"}, true, true, true},
      {"mixed case", {dir_ / "c.LzH"}, true, true, true},
      {"a further extension", {dir_ / "x.lzh.txt"}, true, true, false},
      {"two archives", {a, dir_ / "B.LZH"}, true, true, false},
      {"a name too short", {"lzh"}, true, true, false},
      {"no file list", {a}, true, false, false},
      {"a folder without a file-system path", {a}, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IShellExtInit* init = Make(c.dropped, c.folderGiven ? dir_.path() : "", c.offerFiles);
    std::vector<std::string> expected;
    if (c.offered) expected.push_back(extractHere);
    EXPECT_EQ(MenuItems(init), expected);
    // A later Initialize without data forgets the archive.
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(MenuItems(init).empty());
    init->Release();
  }
}

TEST_F(ArchiveFileExtensionTest, ExtractHereWritesEveryMemberInsideTheFolderEvenWhenReadOnly) {
  const std::string archive = dir_ / "ARC.LZH";
  ASSERT_TRUE(WriteArchive(archive, {File("a.txt", "alpha"), FolderEntry("DIR\\"),
                                     File("DIR\\b.txt", "beta"), File("..\\evil.txt", "evil")}));
  SetFileAttributesA(archive.c_str(), FILE_ATTRIBUTE_READONLY);
  // Tests may run with rights that ignore the attribute: a handle that refuses writers to share
  // the file refuses writing for certain.
  HANDLE holder = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  CreateDirectoryA((dir_ / "out").c_str(), nullptr);
  IShellExtInit* init = Make({archive}, dir_ / "out");
  ASSERT_EQ(MenuItems(init).size(), 1u);
  IContextMenu* menu = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = "extract";
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  info.lpVerb = MAKEINTRESOURCEA(1);
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  CMINVOKECOMMANDINFOEX wide = {};  // a Unicode caller: the null ANSI verb is no offset 0
  wide.cbSize = sizeof wide;
  wide.fMask = CMIC_MASK_UNICODE;
  wide.lpVerbW = L"delete";
  EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&wide)), E_INVALIDARG);
  EXPECT_FALSE(Exists(dir_ / "out\\a.txt"));
  info.lpVerb = MAKEINTRESOURCEA(0);
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
  menu->Release();
  init->Release();
  EXPECT_EQ(ReadText(dir_ / "out\\a.txt"), "alpha");
  EXPECT_EQ(ReadText(dir_ / "out\\DIR\\b.txt"), "beta");
  EXPECT_FALSE(Exists(dir_ / "evil.txt")) << "a member left the chosen folder";
  CloseHandle(holder);
  SetFileAttributesA(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Pages handed to the sheet by AddPages: kept, or refused.
BOOL CALLBACK KeepPage(HPROPSHEETPAGE page, LPARAM pages) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(pages)->push_back(page);
  return TRUE;
}
BOOL CALLBACK RefusePage(HPROPSHEETPAGE, LPARAM) { return FALSE; }

// The pages of an extension over `archive`, which is released at once: the pages hold it.
std::vector<HPROPSHEETPAGE> Pages(IShellExtInit* init, LPFNADDPROPSHEETPAGE add = KeepPage) {
  IShellPropSheetExt* sheet = nullptr;
  EXPECT_EQ(init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)), S_OK);
  std::vector<HPROPSHEETPAGE> pages;
  EXPECT_EQ(sheet->AddPages(add, reinterpret_cast<LPARAM>(&pages)), S_OK);
  sheet->Release();
  init->Release();
  return pages;
}

TEST_F(ArchiveFileExtensionTest, SummaryPageListsMemberFilesInArchiveOrder) {
  const std::string archive = dir_ / "S.LZH";
  struct Case {
    const char* name;
    std::vector<RawMember> members;  // none: a damaged file
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {"archive order, folders left out",
       {File("Z.TXT"), FolderEntry("DIR\\"), File("DIR\\A.TXT"), File("B.TXT")},
       {"Z.TXT", "DIR\\A.TXT", "B.TXT"}},
      {"only folder entries", {FolderEntry("A\\"), FolderEntry("A\\B\\")}, {}},
      {"a damaged archive", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.members.empty()) ASSERT_TRUE(WriteBytes(archive, TextBytes("not an archive")));
    else ASSERT_TRUE(WriteArchive(archive, c.members));
    std::vector<HPROPSHEETPAGE> pages = Pages(Make({archive}, dir_.path()));
    ASSERT_EQ(pages.size(), 1u);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS;
    header.pszCaption = "S.LZH";
    header.nPages = 1;
    header.phpage = pages.data();
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    ASSERT_NE(sheet, nullptr);
    HWND page = ui::CurrentPage(sheet);
    EXPECT_EQ(ui::Text(page, IDC_ITEM_NAME), "S.LZH");
    std::vector<std::string> listed;
    for (int i = 0; i < SendDlgItemMessageA(page, IDC_MEMBER_LIST, LB_GETCOUNT, 0, 0); ++i) {
      char text[600] = "";
      SendDlgItemMessageA(page, IDC_MEMBER_LIST, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      listed.push_back(text);
    }
    EXPECT_EQ(listed, c.listed);
    DestroyWindow(sheet);
  }
  // A page the sheet refuses, and one never shown, still let the extension go.
  ASSERT_TRUE(WriteArchive(archive, {File("A.TXT")}));
  EXPECT_TRUE(Pages(Make({archive}, dir_.path()), RefusePage).empty());
  EXPECT_EQ(ObjectCount(), start_) << "refused page";
  for (HPROPSHEETPAGE page : Pages(Make({archive}, dir_.path()))) DestroyPropertySheetPage(page);
  EXPECT_EQ(ObjectCount(), start_) << "page never shown";
}

}  // namespace
