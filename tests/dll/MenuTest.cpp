// Menu helpers and the registry verb menu, table-driven.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "commands/BackgroundContextMenu.h"
#include "commands/MenuMerge.h"
#include "commands/VerbMenu.h"
#include "resources/resource.h"
#include "dll/FolderTestSupport.h"
#include "dll/ViewTestSupport.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/Settings.h"
#include "operations/ArchiveDataObject.h"

using namespace foldertest;

namespace {

// A menu from a description: "-" a separator, "Text:id" an item, "Text:id>" a popup whose items
// follow up to the next "<".
HMENU Build(const std::vector<std::string>& items, std::size_t* at = nullptr) {
  std::size_t local = 0;
  if (!at) at = &local;
  HMENU menu = CreatePopupMenu();
  while (*at < items.size()) {
    const std::string item = items[(*at)++];
    if (item == "<") break;
    if (item == "-") {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::size_t colon = item.find(':');
    const std::string text = item.substr(0, colon);
    const UINT id = static_cast<UINT>(std::stoul(item.substr(colon + 1)));
    if (item.back() == '>') {
      HMENU sub = Build(items, at);
      MENUITEMINFOA info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
      info.fType = MFT_STRING;
      info.wID = id;
      info.hSubMenu = sub;
      info.dwTypeData = const_cast<char*>(text.c_str());
      InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &info);
    } else {
      AppendMenuA(menu, MF_STRING, id, text.c_str());
    }
  }
  return menu;
}

// The menu described back in the same form.
std::vector<std::string> Describe(HMENU menu) {
  std::vector<std::string> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      out.push_back("-");
      continue;
    }
    out.push_back(std::string(text) + ":" + std::to_string(info.wID) + (info.hSubMenu ? ">" : ""));
    if (info.hSubMenu) {
      for (const std::string& inner : Describe(info.hSubMenu)) out.push_back(inner);
      out.push_back("<");
    }
  }
  return out;
}

TEST(Menus, MergeShiftsIdsDropsThoseAboveTheMaximumAndNeverDoublesSeparators) {
  const std::vector<std::string> source = {"-", "X:10", "Y:300", "-", "P:20>", "Z:30", "<"};
  struct Case {
    std::vector<std::string> destination;
    UINT position, flags;
    std::vector<std::string> expected;
    UINT result;
  } cases[] = {
      {{"A:1", "B:2", "-", "C:3"}, 1, MergeKeepPopupIds,
       {"A:1", "-", "X:110", "-", "P:120>", "Z:130", "<", "B:2", "-", "C:3"}, 131},
      {{}, 0, MergeKeepPopupIds, {"X:110", "-", "P:120>", "Z:130", "<"}, 131},
      {{"A:1", "B:2", "-", "C:3"}, 2, MergeKeepPopupIds,
       {"A:1", "B:2", "-", "X:110", "-", "P:120>", "Z:130", "<", "-", "C:3"}, 131},
      {{"A:1", "B:2", "-", "C:3"}, 1, MergeAddSeparator | MergeKeepPopupIds,
       {"A:1", "-", "X:110", "-", "P:120>", "Z:130", "<", "-", "B:2", "-", "C:3"}, 131},
      // Without flag 2 a popup gets no identifier of its own.
      {{"A:1"}, 9, 0, {"A:1", "-", "X:110", "-", "P:0>", "Z:130", "<"}, 131},
  };
  for (const Case& c : cases) {
    HMENU destination = Build(c.destination);
    HMENU from = Build(source);
    EXPECT_EQ(MergeMenus(destination, from, c.position, 100, 305, c.flags), c.result);
    EXPECT_EQ(Describe(destination), c.expected) << "position " << c.position;
    DestroyMenu(destination);
    DestroyMenu(from);
  }
  EXPECT_EQ(MergeMenus(nullptr, nullptr, 0, 7, 9, 0), 7u);
  HMENU menu = Build({"A:1", "B:2", "A:3", "-"});
  EXPECT_EQ(FindMenuItemByText(menu, "A"), 2);
  EXPECT_EQ(FindMenuItemByText(menu, "a"), -1);
  EXPECT_TRUE(IsMenuSeparator(menu, 3));
  EXPECT_FALSE(IsMenuSeparator(menu, 0));
  EXPECT_FALSE(IsMenuSeparator(menu, 9));
  DestroyMenu(menu);
}

