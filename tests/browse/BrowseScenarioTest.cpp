// tnbrowse as a user sees it: an archive opened through the built library the way the shell opens
// it, a walk into a folder with a Japanese name and back up (by Backspace, Alt+Up and the Up
// button), and at each step the caption, the address field and the status line.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "browse/ArchiveOpener.h"
#include "browse/BrowseResource.h"
#include "browse/BrowserFrame.h"
#include "dll/FolderTestSupport.h"
#include "namespace/ClassId.h"

using namespace foldertest;

namespace {

// "資料" and "資料\説明書.TXT" in Shift-JIS.
const char JapaneseFolder[] = "\x8E\x91\x97\xBF";
const char JapaneseFile[] = "\x8E\x91\x97\xBF\\\x90\xE0\x96\xBE\x8F\x91.TXT";

std::string LibraryPath() {
  const char* path = std::getenv("TANUFOLD_DLL");
  std::string windows = !path ? "tanufold.dll" : path[0] == '/' ? std::string("Z:") + path : path;
  for (char& c : windows)
    if (c == '/') c = '\\';
  return windows;
}

// What the window shows: caption, address field, and the two parts of the status line.
struct Shown {
  std::wstring caption, address, items, selection;
  bool operator==(const Shown& other) const {
    return caption == other.caption && address == other.address && items == other.items &&
           selection == other.selection;
  }
};
std::ostream& operator<<(std::ostream& out, const Shown& shown) {
  auto narrow = [](const std::wstring& text) {
    char bytes[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes);
  };
  return out << "{" << narrow(shown.caption) << " | " << narrow(shown.address) << " | "
             << narrow(shown.items) << " | " << narrow(shown.selection) << "}";
}

class BrowseScenarioTest : public testing::Test {
 protected:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override { OleUninitialize(); }

  // Handles what is waiting as tnbrowse's message loop does.
  void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT || frame_.PreTranslate(&message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  HWND List() const {
    HWND view = FindWindowExA(frame_.Window(), nullptr, "SHELLDLL_DefView", nullptr);
    return FindWindowExA(view, nullptr, WC_LISTVIEWA, nullptr);
  }

  // Selects the row named `name` alone; true when there is one.
  bool Select(const char* name) {
    HWND list = List();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      char text[MAX_PATH] = "";
      ListView_GetItemText(list, i, 0, text, sizeof text);
      if (lstrcmpA(text, name) != 0) continue;
      ListView_SetItemState(list, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      Pump();
      return true;
    }
    return false;
  }

  // A key pressed in the list view, through the message loop.
  void Press(UINT message, WPARAM key, LPARAM flags = 0) {
    PostMessageA(List(), message, key, flags);
    Pump();
  }

  Shown Read() {
    wchar_t caption[MAX_PATH] = L"", address[MAX_PATH] = L"", items[128] = L"",
            selection[128] = L"";
    GetWindowTextW(frame_.Window(), caption, MAX_PATH);
    GetWindowTextW(GetDlgItem(frame_.Window(), IDC_ADDRESS), address, MAX_PATH);
    HWND status = GetDlgItem(frame_.Window(), IDC_STATUS);
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(items));
    SendMessageW(status, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(selection));
    return Shown{caption, address, items, selection};
  }