void SetDefault(const std::string& key, const std::string& value, DWORD type = REG_SZ) {
  HKEY handle = nullptr;
  RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                  nullptr);
  RegSetValueExA(handle, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(handle);
}

// The verb menu as "caption|verb|command" lines in menu order, the default item marked "*".
std::vector<std::string> Verbs(const char* memberPath) {
  HMENU menu = nullptr;
  HGLOBAL block = nullptr;
  const int count = BuildVerbMenu(memberPath, &menu, &block);
  std::vector<std::string> out;
  if (count == 0) {
    EXPECT_EQ(menu, nullptr);
    EXPECT_EQ(block, nullptr);
    return out;
  }
  EXPECT_EQ(GetMenuItemCount(menu), count);
  EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(count) * sizeof(VerbRecord));
  const auto* records = static_cast<const VerbRecord*>(GlobalLock(block));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(GetMenuItemID(menu, i), static_cast<UINT>(i));
    const bool isDefault = GetMenuState(menu, i, MF_BYPOSITION) & MFS_DEFAULT;
    out.push_back(std::string(isDefault ? "*" : "") + records[i].caption + "|" + records[i].verb +
                  "|" + records[i].command);
  }
  GlobalUnlock(block);
  GlobalFree(block);
  DestroyMenu(menu);
  return out;
}

TEST(Menus, VerbMenuFollowsThePreferredListAndSkipsWhatCannotRun) {
  SetDefault(".tnva", "tnvafile");
  SetDefault("tnvafile\\shell", "print");
  SetDefault("tnvafile\\shell\\open", "");
  SetDefault("tnvafile\\shell\\open\\command", "notepad.exe %1");
  SetDefault("tnvafile\\shell\\print", "");
  SetDefault("tnvafile\\shell\\print\\command", "\"C:\\p.exe\" /p \"%1\"");
  SetDefault("tnvafile\\shell\\printto", "");
  SetDefault("tnvafile\\shell\\printto\\command", "p.exe /pt %1");
  SetDefault("tnvafile\\shell\\edit", "\x95\xd2\x8f\x57(&E)");  // 編集(&E), no command subkey
  SetDefault("tnvafile\\shell\\zlong", std::string(40, '\x82') + "X" + std::string(60, 'y'));
  SetDefault("tnvafile\\shell\\zlong\\command", "%SystemRoot%\\z.exe %1", REG_EXPAND_SZ);
  // Another extension with the preferred list naming a missing verb first.
  SetDefault(".tnvb", "tnvbfile");
  SetDefault("tnvbfile\\shell", "missing,open");
  SetDefault("tnvbfile\\shell\\another", "Another");
  SetDefault("tnvbfile\\shell\\another\\command", "a.exe %1");
  SetDefault("tnvbfile\\shell\\open", "");
  SetDefault("tnvbfile\\shell\\open\\command", "o.exe %1");
  // Verbs without a default value (the common form); a name of 80 bytes or more is passed over.
  SetDefault(".tnvd", "tnvdfile");
  SetDefault("tnvdfile\\shell\\" + std::string(85, 'A') + "\\command", "long.exe %1");
  SetDefault("tnvdfile\\shell\\Open\\command", "o.exe %1");
  SetDefault("tnvdfile\\shell\\Zap\\command", "z.exe %1");
  // Classes that name each other never end the lookup.
  SetDefault(".tnvc", "tnvloop1");
  SetDefault("tnvloop1", "tnvloop2");
  SetDefault("tnvloop2", "tnvloop1");

  char windows[MAX_PATH];
  GetEnvironmentVariableA("SystemRoot", windows, sizeof windows);
  // The long caption is cut to 79 bytes without splitting a double-byte character.
  const std::string cut = std::string(40, '\x82').substr(0, 40) + "X" + std::string(38, 'y');
  EXPECT_EQ(Verbs("DIR\\A.TNVA"),
            (std::vector<std::string>{"*\x88\xf3\x8d\xfc(&P)|print|\"C:\\p.exe\" /p \"%1\"",
                                      "\x8a\x4a\x82\xad(&O)|open|notepad.exe %1",
                                      cut + "|zlong|" + std::string(windows) + "\\z.exe %1"}));
  EXPECT_EQ(Verbs("b.tnvb"), (std::vector<std::string>{"*Another|another|a.exe %1",
                                                       "\x8a\x4a\x82\xad(&O)|open|o.exe %1"}));
  EXPECT_EQ(Verbs("d.tnvd"), (std::vector<std::string>{"*\x8a\x4a\x82\xad(&O)|Open|o.exe %1",
                                                       "&Zap|Zap|z.exe %1"}));
  EXPECT_TRUE(Verbs("c.tnvc").empty());
  EXPECT_TRUE(Verbs("DIR.TNVA\\README").empty()) << "the extension comes from the name";
  EXPECT_TRUE(Verbs(".tnva").empty()) << "a leading dot is no extension";
  EXPECT_TRUE(Verbs("x.nosuchtype").empty());
}

// An archive folder with its items, as the shell holds them, for the context menu tests.
class ArchiveMenus : public testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    OleSetClipboard(nullptr);
    DialogDelay(-1);
  }
  void TearDown() override {
    OleSetClipboard(nullptr);
    if (root_) root_->Release();
    CoTaskMemFree(list_);
    EXPECT_EQ(ObjectCount(), 0) << "objects left alive";
  }
  void Open(const std::vector<RawMember>& members) {
    path_ = dir_ / "MENU.LZH";
    ASSERT_TRUE(WriteArchive(path_, members));
    list_ = ShellIdListOf(path_);
    void* out = nullptr;
    ASSERT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    root_ = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    ASSERT_EQ(root_->Initialize(list_), S_OK);
  }
  HeldItem Item(const std::string& path) { return ListedItem(root_, path); }
  IContextMenu* Menu(const std::vector<std::string>& paths) {
    std::vector<HeldItem> held;
    for (const auto& path : paths) held.push_back(Item(path));
    std::vector<LPCITEMIDLIST> lists;
    for (const auto& item : held) lists.push_back(item.list());
    void* out = nullptr;
    EXPECT_EQ(root_->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(),
                                   IID_IContextMenu, nullptr, &out),
              S_OK);
    return static_cast<IContextMenu*>(out);
  }
  static HRESULT Invoke(IContextMenu* menu, const char* verb) {
    CMINVOKECOMMANDINFO info = {sizeof info};
    info.lpVerb = verb;
    return menu->InvokeCommand(&info);
  }
  std::vector<std::string> Members() {
    Archive* archive = new Archive();
    archive->Retain();
    archive->OpenFile(path_.c_str());
    std::vector<std::string> out;
    if (archive->Lock(false)) {
      for (std::uint32_t i = 0; i < archive->MemberCount(); ++i) {
        const char* key = nullptr;
        archive->Catalogue().Get(i, &key, nullptr, nullptr);
        out.push_back(key);
      }
      archive->Unlock();
    }
    archive->Release();
    return out;
  }

  TempFolder dir_;
  std::string path_;
  LPITEMIDLIST list_ = nullptr;
  ArchiveFolder* root_ = nullptr;
};