  BrowserFrame frame_;
};

// The ways up a user has: keys pressed in the view, or the Up button (no message).
struct WayUp {
  const char* name;
  UINT message;
  WPARAM key;
  LPARAM flags;
};
const WayUp WaysUp[] = {{"Backspace", WM_KEYDOWN, VK_BACK, 0},
                        {"Alt+Up", WM_SYSKEYDOWN, VK_UP, 1 << 29},  // bit 29: Alt is down
                        {"the Up button", 0, 0, 0}};

TEST_F(BrowseScenarioTest, WalksIntoAFolderAndBackUp) {
  TempFolder dir;
  std::string path = dir / "SAMPLE.LZH";
  ASSERT_TRUE(WriteArchive(path, {File("README.TXT", std::string(1536, 'r')),
                                  File(JapaneseFile, std::string(2048, 'j')),
                                  File("DOC\\A.TXT")}));
  OpenedArchive opened;
  const char* failure = "";
  ASSERT_EQ(OpenArchive(LibraryPath().c_str(), path.c_str(), &opened, &failure), S_OK) << failure;
  // Details mode, whatever the library's "DefaultView" setting says.
  ASSERT_TRUE(frame_.Open(opened.folder, opened.list, opened.name, FVM_DETAILS, SW_SHOWNORMAL));
  Pump();
  ASSERT_NE(List(), nullptr);
  EXPECT_EQ(GetWindowLongA(List(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(List())), 7);
  const Shown root = {L"SAMPLE.LZH", L"\\", L"3 個のｵﾌﾞｼﾞｪｸﾄ", L""};
  EXPECT_EQ(Read(), root);
  ASSERT_TRUE(Select("README.TXT"));
  EXPECT_EQ(Read().selection, L"1 個を選択 (1.50KB)");

  for (const WayUp& way : WaysUp) {
    SCOPED_TRACE(way.name);
    ASSERT_TRUE(Select(JapaneseFolder));
    EXPECT_EQ(Read().selection, L"1 個を選択");
    Press(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(Read(), (Shown{L"SAMPLE.LZH\\資料", L"\\資料", L"1 個のｵﾌﾞｼﾞｪｸﾄ", L""}));
    EXPECT_EQ(GetWindowLongA(List(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    ASSERT_TRUE(Select("\x90\xE0\x96\xBE\x8F\x91.TXT"));
    EXPECT_EQ(Read().selection, L"1 個を選択 (2.00KB)");

    if (way.message) {
      Press(way.message, way.key, way.flags);
    } else {
      SendMessageA(GetDlgItem(frame_.Window(), IDC_UP), BM_CLICK, 0, 0);
      Pump();
    }
    // Back at the top, with the folder just left selected.
    EXPECT_EQ(Read(), (Shown{root.caption, root.address, root.items, L"1 個を選択"}));
  }

  // The folder item's menu command ｴｸｽﾌﾟﾛｰﾗ (201) browses by the folder's absolute list.
  IEnumIDList* items = nullptr;
  LPITEMIDLIST item = nullptr;
  IContextMenu* menu = nullptr;
  ASSERT_EQ(opened.folder->EnumObjects(nullptr, SHCONTF_FOLDERS, &items), S_OK);
  ASSERT_EQ(items->Next(1, &item, nullptr), S_OK);
  items->Release();
  ASSERT_EQ(opened.folder->GetUIObjectOf(frame_.Window(), 1, const_cast<LPCITEMIDLIST*>(&item),
                                         IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu)),
            S_OK);
  CMINVOKECOMMANDINFO info = {sizeof info, 0, frame_.Window(), MAKEINTRESOURCEA(201)};
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
  menu->Release();
  CoTaskMemFree(item);
  Pump();
  EXPECT_EQ(Read(), (Shown{L"SAMPLE.LZH\\資料", L"\\資料", L"1 個のｵﾌﾞｼﾞｪｸﾄ", L""}));
  // tnbrowse --registered: the class registered as the installer does finds the same library.
  const std::string server = std::string("CLSID\\") + TANUVIA_CLSID_TEXT + "\\InProcServer32";
  const std::string library = LibraryPath();
  ASSERT_EQ(SHSetValueA(HKEY_CLASSES_ROOT, server.c_str(), nullptr, REG_SZ, library.c_str(),
                        static_cast<DWORD>(library.size() + 1)), ERROR_SUCCESS);
  SHSetValueA(HKEY_CLASSES_ROOT, server.c_str(), "ThreadingModel", REG_SZ, "Apartment", 10);
  OpenedArchive registered;
  EXPECT_EQ(OpenRegisteredArchive(path.c_str(), &registered, &failure), S_OK) << failure;
  SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + TANUVIA_CLSID_TEXT).c_str());
  ASSERT_TRUE(registered.folder &&
              registered.folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &items) == S_OK);
  EXPECT_EQ(items->Next(1, &item, nullptr), S_OK);
  CoTaskMemFree(item);
  items->Release();
}

}  // namespace