// What each selection offers: its menu, its default command, paste only with a file list.
TEST_F(ArchiveMenus, EachSelectionGetsItsMenuAndDefault) {
  SetDefault(".tnvm", "tnvmfile");
  SetDefault("tnvmfile\\shell", "print");
  SetDefault("tnvmfile\\shell\\open", "");
  SetDefault("tnvmfile\\shell\\open\\command", "o.exe %1");
  SetDefault("tnvmfile\\shell\\print", "");
  SetDefault("tnvmfile\\shell\\print\\command", "p.exe %1");
  Open({File("A.TNVM"), File("B.TXT"), File("DIR\\C.TXT")});
  const std::string explore = "\xb4\xb8\xbd\xcc\xdf\xdb\xb0\xd7(&E)";  // ｴｸｽﾌﾟﾛｰﾗ(&E)
  const std::string extract = "\x89\xf0\x93\x80(&X)";                   // 解凍(&X)
  const std::string print = "\x88\xf3\x8d\xfc(&P)";                      // 印刷(&P)
  constexpr UINT FilePullDown = 0x00010000;
  struct Case {
    std::vector<std::string> selection;
    std::string firstCaption, defaultCaption;
    // The whole menu: "V" a registry verb, "F" a fixed command, "-" a separator, "H" the host's.
    std::string shape;
    UINT flags = CMF_NORMAL;
    UINT position = 0;  // above 0: the host's menu holds two items and the menu goes between
  } cases[] = {
      {{"DIR"}, explore, explore, "FF-FFF-FFF-F"},
      {{"DIR", "B.TXT"}, extract, extract, "F-FF-FFF-F"},
      {{"A.TNVM"}, print, print, "VV-F-FF-FFF-F"},
      {{"DIR"}, explore, explore, "FF", FilePullDown},
      {{"DIR", "B.TXT"}, extract, extract, "F", FilePullDown},
      {{"A.TNVM"}, print, print, "H-VV-F-FF-FFF-F-H", CMF_NORMAL, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection[0] + " at " + std::to_string(c.position));
    IContextMenu* menu = Menu(c.selection);
    HMENU popup = CreatePopupMenu();
    if (c.position > 0) {
      AppendMenuA(popup, MF_STRING, 1, "Host1");
      AppendMenuA(popup, MF_STRING, 2, "Host2");
    }
    HRESULT result = menu->QueryContextMenu(popup, c.position, 1000, 1999, c.flags);
    EXPECT_TRUE(SUCCEEDED(result));
    std::string shape;
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
      const UINT id = GetMenuItemID(popup, i);
      shape += id == 0 ? '-' : id < 1000 ? 'H' : id < 1000 + CMD_EXTRACT ? 'V' : 'F';
    }
    EXPECT_EQ(shape, c.shape);
    char text[128] = "";
    GetMenuStringA(popup, c.position == 0 ? 0 : 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(text, c.firstCaption);
    const UINT defaultId = GetMenuDefaultItem(popup, FALSE, 0);
    GetMenuStringA(popup, defaultId, text, sizeof text, MF_BYCOMMAND);
    EXPECT_EQ(text, c.defaultCaption);
    if (c.selection[0] == "DIR" && c.selection.size() == 1 && c.flags == CMF_NORMAL) {
      EXPECT_EQ(LOWORD(result), CMD_PASTE + 1);
      EXPECT_TRUE(GetMenuState(popup, 1000 + CMD_PASTE, MF_BYCOMMAND) & MF_GRAYED)
          << "no file list on the clipboard";
    }
    if (c.selection[0] == "A.TNVM" && c.position == 0) {
      char help[64] = "x";
      EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, help, sizeof help), S_OK);
      EXPECT_STREQ(help, "\x88\xf3\x8d\xfc");  // 印刷
      EXPECT_EQ(menu->GetCommandString(CMD_DELETE, GCS_VERBA, nullptr, help, sizeof help), S_OK);
      EXPECT_STREQ(help, "delete");
      WCHAR wide[4] = L"xyz";
      EXPECT_EQ(menu->GetCommandString(CMD_DELETE, GCS_HELPTEXTW, nullptr,
                                       reinterpret_cast<LPSTR>(wide), 4),
                S_OK);
      EXPECT_LT(wcsnlen(wide, 4), 4u) << "cut to the caller's size";
      EXPECT_EQ(wide[0], L'\x9078');  // 選, the first character of the help text
      help[0] = 'x';
      EXPECT_EQ(menu->GetCommandString(CMD_DELETE, GCS_HELPTEXTA, nullptr, help, 0), S_OK);
      EXPECT_EQ(help[0], 'x') << "nothing written for size 0";
      EXPECT_EQ(menu->GetCommandString(CMD_DELETE, GCS_VALIDATEA, nullptr, nullptr, 0), S_OK);
      EXPECT_EQ(menu->GetCommandString(999, GCS_HELPTEXTA, nullptr, help, sizeof help),
                E_INVALIDARG);
    }
    DestroyMenu(popup);
    menu->Release();
  }
  // The background: menu 118, or 120 for the File pull-down.
  void* out = nullptr;
  ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IContextMenu, &out), S_OK);
  auto* background = static_cast<IContextMenu*>(out);
  for (const auto& menuCase : {std::pair<UINT, int>{CMF_NORMAL, 3}, {FilePullDown, 4}}) {
    HMENU popup = CreatePopupMenu();
    EXPECT_TRUE(SUCCEEDED(background->QueryContextMenu(popup, 0, 1, 999, menuCase.first)));
    EXPECT_EQ(GetMenuItemCount(popup), menuCase.second);
    DestroyMenu(popup);
  }
  background->Release();
}

// What each invocation reaches: the command asked for, however the caller names it, or nothing.
TEST_F(ArchiveMenus, InvocationsReachTheirCommandOrNothing) {
  Open({File("A.TNVM"), File("B.TXT"), File("C.TXT")});
  const struct {
    const char* selected;    // null: the background menu
    const char* verb;        // a string, or an offset (MAKEINTRESOURCEA)
    const wchar_t* wide;     // non-null: a Unicode caller, lpVerb left null
    HRESULT expected;
  } cases[] = {
      {nullptr, "delete", nullptr, E_INVALIDARG},
      {nullptr, MAKEINTRESOURCEA(CMD_DELETE), nullptr, E_INVALIDARG},
      {nullptr, "nonsense", nullptr, E_INVALIDARG},
      {"B.TXT", MAKEINTRESOURCEA(CMD_EXPLORE), nullptr, E_INVALIDARG},
      {"B.TXT", MAKEINTRESOURCEA(CMD_EXPLORE_DEFAULT), nullptr, E_INVALIDARG},
      {"B.TXT", MAKEINTRESOURCEA(CMD_PASTE), nullptr, E_INVALIDARG},
      {"B.TXT", "open", nullptr, E_INVALIDARG},             // no menu built: no registry verb
      {"A.TNVM", MAKEINTRESOURCEA(0), nullptr, E_INVALIDARG},  // offset 0 before any menu
      {"C.TXT", nullptr, L"DELETE", S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    void* out = nullptr;
    if (!c.selected) root_->CreateViewObject(nullptr, IID_IContextMenu, &out);
    IContextMenu* menu = c.selected ? Menu({c.selected}) : static_cast<IContextMenu*>(out);
    CMINVOKECOMMANDINFOEX info = {sizeof info, c.wide ? CMIC_MASK_UNICODE : 0u};
    info.lpVerb = c.verb;
    info.lpVerbW = c.wide;
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), c.expected);
    menu->Release();
  }
  EXPECT_EQ(Members(), (std::vector<std::string>{"A.TNVM", "B.TXT"})) << "only C.TXT deleted";
}

// Delete a folder with everything below it (any letter case, not the sibling "DIRX"), copy a
// member, and paste it into a folder member, where the add-files job puts it.
TEST_F(ArchiveMenus, DeleteCopyAndPasteChangeTheArchive) {
  Open({FolderEntry("DIR\\"), File("DIR\\A.TXT"), File("dir\\B.TXT"), File("DIRX\\C.TXT"),
        File("NOTE.TXT", "copied"), FolderEntry("TARGET\\")});
  IContextMenu* menu = Menu({"DIR"});
  EXPECT_EQ(Invoke(menu, "delete"), S_OK);
  menu->Release();
  EXPECT_EQ(Members(), (std::vector<std::string>{"DIRX\\C.TXT", "NOTE.TXT", "TARGET\\"}));

  menu = Menu({"NOTE.TXT"});
  EXPECT_EQ(Invoke(menu, "copy"), S_OK);
  menu->Release();
  menu = Menu({"TARGET"});
  HMENU popup = CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1000, 1999, CMF_NORMAL);
  EXPECT_FALSE(GetMenuState(popup, 1000 + CMD_PASTE, MF_BYCOMMAND) & MF_GRAYED);
  DestroyMenu(popup);
  EXPECT_EQ(Invoke(menu, "paste"), S_OK);
  menu->Release();
  bool pasted = false;
  for (int i = 0; i < 300 && !pasted; ++i) {
    std::vector<std::string> now = Members();
    pasted = std::find(now.begin(), now.end(), "TARGET\\NOTE.TXT") != now.end();
    if (!pasted) Sleep(100);
  }
  EXPECT_TRUE(pasted) << "the job on its worker thread added the copy";
  for (int i = 0; i < 100 && ObjectCount() != 2; ++i) Sleep(100);  // the job lets go
}

// New compression: several files chosen in the file dialog are added by their names, and the
// process's current folder (the shell's) is left as it was.
TEST_F(ArchiveMenus, NewCompressionAddsTheChosenFilesUnderTheirNames) {
  Open({File("OLD.TXT")});
  const std::string source = dir_ / "src\x83\x5C";  // ends in ソ, whose second byte is 0x5C
  CreateDirectoryA(source.c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(source + "\\ONE.TXT", TextBytes("one")));
  ASSERT_TRUE(WriteBytes(source + "\\TWO.TXT", TextBytes("two")));
  char before[MAX_PATH];
  GetCurrentDirectoryA(sizeof before, before);
  const std::string several = source + std::string("\0ONE.TXT\0TWO.TXT\0", 17);
  EXPECT_TRUE(BackgroundContextMenu::AddChosenFiles(nullptr, root_, several.c_str()));
  const std::string path = source + "\\THREE.TXT";  // one name: a full path
  ASSERT_TRUE(WriteBytes(path, TextBytes("three")));
  const std::string one = path + std::string(1, '\0');  // the buffer ends with an empty name
  EXPECT_TRUE(BackgroundContextMenu::AddChosenFiles(nullptr, root_, one.c_str()));
  EXPECT_EQ(Members(), (std::vector<std::string>{"OLD.TXT", "ONE.TXT", "TWO.TXT", "THREE.TXT"}));
  char after[MAX_PATH];
  GetCurrentDirectoryA(sizeof after, after);
  EXPECT_STREQ(after, before);
}

// 名前の変更 puts the selected member of the view's list into label editing; the edit ending
// renames the member in the archive.
TEST_F(ArchiveMenus, RenameEditsTheLabelInTheViewAndRenamesTheMember) {
  Open({File("A.TXT", "first"), File("B.TXT", "second")});
  TestBrowser* browser = new TestBrowser();
  browser->AddRef();
  IShellView* view = nullptr;
  ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)),
            S_OK);
  FOLDERSETTINGS settings = {FVM_DETAILS, 0};
  RECT area = {0, 0, 600, 400};
  HWND window = nullptr;
  ASSERT_EQ(view->CreateViewWindow(nullptr, &settings, browser, &area, &window), S_OK);
  HWND list = FindListView(window);
  ASSERT_NE(list, nullptr);
  int row = -1;
  for (int i = 0; i < ListView_GetItemCount(list); ++i)
    if (ListViewText(list, i, 0) == "A.TXT") row = i;
  ASSERT_GE(row, 0);
  SetFocus(list);
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  IContextMenu* menu = Menu({"A.TXT"});
  EXPECT_EQ(Invoke(menu, "rename"), S_OK);
  menu->Release();
  HWND edit = ListView_GetEditControl(list);
  ASSERT_NE(edit, nullptr) << "label editing started";
  SetWindowTextA(edit, "RENAMED.TXT");
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  EXPECT_EQ(Members(), (std::vector<std::string>{"RENAMED.TXT", "B.TXT"}));
  view->DestroyViewWindow();
  view->Release();
  browser->Release();
}

}  // namespace
